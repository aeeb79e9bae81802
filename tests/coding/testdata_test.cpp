// Payload test data: the fixed payload types, the PN test patterns and pattern stretching.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <numeric>
#include <string>
#include <vector>

#include "coding/error.hpp"
#include "coding/lfsr.hpp"
#include "coding/pngenerator.hpp"
#include "coding/testdata.hpp"

namespace kelvane::coding {
namespace {

Bits bitsOf(const std::string& s) {
  Bits b;
  for (char c : s)
    b.push_back(c == '1');
  return b;
}

std::size_t ones(const Bits& b, std::size_t count) {
  return static_cast<std::size_t>(std::count(b.begin(), b.begin() + count, 1));
}

// Every register state of one period is visited exactly once: a maximal-length sequence.
bool visitsEveryNonzeroState(const Bits& s, int n) {
  const std::size_t period = (std::size_t{1} << n) - 1;
  std::vector<bool> seen(period + 1, false);
  std::size_t state = 0;
  for (int k = 0; k < n; ++k)
    state = (state << 1) | s[static_cast<std::size_t>(k)];
  for (std::size_t i = 0; i < period; ++i) {
    if (state == 0 || seen[state]) return false;
    seen[state] = true;
    state = ((state << 1) | s[i + static_cast<std::size_t>(n)]) & period;
  }
  return true;
}

TEST(GenerateBitStream, FixedPayloadTypes) {
  EXPECT_EQ(GenerateBitStream(PayloadType::Zeros, 4), (Bits{0, 0, 0, 0}));
  EXPECT_EQ(GenerateBitStream(PayloadType::Ones, 3), (Bits{1, 1, 1}));
  EXPECT_EQ(GenerateBitStream(PayloadType::Alternating01, 5), (Bits{0, 1, 0, 1, 0}));
  EXPECT_EQ(GenerateBitStream(PayloadType::Alternating10, 5), (Bits{1, 0, 1, 0, 1}));
  EXPECT_TRUE(GenerateBitStream(PayloadType::Ones, 0).empty());
  const std::vector<double> pattern{1, 0, 1};
  EXPECT_EQ(GenerateBitStream(PayloadType::UserPattern, 8, pattern), bitsOf("10110110"));
}

TEST(GenerateBitStream, Pn9AndPn15) {
  const Bits pn9 = GenerateBitStream(PayloadType::Pn9, 2 * 511);
  ASSERT_EQ(pn9.size(), 1022u);
  EXPECT_EQ(Bits(pn9.begin(), pn9.begin() + 40),
            bitsOf("1111111110000011110111110001011100110010"));
  EXPECT_TRUE(std::equal(pn9.begin(), pn9.begin() + 511, pn9.begin() + 511));
  EXPECT_EQ(ones(pn9, 511), 256u);
  EXPECT_TRUE(visitsEveryNonzeroState(pn9, 9));

  const Bits pn15 = GenerateBitStream(PayloadType::Pn15, 32767 + 100);
  EXPECT_EQ(Bits(pn15.begin(), pn15.begin() + 40),
            bitsOf("0000000000000001111111111111101111111111"));
  EXPECT_TRUE(std::equal(pn15.begin(), pn15.begin() + 100, pn15.begin() + 32767));
  EXPECT_EQ(ones(pn15, 32767), 16383u);  // complemented: 2^14 - 1 ones

  // The length is honoured exactly, also below one register length.
  EXPECT_EQ(GenerateBitStream(PayloadType::Pn9, 5).size(), 5u);
  EXPECT_TRUE(GenerateBitStream(PayloadType::Pn9, 0).empty());
}

TEST(GenerateBitStream, RefusesUnknownTypesAMissingPatternAndBadLengths) {
  EXPECT_THROW(GenerateBitStream(payloadTypeFor(0), 8), Error);
  EXPECT_THROW(GenerateBitStream(payloadTypeFor(8), 8), Error);
  EXPECT_THROW(GenerateBitStream(payloadTypeFor(5.5), 8), Error);
  EXPECT_THROW(GenerateBitStream(PayloadType::UserPattern, 8), Error);
  const std::vector<double> notBits{1, 2};
  EXPECT_THROW(GenerateBitStream(PayloadType::UserPattern, 8, notBits), Error);
  EXPECT_THROW(GenerateBitStream(PayloadType::Zeros, bitStreamLength(-1)), Error);
  EXPECT_THROW(GenerateBitStream(PayloadType::Zeros, bitStreamLength(2.5)), Error);
  try {
    GenerateBitStream(payloadTypeFor(9), 8);
    FAIL();
  } catch (const Error& e) {
    EXPECT_NE(std::string(e.what()).find("9"), std::string::npos) << e.what();
  }
}

TEST(PNgenerator, DefaultsSeedsAndShortLengths) {
  EXPECT_EQ(PNgenerator(9, {.dataLength = 5}), (Bits{1, 1, 1, 1, 1}));
  EXPECT_EQ(PNgenerator(9, {.dataLength = 0}), (Bits{1}));
  EXPECT_EQ(PNgenerator().size(), 511u);  // one period of PN9
  EXPECT_EQ(PNgenerator(), PNgenerator(9));
  EXPECT_EQ(PNgenerator(2).size(), 7u);  // clamped to 3 stages
  EXPECT_EQ(PNgenerator(40, {.dataLength = 100}), PNgenerator(31, {.dataLength = 100}));
  EXPECT_EQ(PNgenerator(9.5), PNgenerator(9));

  // Scalar seeds: 0 is all ones, anything else n - 1 zeros then a one.
  EXPECT_EQ(PNgenerator(5, {.dataLength = 5, .seed = std::vector<double>{0}}), bitsOf("11111"));
  EXPECT_EQ(PNgenerator(5, {.dataLength = 5, .seed = std::vector<double>{3}}), bitsOf("00001"));
  // Vector seeds: too short gives ones, longer is cut, all zeros gets its last bit set.
  EXPECT_EQ(PNgenerator(5, {.dataLength = 5, .seed = std::vector<double>{0, 1}}), bitsOf("11111"));
  EXPECT_EQ(PNgenerator(5, {.dataLength = 5, .seed = std::vector<double>{1, 0, 1, 0, 0, 1}}),
            bitsOf("10100"));
  EXPECT_EQ(PNgenerator(5, {.dataLength = 5, .seed = std::vector<double>{0, 0, 0, 0, 0}}),
            bitsOf("00001"));
  EXPECT_THROW(PNgenerator(5, {.seed = std::vector<double>{0, 2, 0, 0, 0}}), Error);
}

// GF(2) polynomial arithmetic modulo the feedback polynomial p of degree n (bit k: x^k).
std::uint64_t mulmod(std::uint64_t a, std::uint64_t b, std::uint64_t p, int n) {
  std::uint64_t r = 0;
  for (; b; b >>= 1) {
    if (b & 1) r ^= a;
    a <<= 1;
    if ((a >> n) & 1) a ^= p;
  }
  return r;
}
std::uint64_t xpow(std::uint64_t e, std::uint64_t p, int n) {
  std::uint64_t r = 1, a = 2;
  for (; e; e >>= 1) {
    if (e & 1) r = mulmod(r, a, p, n);
    a = mulmod(a, a, p, n);
  }
  return r;
}
// x has order 2^n - 1 modulo p: p is primitive and the register is maximal-length.
bool isPrimitive(const PNFeedback& row) {
  std::uint64_t p = 1;
  for (int k = 0; k < row.stageCount; ++k)
    p |= std::uint64_t{1} << row.stages[static_cast<std::size_t>(k)];
  const std::uint64_t order = (std::uint64_t{1} << row.n) - 1;
  if (xpow(order, p, row.n) != 1) return false;
  std::uint64_t m = order;
  for (std::uint64_t q = 2; q * q <= m; ++q) {
    if (m % q) continue;
    if (xpow(order / q, p, row.n) == 1) return false;
    while (m % q == 0)
      m /= q;
  }
  return m == 1 || xpow(order / m, p, row.n) != 1;
}

TEST(PNgenerator, EveryFeedbackRowIsMaximalLength) {
  for (int n = 3; n <= 31; ++n)
    EXPECT_TRUE(isPrimitive(pnFeedbackFor(n, false))) << n << " stages";
  EXPECT_TRUE(isPrimitive(pnFeedbackFor(20, true)));
  // The generator's wiring: up to 18 stages every nonzero state appears once per period.
  for (int n = 3; n <= 18; ++n) {
    const std::size_t period = (std::size_t{1} << n) - 1;
    Bits reg = PNgenerator(n, {.dataLength = period + static_cast<std::size_t>(n)});
    if (pnFeedbackFor(n, false).inverted)
      for (auto& b : reg)
        b ^= 1u;
    EXPECT_TRUE(visitsEveryNonzeroState(reg, n)) << n << " stages";
    EXPECT_EQ(ones(reg, period), period / 2 + 1) << n << " stages";
  }
  // The 24-stage register does not get stuck on its all-ones seed.
  EXPECT_LT(ones(PNgenerator(24, {.dataLength = 100}), 100), 100u);
  EXPECT_TRUE(pnFeedbackFor(15, false).inverted);
  EXPECT_TRUE(pnFeedbackFor(23, false).inverted);
  EXPECT_TRUE(pnFeedbackFor(29, false).inverted);
  EXPECT_TRUE(pnFeedbackFor(31, false).inverted);
  EXPECT_FALSE(pnFeedbackFor(9, false).inverted);
  EXPECT_EQ(pnFeedbackFor(31, false).stages[1], 28);
  EXPECT_EQ(pnFeedbackFor(20, true).stages[1], 17);
  EXPECT_EQ(pnFeedbackFor(20, false).stages[1], 3);
}

TEST(PNgenerator, InversionAndZeroSuppression) {
  // 15 stages are complemented; the user's inversion undoes it.
  const Bits reg15 = PNgenerator(15, {.dataLength = 20, .userInvert = true});
  EXPECT_EQ(reg15, bitsOf("11111111111111100000"));
  const Bits pn9inv = PNgenerator(9, {.dataLength = 10, .userInvert = true});
  EXPECT_EQ(pn9inv, bitsOf("0000000001"));

  // 20 stages with suppression use taps 20, 17 and never hold more than 14 zeros in a row; up to
  // the first run of 15 zeros of the plain 20, 17 recursion the two agree, and there the
  // suppressed pattern has its forced one.
  const std::size_t len = (std::size_t{1} << 20) + 100;
  const Bits zs = PNgenerator(20, {.dataLength = len, .zeroSuppression = true});
  Bits taps(20, 0);
  taps[0] = taps[3] = 1;  // s(i) = s(i-20) ^ s(i-17)
  const Bits plain = lfsr(20, taps, len, Bits(20, 1));
  auto longestZeroRun = [](const Bits& s, std::size_t* firstOver14) {
    std::size_t run = 0, longest = 0;
    for (std::size_t i = 0; i < s.size(); ++i) {
      run = s[i] == 0 ? run + 1 : 0;
      if (run == 15 && firstOver14 && *firstOver14 == 0) *firstOver14 = i;
      longest = std::max(longest, run);
    }
    return longest;
  };
  EXPECT_EQ(longestZeroRun(zs, nullptr), 14u);
  std::size_t first = 0;
  EXPECT_EQ(longestZeroRun(plain, &first), 19u);
  ASSERT_GT(first, 0u);
  EXPECT_TRUE(
      std::equal(zs.begin(), zs.begin() + static_cast<std::ptrdiff_t>(first), plain.begin()));
  EXPECT_EQ(zs[first], 1);
  EXPECT_EQ(plain[first], 0);
}

TEST(ExtendVector, RepeatsAndCuts) {
  const std::vector<double> d{1, 0, 1};
  EXPECT_EQ(extendVector(d, 8), (std::vector<double>{1, 0, 1, 1, 0, 1, 1, 0}));
  EXPECT_EQ(extendVector(d, 2), (std::vector<double>{1, 0}));
  EXPECT_EQ(extendVector(d, 3), d);
  EXPECT_TRUE(extendVector(d, 0).empty());
  const std::vector<double> values{0.5, -2};
  EXPECT_EQ(extendVector(values, 3), (std::vector<double>{0.5, -2, 0.5}));
  EXPECT_THROW(extendVector({}, 3), Error);
  EXPECT_TRUE(extendVector({}, 0).empty());
}

}  // namespace
}  // namespace kelvane::coding
