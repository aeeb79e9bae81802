// The generic plotting verbs on the toolkit's current figure and axes (a figure and axes are
// made when there are none, as the operator expects of a plotting command): subplot, title,
// xlabel, ylabel, clf, waterfall, and freqzplot, which draws a frequency response.
#pragma once

#include <array>
#include <complex>
#include <optional>
#include <string>
#include <vector>

#include "runtime/value.hpp"

class QWidget;

namespace kelvane::plots {

class Axes2D;
class Axes3D;
class PlotFigure;

// The axes of cell p (1-based, row by row) of an m x n grid in `figure`: the axes already
// there, or new ones. Throws Error for a cell outside the grid.
Axes2D* subplotIn(PlotFigure* figure, int m, int n, int p);
// subplot(m, n, p) in the current figure; returns the axes' handle, now the current axes.
runtime::Value subplot(int m, int n, int p);

// The current axes of the current figure (new 2-D axes when the figure has none).
QWidget* currentAxesOrNew();

// title, xlabel, ylabel: the text of the current axes' "Title", "XLabel" or "YLabel" (any of
// the three of an axes given as `axes`). Returns the axes' handle.
runtime::Value label(const char* property, const std::string& text,
                     const std::optional<runtime::Value>& axes = std::nullopt);

// clf: every axes of `figure` (the current figure when none) deleted; `reset` also returns its
// zoom and rotate modes to off. Returns the figure's handle.
runtime::Value clf(const std::optional<runtime::Value>& figure, bool reset);

// New 3-D axes in `figure` at the current axes' place (which they replace), made current.
Axes3D* newWaterfallAxes(PlotFigure* figure);
// waterfall(X, Y, Z): z (m x n, row-major) over x (n values) and y (m values) in 3-D axes of
// the current figure. Returns the axes' handle.
runtime::Value waterfall(std::vector<double> x, std::vector<double> y, std::vector<double> z);

// freqzplot(h, w, s): the magnitude (dB, or linear or squared) and phase (degrees) of a
// frequency response against its frequencies, in two axes of the current figure, or one when
// only one is asked for.
struct FreqzPlotOptions {
  std::string xunits = "rad/sample";  // or "Hz", "kHz", "MHz", "GHz"
  std::string yunits = "db";          // or "linear", "squared"
  std::string plot = "both";          // or "mag", "phase"
};
void freqzplot(const std::vector<std::complex<double>>& h, const std::vector<double>& w,
               const FreqzPlotOptions& options);

}  // namespace kelvane::plots
