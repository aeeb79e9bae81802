// The general eye diagram and scatter plot operations: their argument rules and messages
// (time_plots.hpp), a new figure or an existing one of the same kind, and the dense drawing of
// every trace and point.
#pragma once

#include <optional>
#include <string>

#include "plots/time_plots.hpp"
#include "runtime/value.hpp"

namespace kelvane::plots {

// eyediagram(x, n, period, offset, style, h): the eye traces of x (n samples per trace, the
// horizontal axis -period/2 ... period/2, sample offset + 1 and every n-th after centred) in a
// figure named "Eye Diagram", the in-phase and quadrature parts of a complex x in separate
// axes labelled "Time" and "Amplitude"; style "b-" by default. With `h`, draws into that eye
// diagram (an invalid handle: a warning and a new figure; another figure: an error). Returns
// the figure's handle.
runtime::Value eyediagram(const SignalColumns& x, double n, double period, double offset,
                          const std::string& style, const std::optional<runtime::Value>& h);

// scatterplot(x, n, offset, style, h): every n-th sample from sample offset + 1, in-phase on
// the x axis ("In-Phase"), quadrature on the y axis ("Quadrature"), title "Scatter plot",
// equal scaling, style "b." by default, in a figure named "Scatter Plot" (or the scatter plot
// `h`, with the same handle rules). Returns the figure's handle.
runtime::Value scatterplot(const SignalColumns& x, double n, double offset,
                           const std::string& style, const std::optional<runtime::Value>& h);

}  // namespace kelvane::plots
