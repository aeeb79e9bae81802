// The download's wire encoding: "norm" scaling, rounding, big-endian words, block headers.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "instrument/block.hpp"
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
