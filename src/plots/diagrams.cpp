#include "plots/diagrams.hpp"

#include <algorithm>
#include <cmath>

#include "plots/axes2d.hpp"
#include "plots/figure.hpp"
#include "plots/plots.hpp"
#include "plots/verbs.hpp"
#include "registry/registry.hpp"
#include "toolkit/axes.hpp"
#include "toolkit/objects.hpp"
#include "toolkit/properties.hpp"

namespace kelvane::plots {

using runtime::Value;
namespace tk = kelvane::toolkit;

namespace {

constexpr const char* kKind = "kelvanePlotKind";

// The figure to draw into: `h` when it is a figure of `kind`; a new one (after the warning)
// when `h` is no valid figure; an error when it is a figure of another kind.
PlotFigure* targetFigure(const std::optional<Value>& h, const char* kind, const char* warning,
                         const char* notOfKind, bool& fresh) {
  fresh = true;
  if (h && !h->isEmpty()) {
    PlotFigure* f = tk::isValidHandle(*h) && !tk::isRoot(*h)
                        ? qobject_cast<PlotFigure*>(tk::objectOf(*h))
                        : nullptr;
    if (!f) {
      registry::printToConsole(std::string("Warning: ") + warning);
    } else if (f->property(kKind).toString() != kind) {
      throw runtime::Error(notOfKind);
    } else {
      fresh = false;
      return f;
    }
  }
  PlotFigure* f = figureOf(figure());
  f->setProperty(kKind, kind);
  return f;
}

std::pair<double, double> paddedSpan(double lo, double hi) {
  if (!(lo < hi)) return {lo - 1, hi + 1};
  const double pad = 0.05 * (hi - lo);
  return {lo - pad, hi + pad};
}

std::shared_ptr<DenseData> eyeData(std::vector<double> values, std::size_t n, double period,
                                   std::size_t offset) {
  auto d = std::make_shared<DenseData>();
  d->items = values.size();
  d->xMin = -period / 2;
  d->xMax = period / 2;
  const auto [lo, hi] = std::minmax_element(values.begin(), values.end());
  std::tie(d->yMin, d->yMax) = paddedSpan(*lo, *hi);
  auto shared = std::make_shared<const std::vector<double>>(std::move(values));
  d->draw = [shared, n, period, offset](Raster& r) {
    forEachEyeSegment(*shared, n, period, offset, [&r](double t0, double v0, double t1, double v1) {
      r.segment(t0, v0, t1, v1);
    });
  };
  return d;
}

}  // namespace

Value eyediagram(const SignalColumns& x, double n, double period, double offset,
                 const std::string& style, const std::optional<Value>& h) {
  checkEyeArguments(x, n, period, offset);
  const LineStyle s = parseLineStyle(style.empty() ? "b-" : style);
  bool fresh = false;
  PlotFigure* f = targetFigure(
      h, "eyediagram", "Ignoring invalid handle H. Creating a new eye diagram.",
      "Figure is not an existing eye diagram.\nUse an existing eye diagram or do not use a figure "
      "handle as an input",
      fresh);
  const Value fig = tk::handleOf(f);
  if (fresh) tk::set(fig, "Name", Value::text("Eye Diagram"));
  const std::vector<EyeComponent> parts = eyeComponents(x);
  for (std::size_t i = 0; i < parts.size(); ++i) {
    Axes2D* a = nullptr;
    const auto existing = f->axes();
    if (!fresh && i < existing.size()) a = dynamic_cast<Axes2D*>(existing[i]);
    if (!a)
      a = parts.size() == 1
              ? newAxes(f)
              : subplotIn(f, static_cast<int>(parts.size()), 1, static_cast<int>(i + 1));
    const Value ah = tk::handleOf(a);
    if (!fresh) tk::set(ah, "NextPlot", Value::text("add"));
    a->addDense(eyeData(parts[i].values, static_cast<std::size_t>(n), period,
                        static_cast<std::size_t>(offset)),
                s);
    if (!fresh) tk::set(ah, "NextPlot", Value::text("replace"));
    const std::string title =
        parts.size() == 1 ? "Eye Diagram" : "Eye Diagram for " + parts[i].name + " Signal";
    setAxes(a, {{"Title", Value::text(title)},
                {"XLabel", Value::text("Time")},
                {"YLabel", Value::text("Amplitude")}});
  }
  tk::set(fig, "Visible", Value::text("on"));
  return fig;
}

namespace {

std::shared_ptr<DenseData> scatterData(ScatterPoints p, const LineStyle& s) {
  auto d = std::make_shared<DenseData>();
  d->items = p.x.size();
  double a = 0;
  for (std::size_t k = 0; k < p.x.size(); ++k)
    a = std::max({a, std::abs(p.x[k]), std::abs(p.y[k])});
  if (!(a > 0)) a = 1;
  d->xMin = d->yMin = -1.1 * a;
  d->xMax = d->yMax = 1.1 * a;
  auto shared = std::make_shared<const ScatterPoints>(std::move(p));
  const bool lines = s.line != LineKind::None, dots = s.marker != 0;
  d->draw = [shared, lines, dots](Raster& r) {
    const auto& x = shared->x;
    const auto& y = shared->y;
    for (std::size_t k = 0; k < x.size(); ++k) {
      if (dots) r.point(x[k], y[k]);
      if (lines && k + 1 < x.size()) r.segment(x[k], y[k], x[k + 1], y[k + 1]);
    }
  };
  return d;
}

}  // namespace

Value scatterplot(const SignalColumns& x, double n, double offset, const std::string& style,
                  const std::optional<Value>& h) {
  checkScatterArguments(x, n, offset);
  const LineStyle s = parseLineStyle(style.empty() ? "b." : style);
  bool fresh = false;
  PlotFigure* f = targetFigure(
      h, "scatterplot", "Ignoring invalid handle, H. Creating a new scatter plot.",
      "Figure is not an existing scatter plot.\nUse an existing scatter plot or do not use a "
      "figure handle as an input",
      fresh);
  const Value fig = tk::handleOf(f);
  Axes2D* a = nullptr;
  if (!fresh && !f->axes().empty()) a = dynamic_cast<Axes2D*>(f->axes().front());
  if (!a) {
    tk::set(fig, "Name", Value::text("Scatter Plot"));
    a = newAxes(f);
  }
  a->addDense(
      scatterData(scatterPoints(x, static_cast<std::size_t>(n), static_cast<std::size_t>(offset)),
                  s),
      s);
  a->setEqualScaling(true);
  setAxes(a, {{"Title", Value::text("Scatter plot")},
              {"XLabel", Value::text("In-Phase")},
              {"YLabel", Value::text("Quadrature")}});
  tk::set(fig, "Visible", Value::text("on"));
  return fig;
}

}  // namespace kelvane::plots
