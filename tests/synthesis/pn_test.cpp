// Short PN sequences, the circular shift that applies the PN offset, and quadrature spreading.
#include <gtest/gtest.h>

#include <algorithm>
#include <complex>
#include <string>
#include <vector>

#include "coding/error.hpp"
#include "synthesis/pn.hpp"

namespace kelvane::synthesis {
namespace {

using coding::Bits;
using cd = std::complex<double>;

Bits bitsOf(const std::string& s) {
  Bits b;
  for (char c : s)
    if (c != ' ') b.push_back(c == '1');
  return b;
}

TEST(CircularShiftRight, RoundsAndShiftsOnlyToTheRight) {
  const std::vector<double> x{1, 2, 3, 4, 5};
  EXPECT_EQ(CircularShiftRight<double>(x, 2), (std::vector<double>{4, 5, 1, 2, 3}));
  EXPECT_EQ(CircularShiftRight<double>(x, 0), x);
  EXPECT_EQ(CircularShiftRight<double>(x, -3), x);
  EXPECT_EQ(CircularShiftRight<double>(x, 1.6), (std::vector<double>{4, 5, 1, 2, 3}));
  EXPECT_EQ(CircularShiftRight<double>(x, 1.5), (std::vector<double>{4, 5, 1, 2, 3}));
  EXPECT_EQ(CircularShiftRight<double>(x, 5), x);
  EXPECT_THROW(CircularShiftRight<double>(x, 6), coding::Error);
}

TEST(PNSequences, FirstBitsBalanceAndRecursion) {
  const Bits pnI = Qarn_PNiSequence(1);
  const Bits pnQ = Qarn_PNqSequence(1);
  ASSERT_EQ(pnI.size(), kPNPeriodChips);
  ASSERT_EQ(pnQ.size(), kPNPeriodChips);
  EXPECT_EQ(Bits(pnI.begin(), pnI.begin() + 32), bitsOf("0000 0000 0000 0001 0000 1011 1100 1101"));
  EXPECT_EQ(Bits(pnQ.begin(), pnQ.begin() + 32), bitsOf("0000 0000 0000 0001 0011 1001 1111 0001"));
  EXPECT_EQ(std::count(pnI.begin(), pnI.end(), 1), 16384);
  EXPECT_EQ(std::count(pnQ.begin(), pnQ.end(), 1), 16384);
  // Apart from the inserted 0 (chip 15, lengthening the run of 14 zeros), PN_I time-reversed
  // follows a(i) = a(i-15) ^ a(i-10) ^ a(i-8) ^ a(i-7) ^ a(i-6) ^ a(i-2): reading it backwards
  // from chip 14 down, each chip is determined by the 15 read before it.
  std::vector<std::uint8_t> back;  // chips 14, 13, ..., 1, 32768, ..., 16 (1-based)
  for (std::size_t k = 0; k < kPNPeriodChips - 1; ++k)
    back.push_back(pnI[(13 + kPNPeriodChips - k) % kPNPeriodChips]);
  for (std::size_t i = 15; i < back.size(); ++i)
    ASSERT_EQ(back[i],
              back[i - 15] ^ back[i - 10] ^ back[i - 8] ^ back[i - 7] ^ back[i - 6] ^ back[i - 2])
        << i;
}

TEST(PNSequences, RepetitionsAndTheEmptyRequest) {
  const Bits three = Qarn_PNiSequence(3);
  ASSERT_EQ(three.size(), 3 * kPNPeriodChips);
  for (std::size_t r = 1; r < 3; ++r)
    EXPECT_TRUE(std::equal(three.begin(), three.begin() + kPNPeriodChips,
                           three.begin() + static_cast<std::ptrdiff_t>(r * kPNPeriodChips)));
  EXPECT_THROW(Qarn_PNqSequence(0), coding::Error);
}

std::vector<cd> expectedPN(std::size_t delay) {
  std::vector<cd> pn(kPNPeriodChips);
  for (std::size_t n = 0; n < kPNPeriodChips; ++n) {
    const std::size_t k = (n + kPNPeriodChips - delay) % kPNPeriodChips;
    pn[n] = {1.0 - 2.0 * pnIPeriod()[k], 1.0 - 2.0 * pnQPeriod()[k]};
  }
  return pn;
}

TEST(QuadSpreading, OnesGiveThePNChipsAndZerosStayZero) {
  const std::vector<cd> ones(kPNPeriodChips, cd(1, 0));
  EXPECT_EQ(Qarn_FwdQuadSpreading(ones, 0), expectedPN(0));
  const std::vector<cd> zeros(2 * kPNPeriodChips);
  EXPECT_EQ(Qarn_FwdQuadSpreading(zeros, 7), zeros);
  // The first chips of the zero-offset product: PN_I and PN_Q start 15 zeros then 1.
  const auto pn = Qarn_FwdQuadSpreading(ones, 0);
  EXPECT_EQ(pn[0], cd(1, 1));
  EXPECT_EQ(pn[15], cd(-1, -1));
}

TEST(QuadSpreading, OffsetDelaysBy64ChipsPerUnit) {
  const std::vector<cd> ones(kPNPeriodChips, cd(1, 0));
  const auto p0 = Qarn_FwdQuadSpreading(ones, 0);
  const auto p1 = Qarn_FwdQuadSpreading(ones, 1);
  EXPECT_EQ(p1[64], p0[0]);
  EXPECT_TRUE(std::equal(p1.begin(), p1.begin() + 64, p0.end() - 64));
  EXPECT_EQ(Qarn_FwdQuadSpreading(ones, 511), expectedPN(511 * 64));
  EXPECT_EQ(Qarn_FwdQuadSpreading(ones, 512), p0);  // a whole period
  EXPECT_EQ(Qarn_FwdQuadSpreading(ones, -3), p0);   // no left shift
  EXPECT_THROW(Qarn_FwdQuadSpreading(ones, 513), coding::Error);
}

TEST(QuadSpreading, ComplexProductRepeatsEveryPeriodAndConjugatesOnRequest) {
  std::vector<cd> chips(2 * kPNPeriodChips);
  for (std::size_t n = 0; n < chips.size(); ++n)
    chips[n] = {0.25 * static_cast<double>(n % 7) - 0.5, 0.125 * static_cast<double>(n % 5)};
  const auto out = Qarn_FwdQuadSpreading(chips, 3);
  const auto pn = expectedPN(3 * 64);
  for (std::size_t n = 0; n < chips.size(); ++n) {
    const cd p = pn[n % kPNPeriodChips];
    const double I = chips[n].real(), Q = chips[n].imag();
    ASSERT_EQ(out[n], cd(I * p.real() - Q * p.imag(), I * p.imag() + Q * p.real())) << n;
  }
  std::vector<cd> conj = chips;
  spreadInPlace(conj, 3, true);
  for (std::size_t n = 0; n < chips.size(); ++n)
    ASSERT_EQ(conj[n], std::conj(out[n])) << n;
}

TEST(QuadSpreading, RefusesPartialPeriods) {
  EXPECT_THROW(Qarn_FwdQuadSpreading(std::vector<cd>(1000), 0), coding::Error);
  EXPECT_THROW(Qarn_FwdQuadSpreading(std::vector<cd>(kPNPeriodChips + 1), 0), coding::Error);
  EXPECT_TRUE(Qarn_FwdQuadSpreading({}, 0).empty());
}

}  // namespace
}  // namespace kelvane::synthesis
