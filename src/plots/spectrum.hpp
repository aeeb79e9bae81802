// What the spectrum and waterfall plots show, as numbers: levels in dB normalised to 0 dB at the
// peak, the frequency axis over -fs/2 ... +fs/2 in automatic units, and (waterfall) the time
// grid of the snapshots.
#pragma once

#include <complex>
#include <cstddef>
#include <span>
#include <string>
#include <vector>

namespace kelvane::plots {

// The level axis of a dB plot from its smallest and largest level: ceil(max / 10) x 10 down to
// floor(min / 10) x 10, at most 100 dB; a flat plot (min = max) gets the 10 dB below its level
// so that the axis has a span.
struct LevelAxis {
  double mMin = 0;
  double mMax = 0;
};
LevelAxis levelAxis(double smallest, double largest);

// The frequency axis of `points` points: fMin = -fMax, fMax = sampleRate / (2 divider).
struct FrequencyAxis {
  std::string fUnits;
  double divider = 1;
  double fMin = 0;
  double fMax = 0;
  std::size_t points = 0;
  // Point i (0-based) of the axis, fMin ... fMax in points - 1 equal steps (a single point
  // sits at fMax).
  double at(std::size_t i) const;
};
FrequencyAxis frequencyAxis(double sampleRate, std::size_t points);

// KR_PlotSpectrum's contents.
struct SpectrumPlot {
  std::vector<double> magSignal;  // dB, peak 0, negative frequencies first
  FrequencyAxis frequency;
  LevelAxis level;
  bool testSignal = false;  // the 10-point test shape of an empty waveform
};

// The magnitude spectrum of `iqWave` at `sampleRate` Hz (<= 0 counts as 1): its transform
// rotated so that the element at position nearest(points / 2) comes first, as power
// |X|^2 (+ 1e-20 x the peak when some power is 0, or + 1e-20 when all are), in dB below the
// peak. An empty waveform gives the test shape [0.001 0.01 0.1 0.5 1 1 0.5 0.1 0.01 0.001].
// Example: a tone at +fs/4 peaks at 0 dB near the 3/4 point of the frequency axis.
SpectrumPlot spectrumPlot(std::span<const std::complex<double>> iqWave, double sampleRate);

// KR_PlotWaterfall's contents: `rows` snapshots of `columns` levels each.
struct WaterfallPlot {
  std::size_t rows = 0;            // m snapshots
  std::size_t columns = 0;         // levels per snapshot (n, or fewer when reduced)
  std::size_t snapshotLength = 0;  // n samples per snapshot
  std::vector<double> levels;      // rows x columns, row-major, dB
  FrequencyAxis frequency;         // `columns` points
  std::string tUnits;
  double multiplier = 1;
  double snapshotTime = 0;  // t = n x multiplier / sampleRate
  double tMin = 0;
  double tMax = 0;  // (m - 1) x t
  LevelAxis level;
  bool testSignal = false;
  double at(std::size_t row, std::size_t column) const { return levels[row * columns + column]; }
  // The time of snapshot `row` (0-based): its start, row x t, so that every row lies within
  // tMin ... tMax.
  double time(std::size_t row) const { return static_cast<double>(row) * snapshotTime; }
};

// The waterfall of `iqWave`: snapshots of n = nearest(period x sampleRate) samples, period
// first raised to at least 10 sample intervals (period <= 0 gives 10 / sampleRate), the
// waveform zero-padded to m = ceil(points / n) snapshots; each snapshot's power spectrum
// |X|^2, rotated as the spectrum's, in dB below the peak of all snapshots (the spectrum's
// 1e-20 guard). `maxColumns` > 0 reduces each row to at most that many columns, each the
// largest level of its group of neighbouring frequencies (no peak is lost). An empty waveform
// gives the 5 x 10 test pattern: ones, row 3 and column 5 at 0.5, as 10 log10 of the squares.
WaterfallPlot waterfallPlot(std::span<const std::complex<double>> iqWave, double sampleRate,
                            double period, std::size_t maxColumns = 0);

}  // namespace kelvane::plots
