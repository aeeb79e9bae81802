#include "plots/plot_table.hpp"

#include "plots/figure.hpp"
#include "plots/plots.hpp"
#include "toolkit/objects.hpp"
#include "toolkit/properties.hpp"

namespace kelvane::plots {

using runtime::Value;
namespace tk = kelvane::toolkit;

namespace {

constexpr Rect kSquare{150, 150, 340, 340};
constexpr Rect kTenth{0.1, 0.1, 0.5, 0.5};

const std::array<PlotWindowKind, 6> kPlots{{
    {"KR_PlotCCDF",
     "CCDF ",
     kSquare,
     kTenth,
     PlacementRule::ScaleThenBelow,
     MenuBar::Custom,
     "w",
     {"menuPlotCCDF_Callback", ""},
     buildCcdf},
    {"KR_PlotIQTime",
     "I(t) Q(t) ",
     kSquare,
     kTenth,
     PlacementRule::ScaleThenBelow,
     MenuBar::Custom,
     "nnw",
     {"menuPlotIQTime_Callback", "menuPlotIQTimeSameAxes_Callback"},
     buildIqTime},
    {"KR_PlotEyeDiagram",
     "Eye Diagram ",
     kSquare,
     kTenth,
     PlacementRule::ScaleThenBelow,
     MenuBar::Custom,
     "wnnn",
     {"menuPlotEyeDiagram_Callback", ""},
     buildEyeDiagram},
    {"KR_PlotScatterDiagram",
     "Scatter Diagram ",
     kSquare,
     kTenth,
     PlacementRule::ScaleThenBelow,
     MenuBar::Custom,
     "wnnn",
     {"menuPlotScatterDiagram_Callback", ""},
     buildScatterDiagram},
    {"KR_PlotSpectrum",
     "Magnitude Spectrum ",
     {50, 480, 300, 300},
     kTenth,
     PlacementRule::AboveThenScale,
     MenuBar::Custom,
     "nw",
     {"menuPlotSpectrum_Callback", ""},
     buildSpectrum},
    {"KR_PlotWaterfall",
     "Spectrum Waterfall ",
     {100, 100, 300, 300},
     {0, 0, 0.5, 0.5},
     PlacementRule::ScaleThenFarBelow,
     MenuBar::Standard,
     "nnw",
     {"menuPlotWaterfall_Callback", ""},
     buildWaterfall},
}};

}  // namespace

std::span<const PlotWindowKind> plotWindowKinds() {
  return kPlots;
}

const PlotWindowKind& plotWindowKind(std::string_view operation) {
  for (const PlotWindowKind& k : kPlots)
    if (k.operation == operation) return k;
  throw runtime::Error("No plot window is called \"" + std::string(operation) + "\".");
}

const PlotWindowKind* plotWindowKindForMenu(std::string_view callback) {
  for (const PlotWindowKind& k : kPlots)
    for (std::string_view c : k.menuCallbacks)
      if (!c.empty() && c == callback) return &k;
  return nullptr;
}

WindowPlace plotWindowPlace(const PlotWindowKind& kind, const Value& parent) {
  WindowPlace w;
  w.units = tk::get(parent, "Units").str();
  if (tk::isRoot(parent)) {
    w.position = w.units == "pixels" ? kind.pixels : kind.fractions;
    return w;
  }
  const auto p = tk::get(parent, "Position").toDoubles();
  w.position = placeBeside(kind.placement, {p[0], p[1], p[2], p[3]});
  return w;
}

Value openPlotWindow(const PlotWindowKind& kind, const Value& parent, const std::string& label) {
  const WindowPlace place = plotWindowPlace(kind, parent);
  const Value fig = figure();
  const auto& [x, y, w, h] = place.position;
  tk::set(fig, {{"NumberTitle", Value::text("off")},
                {"Visible", Value::text("off")},
                {"Units", Value::text(place.units)},
                {"Position", Value::row({x, y, w, h})},
                {"Name", Value::text(std::string(kind.prefix) + label)}});
  if (kind.menuBar == MenuBar::Custom) {
    tk::set(fig, "MenuBar", Value::text("none"));
    addPlotMenus(fig);
  }
  return fig;
}

}  // namespace kelvane::plots
