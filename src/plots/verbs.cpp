#include "plots/verbs.hpp"

#include <QWidget>
#include <cmath>
#include <numbers>

#include "plots/axes2d.hpp"
#include "plots/axes3d.hpp"
#include "plots/error.hpp"
#include "plots/figure.hpp"
#include "plots/plots.hpp"
#include "toolkit/axes.hpp"
#include "toolkit/objects.hpp"
#include "toolkit/properties.hpp"

namespace kelvane::plots {

using runtime::Value;
namespace tk = kelvane::toolkit;

namespace {

// The position of cell p of an m x n grid within the default axes area.
Rect cellPosition(int m, int n, int p) {
  constexpr double left = 0.13, bottom = 0.11, width = 0.775, height = 0.815;
  const double gapX = n > 1 ? 0.08 : 0, gapY = m > 1 ? 0.1326 : 0;
  const double w = (width - (n - 1) * gapX) / n, h = (height - (m - 1) * gapY) / m;
  const int row = (p - 1) / n, col = (p - 1) % n;
  return {left + col * (w + gapX), bottom + (m - 1 - row) * (h + gapY), w, h};
}

bool samePosition(const Value& a, const Rect& b) {
  if (a.numel() != 4) return false;
  for (std::size_t i = 0; i < 4; ++i)
    if (std::abs(a.realData()[i] - b[i]) > 1e-9) return false;
  return true;
}

}  // namespace

Axes2D* subplotIn(PlotFigure* figure, int m, int n, int p) {
  require(m >= 1 && n >= 1 && p >= 1 && p <= m * n, "subplot: the cell " + std::to_string(p) +
                                                        " is outside a " + std::to_string(m) +
                                                        " x " + std::to_string(n) + " grid");
  const Rect cell = cellPosition(m, n, p);
  for (QWidget* a : figure->axes())
    if (auto* a2 = dynamic_cast<Axes2D*>(a); a2 && samePosition(tk::normalizedPosition(a), cell)) {
      tk::setCurrentAxes(a2);
      return a2;
    }
  Axes2D* a = newAxes(figure);
  tk::set(tk::handleOf(a), "Position", Value::row({cell[0], cell[1], cell[2], cell[3]}));
  return a;
}

Value subplot(int m, int n, int p) {
  return tk::handleOf(subplotIn(currentOrNewFigure(), m, n, p));
}

QWidget* currentAxesOrNew() {
  PlotFigure* f = currentOrNewFigure();
  if (QWidget* a = tk::currentAxes(f)) return a;
  return newAxes(f);
}

Value label(const char* property, const std::string& text, const std::optional<Value>& axes) {
  QWidget* a = axes ? qobject_cast<QWidget*>(tk::objectOf(*axes)) : currentAxesOrNew();
  if (!a || tk::kindOf(a) != tk::ObjectKind::Axes)
    throw runtime::Error(std::string(property) + ": the handle is no axes");
  const Value h = tk::handleOf(a);
  tk::set(h, property, Value::text(text));
  return h;
}

Value clf(const std::optional<Value>& figure, bool reset) {
  PlotFigure* f = figure ? figureOf(*figure) : currentOrNewFigure();
  for (QWidget* a : f->axes()) {
    tk::deleteObject(tk::handleOf(a));
    a->setParent(nullptr);  // out of the figure now; Qt deletes it later
  }
  if (reset) {
    f->setZoomMode(false);
    f->setRotateMode(false);
  }
  return tk::handleOf(f);
}

Axes3D* newWaterfallAxes(PlotFigure* figure) {
  Value position;
  if (QWidget* old = tk::currentAxes(figure)) {
    position = tk::normalizedPosition(old);
    tk::deleteObject(tk::handleOf(old));
    old->setParent(nullptr);
  }
  auto* a = new Axes3D(figure->canvas());
  if (position.numel() == 4) tk::set(tk::handleOf(a), "Position", position);
  a->setRotateMode(figure->rotateMode());
  a->setZoomMode(figure->zoomMode());
  tk::setCurrentAxes(a);
  return a;
}

Value waterfall(std::vector<double> x, std::vector<double> y, std::vector<double> z) {
  require(z.size() == x.size() * y.size() && !z.empty(),
          "waterfall: Z must have one row per Y value and one column per X value");
  auto d = std::make_shared<SurfaceData>();
  d->x = std::move(x);
  d->y = std::move(y);
  d->z = std::move(z);
  Axes3D* a = newWaterfallAxes(currentOrNewFigure());
  a->setSurface(d);
  tk::set(tk::handleOf(tk::windowOf(a)), "Visible", Value::text("on"));
  return tk::handleOf(a);
}

namespace {

// The frequency axis of freqzplot: normalised (x pi rad/sample) or in the unit of `xunits`.
std::pair<std::vector<double>, std::string> frequencyAxis(const std::vector<double>& w,
                                                          const std::string& xunits) {
  std::vector<double> f = w;
  if (xunits == "rad/sample") {
    for (double& v : f)
      v /= std::numbers::pi;
    return {f, "Normalized Frequency (\u00d7\u03c0 rad/sample)"};
  }
  const double scale = xunits == "kHz" ? 1e3 : xunits == "MHz" ? 1e6 : xunits == "GHz" ? 1e9 : 1;
  for (double& v : f)
    v /= scale;
  return {f, "Frequency (" + xunits + ")"};
}

std::shared_ptr<LineData> lineOf(std::vector<double> x, std::vector<double> y) {
  auto d = std::make_shared<LineData>();
  d->x = std::move(x);
  d->y = std::move(y);
  return d;
}

}  // namespace

void freqzplot(const std::vector<std::complex<double>>& h, const std::vector<double>& w,
               const FreqzPlotOptions& o) {
  require(h.size() == w.size() && !h.empty(),
          "freqzplot: H and W must have the same, non-zero length");
  require(o.plot == "both" || o.plot == "mag" || o.plot == "phase",
          "freqzplot: the plot option must be \"both\", \"mag\" or \"phase\"");
  const auto [f, xlabel] = frequencyAxis(w, o.xunits);
  std::vector<double> mag(h.size()), phase(h.size());
  for (std::size_t k = 0; k < h.size(); ++k) {
    const double a = std::abs(h[k]);
    mag[k] = o.yunits == "linear" ? a : o.yunits == "squared" ? a * a : 20 * std::log10(a);
    phase[k] = std::arg(h[k]);
    if (k > 0)  // unwrapped, so that the phase is continuous
      phase[k] -=
          2 * std::numbers::pi * std::round((phase[k] - phase[k - 1]) / (2 * std::numbers::pi));
  }
  for (double& p : phase)
    p *= 180 / std::numbers::pi;
  PlotFigure* fig = currentOrNewFigure();
  clf(tk::handleOf(fig), false);
  const bool both = o.plot == "both";
  const std::string magLabel = o.yunits == "linear"    ? "Magnitude"
                               : o.yunits == "squared" ? "Magnitude squared"
                                                       : "Magnitude (dB)";
  if (o.plot != "phase") {
    Axes2D* a = both ? subplotIn(fig, 2, 1, 1) : newAxes(fig);
    a->addLine(lineOf(f, mag), LineStyle{});
    setAxes(a, {{"XLabel", Value::text(xlabel)},
                {"YLabel", Value::text(magLabel)},
                {"XGrid", Value::text("on")},
                {"YGrid", Value::text("on")}});
  }
  if (o.plot != "mag") {
    Axes2D* a = both ? subplotIn(fig, 2, 1, 2) : newAxes(fig);
    a->addLine(lineOf(f, phase), LineStyle{});
    setAxes(a, {{"XLabel", Value::text(xlabel)},
                {"YLabel", Value::text("Phase (degrees)")},
                {"XGrid", Value::text("on")},
                {"YGrid", Value::text("on")}});
  }
  tk::set(tk::handleOf(fig), "Visible", Value::text("on"));
}

}  // namespace kelvane::plots
