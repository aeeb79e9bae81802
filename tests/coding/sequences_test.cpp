// Repetition, signal mapping, Walsh cover and the Walsh matrix.
#include <gtest/gtest.h>

#include <complex>
#include <vector>

#include "coding/error.hpp"
#include "coding/sequences.hpp"

namespace kelvane::coding {
namespace {

using Complex = std::complex<double>;

TEST(Sequences, RepeatWritesTheWholeInputAgain) {
  EXPECT_EQ(Qarn_Repeat(std::vector<double>{1, 2, 3}, 2), (std::vector<double>{1, 2, 3, 1, 2, 3}));
  EXPECT_TRUE(Qarn_Repeat(std::vector<double>{1, 2, 3}, 0).empty());
  EXPECT_EQ(Qarn_Repeat(std::vector<Complex>{{1, 2}}, 3),
            (std::vector<Complex>{{1, 2}, {1, 2}, {1, 2}}));  // not conjugated
}

TEST(Sequences, SignalMapIsOneMinusTwiceTheInput) {
  EXPECT_EQ(Qarn_SignalMap(std::vector<double>{0, 1, 1, 0}), (std::vector<double>{1, -1, -1, 1}));
  EXPECT_EQ(Qarn_SignalMap(std::vector<double>{0.5, 2}), (std::vector<double>{0, -3}));
  EXPECT_EQ(Qarn_SignalMap(std::vector<Complex>{{1, 1}}), (std::vector<Complex>{{-1, -2}}));
}

TEST(Sequences, WalshCoverMultipliesTheCodeBySymbolAfterSymbol) {
  EXPECT_EQ(Qarn_WalshCover(std::vector<double>{2, -1}, std::vector<double>{1, -1}),
            (std::vector<double>{2, -2, -1, 1}));
  EXPECT_EQ(Qarn_WalshCover(std::vector<Complex>{{0, 1}}, std::vector<double>{1, 1, -1}),
            (std::vector<Complex>{{0, 1}, {0, 1}, {0, -1}}));
  EXPECT_TRUE(Qarn_WalshCover(std::vector<double>{}, std::vector<double>{1, 1}).empty());
}

TEST(Sequences, WalshMatrixIsSylvesterAndOrthogonal) {
  const Matrix<double> w1 = Qarn_WalshMatrix(1);
  EXPECT_EQ(w1, Matrix<double>(1, 1, 1.0));
  const Matrix<double> w4 = Qarn_WalshMatrix(4);
  EXPECT_EQ(w4.row(0), (std::vector<double>{1, 1, 1, 1}));
  EXPECT_EQ(w4.row(1), (std::vector<double>{1, -1, 1, -1}));
  EXPECT_EQ(w4.row(2), (std::vector<double>{1, 1, -1, -1}));
  EXPECT_EQ(w4.row(3), (std::vector<double>{1, -1, -1, 1}));

  // [W W; W -W] from the 32 x 32 matrix gives the 64 x 64 one.
  const Matrix<double> w32 = Qarn_WalshMatrix(32), w64 = Qarn_WalshMatrix(64);
  ASSERT_EQ(w64.rows, 64u);
  for (std::size_t r = 0; r < 64; ++r)
    for (std::size_t c = 0; c < 64; ++c)
      EXPECT_EQ(w64(r, c), w32(r % 32, c % 32) * (r >= 32 && c >= 32 ? -1 : 1));
  for (std::size_t a = 0; a < 64; ++a)
    for (std::size_t b = 0; b < 64; ++b) {
      double dot = 0;
      for (std::size_t c = 0; c < 64; ++c)
        dot += w64(a, c) * w64(b, c);
      EXPECT_EQ(dot, a == b ? 64 : 0);
    }
  // Sizes that are not a power of two round down.
  EXPECT_EQ(Qarn_WalshMatrix(48), w32);
  EXPECT_EQ(Qarn_WalshMatrix(63.9), w32);
  EXPECT_EQ(Qarn_WalshMatrix(3).rows, 2u);
  EXPECT_THROW(Qarn_WalshMatrix(0), Error);
  EXPECT_THROW(Qarn_WalshMatrix(-4), Error);
  EXPECT_THROW(Qarn_WalshMatrix(1e9), Error);
}

}  // namespace
}  // namespace kelvane::coding
