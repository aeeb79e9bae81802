// Zero-stuffing of the chip stream and sample-and-hold of the markers.
#include <gtest/gtest.h>

#include <complex>
#include <cstdint>
#include <vector>

#include "coding/error.hpp"
#include "synthesis/upsample.hpp"

namespace kelvane::synthesis {
namespace {

using cd = std::complex<double>;

TEST(Upsample, InsertsZerosAfterEverySample) {
  const std::vector<double> x{1, 2, 3};
  EXPECT_EQ(upsample(x, 2), (std::vector<double>{1, 0, 2, 0, 3, 0}));
  EXPECT_EQ(upsample(std::vector<double>{1, 2}, 3), (std::vector<double>{1, 0, 0, 2, 0, 0}));
  EXPECT_EQ(upsample(x, 1), x);
  EXPECT_TRUE(upsample(std::vector<double>{}, 4).empty());
  EXPECT_THROW(upsample(x, 0), coding::Error);
}

TEST(Upsample, KeepsComplexValuesUnconjugated) {
  const std::vector<cd> x{{1, -2}, {-3, 4}};
  const auto y = upsample(x, 3);
  EXPECT_EQ(y, (std::vector<cd>{{1, -2}, 0, 0, {-3, 4}, 0, 0}));
}

TEST(UpsampleMarker, HoldsEveryValue) {
  EXPECT_EQ(upsampleMarker(std::vector<double>{1, 0, 0, 1}, 3),
            (std::vector<double>{1, 1, 1, 0, 0, 0, 0, 0, 0, 1, 1, 1}));
  const std::vector<std::uint8_t> m{3, 0, 1};
  EXPECT_EQ(upsampleMarker(m, 2), (std::vector<std::uint8_t>{3, 3, 0, 0, 1, 1}));
  EXPECT_EQ(upsampleMarker(m, 1), m);
  EXPECT_THROW(upsampleMarker(m, 0), coding::Error);
  // The half-slot pulse of marker 1 at 5 samples per chip: 5 samples every 5120.
  std::vector<std::uint8_t> halfSlots(2048, 0);
  halfSlots[0] = halfSlots[1024] = 1;
  const auto up = upsampleMarker(halfSlots, 5);
  ASSERT_EQ(up.size(), 10240u);
  for (std::size_t n = 0; n < up.size(); ++n)
    ASSERT_EQ(up[n], (n % 5120) < 5 ? 1 : 0) << n;
}

}  // namespace
}  // namespace kelvane::synthesis
