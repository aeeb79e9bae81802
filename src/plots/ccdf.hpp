// What the CCDF plot shows, as numbers: for each power level x dB above the average power, the
// percentage of samples whose power is at least that level, with the Gaussian noise reference.
#pragma once

#include <complex>
#include <cstddef>
#include <span>
#include <vector>

namespace kelvane::plots {

struct CcdfPlot {
  std::vector<double> X;   // 201 levels, dB above average, 0 ... maxX
  std::vector<double> Y;   // % of samples at or above each level (1e-300 added when some are 0)
  std::vector<double> Y1;  // the Gaussian noise reference, %
  double maxX = 20;
  double stepX = 0.1;
  double yMin = 0.001;  // lower limit of the logarithmic % axis, never above 0.001
  bool realWave = false;
  std::size_t points = 0;
  bool testSignal = false;
};

// The CCDF of `iqWave` (real or complex samples). Per-sample power p = |x|^2 (+ 1e-300 when
// some p is 0), relative to the average in dB; maxX = max(20, peak) x 1.01 when the peak is
// above 20 dB; X = 0, maxX / 200, ..., maxX. Y1 is 100 exp(-10^(X/10)) for a complex waveform
// and 100 erfc(10^(X/20) / sqrt 2) for a real one (every imaginary part 0). An empty waveform
// gives the test signal: 1000 samples of (cos(theta) + 1.5) e^(j phi), theta over -pi ... pi,
// phi over -10 pi ... 10 pi. Example: a waveform whose peak is 25 dB above average gives
// maxX 25.25 and levels 0.12625 dB apart.
CcdfPlot ccdfPlot(std::span<const std::complex<double>> iqWave);

}  // namespace kelvane::plots
