#include "plots/plots.hpp"

#include <cmath>
#include <cstdio>

#include "plots/axes2d.hpp"
#include "plots/axes3d.hpp"
#include "plots/ccdf.hpp"
#include "plots/diagrams.hpp"
#include "plots/figure.hpp"
#include "plots/signal.hpp"
#include "plots/spectrum.hpp"
#include "plots/time_plots.hpp"
#include "plots/verbs.hpp"
#include "toolkit/axes.hpp"
#include "toolkit/dialogs.hpp"
#include "toolkit/objects.hpp"
#include "toolkit/properties.hpp"

namespace kelvane::plots {

using runtime::Value;
namespace tk = kelvane::toolkit;

Axes2D* newAxes(PlotFigure* figure) {
  auto* a = new Axes2D(figure->canvas());
  a->setZoomMode(figure->zoomMode());
  tk::setCurrentAxes(a);
  return a;
}

void scalePosition(QWidget* axes, double ax, double ay) {
  const Value h = tk::handleOf(axes);
  const auto p = tk::get(h, "Position").toDoubles();
  tk::set(h, "Position", Value::row({ax * p[0], ay * p[1], p[2], p[3] / 1.1}));
}

void setAxes(QWidget* axes, std::initializer_list<std::pair<std::string_view, Value>> p) {
  const Value h = tk::handleOf(axes);
  for (const auto& [name, value] : p)
    tk::set(h, name, value);
}

namespace {

Value limits(double lo, double hi) {
  return Value::row({lo, hi});
}

Value text(const std::string& s) {
  return Value::text(s);
}

std::shared_ptr<LineData> uniformLine(std::vector<double> y, double x0, double x1) {
  auto d = std::make_shared<LineData>();
  d->y = std::move(y);
  d->x0 = x0;
  d->dx = d->y.size() > 1 ? (x1 - x0) / static_cast<double>(d->y.size() - 1) : 0;
  return d;
}

Value show(const Value& fig) {
  tk::set(fig, "Visible", Value::text("on"));
  return fig;
}

}  // namespace

Value buildSpectrum(const PlotWindowKind& kind, const PlotCall& call) {
  SpectrumPlot s = spectrumPlot(call.wave, call.number(0, 0));
  const FrequencyAxis f = s.frequency;
  const Value fig = openPlotWindow(kind, call.parent, call.label);
  Axes2D* a = newAxes(figureOf(fig));
  a->addLine(uniformLine(std::move(s.magSignal), f.fMin, f.fMax), LineStyle{});
  scalePosition(a, 1.2, 1.4);
  setAxes(a, {{"XLabel", text("Frequency (" + f.fUnits + ")")},
              {"YLabel", text("LogMag (dB)")},
              {"Title", text("Spectrum")},
              {"XLim", limits(f.fMin, f.fMax)},
              {"YLim", limits(s.level.mMin, s.level.mMax)},
              {"XGrid", text("on")},
              {"YGrid", text("on")}});
  return show(fig);
}

Value buildWaterfall(const PlotWindowKind& kind, const PlotCall& call) {
  const WaterfallPlot w =
      waterfallPlot(call.wave, call.number(0, 0), call.number(1, 0), kWaterfallColumns);
  auto surface = std::make_shared<SurfaceData>();
  for (std::size_t c = 0; c < w.columns; ++c)
    surface->x.push_back(w.frequency.at(c));
  for (std::size_t r = 0; r < w.rows; ++r)
    surface->y.push_back(w.time(r));
  surface->z = w.levels;
  const Value fig = openPlotWindow(kind, call.parent, call.label);
  Axes3D* a = newWaterfallAxes(figureOf(fig));
  a->setSurface(surface);
  setAxes(a, {{"XLabel", text("Frequency (" + w.frequency.fUnits + ")")},
              {"YLabel", text("Time (" + w.tUnits + ")")},
              {"ZLabel", text("LogMag (dB)")},
              {"Title", text("Spectrum")},
              {"XLim", limits(w.frequency.fMin, w.frequency.fMax)},
              {"YLim", limits(w.tMin, w.tMax)},
              {"ZLim", limits(w.level.mMin, w.level.mMax)}});
  return show(fig);
}

Value buildCcdf(const PlotWindowKind& kind, const PlotCall& call) {
  CcdfPlot c = ccdfPlot(call.wave);
  const Value fig = openPlotWindow(kind, call.parent, call.label);
  Axes2D* a = newAxes(figureOf(fig));
  scalePosition(a, 1.2, 1.4);
  auto line = [&](std::vector<double> y) {
    auto d = std::make_shared<LineData>();
    d->x = c.X;
    d->y = std::move(y);
    return d;
  };
  a->addLine(line(std::move(c.Y)), LineStyle{});
  tk::set(tk::handleOf(a), "NextPlot", text("add"));  // hold
  LineStyle grey;
  grey.color = {0.7, 0.7, 0.7};
  a->addLine(line(std::move(c.Y1)), grey);
  tk::set(tk::handleOf(a), "NextPlot", text("replace"));
  std::vector<double> ticks;
  for (double t = 0; t <= c.maxX; t += 2)
    ticks.push_back(t);
  setAxes(a, {{"XLim", limits(0, c.maxX)},
              {"YLim", limits(c.yMin, 100)},
              {"YScale", text("log")},
              {"GridLineStyle", text(":")},
              {"XGrid", text("on")},
              {"YGrid", text("on")},
              {"XTick", Value::row(ticks)},
              {"Tag", text("KR_CCDF")},
              {"Title", text("CCDF")},
              {"YLabel", text("Frequency of occurence (%)")},
              {"XLabel", text("dB above Average")}});
  return show(fig);
}

Value buildIqTime(const PlotWindowKind& kind, const PlotCall& call) {
  IqTimePlot p = iqTimePlot(call.wave, call.number(0, 0), call.label);
  const bool overlay = call.number(1, 0) != 0;
  const Value fig = openPlotWindow(kind, call.parent, p.label);
  PlotFigure* f = figureOf(fig);
  const std::string timeLabel = "Time (" + p.tUnits + ")";
  if (!overlay) {
    Axes2D* i = subplotIn(f, 2, 1, 1);
    Axes2D* q = subplotIn(f, 2, 1, 2);
    scalePosition(i, 1.2, 1.0);
    scalePosition(q, 1.2, 1.2);
    i->addLine(uniformLine(std::move(p.i), p.tMin, p.tMax), LineStyle{});
    q->addLine(uniformLine(std::move(p.q), p.tMin, p.tMax), LineStyle{});
    setAxes(i, {{"Tag", text("KR_Iwave")},
                {"Title", text("I(t)")},
                {"YLabel", text("Amplitude (V)")},
                {"XLabel", text("")}});
    setAxes(q, {{"Tag", text("KR_Qwave")},
                {"Title", text("Q(t)")},
                {"YLabel", text("Amplitude (V)")},
                {"XLabel", text(timeLabel)}});
    for (Axes2D* a : {i, q})
      setAxes(a, {{"XLim", limits(p.tMin, p.tMax)}, {"YLim", limits(p.iMin, p.iMax)}});
    return show(fig);
  }
  Axes2D* a = newAxes(f);
  scalePosition(a, 1.2, 1.4);
  a->addLine(uniformLine(std::move(p.i), p.tMin, p.tMax), LineStyle{});
  tk::set(tk::handleOf(a), "NextPlot", text("add"));
  LineStyle magenta;
  magenta.color = colorOfLetter('m');
  a->addLine(uniformLine(std::move(p.q), p.tMin, p.tMax), magenta);
  tk::set(tk::handleOf(a), "NextPlot", text("replace"));
  setAxes(a, {{"Title", text("I(t) Q(t)")},
              {"YLabel", text("Amplitude (V)")},
              {"XLabel", text(timeLabel)},
              {"XLim", limits(p.tMin, p.tMax)},
              {"YLim", limits(p.iMin, p.iMax)},
              {"Tag", text("KR_IQwave")}});
  return show(fig);
}

namespace {

// Steps 1, 2 and 4 of the eye and scatter frames around `plot`, which draws the figure and
// may fail: the failure is shown in the "Plot Error" box and nothing is returned.
Value diagramFrame(const PlotWindowKind& kind, const PlotCall& call, const char* what,
                   const std::function<Value()>& plot) {
  const WindowPlace place = plotWindowPlace(kind, call.parent);
  Value fig;
  try {
    fig = plot();
  } catch (const std::exception& e) {
    tk::dialogs().error(std::string("Unable to Plot ") + what + "\n" + e.what(), "Plot Error");
    return Value();
  }
  const auto& [x, y, w, h] = place.position;
  tk::set(fig, {{"MenuBar", text("none")},
                {"Units", text(place.units)},
                {"Position", Value::row({x, y, w, h})},
                {"Name", text(std::string(kind.prefix) + call.label)},
                {"NumberTitle", text("off")}});
  addPlotMenus(fig);
  return fig;
}

SignalColumns waveColumn(const PlotCall& call) {
  SignalColumns x;
  x.values.assign(call.wave.begin(), call.wave.end());
  x.rows = x.values.size();
  x.columns = x.values.empty() ? 0 : 1;
  x.complex = true;
  return x;
}

}  // namespace

Value buildEyeDiagram(const PlotWindowKind& kind, const PlotCall& call) {
  const double n = std::max(call.number(0, 1), 1.0);
  double offset = std::max(call.number(2, 0), 0.0);
  offset = std::min(offset, n - 1);
  double period = call.number(1, 0);
  if (period == 0) period = 1;
  return diagramFrame(kind, call, "Eye Diagram", [&] {
    return eyediagram(waveColumn(call), n, period, offset, "b-", std::nullopt);
  });
}

Value buildScatterDiagram(const PlotWindowKind& kind, const PlotCall& call) {
  const double n = std::max(call.number(0, 1), 1.0);
  double offset = std::max(call.number(1, 0), 0.0);
  offset = std::min(offset, n - 1);
  const bool traceOn = call.number(2, 0) != 0;
  return diagramFrame(kind, call, "Scatter Diagram", [&] {
    const SignalColumns x = waveColumn(call);
    if (!traceOn) return scatterplot(x, n, offset, "b.", std::nullopt);
    const Value fig = scatterplot(x, 1, offset, "c-", std::nullopt);
    try {
      QWidget* axes = tk::currentAxes(figureOf(fig));
      tk::set(tk::handleOf(axes), "NextPlot", text("add"));  // hold
      scatterplot(x, n, offset, "b.", fig);
      tk::set(tk::handleOf(axes), "NextPlot", text("replace"));
    } catch (...) {
      tk::deleteObject(fig);  // no half-drawn window stays behind
      throw;
    }
    return fig;
  });
}

Value filterResponseFigure(const FilterResponsePlot& r, const std::string& name) {
  const Value fig = figure();
  tk::set(fig, {{"NumberTitle", text("off")}, {"Name", text(name)}});
  Axes2D* a = newAxes(figureOf(fig));
  auto response = std::make_shared<LineData>();
  response->x = r.frequency;
  response->y = r.level;
  a->addLine(response, LineStyle{});
  tk::set(tk::handleOf(a), "NextPlot", text("add"));
  LineStyle mask;
  mask.color = colorOfLetter('r');
  mask.line = LineKind::Dashed;
  auto segment = [&](double f0, double f1, double level) {
    auto d = std::make_shared<LineData>();
    d->x = {f0 / r.divider, f1 / r.divider};
    d->y = {level, level};
    a->addLine(d, mask);
  };
  segment(0, r.passbandEdge, r.passbandRipple);
  segment(0, r.passbandEdge, -r.passbandRipple);
  segment(r.stopbandEdge, r.fMax * r.divider, -r.stopbandAttenuation);
  tk::set(tk::handleOf(a), "NextPlot", text("replace"));
  char verdict[160];
  std::snprintf(verdict, sizeof verdict,
                "IS-95 mask %s: passband ripple +-%.2f dB, stopband %.1f dB down",
                r.conforms ? "met" : "NOT met", r.worstPassbandDeviation, -r.worstStopbandLevel);
  setAxes(a, {{"Title", text(verdict)},
              {"XLabel", text("Frequency (" + r.fUnits + ")")},
              {"YLabel", text("Magnitude (dB)")},
              {"XLim", limits(0, r.fMax)},
              {"YLim", limits(r.mMin, r.mMax)},
              {"XGrid", text("on")},
              {"YGrid", text("on")}});
  return show(fig);
}

}  // namespace kelvane::plots
