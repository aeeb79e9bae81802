// The generic signal routines against values computed here independently: the frequency
// response summed term by term, frames built sample by sample.
#include "plots/signal.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "plots/error.hpp"

namespace kelvane::plots {
namespace {

constexpr double kPi = std::numbers::pi;

// H(w) = sum b(k) e^-jwk / sum a(k) e^-jwk.
Complex dtft(const std::vector<Complex>& b, const std::vector<Complex>& a, double w) {
  Complex num, den;
  for (std::size_t k = 0; k < b.size(); ++k)
    num += b[k] * std::polar(1.0, -w * static_cast<double>(k));
  for (std::size_t k = 0; k < a.size(); ++k)
    den += a[k] * std::polar(1.0, -w * static_cast<double>(k));
  return num / den;
}

PsdOptions points(double n, bool whole = false, std::optional<double> fs = std::nullopt) {
  PsdOptions o;
  o.nfft = {n};
  o.whole = whole;
  o.fs = fs;
  return o;
}

TEST(Freqz, HalfAndWholeCirclesMatchTheSummedResponse) {
  const std::vector<Complex> b{0.2, 0.5, -0.1, 0.3}, a{1, -0.4, 0.1};
  const FreqzResult half = freqz(b, a, points(16));
  ASSERT_EQ(half.h.size(), 16u);
  for (std::size_t k = 0; k < 16; ++k) {
    EXPECT_NEAR(half.w[k], kPi * static_cast<double>(k) / 16, 1e-15);
    EXPECT_NEAR(std::abs(half.h[k] - dtft(b, a, half.w[k])), 0, 1e-12) << k;
  }
  const FreqzResult whole = freqz(b, a, points(10, true));
  for (std::size_t k = 0; k < 10; ++k) {
    EXPECT_NEAR(whole.w[k], 2 * kPi * static_cast<double>(k) / 10, 1e-15);
    EXPECT_NEAR(std::abs(whole.h[k] - dtft(b, a, whole.w[k])), 0, 1e-12) << k;
  }
  const FreqzResult simple = freqz(std::vector<Complex>{1, 1}, std::vector<Complex>{1}, points(2));
  EXPECT_NEAR(std::abs(simple.h[0] - Complex(2, 0)), 0, 1e-15);
  EXPECT_NEAR(std::abs(simple.h[1] - Complex(1, -1)), 0, 1e-15);
}

TEST(Freqz, CoefficientsLongerThanTheTransformAreWrapped) {
  std::vector<Complex> b(37);
  for (std::size_t k = 0; k < b.size(); ++k)
    b[k] = std::sin(0.3 * static_cast<double>(k)) / (1.0 + static_cast<double>(k));
  const FreqzResult r = freqz(b, std::vector<Complex>{1}, points(8));  // 16-point transforms
  for (std::size_t k = 0; k < 8; ++k)
    EXPECT_NEAR(std::abs(r.h[k] - dtft(b, {1}, r.w[k])), 0, 1e-12) << k;
}

TEST(Freqz, ASampleRateGivesFrequenciesInHertz) {
  const std::vector<Complex> b{1, 2, 1}, a{1};
  const FreqzResult half = freqz(b, a, points(4, false, 8000));
  EXPECT_TRUE(half.hertz);
  for (std::size_t k = 0; k < 4; ++k)
    EXPECT_NEAR(half.w[k], 1000.0 * static_cast<double>(k), 1e-9);
  EXPECT_NEAR(std::abs(half.h[2] - dtft(b, a, kPi / 2)), 0, 1e-12);
  const FreqzResult whole = freqz(b, a, points(4, true, 8000));
  for (std::size_t k = 0; k < 4; ++k)
    EXPECT_NEAR(whole.w[k], 2000.0 * static_cast<double>(k), 1e-9);
  // Given frequencies (more than one number) are evaluated where asked, in Hz with a rate.
  PsdOptions at;
  at.nfft = {0, 1000, 4000};
  at.fs = 8000;
  const FreqzResult given = freqz(b, a, at);
  EXPECT_TRUE(given.atGivenFrequencies);
  EXPECT_NEAR(std::abs(given.h[1] - dtft(b, a, kPi / 4)), 0, 1e-12);
  EXPECT_NEAR(std::abs(given.h[2]), 0, 1e-12);  // the zero of (1 + z^-1)^2 at fs / 2
}

TEST(Psdoptions, NumbersAreNfftThenFsAndWordsPickTheRange) {
  const std::vector<PsdArgument> args{std::vector<double>{256}, std::string("whole"),
                                      std::vector<double>{1e6}};
  const PsdParse p = psdoptions({}, args);
  EXPECT_EQ(p.msg, "");
  EXPECT_EQ(p.options.nfft, (std::vector<double>{256}));
  EXPECT_TRUE(p.options.whole);
  EXPECT_EQ(p.options.fs, 1e6);
  // An empty number keeps the default.
  const std::vector<PsdArgument> keep{std::vector<double>{}, std::string("onesided")};
  EXPECT_EQ(psdoptions({}, keep).options.nfft, (std::vector<double>{512}));
  EXPECT_FALSE(psdoptions({}, keep).options.whole);
  const std::vector<PsdArgument> bad{std::string("sideways")};
  EXPECT_EQ(psdoptions({}, bad).msg, "Unrecognized option \"sideways\".");
  const std::vector<PsdArgument> three{std::vector<double>{8}, std::vector<double>{1},
                                       std::vector<double>{2}};
  EXPECT_EQ(psdoptions({}, three).msg, "Too many numeric inputs: NFFT and Fs at most.");
  const std::vector<PsdArgument> badFs{std::vector<double>{8}, std::vector<double>{-1}};
  EXPECT_EQ(psdoptions({}, badFs).msg, "Fs must be a positive number.");
}

TEST(Datawrap, SumsTheSignalModuloTheLength) {
  const std::vector<Complex> x{1, 2, 3, 4, 5};
  EXPECT_EQ(datawrap(x, 2), (std::vector<Complex>{9, 6}));
  EXPECT_EQ(datawrap(x, 7), (std::vector<Complex>{1, 2, 3, 4, 5, 0, 0}));
  EXPECT_THROW(datawrap(x, 0), Error);
}

TEST(Db, PowerAndVoltageForms) {
  const std::vector<Complex> x{100, 0.1, Complex(3, 4)};
  const auto volts = db(x, DbKind::Voltage);
  EXPECT_NEAR(volts[0], 40, 1e-12);
  EXPECT_NEAR(volts[1], -20, 1e-12);
  EXPECT_NEAR(volts[2], 20 * std::log10(5.0), 1e-12);
  EXPECT_NEAR(db(x, DbKind::Voltage, 50)[0], 10 * std::log10(10000.0 / 50), 1e-12);
  const std::vector<Complex> powers{100, 0.5};
  EXPECT_NEAR(db(powers, DbKind::Power)[0], 20, 1e-12);
  EXPECT_NEAR(db(powers, DbKind::Power)[1], 10 * std::log10(0.5), 1e-12);
  EXPECT_EQ(db(std::vector<Complex>{0}, DbKind::Power)[0], -INFINITY);
  EXPECT_THROW(db(std::vector<Complex>{-1}, DbKind::Power), Error);
  EXPECT_THROW(db(x, DbKind::Voltage, 0), Error);
}

TEST(Dividenowarn, DividesElementWiseAndQuietlyByZero) {
  const std::vector<Complex> num{1, -2, 0, Complex(0, 2)}, den{2, 0, 0, Complex(0, 1)};
  const auto q = dividenowarn(num, den);
  EXPECT_EQ(q[0], Complex(0.5));
  EXPECT_EQ(q[1].real(), -INFINITY);
  EXPECT_TRUE(std::isnan(q[2].real()));
  EXPECT_EQ(q[3], Complex(2));
  EXPECT_EQ(dividenowarn(num, std::vector<Complex>{2})[1], Complex(-1));
  EXPECT_THROW(dividenowarn(num, std::vector<Complex>{1, 2}), Error);
}

// Column c of the expected frames: stream samples c * hop ... c * hop + n - 1, zero beyond.
std::vector<Complex> frames(const std::vector<Complex>& stream, std::size_t n, std::size_t hop,
                            std::size_t columns) {
  std::vector<Complex> y(n * columns);
  for (std::size_t c = 0; c < columns; ++c)
    for (std::size_t r = 0; r < n; ++r)
      if (c * hop + r < stream.size()) y[c * n + r] = stream[c * hop + r];
  return y;
}

std::vector<Complex> ramp(std::size_t n) {
  std::vector<Complex> x(n);
  for (std::size_t i = 0; i < n; ++i)
    x[i] = static_cast<double>(i + 1);
  return x;
}

TEST(Buffer, NonOverlappingFramesArePaddedWithZeros) {
  const auto x = ramp(10);
  const Buffered b = buffer(x, 4, 0, {}, false);
  EXPECT_EQ(b.rows, 4u);
  EXPECT_EQ(b.columns, 3u);
  EXPECT_EQ(b.y, frames(x, 4, 4, 3));
  const Buffered split = buffer(x, 4, 0, {}, true);
  EXPECT_EQ(split.columns, 2u);
  EXPECT_EQ(split.z, (std::vector<Complex>{9, 10}));
}

TEST(Buffer, AnOverlapRepeatsTheLastSamplesOfEachFrame) {
  const auto x = ramp(10);
  // Two initial zeros, then every frame starts two samples before the previous one ends.
  std::vector<Complex> delayed{0, 0};
  delayed.insert(delayed.end(), x.begin(), x.end());
  const Buffered b = buffer(x, 5, 2, {}, false);
  EXPECT_EQ(b.columns, 4u);  // ceil(10 / 3)
  EXPECT_EQ(b.y, frames(delayed, 5, 3, 4));
  BufferStart initial;
  initial.initial = {-1, -2};
  std::vector<Complex> withInitial{-1, -2};
  withInitial.insert(withInitial.end(), x.begin(), x.end());
  EXPECT_EQ(buffer(x, 5, 2, initial, false).y, frames(withInitial, 5, 3, 4));
  BufferStart nodelay;
  nodelay.nodelay = true;
  const Buffered nd = buffer(x, 5, 2, nodelay, false);
  EXPECT_EQ(nd.columns, 3u);  // ceil((10 - 2) / 3)
  EXPECT_EQ(nd.y, frames(x, 5, 3, 3));
  const Buffered split = buffer(x, 5, 2, {}, true);
  EXPECT_EQ(split.columns, 3u);
  EXPECT_EQ(split.z, (std::vector<Complex>{10}));
  EXPECT_EQ(split.finalOverlap, (std::vector<Complex>{8, 9}));
}

TEST(Buffer, AnUnderlapSkipsSamplesBetweenFrames) {
  const auto x = ramp(12);
  const Buffered b = buffer(x, 3, -2, {}, false);
  EXPECT_EQ(b.columns, 3u);  // frames at 0, 5, 10
  EXPECT_EQ(b.y, frames(x, 3, 5, 3));
  BufferStart skip;
  skip.skip = 1;
  const std::vector<Complex> rest(x.begin() + 1, x.end());
  EXPECT_EQ(buffer(x, 3, -2, skip, false).y, frames(rest, 3, 5, 3));
  const Buffered split = buffer(ramp(9), 3, -2, {}, true);
  EXPECT_EQ(split.columns, 2u);  // 1 2 3 | 6 7 8; sample 9 is skipped
  EXPECT_TRUE(split.z.empty());
  EXPECT_EQ(split.finalSkip, 1u);
}

TEST(Buffer, RefusesFramesItCannotMake) {
  const auto x = ramp(5);
  EXPECT_THROW(buffer(x, 0, 0, {}, false), Error);
  EXPECT_THROW(buffer(x, 3, 3, {}, false), Error);
  BufferStart wrong;
  wrong.initial = {1};
  EXPECT_THROW(buffer(x, 4, 2, wrong, false), Error);
  BufferStart nodelay;
  nodelay.nodelay = true;
  EXPECT_THROW(buffer(x, 4, -1, nodelay, false), Error);
  BufferStart skip;
  skip.skip = 2;
  EXPECT_THROW(buffer(x, 4, -2, skip, false), Error);
}

TEST(FilterResponse, TheMaskMarksPassbandAndStopband) {
  // A windowed-sinc lowpass at 6.144 MHz cut at 665 kHz, long enough to meet the mask.
  const double fs = 6144000, fc = 665e3;
  const int taps = 301;
  std::vector<double> h(taps);
  for (int k = 0; k < taps; ++k) {
    const double m = k - (taps - 1) / 2.0;
    const double sinc = m == 0 ? 2 * fc / fs : std::sin(2 * kPi * fc / fs * m) / (kPi * m);
    const double window =
        0.42 - 0.5 * std::cos(2 * kPi * k / (taps - 1)) + 0.08 * std::cos(4 * kPi * k / (taps - 1));
    h[static_cast<std::size_t>(k)] = sinc * window;
  }
  const FilterResponsePlot good = filterResponsePlot(h, fs);
  EXPECT_EQ(good.fUnits, "MHz");
  EXPECT_DOUBLE_EQ(good.fMax, 3.072);
  // The passband ripple is centred on 0 dB.
  double high = -INFINITY, low = INFINITY;
  for (std::size_t k = 0; k < good.frequency.size(); ++k)
    if (good.frequency[k] * good.divider <= 590e3)
      high = std::max(high, good.level[k]), low = std::min(low, good.level[k]);
  EXPECT_NEAR(high, -low, 1e-12);
  EXPECT_NEAR(good.worstPassbandDeviation, high, 1e-12);
  EXPECT_LE(good.worstPassbandDeviation, 1.5);
  EXPECT_LE(good.worstStopbandLevel, -40);
  EXPECT_TRUE(good.conforms);
  // A 5-sample moving average is no such filter.
  const FilterResponsePlot hold = filterResponsePlot(std::vector<double>(5, 1.0), fs);
  EXPECT_FALSE(hold.conforms);
  EXPECT_GT(hold.worstStopbandLevel, -40);
}

}  // namespace
}  // namespace kelvane::plots
