// Pilot, preamble and MAC bursts of a slot.
#include <gtest/gtest.h>

#include <complex>
#include <vector>

#include "coding/error.hpp"
#include "coding/sequences.hpp"
#include "synthesis/channels.hpp"

namespace kelvane::synthesis {
namespace {

using Complex = std::complex<double>;

std::vector<double> alternating(std::size_t n, double first) {
  std::vector<double> v(n);
  for (std::size_t i = 0; i < n; ++i)
    v[i] = i % 2 ? -first : first;
  return v;
}

TEST(Pilot, NinetySixOnes) {
  EXPECT_EQ(Qarn_FwdPilot(), std::vector<double>(96, 1.0));
}

TEST(Preamble, BiorthogonalCoverOfTheMacIndex) {
  EXPECT_EQ(Qarn_FwdTrfPreamble(2, 2), alternating(64, 1));   // W(1) twice
  EXPECT_EQ(Qarn_FwdTrfPreamble(3, 2), alternating(64, -1));  // W(1) negated
  EXPECT_EQ(Qarn_FwdTrfPreamble(3, 32).size(), 1024u);
  EXPECT_EQ(Qarn_FwdTrfPreamble(0, 1), std::vector<double>(32, 1.0));
  const coding::Matrix<double> w = coding::Qarn_WalshMatrix(32);
  std::vector<double> w31 = w.row(31);
  EXPECT_EQ(Qarn_FwdTrfPreamble(62, 1), w31);
  for (double& c : w31)
    c = -c;
  EXPECT_EQ(Qarn_FwdTrfPreamble(63, 1), w31);
  EXPECT_TRUE(Qarn_FwdTrfPreamble(5, 0).empty());
}

TEST(Preamble, RefusesMacIndicesBeyondTheCoverTable) {
  EXPECT_THROW(Qarn_FwdTrfPreamble(64, 2), coding::Error);
  EXPECT_THROW(Qarn_FwdTrfPreamble(-1, 2), coding::Error);
  EXPECT_THROW(Qarn_FwdTrfPreamble(2.5, 2), coding::Error);
  EXPECT_THROW(Qarn_FwdTrfPreamble(2, 1.5), coding::Error);
}

TEST(MacSlot, ZeroGainsGiveSilence) {
  const std::vector<Complex> chips =
      Qarn_FwdMACslot(std::vector<double>(59, 0), std::vector<double>(59, 0), 0, 0);
  EXPECT_EQ(chips, std::vector<Complex>(256, Complex(0, 0)));
}

TEST(MacSlot, EachMacIndexOnItsWalshCodeAndBranch) {
  const coding::Matrix<double> w = coding::Qarn_WalshMatrix(64);
  auto fourTimes = [](const std::vector<double>& code, Complex scale) {
    std::vector<Complex> out;
    for (int burst = 0; burst < 4; ++burst)
      for (double c : code)
        out.push_back(c * scale);
    return out;
  };
  // MAC index 5 alone with bit 0: j W(34), four times.
  std::vector<double> gains(59, 0.0);
  gains[0] = 1;
  EXPECT_EQ(Qarn_FwdMACslot(std::vector<double>(59, 0), gains, 0, 0),
            fourTimes(w.row(34), Complex(0, 1)));
  // MAC index 6 with bit 1 and gain 0.5: -0.5 W(3) on I.
  gains.assign(59, 0.0);
  gains[1] = 0.5;
  std::vector<double> bits(59, 0.0);
  bits[1] = 1;
  EXPECT_EQ(Qarn_FwdMACslot(bits, gains, 0, 0), fourTimes(w.row(3), Complex(-0.5, 0)));
  // Reverse activity: RA bit 1, gain 2 on W(2), I branch.
  EXPECT_EQ(Qarn_FwdMACslot(std::vector<double>(59, 0), std::vector<double>(59, 0), 1, 2),
            fourTimes(w.row(2), Complex(-2, 0)));
  // Entries beyond the 59th are not used.
  std::vector<double> longer(70, 0.0);
  longer[65] = 1;
  EXPECT_EQ(Qarn_FwdMACslot(longer, longer, 0, 0), std::vector<Complex>(256, Complex(0, 0)));
}

TEST(MacSlot, AllChannelsTogetherAreTheSumOfTheSingleOnes) {
  std::vector<double> bits(59), gains(59);
  for (std::size_t i = 0; i < 59; ++i) {
    bits[i] = (i * 7) % 3 == 0;
    gains[i] = 0.1 + 0.01 * static_cast<double>(i);
  }
  const std::vector<Complex> all = Qarn_FwdMACslot(bits, gains, 1, 0.3);
  std::vector<Complex> sum =
      Qarn_FwdMACslot(std::vector<double>(59, 0), std::vector<double>(59, 0), 1, 0.3);
  for (std::size_t i = 0; i < 59; ++i) {
    std::vector<double> one(59, 0.0);
    one[i] = gains[i];
    const std::vector<Complex> single = Qarn_FwdMACslot(bits, one, 0, 0);
    for (std::size_t c = 0; c < 256; ++c)
      sum[c] += single[c];
  }
  for (std::size_t c = 0; c < 256; ++c) {
    EXPECT_NEAR(all[c].real(), sum[c].real(), 1e-12);
    EXPECT_NEAR(all[c].imag(), sum[c].imag(), 1e-12);
  }
}

TEST(MacSlot, RefusesShortOrMismatchedInputs) {
  EXPECT_THROW(Qarn_FwdMACslot(std::vector<double>(58, 0), std::vector<double>(58, 0), 0, 0),
               coding::Error);
  EXPECT_THROW(Qarn_FwdMACslot(std::vector<double>(59, 0), std::vector<double>(60, 0), 0, 0),
               coding::Error);
}

}  // namespace
}  // namespace kelvane::synthesis
