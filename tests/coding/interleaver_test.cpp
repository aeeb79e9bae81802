// Scrambler and channel interleaver.
#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>
#include <vector>

#include "bit_strings.hpp"
#include "coding/channel_interleaver.hpp"
#include "coding/error.hpp"
#include "coding/modparams.hpp"
#include "coding/scrambler.hpp"

namespace kelvane::coding {
namespace {

using testing::bitsOf;

std::vector<double> numbered(std::size_t n) {
  std::vector<double> v(n);
  std::iota(v.begin(), v.end(), 1.0);
  return v;
}

std::vector<double> slice(const std::vector<double>& v, std::size_t from1, std::size_t count) {
  return std::vector<double>(v.begin() + (from1 - 1), v.begin() + (from1 - 1 + count));
}

TEST(Scrambler, SequencesForMacIndexAndDrc) {
  const Bits zeros(40, 0);
  EXPECT_EQ(Qarn_FwdScrambler(zeros, modParamsFor(1), 0),
            bitsOf("1111111000000000100001110000001001011111"));
  EXPECT_EQ(Qarn_FwdScrambler(zeros, modParamsFor(4), 5),
            bitsOf("1111111000101010000001111011110100011101"));
}

TEST(Scrambler, IsItsOwnInverseAndHasTheGeneratorPeriod) {
  Bits data(12288);
  for (std::size_t i = 0; i < data.size(); ++i)
    data[i] = (i / 7 + i % 3) % 2;
  const ModParams m = modParamsFor(12);
  const Bits once = Qarn_FwdScrambler(data, m, 63);
  EXPECT_NE(once, data);
  EXPECT_EQ(Qarn_FwdScrambler(once, m, 63), data);

  // s(t + 17) = s(t) XOR s(t + 3), a maximal-length sequence of period 2^17 - 1.
  const Bits s = Qarn_FwdScrambler(Bits(131071 + 40, 0), modParamsFor(7), 33);
  for (std::size_t t = 0; t + 17 < 200; ++t)
    EXPECT_EQ(s[t + 17], s[t] ^ s[t + 3]) << t;
  EXPECT_TRUE(std::equal(s.begin(), s.begin() + 40, s.begin() + 131071));
  EXPECT_EQ(std::count(s.begin(), s.begin() + 131071, 1), 65536);
}

TEST(Scrambler, RefusesMacIndicesOutsideTheRange) {
  const Bits zeros(10, 0);
  for (double mac : {-1.0, 64.0, 2.5})
    EXPECT_THROW(Qarn_FwdScrambler(zeros, modParamsFor(1), mac), Error) << mac;
  EXPECT_NO_THROW(Qarn_FwdScrambler(zeros, modParamsFor(1), 63));
  EXPECT_THROW(Qarn_FwdScrambler(Bits{0, 3}, modParamsFor(1), 0), Error);
}

TEST(ChannelInterleaver, NumberedSymbolsOfA1024BitPacketAtRateOneThird) {
  const std::vector<double> out = Qarn_FwdChannelInterleaver(numbered(3072), modParamsFor(6));
  ASSERT_EQ(out.size(), 3072u);
  EXPECT_EQ(slice(out, 1, 16), (std::vector<double>{1, 1537, 769, 2305, 385, 1921, 1153, 2689, 193,
                                                    1729, 961, 2497, 577, 2113, 1345, 2881}));
  EXPECT_EQ(slice(out, 1021, 4), (std::vector<double>{2302, 766, 3070, 1534}));
  EXPECT_EQ(slice(out, 1025, 12),
            (std::vector<double>{2, 3, 1538, 1539, 770, 771, 2306, 2307, 386, 387, 1922, 1923}));
}

TEST(ChannelInterleaver, NumberedSymbolsAtRateOneFifthAndForThreeRows) {
  const std::vector<double> fifth = Qarn_FwdChannelInterleaver(numbered(5120), modParamsFor(1));
  ASSERT_EQ(fifth.size(), 5120u);
  EXPECT_EQ(slice(fifth, 3073, 8), (std::vector<double>{3, 5, 2563, 2565, 1283, 1285, 3843, 3845}));
  EXPECT_EQ(slice(fifth, 1025, 2), (std::vector<double>{2, 4}));  // V0 then V0'

  const std::vector<double> k3 = Qarn_FwdChannelInterleaver(numbered(9216), modParamsFor(8));
  EXPECT_EQ(slice(k3, 1, 12), (std::vector<double>{1, 3073, 6145, 4609, 7681, 1537, 6913, 769, 3841,
                                                   2305, 5377, 8449}));
}

TEST(ChannelInterleaver, EveryFormatIsAPermutationAndBitsFollowTheNumbers) {
  for (double drc : {1.0, 5.0, 8.0, 10.0}) {
    SCOPED_TRACE(drc);
    const ModParams m = modParamsFor(drc);
    const auto n = static_cast<std::size_t>(m.bits / m.codeRate);
    const std::vector<double> order = Qarn_FwdChannelInterleaver(numbered(n), m);
    std::vector<double> sorted = order;
    std::sort(sorted.begin(), sorted.end());
    EXPECT_EQ(sorted, numbered(n));
    // The bit version moves the bits the same way.
    Bits bits(n);
    for (std::size_t i = 0; i < n; ++i)
      bits[i] = (i * 5 / 3) % 2;
    const Bits out = Qarn_FwdChannelInterleaver(bits, m);
    for (std::size_t i = 0; i < n; i += 97)
      EXPECT_EQ(out[i], bits[static_cast<std::size_t>(order[i]) - 1]) << i;
  }
}

TEST(ChannelInterleaver, RefusesSymbolCountsThatDoNotMatchTheFormat) {
  EXPECT_THROW(Qarn_FwdChannelInterleaver(Bits(1024, 0), modParamsFor(6)), Error);
  EXPECT_THROW(Qarn_FwdChannelInterleaver(Bits(3072, 0), modParamsFor(1)), Error);
  ModParams odd = modParamsFor(6);
  odd.bits = 1000;
  EXPECT_THROW(Qarn_FwdChannelInterleaver(Bits(3000, 0), odd), Error);
  odd = modParamsFor(6);
  odd.codeRate = 0.5;
  EXPECT_THROW(Qarn_FwdChannelInterleaver(Bits(2048, 0), odd), Error);
}

TEST(SymbolPermuter, RotationsBitReversalAndTypeText) {
  // k = 2, m = 4: rows [1 2 3 4; 5 6 7 8].
  const std::vector<double> block = numbered(8);
  // U: column i rotated by i mod 2, columns to 0, 2, 1, 3.
  EXPECT_EQ(Qarn_FwdSymbolPermuter(block, 2, 4, "U"),
            (std::vector<double>{1, 5, 3, 7, 6, 2, 8, 4}));
  EXPECT_EQ(Qarn_FwdSymbolPermuter(block, 2, 4, "u"), Qarn_FwdSymbolPermuter(block, 2, 4, "U"));
  // V: floor(i / 4) mod 2 = 0 for the four columns.
  EXPECT_EQ(Qarn_FwdSymbolPermuter(block, 2, 4, "v"),
            (std::vector<double>{1, 5, 3, 7, 2, 6, 4, 8}));
  EXPECT_THROW(Qarn_FwdSymbolPermuter(block, 2, 4, "W"), Error);
  EXPECT_THROW(Qarn_FwdSymbolPermuter(block, 2, 4, "UV"), Error);
  EXPECT_THROW(Qarn_FwdSymbolPermuter(block, 3, 4, "U"), Error);        // 8 symbols are not 3 x 4
  EXPECT_THROW(Qarn_FwdSymbolPermuter(numbered(6), 2, 3, "U"), Error);  // m not a power of 2
  EXPECT_THROW(Qarn_FwdSymbolPermuter(block, 0, 4, "U"), Error);
}

}  // namespace
}  // namespace kelvane::coding
