// The download's wire encoding: "norm" scaling, rounding, big-endian words, block headers.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstdint>
#include <limits>
#include <span>
#include <vector>

#include "instrument/block.hpp"
#include "support/scoped_env.hpp"
#include "test_support.hpp"

namespace kelvane::instrument {
namespace {

using C = std::complex<double>;

std::vector<std::int16_t> encode(const std::vector<C>& iq) {
  const auto scale = normScale(iq);
  EXPECT_TRUE(scale.has_value());
  std::string out(4 * iq.size(), '\0');
  encodeIqWords(iq, scale.value_or(0), out);
  return testing::words(out);
}

TEST(Block, NormScalingPutsThePeakComponentAt32767) {
  // The peak is |Q| = 2 of the second sample; every word is round(x * 32767 / 2).
  const std::vector<C> iq = {{1.0, -0.5}, {0.25, -2.0}, {0, 0}, {-1e-5, 0.001}};
  EXPECT_EQ(encode(iq), (std::vector<std::int16_t>{16384, -8192, 4096, -32767, 0, 0, 0, 16}));
  // The I component can be the peak too, of either sign.
  EXPECT_EQ(encode({{-3, 1}, {1.5, 0}}), (std::vector<std::int16_t>{-32767, 10922, 16384, 0}));
}

TEST(Block, RoundsHalvesAwayFromZero) {
  // Scale 32767 / 32767 = 1, so the words are the rounded samples themselves.
  const std::vector<C> iq = {{32767, 0.5}, {-0.5, 1.5}, {-2.5, 0.49999999999999994}};
  EXPECT_EQ(encode(iq), (std::vector<std::int16_t>{32767, 1, -1, 2, -3, 0}));
}

TEST(Block, ZerosStayZeroAndNonFiniteSamplesAreRefused) {
  EXPECT_EQ(normScale(std::vector<C>{{0, 0}, {0, 0}}), 0.0);
  EXPECT_EQ(encode({{0, 0}, {0, 0}}), (std::vector<std::int16_t>{0, 0, 0, 0}));
  EXPECT_FALSE(normScale(std::vector<C>{{1, 0}, {std::nan(""), 0}}).has_value());
  EXPECT_FALSE(normScale(std::vector<C>{{0, std::numeric_limits<double>::infinity()}}).has_value());
}

TEST(Block, DefiniteLengthHeaderDigits) {
  EXPECT_EQ(definiteLengthHeader(0), "#10");
  EXPECT_EQ(definiteLengthHeader(9), "#19");
  EXPECT_EQ(definiteLengthHeader(10), "#210");
  EXPECT_EQ(definiteLengthHeader(62914560), "#862914560");
  EXPECT_EQ(definiteLengthHeader(999999999), "#9999999999");
  EXPECT_THROW(definiteLengthHeader(1000000000), std::invalid_argument);
}

}  // namespace
}  // namespace kelvane::instrument

namespace kelvane::instrument {
namespace {

// The rounding as it was written for one value at a time: half away from zero, limited to
// +-32767, big-endian.
void referenceWord(double x, double scale, char* out) {
  const double v = x * scale;
  const double t = std::trunc(v);
  const double r = std::clamp(t + std::trunc(2 * (v - t)), -32767.0, 32767.0);
  const auto u = static_cast<std::uint16_t>(static_cast<std::int16_t>(r));
  out[0] = static_cast<char>(u >> 8);
  out[1] = static_cast<char>(u & 0xff);
}

void encodesLikeTheReference() {
  std::vector<std::complex<double>> iq;
  const double specials[] = {0.5,     -0.5,    1.5,     -1.5,   2.4999999, -2.4999999, 2.5000001,
                             32766.5, -32766.5, 32767.4, 40000,  -40000,    0,          -0.0,
                             1e-300,  -7.49999, 123.5,   -123.5, 0.49999999, 3.0};
  for (std::size_t i = 0; i + 1 < std::size(specials); i += 2)
    iq.emplace_back(specials[i], specials[i + 1]);
  for (int k = 0; k < 200; ++k)
    iq.emplace_back(std::sin(0.37 * k) * 32767.3, std::cos(0.91 * k) * -32766.6);
  for (std::size_t n = 0; n <= iq.size(); n += (n < 12 ? 1 : 37)) {
    const std::span<const std::complex<double>> part(iq.data(), n);
    for (const double scale : {1.0, 0.999}) {
      std::vector<char> got(4 * n), want(4 * n);
      encodeIqWords(part, scale, got);
      for (std::size_t i = 0; i < n; ++i) {
        referenceWord(part[i].real(), scale, &want[4 * i]);
        referenceWord(part[i].imag(), scale, &want[4 * i + 2]);
      }
      ASSERT_EQ(got, want) << n << " samples, scale " << scale;
    }
    double peak = 0;
    for (const auto& z : part)
      peak = std::max({peak, std::fabs(z.real()), std::fabs(z.imag())});
    EXPECT_EQ(normScale(part), normScaleForPeak(peak)) << n;
  }
}

// The instruction-set paths of the encoder this processor has (KELVANE_SIMD names them).
std::vector<const char*> encoderPaths() {
  std::vector<const char*> paths{"sse"};
  __builtin_cpu_init();
  if (__builtin_cpu_supports("avx2")) paths.push_back("avx2");
  if (__builtin_cpu_supports("avx2") && __builtin_cpu_supports("avx512f"))
    paths.push_back("avx512");
  return paths;
}

// The vectorised encoder gives the reference's bytes for halves either side of zero, values
// just below and above a half, the limits and beyond them, at every length (the vector bodies
// and the remainders) on every instruction-set path, and the scale found by the vectorised peak
// search is the scalar one.
TEST(Block, VectorisedEncodingIsTheOneValueAtATimeRounding) {
  for (const char* path : encoderPaths()) {
    SCOPED_TRACE(path);
    const kelvane::testing::ScopedEnv simd("KELVANE_SIMD", path);
    encodesLikeTheReference();
  }
  EXPECT_EQ(normScaleForPeak(0), 0.0);
  EXPECT_EQ(normScaleForPeak(2), 32767.0 / 2);
}

// Only the two marker bits go out, for every length (whole words of eight and a tail).
TEST(Block, MarkerBytesKeepOnlyTheTwoMarkerBits) {
  for (std::size_t n : {0u, 1u, 7u, 8u, 9u, 23u, 1000u}) {
    std::vector<std::uint8_t> markers(n);
    for (std::size_t i = 0; i < n; ++i)
      markers[i] = static_cast<std::uint8_t>(i * 37 + 5);
    std::vector<char> out(n, 'x');
    encodeMarkerBytes(markers, out);
    for (std::size_t i = 0; i < n; ++i)
      ASSERT_EQ(out[i], static_cast<char>(markers[i] & 3)) << "length " << n << " at " << i;
  }
  std::vector<char> wrong(3);
  EXPECT_THROW(encodeMarkerBytes(std::vector<std::uint8_t>(4), wrong), std::invalid_argument);
}

}  // namespace
}  // namespace kelvane::instrument
