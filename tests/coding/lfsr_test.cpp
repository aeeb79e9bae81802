// The shift register recursion behind the PN sequences and the PN test patterns.
#include <gtest/gtest.h>

#include "coding/error.hpp"
#include "coding/lfsr.hpp"

namespace kelvane::coding {
namespace {

TEST(Lfsr, ThreeStageExampleUsesOnlyTheFirstOrderTaps) {
  // t = [1 1 0]: a(i) = a(i-3) ^ a(i-2); the fourth tap is ignored.
  EXPECT_EQ(lfsr(3, Bits{1, 1, 0, 1}, 7, Bits{0, 0, 1}), (Bits{0, 0, 1, 0, 1, 1, 1}));
  EXPECT_EQ(lfsr(3, Bits{1, 1, 0, 0}, 7, Bits{0, 0, 1}), (Bits{0, 0, 1, 0, 1, 1, 1}));
}

TEST(Lfsr, FirstTapWeightsTheOldestOutput) {
  // Only t(1): a(i) = a(i - 4), the seed repeats.
  EXPECT_EQ(lfsr(4, Bits{1, 0, 0, 0}, 10, Bits{1, 0, 1, 1}), (Bits{1, 0, 1, 1, 1, 0, 1, 1, 1, 0}));
  // Only t(order): a(i) = a(i - 1), the last seed bit repeats.
  EXPECT_EQ(lfsr(4, Bits{0, 0, 0, 1}, 7, Bits{1, 0, 1, 0}), (Bits{1, 0, 1, 0, 0, 0, 0}));
}

TEST(Lfsr, ShortOutputsAndDegenerateOrders) {
  EXPECT_EQ(lfsr(3, Bits{1, 1, 0}, 2, Bits{0, 1, 1}), (Bits{0, 1, 1}));  // the seed itself
  EXPECT_EQ(lfsr(3, Bits{1, 1, 0}, 3, Bits{0, 1, 1}), (Bits{0, 1, 1}));
  EXPECT_EQ(lfsr(0, Bits{}, 4, Bits{}), (Bits{0, 0, 0, 0}));
}

TEST(Lfsr, RefusesTooFewTapsAndAWrongSeedLength) {
  EXPECT_THROW(lfsr(3, Bits{1, 1}, 7, Bits{0, 0, 1}), Error);
  EXPECT_THROW(lfsr(3, Bits{1, 1, 0}, 7, Bits{0, 1}), Error);
  EXPECT_THROW(lfsr(3, Bits{1, 1, 0}, 7, Bits{0, 1, 1, 1}), Error);
  EXPECT_THROW(lfsr(-1, Bits{}, 7, Bits{}), Error);
}

}  // namespace
}  // namespace kelvane::coding
