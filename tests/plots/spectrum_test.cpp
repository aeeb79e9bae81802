// The spectrum and waterfall contents against the transform written out as its sum.
#include "plots/spectrum.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "plots/fft.hpp"
#include "reference.hpp"

namespace kelvane::plots {
namespace {

using testing::Complex;
using testing::directDft;

// The level spectrum as the plot defines it, from the direct transform: 1-based positions
// nearest(N/2) ... N, then 1 ... nearest(N/2 - 1); 10 log10 |X|^2 below the peak.
std::vector<double> referenceLevels(const std::vector<Complex>& x) {
  const std::vector<Complex> X = directDft(x);
  const long n = static_cast<long>(X.size());
  const long h = std::lround(static_cast<double>(n) / 2);
  std::vector<double> p;
  for (long k = h; k <= n; ++k)
    p.push_back(std::norm(X[static_cast<std::size_t>(k - 1)]));
  for (long k = 1; k <= std::lround(static_cast<double>(n) / 2 - 1); ++k)
    p.push_back(std::norm(X[static_cast<std::size_t>(k - 1)]));
  const double peak = 10 * std::log10(*std::max_element(p.begin(), p.end()));
  for (double& v : p)
    v = 10 * std::log10(v) - peak;
  return p;
}

TEST(Dft, MatchesTheSumForAnyLength) {
  for (std::size_t n : {1u, 2u, 7u, 12u, 97u}) {
    const auto x = testing::wobble(n);
    const auto fast = dft(x);
    const auto slow = directDft(x);
    for (std::size_t k = 0; k < n; ++k)
      EXPECT_NEAR(std::abs(fast[k] - slow[k]), 0, 1e-9) << n << " " << k;
  }
  DftPlan plan(12);
  const auto x = testing::wobble(12);
  std::copy(x.begin(), x.end(), plan.buffer().begin());
  plan.transform();
  EXPECT_NEAR(std::abs(plan.buffer()[5] - directDft(x)[5]), 0, 1e-9);
}

TEST(Spectrum, LevelsAreTheRotatedTransformBelowItsPeak) {
  for (std::size_t n : {1u, 2u, 7u, 8u, 33u}) {
    const auto x = testing::wobble(n);
    const SpectrumPlot s = spectrumPlot(x, 1000);
    const auto ref = referenceLevels(x);
    ASSERT_EQ(s.magSignal.size(), n);
    for (std::size_t i = 0; i < n; ++i)
      EXPECT_NEAR(s.magSignal[i], ref[i], 1e-9) << n << " " << i;
    EXPECT_EQ(*std::max_element(s.magSignal.begin(), s.magSignal.end()), 0);
    EXPECT_FALSE(s.testSignal);
  }
}

TEST(Spectrum, FrequencyAxisSpansHalfTheSampleRateEitherWayInItsUnits) {
  const SpectrumPlot s = spectrumPlot(testing::wobble(5), 6144000);
  EXPECT_EQ(s.frequency.fUnits, "MHz");
  EXPECT_DOUBLE_EQ(s.frequency.fMax, 3.072);
  EXPECT_DOUBLE_EQ(s.frequency.fMin, -3.072);
  EXPECT_DOUBLE_EQ(s.frequency.at(0), -3.072);
  EXPECT_DOUBLE_EQ(s.frequency.at(2), 0);
  EXPECT_DOUBLE_EQ(s.frequency.at(4), 3.072);
  EXPECT_EQ(spectrumPlot(testing::wobble(5), 999).frequency.fUnits, "Hz");
  const SpectrumPlot slow = spectrumPlot(testing::wobble(5), 0.5);
  EXPECT_EQ(slow.frequency.fUnits, "GHz");
  EXPECT_DOUBLE_EQ(slow.frequency.fMax, 0.25e-9);
  // A rate of 0 or below counts as 1 Hz.
  EXPECT_DOUBLE_EQ(spectrumPlot(testing::wobble(5), -3).frequency.fMax, 0.5);
  EXPECT_DOUBLE_EQ(spectrumPlot(testing::wobble(1), 10).frequency.at(0), 5);
}

TEST(Spectrum, AnAllZeroWaveformIsFlatAtZeroDecibels) {
  const SpectrumPlot s = spectrumPlot(std::vector<Complex>(16), 1e6);
  for (double v : s.magSignal)
    EXPECT_EQ(v, 0);
  // Every power was 1e-20; the flat plot still gets a 10 dB axis.
  EXPECT_EQ(s.level.mMax, 0);
  EXPECT_EQ(s.level.mMin, -10);
}

TEST(Spectrum, AToneAtAQuarterOfTheSampleRatePeaksNearTheThreeQuarterPoint) {
  const std::size_t n = 1024;
  const SpectrumPlot s = spectrumPlot(testing::tone(n, 0.25), 4e6);
  const auto peak = static_cast<std::size_t>(
      std::max_element(s.magSignal.begin(), s.magSignal.end()) - s.magSignal.begin());
  EXPECT_EQ(s.magSignal[peak], 0);
  EXPECT_NEAR(static_cast<double>(peak) / static_cast<double>(n - 1), 0.75, 2.0 / n);
  EXPECT_NEAR(s.frequency.at(peak), 1.0, 0.01);  // +fs/4 = 1 MHz
}

TEST(Spectrum, TheLevelAxisNeverSpansMoreThanOneHundredDecibels) {
  // A tone on a bin: every other power is rounding noise, hundreds of dB down.
  const SpectrumPlot s = spectrumPlot(testing::tone(64, 0.125), 1e6);
  EXPECT_LT(*std::min_element(s.magSignal.begin(), s.magSignal.end()), -150);
  EXPECT_EQ(s.level.mMax, 0);
  EXPECT_EQ(s.level.mMin, -100);
  // With a smaller range the axis follows it in 10 dB steps.
  const LevelAxis a = levelAxis(-37.5, 0);
  EXPECT_EQ(a.mMin, -40);
  EXPECT_EQ(a.mMax, 0);
  EXPECT_EQ(levelAxis(-3, 4).mMax, 10);
}

TEST(Spectrum, AnEmptyWaveformDrawsTheTenPointTestShape) {
  const SpectrumPlot s = spectrumPlot({}, 6144000);
  EXPECT_TRUE(s.testSignal);
  const double shape[] = {0.001, 0.01, 0.1, 0.5, 1, 1, 0.5, 0.1, 0.01, 0.001};
  ASSERT_EQ(s.magSignal.size(), 10u);
  for (std::size_t i = 0; i < 10; ++i)
    EXPECT_NEAR(s.magSignal[i], 20 * std::log10(shape[i]), 1e-12);
  EXPECT_EQ(s.level.mMin, -60);
  EXPECT_EQ(s.level.mMax, 0);
  EXPECT_EQ(s.frequency.points, 10u);
  EXPECT_DOUBLE_EQ(s.frequency.at(9), 3.072);
}

TEST(Waterfall, AnEmptyWaveformDrawsTheFiveByTenTestPattern) {
  const WaterfallPlot w = waterfallPlot({}, 1000, 0);
  EXPECT_TRUE(w.testSignal);
  ASSERT_EQ(w.rows, 5u);
  ASSERT_EQ(w.columns, 10u);
  const double low = 10 * std::log10(0.25);  // about -6 dB
  for (std::size_t r = 0; r < 5; ++r)
    for (std::size_t c = 0; c < 10; ++c)
      EXPECT_NEAR(w.at(r, c), r == 2 || c == 4 ? low : 0, 1e-12) << r << " " << c;
  EXPECT_EQ(w.level.mMax, 0);
  EXPECT_EQ(w.level.mMin, -10);
  EXPECT_EQ(w.frequency.fUnits, "kHz");
  EXPECT_DOUBLE_EQ(w.frequency.fMax, 0.5);
  // 50 samples at 1 kHz: 50 ms; snapshots 10 ms apart.
  EXPECT_EQ(w.tUnits, "mS");
  EXPECT_DOUBLE_EQ(w.snapshotTime, 10);
  EXPECT_DOUBLE_EQ(w.tMax, 40);
}

TEST(Waterfall, RowsAreTheLevelSpectraOfConsecutiveSnapshots) {
  const double rate = 1000;
  const auto x = testing::wobble(45);  // snapshots of 10: four full, the fifth padded
  const WaterfallPlot w = waterfallPlot(x, rate, 0.010);
  ASSERT_EQ(w.snapshotLength, 10u);
  ASSERT_EQ(w.rows, 5u);
  ASSERT_EQ(w.columns, 10u);
  std::vector<std::vector<double>> powers;
  double peak = 0;
  for (std::size_t r = 0; r < 5; ++r) {
    std::vector<Complex> snap(10);
    for (std::size_t i = 0; i < 10 && r * 10 + i < x.size(); ++i)
      snap[i] = x[r * 10 + i];
    const auto X = directDft(snap);
    std::vector<double> row;
    for (std::size_t i = 0; i < 10; ++i)
      row.push_back(std::norm(X[(4 + i) % 10]));  // from 1-based position nearest(10/2) = 5
    peak = std::max(peak, *std::max_element(row.begin(), row.end()));
    powers.push_back(row);
  }
  for (std::size_t r = 0; r < 5; ++r)
    for (std::size_t c = 0; c < 10; ++c)
      EXPECT_NEAR(w.at(r, c), 10 * std::log10(powers[r][c] / peak), 1e-9) << r << " " << c;
  EXPECT_EQ(w.tUnits, "mS");
  EXPECT_DOUBLE_EQ(w.time(0), 0);
  EXPECT_DOUBLE_EQ(w.time(4), 40);
  EXPECT_DOUBLE_EQ(w.tMax, 40);
}

TEST(Waterfall, ASnapshotSpansAtLeastTenSampleIntervals) {
  const auto x = testing::wobble(100);
  EXPECT_EQ(waterfallPlot(x, 1000, 0.001).snapshotLength, 10u);  // raised from 1 sample
  EXPECT_EQ(waterfallPlot(x, 1000, -1).snapshotLength, 10u);
  EXPECT_EQ(waterfallPlot(x, 1000, 0.025).snapshotLength, 25u);
  EXPECT_EQ(waterfallPlot(x, 1000, 0.025).rows, 4u);
  // One snapshot still has a time span.
  const WaterfallPlot one = waterfallPlot(testing::wobble(8), 1000, 0.01);
  EXPECT_EQ(one.rows, 1u);
  EXPECT_GT(one.tMax, one.tMin);
}

TEST(Waterfall, ReducedRowsKeepThePeakOfEveryGroup) {
  const auto x = testing::wobble(400);
  const WaterfallPlot full = waterfallPlot(x, 1e6, 100e-6);  // 100-sample snapshots
  const WaterfallPlot reduced = waterfallPlot(x, 1e6, 100e-6, 7);
  ASSERT_EQ(reduced.rows, full.rows);
  ASSERT_EQ(reduced.columns, 7u);
  for (std::size_t r = 0; r < full.rows; ++r)
    for (std::size_t g = 0; g < 7; ++g) {
      double best = -INFINITY;
      for (std::size_t c = 0; c < 100; ++c)
        if (c * 7 / 100 == g) best = std::max(best, full.at(r, c));
      EXPECT_NEAR(reduced.at(r, g), best, 1e-9);
    }
  EXPECT_DOUBLE_EQ(reduced.frequency.at(6), full.frequency.fMax);
}

TEST(Waterfall, AnAllZeroWaveformIsFlat) {
  const WaterfallPlot w = waterfallPlot(std::vector<Complex>(40), 1000, 0.01);
  for (double v : w.levels)
    EXPECT_EQ(v, 0);
  EXPECT_EQ(w.level.mMin, -10);
}

}  // namespace
}  // namespace kelvane::plots
