// Turbo interleaver, constituent encoders, puncturing and the whole encoder.
#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>
#include <vector>

#include "bit_strings.hpp"
#include "coding/error.hpp"
#include "coding/modparams.hpp"
#include "coding/turbo.hpp"

namespace kelvane::coding {
namespace {

using testing::bitsOf;

TEST(TurboInterleaver, AcceptedAddressesOfTheFourPacketSizes) {
  struct Case {
    std::size_t n;
    std::vector<std::size_t> first;
  };
  const std::vector<Case> cases{{1018, {27, 515, 257, 783, 141, 657, 407, 909}},
                                {2042, {3, 1051, 527, 1549}},
                                {3066, {15, 2175, 1113, 543}},
                                {4090, {15, 2175, 1113, 3073}}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.n);
    std::vector<std::size_t> a = turboInterleaverAddresses(c.n);
    ASSERT_EQ(a.size(), c.n);
    EXPECT_TRUE(std::equal(c.first.begin(), c.first.end(), a.begin()));
    std::sort(a.begin(), a.end());
    std::vector<std::size_t> all(c.n);
    std::iota(all.begin(), all.end(), 0);
    EXPECT_EQ(a, all);  // a permutation of 0..N-1
  }
  const std::vector<std::size_t> a = turboInterleaverAddresses(1018);
  EXPECT_EQ(std::vector<std::size_t>(a.end() - 3, a.end()),
            (std::vector<std::size_t>{736, 480, 992}));
}

TEST(TurboInterleaver, MovesSymbolsToTheirAddressesAndRefusesOtherSizes) {
  std::vector<double> numbered(1018);
  std::iota(numbered.begin(), numbered.end(), 0.0);
  const std::vector<double> out = Qarn_TurboInterleaver(numbered);
  EXPECT_EQ(std::vector<double>(out.begin(), out.begin() + 3), (std::vector<double>{27, 515, 257}));
  Bits impulse(1018, 0);
  impulse[27] = 1;
  EXPECT_EQ(Qarn_TurboInterleaver(impulse)[0], 1);
  EXPECT_THROW(Qarn_TurboInterleaver(Bits(128, 0)), Error);
  EXPECT_THROW(Qarn_TurboInterleaver(Bits(4097, 0)), Error);
  EXPECT_EQ(Qarn_TurboInterleaver(Bits(129, 0)).size(), 129u);  // n = 3
}

TEST(ConstituentEncoder, ImpulseResponseAndTerminatingTail) {
  const ConstituentOutputs out = Qarn_ConstituentEncoder(bitsOf("10000000"));
  EXPECT_EQ(out.x, bitsOf("1 0 0 0 0 0 0 0 | 0 1 1"));
  EXPECT_EQ(out.y0, bitsOf("1 1 1 1 0 0 1 0 | 1 0 1"));
  EXPECT_EQ(out.y1, bitsOf("1 1 0 1 1 1 0 0 | 1 1 1"));
  const ConstituentOutputs empty = Qarn_ConstituentEncoder(Bits{});
  EXPECT_EQ(empty.x, Bits(3, 0));
  EXPECT_THROW(Qarn_ConstituentEncoder(Bits{0, 2}), Error);
}

// In the tail the input is switched to the feedback, so the tail periods are the data recursion
// fed with x itself (w = x + s2 + s3 = 0): one recursion over all N + 3 periods must reproduce
// y0 and y1 and end in the zero state, whatever the input.
TEST(ConstituentEncoder, TailPeriodsTerminateTheTrellisForAnyInput) {
  Bits input(200);
  for (std::size_t i = 0; i < input.size(); ++i)
    input[i] = ((i * i + 3 * i) / 5) % 2;
  const ConstituentOutputs out = Qarn_ConstituentEncoder(input);
  ASSERT_EQ(out.x.size(), 203u);
  EXPECT_TRUE(std::equal(input.begin(), input.end(), out.x.begin()));
  unsigned s1 = 0, s2 = 0, s3 = 0;
  for (std::size_t i = 0; i < out.x.size(); ++i) {
    const unsigned u = out.x[i];
    EXPECT_EQ(out.y0[i], u ^ s1 ^ s2) << i;
    EXPECT_EQ(out.y1[i], u ^ s1) << i;
    const unsigned w = u ^ s2 ^ s3;
    s3 = s2;
    s2 = s1;
    s1 = w;
  }
  EXPECT_EQ(s1 | s2 | s3, 0u);
}

TEST(TurboCoder, ImpulsePacketAtBothRates) {
  Bits packet(1024, 0);
  packet[0] = 1;
  const Bits third = Qarn_FwdEncoder(packet, modParamsFor(6));
  ASSERT_EQ(third.size(), 3072u);
  EXPECT_EQ(Bits(third.begin(), third.begin() + 24), bitsOf("110010010010000000010000"));
  EXPECT_EQ(Bits(third.end() - 18, third.end()), bitsOf("110110111111001111"));

  const Bits fifth = Qarn_FwdEncoder(packet, modParamsFor(1));
  ASSERT_EQ(fifth.size(), 5120u);
  EXPECT_EQ(Bits(fifth.begin(), fifth.begin() + 30), bitsOf("111000110001000011000010000100"));
  EXPECT_EQ(Bits(fifth.end() - 30, fifth.end()), bitsOf("110001101111111111000010011111"));
}

TEST(TurboCoder, OutputLengthsAndTheAllZeroPacket) {
  for (double drc : {1.0, 5.0, 6.0, 8.0, 10.0}) {
    const ModParams m = modParamsFor(drc);
    const Bits zeros(static_cast<std::size_t>(m.bits), 0);
    const Bits out = Qarn_FwdEncoder(zeros, m);
    EXPECT_EQ(out.size(), m.bits / m.codeRate) << drc;
    EXPECT_TRUE(std::all_of(out.begin(), out.end(), [](auto b) { return b == 0; })) << drc;
  }
  EXPECT_EQ(Qarn_TurboCoder(Bits(1018, 1), 1.0 / 3).size(), 3072u);
  EXPECT_EQ(Qarn_TurboCoder(Bits(2042, 1), 1.0 / 3).size(), 6144u);
  EXPECT_EQ(Qarn_TurboCoder(Bits(3066, 1), 1.0 / 3).size(), 9216u);
  EXPECT_EQ(Qarn_TurboCoder(Bits(4090, 1), 1.0 / 3).size(), 12288u);
  EXPECT_EQ(Qarn_TurboCoder(Bits(1018, 1), 0.2).size(), 5120u);
}

TEST(TurboPuncturing, SelectsDataPeriodsThenBothTails) {
  // Two data periods and three tail periods, each symbol numbered by stream and period.
  auto stream = [](double base) {
    return std::vector<double>{base + 1, base + 2, base + 3, base + 4, base + 5};
  };
  const auto x = stream(0), y0 = stream(10), y1 = stream(20), xp = stream(30), y0p = stream(40),
             y1p = stream(50);
  EXPECT_EQ(Qarn_TurboPuncturing(x, y0, y1, xp, y0p, y1p, 1.0 / 3),
            (std::vector<double>{1,  11, 41, 2,  12, 42,                 // data
                                 3,  3,  13, 4,  4,  14, 5,  5,  15,     // first tail
                                 33, 33, 43, 34, 34, 44, 35, 35, 45}));  // second tail
  const std::vector<double> fifth = Qarn_TurboPuncturing(x, y0, y1, xp, y0p, y1p, 0.2);
  ASSERT_EQ(fifth.size(), 5u * 8);
  EXPECT_EQ(std::vector<double>(fifth.begin(), fifth.begin() + 15),
            (std::vector<double>{1, 11, 21, 41, 51, 2, 12, 22, 42, 52, 3, 3, 13, 23, 23}));
  EXPECT_EQ(std::vector<double>(fifth.end() - 5, fifth.end()),
            (std::vector<double>{35, 35, 45, 55, 55}));
  // Rate 1/3 never reads the Y1 streams.
  EXPECT_EQ(Qarn_TurboPuncturing(x, y0, {}, xp, y0p, {}, 1.0 / 3).size(), 24u);
}

TEST(TurboPuncturing, RefusesOtherRatesAndMismatchedStreams) {
  const std::vector<double> s(8, 0.0), shorter(7, 0.0);
  EXPECT_THROW(Qarn_TurboPuncturing(s, s, s, s, s, s, 0.5), Error);
  EXPECT_THROW(Qarn_TurboPuncturing(s, s, s, s, s, s, 0.3333), Error);
  EXPECT_THROW(Qarn_TurboPuncturing(s, shorter, s, s, s, s, 1.0 / 3), Error);
  EXPECT_THROW(Qarn_TurboPuncturing(s, s, s, s, s, shorter, 0.2), Error);
  const std::vector<double> two{1, 2};
  EXPECT_THROW(Qarn_TurboPuncturing(two, two, two, two, two, two, 1.0 / 3), Error);
  EXPECT_THROW(Qarn_TurboCoder(Bits(1018, 0), 0.5), Error);
  EXPECT_THROW(Qarn_FwdEncoder(Bits(5, 0), modParamsFor(1)), Error);
}

}  // namespace
}  // namespace kelvane::coding
