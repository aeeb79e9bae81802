#include "plots/spectrum.hpp"

#include <algorithm>
#include <cmath>
#include <limits>

#include "plots/fft.hpp"
#include "plots/units.hpp"

namespace kelvane::plots {

namespace {

// The first transform position shown (0-based): nearest(points / 2) - 1, so that the
// negative frequencies come first.
std::size_t rotationStart(std::size_t points) {
  return static_cast<std::size_t>(nearest(static_cast<double>(points) / 2)) - 1;
}

// The smallest and largest of `p`.
std::pair<double, double> range(std::span<const double> p) {
  const auto [lo, hi] = std::minmax_element(p.begin(), p.end());
  return {*lo, *hi};
}

// Turns powers into dB below the largest, with the guard that keeps a power of 0 finite:
// 1e-20 x the peak is added to every power, or 1e-20 when every power is 0.
void toDecibelsBelowPeak(std::span<double> p) {
  auto [smallest, largest] = range(p);
  if (smallest == 0) {
    const double guard = largest == 0 ? 1e-20 : largest * 1e-20;
    for (double& x : p)
      x += guard;
  }
  double peak = -std::numeric_limits<double>::infinity();
  for (double& x : p) {
    x = 10 * std::log10(x);
    peak = std::max(peak, x);
  }
  for (double& x : p)
    x -= peak;
}

double sampleRateOrOne(double sampleRate) {
  return sampleRate <= 0 || std::isnan(sampleRate) ? 1 : sampleRate;
}

}  // namespace

LevelAxis levelAxis(double smallest, double largest) {
  LevelAxis a;
  a.mMax = std::ceil(largest / 10) * 10;
  a.mMin = std::floor(smallest / 10) * 10;
  if (a.mMin < a.mMax - 100) a.mMin = a.mMax - 100;
  if (!(a.mMin < a.mMax)) a.mMin = a.mMax - 10;  // a flat plot still needs an axis span
  return a;
}

double FrequencyAxis::at(std::size_t i) const {
  if (points <= 1 || i + 1 >= points) return fMax;
  return fMin + static_cast<double>(i) * (2 * fMax / static_cast<double>(points - 1));
}

FrequencyAxis frequencyAxis(double sampleRate, std::size_t points) {
  FrequencyAxis f;
  const Units u = frequencyUnits(sampleRate);
  f.fUnits = u.text;
  f.divider = u.scale;
  f.fMax = sampleRate / (2 * u.scale);
  f.fMin = -f.fMax;
  f.points = points;
  return f;
}

SpectrumPlot spectrumPlot(std::span<const std::complex<double>> iqWave, double sampleRate) {
  sampleRate = sampleRateOrOne(sampleRate);
  SpectrumPlot s;
  if (iqWave.empty()) {
    s.testSignal = true;
    s.magSignal = {0.001, 0.01, 0.1, 0.5, 1, 1, 0.5, 0.1, 0.01, 0.001};
    for (double& v : s.magSignal)
      v *= v;
  } else {
    const std::size_t n = iqWave.size();
    std::vector<Complex> x(iqWave.begin(), iqWave.end());
    dftInPlace(x);
    s.magSignal.resize(n);
    const std::size_t start = rotationStart(n);
    for (std::size_t i = 0, k = start; i < n; ++i, k = k + 1 == n ? 0 : k + 1)
      s.magSignal[i] = std::norm(x[k]);
  }
  toDecibelsBelowPeak(s.magSignal);
  const auto [smallest, largest] = range(s.magSignal);
  s.level = levelAxis(smallest, largest);
  s.frequency = frequencyAxis(sampleRate, s.magSignal.size());
  return s;
}

namespace {

// The waterfall's 5 x 10 test pattern: ones with row 3 and column 5 at 0.5, squared.
void testPattern(WaterfallPlot& w) {
  w.testSignal = true;
  w.rows = 5;
  w.columns = 10;
  w.snapshotLength = 10;
  w.levels.assign(50, 1.0);
  for (std::size_t c = 0; c < 10; ++c)
    w.levels[2 * 10 + c] = 0.25;
  for (std::size_t r = 0; r < 5; ++r)
    w.levels[r * 10 + 4] = 0.25;
}

// Rows of powers: each snapshot transformed, rotated and reduced to `columns` groups (the
// largest power of each). Returns the smallest power of all, before the reduction.
double snapshotPowers(std::span<const std::complex<double>> wave, WaterfallPlot& w) {
  const std::size_t n = w.snapshotLength;
  DftPlan plan(n);
  const std::span<Complex> buf = plan.buffer();
  const std::size_t start = rotationStart(n);
  double smallest = std::numeric_limits<double>::infinity();
  w.levels.assign(w.rows * w.columns, 0.0);
  for (std::size_t r = 0; r < w.rows; ++r) {
    const std::size_t first = r * n;
    const std::size_t have = std::min(n, wave.size() - first);
    std::copy_n(wave.begin() + static_cast<std::ptrdiff_t>(first), have, buf.begin());
    std::fill(buf.begin() + static_cast<std::ptrdiff_t>(have), buf.end(), Complex());
    plan.transform();
    double* row = w.levels.data() + r * w.columns;
    for (std::size_t i = 0, k = start; i < n; ++i, k = k + 1 == n ? 0 : k + 1) {
      const double p = std::norm(buf[k]);
      smallest = std::min(smallest, p);
      double& cell = row[i * w.columns / n];
      cell = std::max(cell, p);
    }
  }
  return smallest;
}

}  // namespace

WaterfallPlot waterfallPlot(std::span<const std::complex<double>> iqWave, double sampleRate,
                            double period, std::size_t maxColumns) {
  sampleRate = sampleRateOrOne(sampleRate);
  if (!(period > 0)) period = 10 / sampleRate;
  period = std::max(period, 10 / sampleRate);
  WaterfallPlot w;
  if (iqWave.empty()) {
    testPattern(w);
    toDecibelsBelowPeak(w.levels);
  } else {
    w.snapshotLength = static_cast<std::size_t>(nearest(period * sampleRate));
    w.rows = (iqWave.size() + w.snapshotLength - 1) / w.snapshotLength;
    w.columns = maxColumns > 0 ? std::min(maxColumns, w.snapshotLength) : w.snapshotLength;
    const double smallest = snapshotPowers(iqWave, w);
    if (smallest == 0) {
      // The guard sees the power of 0 even when the reduction kept only larger ones.
      const double largest = *std::max_element(w.levels.begin(), w.levels.end());
      const double guard = largest == 0 ? 1e-20 : largest * 1e-20;
      for (double& p : w.levels)
        p += guard;
    }
    toDecibelsBelowPeak(w.levels);
  }
  const auto [smallest, largest] = range(w.levels);
  w.level = levelAxis(smallest, largest);
  w.frequency = frequencyAxis(sampleRate, w.columns);
  const double n = static_cast<double>(w.snapshotLength);
  const Units t = timeUnits(n * static_cast<double>(w.rows) / sampleRate);
  w.tUnits = t.text;
  w.multiplier = t.scale;
  w.snapshotTime = n * t.scale / sampleRate;
  w.tMin = 0;
  // A single snapshot still gets an axis span of one snapshot.
  w.tMax = static_cast<double>(w.rows > 1 ? w.rows - 1 : 1) * w.snapshotTime;
  return w;
}

}  // namespace kelvane::plots
