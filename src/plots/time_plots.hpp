// What the time-domain plots show, as numbers: I(t) and Q(t) with their time grid and limits,
// the eye diagram's traces and the scatter diagram's points, and the argument rules of the
// general eyediagram and scatterplot operations with their exact messages.
#pragma once

#include <complex>
#include <cstddef>
#include <span>
#include <string>
#include <vector>

namespace kelvane::plots {

// KR_PlotIQTime's contents.
struct IqTimePlot {
  std::vector<double> i;  // in-phase values, volts
  std::vector<double> q;  // quadrature values
  std::string label;      // the caller's label, or "No Data" for the test display
  double iMin = -1;
  double iMax = 1;
  std::string tUnits;
  double multiplier = 1;
  double tMin = 0;
  double tMax = 0;  // the duration points / sampleRate in tUnits
  bool testSignal = false;
  // Sample k's time: 0 ... tMax in points - 1 equal steps.
  double time(std::size_t k) const;
};

// I(t) and Q(t) of `iqWave` at `sampleRate` Hz (<= 0 counts as 1). Both axes span
// [-iMax, iMax], iMax the largest |value| of I and Q (an all-zero waveform spans [-1, 1]).
// An empty waveform gives the test display: 100 points of cos and sin over -2 pi ... 2 pi,
// labelled "No Data". Example: 163840 samples at 6144000 Hz read "mS", 0 ... 26.67.
IqTimePlot iqTimePlot(std::span<const std::complex<double>> iqWave, double sampleRate,
                      std::string label);

// Signals as eyediagram and scatterplot take them: `rows` x `columns` values, column-major; a
// row vector is one column. Complex values have an imaginary part.
struct SignalColumns {
  std::vector<std::complex<double>> values;
  std::size_t rows = 0;
  std::size_t columns = 0;
  bool complex = false;
};

// eyediagram's rules in order, each an Error with its text: "Input variable X is empty.",
// "Number of columns in the input data, X, cannot exceed 2.", "N must be an integer greater
// than 1.", "PERIOD must be a positive number.", "OFFSET must be a integer in the range 0 <=
// OFFSET < N.".
void checkEyeArguments(const SignalColumns& x, double n, double period, double offset);
// scatterplot's rules in order: "Input variable X is empty.", "N must be a positive
// integer.", "OFFSET must be a nonnegative integer.", "Number of columns in the input data, X,
// cannot exceed 2.".
void checkScatterArguments(const SignalColumns& x, double n, double offset);

// The components an eye diagram draws, each in its own axes: real and imaginary parts of a
// complex column ("In-phase", "Quadrature"), or the one or two real columns.
struct EyeComponent {
  std::string name;
  std::vector<double> values;
};
std::vector<EyeComponent> eyeComponents(const SignalColumns& x);

// The eye traces of `values`: trace k is centred on sample offset + k n (0-based) and holds the
// samples up to ceil(n / 2) either side of it, at times (sample - centre) x period / n, so that
// the traces cover -period / 2 ... period / 2 (an odd n reaches half a sample beyond, which the
// view cuts) and the points offset + 1, offset + 1 + n, ... (1-based) sit at time 0. Calls
// `segment(t0, v0, t1, v1)` for every pair of neighbouring samples of a trace.
template <class Segment>
void forEachEyeSegment(std::span<const double> values, std::size_t n, double period,
                       std::size_t offset, Segment&& segment);
// The traces as point lists (for checking and small signals): {time, value} per sample.
std::vector<std::vector<std::pair<double, double>>> eyeTraces(std::span<const double> values,
                                                              std::size_t n, double period,
                                                              std::size_t offset);

// The scatter points: every n-th sample from 0-based sample `offset`, in-phase against
// quadrature (a single real column has quadrature 0, two real columns are I and Q).
struct ScatterPoints {
  std::vector<double> x;
  std::vector<double> y;
};
ScatterPoints scatterPoints(const SignalColumns& x, std::size_t n, std::size_t offset);

// ---- implementation of the template ----------------------------------------------------------

template <class Segment>
void forEachEyeSegment(std::span<const double> values, std::size_t n, double period,
                       std::size_t offset, Segment&& segment) {
  const auto count = static_cast<std::ptrdiff_t>(values.size());
  const auto half = static_cast<std::ptrdiff_t>((n + 1) / 2);
  const std::ptrdiff_t reach = half;
  const double dt = period / static_cast<double>(n);
  // The first centre whose trace reaches sample 0, then every n-th.
  auto centre = static_cast<std::ptrdiff_t>(offset);
  while (centre - static_cast<std::ptrdiff_t>(n) + reach > 0)
    centre -= static_cast<std::ptrdiff_t>(n);
  for (; centre - half < count; centre += static_cast<std::ptrdiff_t>(n)) {
    const std::ptrdiff_t first = std::max<std::ptrdiff_t>(centre - half, 0);
    const std::ptrdiff_t last = std::min<std::ptrdiff_t>(centre + reach, count - 1);
    for (std::ptrdiff_t s = first; s < last; ++s)
      segment(static_cast<double>(s - centre) * dt, values[static_cast<std::size_t>(s)],
              static_cast<double>(s + 1 - centre) * dt, values[static_cast<std::size_t>(s + 1)]);
  }
}

}  // namespace kelvane::plots
