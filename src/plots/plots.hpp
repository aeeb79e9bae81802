// The application's plot windows: spectrum, waterfall, CCDF, I/Q against time, eye and scatter
// diagrams, each in a window of the plot frame (plot_table.hpp) drawn from the numbers of the
// Qt-free half. Each returns the window's handle (the eye and scatter diagrams an empty value
// when their plot failed and the "Plot Error" box was shown).
#pragma once

#include <cstddef>
#include <initializer_list>
#include <string>
#include <string_view>
#include <utility>

#include "plots/plot_table.hpp"
#include "runtime/value.hpp"

class QWidget;

namespace kelvane::plots {

class Axes2D;
class PlotFigure;
struct FilterResponsePlot;

// KR_PlotSpectrum(hParent, label, sampleRate, iqWave).
runtime::Value buildSpectrum(const PlotWindowKind& kind, const PlotCall& call);
// KR_PlotWaterfall(hParent, label, sampleRate, period, iqWave).
runtime::Value buildWaterfall(const PlotWindowKind& kind, const PlotCall& call);
// KR_PlotCCDF(hParent, label, iqWave).
runtime::Value buildCcdf(const PlotWindowKind& kind, const PlotCall& call);
// KR_PlotIQTime(hParent, label, sampleRate, overlay, iqWave).
runtime::Value buildIqTime(const PlotWindowKind& kind, const PlotCall& call);
// KR_PlotEyeDiagram(hParent, label, iqWave, n, period, offset).
runtime::Value buildEyeDiagram(const PlotWindowKind& kind, const PlotCall& call);
// KR_PlotScatterDiagram(hParent, label, iqWave, n, offset, traceOn).
runtime::Value buildScatterDiagram(const PlotWindowKind& kind, const PlotCall& call);

// A window with the magnitude response of a baseband filter against the IS-95 / cdma2000 mask:
// the response in blue, the passband limits (+-1.5 dB to 590 kHz) and the stopband limit
// (-40 dB from 740 kHz) in red, the verdict in the title. Returns its handle.
runtime::Value filterResponseFigure(const FilterResponsePlot& plot, const std::string& name);

// New 2-D axes in `figure`, made its current axes.
Axes2D* newAxes(PlotFigure* figure);
// Scales an axes' position [x y w h] to [ax x, ay y, w, h / 1.1] (the plots' room for labels).
void scalePosition(QWidget* axes, double ax, double ay);
// Sets properties of an axes by name.
void setAxes(QWidget* axes, std::initializer_list<std::pair<std::string_view, runtime::Value>> p);

// The columns a waterfall surface is reduced to for drawing (each the peak of its group).
inline constexpr std::size_t kWaterfallColumns = 512;

}  // namespace kelvane::plots
