// Plots without a window, for production reports: the waveform computed as Calculate computes
// it, one plot drawn off screen and written as a PNG, SVG or PDF file. kelvane-cli's plot
// command runs this through the desktop program (kelvane --plot ...), so that the command-line
// tool itself links no Qt.
#pragma once

#include <complex>
#include <optional>
#include <string>
#include <vector>

#include "app/state.hpp"
#include "runtime/value.hpp"

namespace kelvane::host {

struct PlotRequest {
  std::string kind;       // spectrum, waterfall, ccdf, iq, iq-overlay, eye, scatter, filter
  std::string out;        // FILE.png, FILE.svg or FILE.pdf
  std::string params;     // --params FILE.mat, empty: the start-up parameters
  std::vector<std::string> sets;  // --set NAME=VALUE, in order
  std::string waveform = "traffic";  // or "control"
};

// The kinds of plot, in the order the help lists them.
const std::vector<std::string>& plotKinds();

// Opens the plot `kind` of `samples` beside `parent` (0: the screen), through the plot
// operation and with the inputs the frame's plot actions give it (the eye and scatter diagrams
// one chip a trace, no delay, the scatter trace on); "filter" draws the baseband filter the
// parameters select. Returns the window's handle (empty when the plot failed).
runtime::Value openPlot(const std::string& kind, const app::AppState& state,
                        const std::string& label,
                        const std::vector<std::complex<double>>& samples,
                        const runtime::Value& parent);

// Reads the arguments after --plot: KIND --out FILE [--params F] [--set N=V ...]
// [--waveform traffic|control]. Returns nothing (after printing the problem) on a usage error.
std::optional<PlotRequest> parsePlotRequest(const std::vector<std::string>& args);

// Computes the waveform and writes the plot. Returns the exit code of kelvane-cli: 0 written,
// 1 the calculation or the file failed, 2 usage, 3 a parameter file or value was refused.
int writePlotFile(const PlotRequest& request);

}  // namespace kelvane::host
