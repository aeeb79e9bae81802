// The plot windows of the application, one row each: the operation, the window name prefix, the
// position without a parent (pixels, and fractions of the screen in other units), the placement
// beside a parent, the menu bar, the inputs after (hParent, label), the frame's menu actions
// that open it, and the builder that draws it. The window frame, the by-name binding and the
// frame's plot actions all read this one table.
#pragma once

#include <array>
#include <complex>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "plots/placement.hpp"
#include "runtime/value.hpp"

namespace kelvane::plots {

// The inputs of a plot operation: hParent (0: the screen), the label, its numeric inputs in
// order (absent ones empty) and the waveform.
struct PlotCall {
  runtime::Value parent = runtime::Value::scalar(0);
  std::string label = "Test Data";
  std::vector<std::optional<double>> numbers;
  // The waveform: the caller's complex samples where it holds them (a waveform of 15.7 million
  // samples is 250 MB, not copied for a plot), else `owned`.
  std::span<const std::complex<double>> wave;
  std::vector<std::complex<double>> owned;
  PlotCall() = default;
  PlotCall(PlotCall&&) = default;  // `wave` stays on the moved buffer
  PlotCall& operator=(PlotCall&&) = default;
  PlotCall(const PlotCall&) = delete;
  double number(std::size_t i, double fallback) const {
    return i < numbers.size() && numbers[i] ? *numbers[i] : fallback;
  }
};

enum class MenuBar { Custom, Standard };

struct PlotWindowKind {
  std::string_view operation;
  std::string_view prefix;
  Rect pixels;
  Rect fractions;
  PlacementRule placement;
  MenuBar menuBar;
  // After (hParent, label): 'n' a number, 'w' the waveform, e.g. "nnw" for (rate, period, wave).
  std::string_view inputs;
  std::array<std::string_view, 2> menuCallbacks;  // "" when unused
  runtime::Value (*build)(const PlotWindowKind& kind, const PlotCall& call);
};

std::span<const PlotWindowKind> plotWindowKinds();
// The row of an operation ("KR_PlotCCDF"); throws runtime::Error for another name.
const PlotWindowKind& plotWindowKind(std::string_view operation);
// The row whose menu action is `callback` ("menuPlotIQTimeSameAxes_Callback"), or nullptr.
const PlotWindowKind* plotWindowKindForMenu(std::string_view callback);

// Where the window of `kind` opens for `parent` (0: the screen) and in which units: the
// parent's "Units"; without a parent the table's pixel rectangle, or its fractions in other
// units; else the parent's "Position" placed by the row's rule.
struct WindowPlace {
  std::string units;
  Rect position;
};
WindowPlace plotWindowPlace(const PlotWindowKind& kind, const runtime::Value& parent);

// The frame of a plot window: created hidden, placed, named prefix + label, without the
// number in its title; with the custom menus when the row says so. Returns its handle.
runtime::Value openPlotWindow(const PlotWindowKind& kind, const runtime::Value& parent,
                              const std::string& label);

}  // namespace kelvane::plots
