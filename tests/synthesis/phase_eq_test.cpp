// The phase equalizer: its allpass section, the prewarped bilinear transform, the circular
// filtering with cyclic prefix and advance, and circularShift.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <complex>
#include <numbers>
#include <vector>

#include "coding/error.hpp"
#include "synthesis/phase_eq.hpp"

namespace kelvane::synthesis {
namespace {

using cd = std::complex<double>;

TEST(Eqlrfilt, AllpassSectionsForOversampling4To8) {
  const TransferFunction f5 = eqlrfilt(5 * 1228800.0);
  ASSERT_EQ(f5.b.size(), 3u);
  ASSERT_EQ(f5.a.size(), 3u);
  const std::array<double, 3> b5{0.641981147653297, -1.5552818446895325, 1};
  for (std::size_t k = 0; k < 3; ++k) {
    EXPECT_NEAR(f5.b[k], b5[k], 1e-15) << k;
    EXPECT_NEAR(f5.a[k], b5[2 - k], 1e-15) << k;
    EXPECT_EQ(f5.b[k], f5.a[2 - k]) << "b is a reversed";
  }
  EXPECT_EQ(f5.a[0], 1.0);
  EXPECT_NEAR(eqlrfilt(4 * 1228800.0).a[1], -1.4416523813288888, 1e-15);
  EXPECT_NEAR(eqlrfilt(8 * 1228800.0).a[1], -1.7236088600034902, 1e-15);
  // An allpass: unit magnitude on the unit circle.
  for (double w : {0.0, 0.3, 1.0, 2.5, std::numbers::pi}) {
    const cd z1 = std::polar(1.0, -w);
    const cd h =
        (f5.b[0] + f5.b[1] * z1 + f5.b[2] * z1 * z1) / (f5.a[0] + f5.a[1] * z1 + f5.a[2] * z1 * z1);
    EXPECT_NEAR(std::abs(h), 1.0, 1e-13) << w;
  }
}

// The state-space route of the bilinear transform for a second-order section: controllable
// canonical form, t = 2 / K, Ad = (I - A t/2)^-1 (I + A t/2), ... and the characteristic
// polynomials.
TransferFunction bilinearStateSpace(const std::array<double, 3>& num,
                                    const std::array<double, 3>& den, double fs, double fp) {
  using M = std::array<std::array<double, 2>, 2>;
  const double b0 = num[0] / den[0], b1 = num[1] / den[0], b2 = num[2] / den[0];
  const double a1 = den[1] / den[0], a2 = den[2] / den[0];
  const M A{{{-a1, -a2}, {1, 0}}};
  const std::array<double, 2> B{1, 0}, C{b1 - b0 * a1, b2 - b0 * a2};
  const double D = b0;
  const double wp = 2 * std::numbers::pi * fp;
  const double K = wp / std::tan(wp / (2 * fs));
  const double t = 1 / (K / 2), r = std::sqrt(t);
  M t1, t2;
  for (int i = 0; i < 2; ++i)
    for (int j = 0; j < 2; ++j) {
      t1[i][j] = (i == j) + A[i][j] * t / 2;
      t2[i][j] = (i == j) - A[i][j] * t / 2;
    }
  const double det = t2[0][0] * t2[1][1] - t2[0][1] * t2[1][0];
  const M inv{{{t2[1][1] / det, -t2[0][1] / det}, {-t2[1][0] / det, t2[0][0] / det}}};
  M Ad{};
  for (int i = 0; i < 2; ++i)
    for (int j = 0; j < 2; ++j)
      Ad[i][j] = inv[i][0] * t1[0][j] + inv[i][1] * t1[1][j];
  std::array<double, 2> Bd{}, Cd{};
  for (int i = 0; i < 2; ++i) {
    Bd[i] = t / r * (inv[i][0] * B[0] + inv[i][1] * B[1]);
    Cd[i] = r * (C[0] * inv[0][i] + C[1] * inv[1][i]);
  }
  const double Dd = (C[0] * (inv[0][0] * B[0] + inv[0][1] * B[1]) +
                     C[1] * (inv[1][0] * B[0] + inv[1][1] * B[1])) *
                        t / 2 +
                    D;
  auto charpoly = [](const M& m) {
    return std::array<double, 3>{1, -(m[0][0] + m[1][1]), m[0][0] * m[1][1] - m[0][1] * m[1][0]};
  };
  const auto aD = charpoly(Ad);
  M AmBC = Ad;
  for (int i = 0; i < 2; ++i)
    for (int j = 0; j < 2; ++j)
      AmBC[i][j] -= Bd[i] * Cd[j];
  const auto p = charpoly(AmBC);
  TransferFunction tf{{0, 0, 0}, {aD[0], aD[1], aD[2]}};
  for (int k = 0; k < 3; ++k)
    tf.b[k] = p[k] + (Dd - 1) * aD[k];
  return tf;
}

TEST(Bilinear, ClosedFormEqualsTheStateSpaceRoute) {
  const double w0 = kPhaseEqW0;
  const std::array<std::array<double, 3>, 3> nums{
      {{1, -1.36 * w0, w0 * w0}, {0, 2e5, 3e12}, {2, 0, 1e12}}};
  const std::array<double, 3> den{1, 1.36 * w0, w0 * w0};
  for (const auto& num : nums)
    for (double fs : {2 * 1228800.0, 6144000.0, 24 * 1228800.0}) {
      const TransferFunction closed = bilinear(num, den, fs, 5e5);
      const TransferFunction ss = bilinearStateSpace(num, den, fs, 5e5);
      for (std::size_t k = 0; k < 3; ++k) {
        EXPECT_NEAR(closed.b[k], ss.b[k], 1e-12) << fs << " b" << k;
        EXPECT_NEAR(closed.a[k], ss.a[k], 1e-12) << fs << " a" << k;
      }
    }
}

TEST(Bilinear, LowerOrderNumeratorAndTheOrderError) {
  // First order: 1 / (s + 1) -> (1 + z^-1) / ((K + 1) + (1 - K) z^-1).
  const double fs = 1000, fp = 100;
  const double wp = 2 * std::numbers::pi * fp, K = wp / std::tan(wp / (2 * fs));
  const std::vector<double> num{1}, den{1, 1};
  const TransferFunction tf = bilinear(num, den, fs, fp);
  ASSERT_EQ(tf.b.size(), 2u);
  EXPECT_NEAR(tf.b[0], 1 / (K + 1), 1e-15);
  EXPECT_NEAR(tf.b[1], 1 / (K + 1), 1e-15);
  EXPECT_NEAR(tf.a[1], (1 - K) / (K + 1), 1e-15);
  const std::vector<double> high{1, 2, 3};
  try {
    bilinear(high, den, fs, fp);
    FAIL();
  } catch (const coding::Error& e) {
    EXPECT_STREQ(e.what(), "Numerator cannot be higher order than denominator.");
  }
}

// The definition step by step, R the oversampleRatio: cyclic prefix of 25 R - 1 samples,
// direct-form recursion from rest, prefix outputs dropped, then output(k) = y(k + 2R - 1)
// circularly.
std::vector<cd> referencePhaseEq(const std::vector<cd>& in, int oversampleRatio) {
  const TransferFunction f = eqlrfilt(oversampleRatio * 1228800.0);
  const std::size_t L = 25 * static_cast<std::size_t>(oversampleRatio), N = in.size();
  std::vector<cd> x(in.end() - static_cast<std::ptrdiff_t>(L - 1), in.end());
  x.insert(x.end(), in.begin(), in.end());
  std::vector<cd> y(x.size());
  for (std::size_t n = 0; n < x.size(); ++n) {
    cd acc = f.b[0] * x[n];
    for (std::size_t k = 1; k < 3; ++k)
      if (n >= k) acc += f.b[k] * x[n - k] - f.a[k] * y[n - k];
    y[n] = acc;
  }
  y.erase(y.begin(), y.begin() + static_cast<std::ptrdiff_t>(L - 1));
  const std::size_t d = 2 * static_cast<std::size_t>(oversampleRatio) - 1;
  std::vector<cd> out(N);
  for (std::size_t k = 0; k < N; ++k)
    out[k] = y[(k + d) % N];
  return out;
}

std::vector<cd> testSignal(std::size_t n) {
  std::vector<cd> x(n);
  unsigned s = 12345;
  for (auto& v : x) {
    s = s * 1103515245u + 12345u;
    const double re = ((s >> 16) & 1) ? 1.0 : -1.0;
    s = s * 1103515245u + 12345u;
    v = {re, ((s >> 16) & 1) ? 0.7 : -0.3};
  }
  return x;
}

TEST(PhaseEq, EqualsTheDirectFormDefinition) {
  for (int oversampleRatio : {1, 2, 4, 5, 8, 24}) {
    // The shortest input, a short one, and one long enough to be equalised in stretches side by
    // side (with their boundaries at odd positions).
    for (std::size_t n : {25 * static_cast<std::size_t>(oversampleRatio) - 1, std::size_t{3000},
                          std::size_t{90001}}) {
      const auto x = testSignal(n);
      const auto got = Qarn_FwdPhaseEq(x, oversampleRatio);
      const auto ref = referencePhaseEq(x, oversampleRatio);
      ASSERT_EQ(got.size(), x.size());
      double peak = 0, worst = 0;
      for (std::size_t k = 0; k < n; ++k) {
        peak = std::max(peak, std::abs(ref[k]));
        worst = std::max(worst, std::abs(got[k] - ref[k]));
      }
      EXPECT_LE(worst, 1e-12 * peak) << "R " << oversampleRatio << " n " << n;
    }
  }
}

TEST(PhaseEq, IsCircularAndRefusesShortInputs) {
  // A rotated input gives the rotated output: no start-up transient. The 25-chip prefix cuts the
  // section's decaying impulse response at about 1e-12, hence the tolerance.
  const auto x = testSignal(4000);
  std::vector<cd> rotated(x.begin() + 1000, x.end());
  rotated.insert(rotated.end(), x.begin(), x.begin() + 1000);
  const auto y = Qarn_FwdPhaseEq(x, 5), yr = Qarn_FwdPhaseEq(rotated, 5);
  for (std::size_t k = 0; k < x.size(); ++k)
    ASSERT_NEAR(std::abs(yr[k] - y[(k + 1000) % x.size()]), 0.0, 1e-10) << k;
  EXPECT_THROW(Qarn_FwdPhaseEq(testSignal(123), 5), coding::Error);
  EXPECT_NO_THROW(Qarn_FwdPhaseEq(testSignal(124), 5));
  EXPECT_THROW(Qarn_FwdPhaseEq(testSignal(3000), 0), coding::Error);
  EXPECT_THROW(Qarn_FwdPhaseEq(testSignal(3000), 2.5), coding::Error);
}

TEST(CircularShift, RotatesOneRowOrColumn) {
  using Mat = coding::Matrix<double>;
  const Mat row(1, 5, std::vector<double>{1, 2, 3, 4, 5});
  EXPECT_EQ(circularShift(row, -2).data, (std::vector<double>{3, 4, 5, 1, 2}));
  EXPECT_EQ(circularShift(row, 7).data, (std::vector<double>{4, 5, 1, 2, 3}));
  EXPECT_EQ(circularShift(row).data, (std::vector<double>{5, 1, 2, 3, 4}));
  EXPECT_EQ(circularShift(row, 5).data, row.data);
  // [1 2; 3 4]: row 2 right by 1 -> [1 2; 4 3]; column 1 down by 1 -> [3 2; 1 4].
  const Mat m(2, 2, std::vector<double>{1, 3, 2, 4});
  EXPECT_EQ(circularShift(m, 1, 2), Mat(2, 2, std::vector<double>{1, 4, 2, 3}));
  EXPECT_EQ(circularShift(m, 1, 1, false), Mat(2, 2, std::vector<double>{3, 1, 2, 4}));
  EXPECT_EQ(circularShift(m, -3, 2, false), Mat(2, 2, std::vector<double>{1, 3, 4, 2}));
}

TEST(CircularShift, MissingRowsAndColumns) {
  const coding::Matrix<double> m(2, 2, std::vector<double>{1, 3, 2, 4});
  try {
    circularShift(m, 1, 3);
    FAIL();
  } catch (const coding::Error& e) {
    EXPECT_STREQ(e.what(), "Row does not exist");
  }
  try {
    circularShift(m, 1, 3, false);
    FAIL();
  } catch (const coding::Error& e) {
    EXPECT_STREQ(e.what(), "Column does not exist");
  }
  EXPECT_THROW(circularShift(m, 1, 0), coding::Error);
  EXPECT_THROW(circularShift(m, 1.5, 1), coding::Error);
  EXPECT_STREQ(kCircularShiftUsage,
               "Usage: circularShift(matrix, [amount], [position], [ 'r' | 'c' ] ");
}

}  // namespace
}  // namespace kelvane::synthesis
