// The CCDF contents: levels, percentages counted sample by sample, the Gaussian references and
// the lower limit of the logarithmic axis.
#include "plots/ccdf.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <random>

#include "reference.hpp"

namespace kelvane::plots {
namespace {

using testing::Complex;

// Percentage of samples whose power is at least `level` dB above the average, counted plainly.
double percentAtOrAbove(const std::vector<Complex>& x, double level) {
  double sum = 0;
  for (const auto& z : x)
    sum += std::norm(z);
  const double rms = 10 * std::log10(sum / static_cast<double>(x.size()));
  double count = 0;
  for (const auto& z : x)
    count += 10 * std::log10(std::norm(z)) - rms >= level;
  return count / static_cast<double>(x.size()) * 100;
}

std::vector<Complex> gaussian(std::size_t n, bool complex) {
  std::mt19937 gen(7);
  std::normal_distribution<double> d;
  std::vector<Complex> x(n);
  for (auto& z : x)
    z = {d(gen), complex ? d(gen) : 0.0};
  return x;
}

TEST(Ccdf, PercentagesAreTheSamplesAtOrAboveEachLevel) {
  const auto x = gaussian(5000, true);
  const CcdfPlot c = ccdfPlot(x);
  ASSERT_EQ(c.X.size(), 201u);
  for (std::size_t k = 0; k < c.X.size(); k += 7)
    EXPECT_NEAR(c.Y[k], percentAtOrAbove(x, c.X[k]), 1e-9) << c.X[k];
  EXPECT_FALSE(c.realWave);
  EXPECT_EQ(c.points, 5000u);
  EXPECT_LE(c.yMin, 0.001);
  // Complex Gaussian noise follows its reference: exp(-1) of the samples reach the average.
  EXPECT_NEAR(c.Y[0], 100 * std::exp(-1.0), 2.0);
}

TEST(Ccdf, TheReferenceMatchesTheKindOfWaveform) {
  const CcdfPlot complexNoise = ccdfPlot(gaussian(100, true));
  EXPECT_FALSE(complexNoise.realWave);
  EXPECT_NEAR(complexNoise.Y1[0], 100 * std::exp(-1.0), 1e-12);
  EXPECT_NEAR(complexNoise.Y1[100], 100 * std::exp(-std::pow(10, complexNoise.X[100] / 10)), 1e-12);
  const CcdfPlot realNoise = ccdfPlot(gaussian(100, false));
  EXPECT_TRUE(realNoise.realWave);
  EXPECT_NEAR(realNoise.Y1[0], 100 * std::erfc(1 / std::numbers::sqrt2), 1e-12);  // 31.73 %
  EXPECT_NEAR(realNoise.Y1[50],
              100 * std::erfc(std::pow(10, realNoise.X[50] / 20) / std::numbers::sqrt2), 1e-12);
  // Any nonzero imaginary part makes the waveform complex.
  auto almostReal = gaussian(100, false);
  almostReal[42].imag(1e-9);
  EXPECT_FALSE(ccdfPlot(almostReal).realWave);
}

TEST(Ccdf, AConstantEnvelopeDrawsASingleStepAtZeroDecibels) {
  const CcdfPlot exact = ccdfPlot(std::vector<Complex>(64, Complex(0.5, -0.5)));
  EXPECT_DOUBLE_EQ(exact.Y[0], 100);  // every sample counts at the first level
  for (std::size_t k = 1; k < exact.Y.size(); ++k)
    EXPECT_EQ(exact.Y[k], 1e-300);
  EXPECT_EQ(exact.maxX, 20);
  EXPECT_EQ(exact.yMin, 0.001);
  // Equal power to within rounding: the step stays at 0 dB.
  const CcdfPlot rounded = ccdfPlot(testing::tone(1000, 0.0123));
  EXPECT_GT(rounded.Y[0], 0.01);
  for (std::size_t k = 1; k < rounded.Y.size(); ++k)
    EXPECT_LT(rounded.Y[k], 1e-200);
  EXPECT_LE(rounded.yMin, 0.001);
}

TEST(Ccdf, AnAllZeroWaveformDrawsLikeAConstantEnvelope) {
  const CcdfPlot c = ccdfPlot(std::vector<Complex>(10));
  EXPECT_DOUBLE_EQ(c.Y[0], 100);  // every relative power is 0 dB
  EXPECT_EQ(c.Y[1], 1e-300);
  EXPECT_TRUE(c.realWave);
  EXPECT_EQ(c.yMin, 0.001);
}

TEST(Ccdf, APeakTwentyFiveDecibelsAboveAverageGivesTwoHundredAndOneLevelsToTwentyFivePointTwoFive) {
  // 999 samples of power 1 and one of power P with P / mean = 10^2.5.
  const double ratio = std::pow(10, 2.5), n = 1000;
  const double big = ratio * (n - 1) / (n - ratio);
  std::vector<Complex> x(1000, Complex(1, 0));
  x[500] = Complex(0, std::sqrt(big));
  const CcdfPlot c = ccdfPlot(x);
  EXPECT_NEAR(c.maxX, 25.25, 1e-9);
  EXPECT_NEAR(c.stepX, 0.12625, 1e-11);
  ASSERT_EQ(c.X.size(), 201u);
  EXPECT_EQ(c.X[0], 0);
  EXPECT_NEAR(c.X[1], 0.12625, 1e-11);
  EXPECT_EQ(c.X[200], c.maxX);
  // Only the one sample reaches 25 dB: 0.1 %.
  EXPECT_DOUBLE_EQ(c.Y[198], 0.1);
  EXPECT_EQ(c.yMin, 0.001);
}

TEST(Ccdf, TheLogarithmicAxisNeverStartsAboveAThousandthOfAPercent) {
  // 20 samples, the smallest positive percentage is 5 %: capped.
  const CcdfPlot few = ccdfPlot(gaussian(20, true));
  EXPECT_EQ(few.yMin, 0.001);
  EXPECT_GT(*std::min_element(few.Y.begin(), few.Y.end()), 0);  // 1e-300 keeps the log finite
  // With a million samples the smallest positive percentage is 1e-4 %: kept.
  std::vector<Complex> x(1000000, Complex(1, 0));
  x[3] = Complex(30, 0);
  const CcdfPlot many = ccdfPlot(x);
  EXPECT_DOUBLE_EQ(many.yMin, 1e-4);
}

TEST(Ccdf, AnEmptyWaveformGivesTheTestSignal) {
  const CcdfPlot c = ccdfPlot({});
  EXPECT_TRUE(c.testSignal);
  EXPECT_EQ(c.points, 1000u);
  std::vector<Complex> test(1000);
  for (std::size_t i = 0; i < 1000; ++i) {
    const double theta = -std::numbers::pi + static_cast<double>(i) * 2 * std::numbers::pi / 999;
    const double phi =
        -10 * std::numbers::pi + static_cast<double>(i) * 20 * std::numbers::pi / 999;
    test[i] = std::polar(std::cos(theta) + 1.5, phi);
  }
  const CcdfPlot ref = ccdfPlot(test);
  EXPECT_NEAR(c.maxX, ref.maxX, 1e-12);
  for (std::size_t k = 0; k < 201; ++k)
    EXPECT_NEAR(c.Y[k], ref.Y[k], 1e-9);
  EXPECT_FALSE(c.realWave);
}

}  // namespace
}  // namespace kelvane::plots
