// Channel number to carrier frequency, band classes 0 to 9.
#include <gtest/gtest.h>

#include "coding/channel_frequency.hpp"

namespace kelvane::coding {
namespace {

constexpr double kTol = 1e-9;  // MHz; the products and sums are double precision
// The sides as the record numbers them.
constexpr double kTerminal = 0;
constexpr double kNetwork = 1;

struct Case {
  double band, side, channel, mhz;
};

TEST(ChannelNumberToFrequency, CarriersOfTheBandClasses) {
  const Case cases[] = {
      {0, kNetwork, 283, 878.49},    {0, kNetwork, 991, 869.04},
      {0, kTerminal, 1023, 825},     {1, kNetwork, 25, 1931.25},
      {1, kNetwork, 500, 1955},      {1, kTerminal, 0, 1850},
      {2, kNetwork, 1329, 917.0125}, {2, kNetwork, 1000, 959.9875},
      {3, kTerminal, 1600, 898},     {3, kNetwork, 1041, 832.0125},
      {4, kNetwork, 599, 1869.95},   {5, kTerminal, 1, 450},
      {5, kTerminal, 300, 457.475},  {5, kNetwork, 2016, 494.6},
      {5, kTerminal, 1039, 451.385}, {6, kNetwork, 1199, 2169.95},
      {7, kTerminal, 0, 776},        {7, kNetwork, 0, 746},
      {8, kNetwork, 1499, 1879.95},  {9, kTerminal, 699, 914.95},
      {1, kNetwork, 25.5, 1931.275},  // any real number inside a range
  };
  for (const Case& c : cases)
    EXPECT_NEAR(Qarn_ChannelNumberToFrequency(c.band, c.side, c.channel), c.mhz, kTol)
        << "band " << c.band << " side " << c.side << " N " << c.channel;
  // Exactly as computed: step * (N - offset) + base.
  EXPECT_EQ(Qarn_ChannelNumberToFrequency(2, kNetwork, 1329), 0.025 * 1.0 + 916.9875);
}

TEST(ChannelNumberToFrequency, GapsAndUnknownBandsOrSidesGiveZero) {
  const Case invalid[] = {
      {0, kNetwork, 800, 0},  {0, kNetwork, 0, 0},     {0, kNetwork, 1024, 0},
      {1, kNetwork, 1200, 0}, {2, kNetwork, 1001, 0},  {2, kNetwork, 1328, 0},
      {3, kTerminal, 800, 0}, {3, kTerminal, 1040, 0}, {3, kTerminal, 1200, 0},
      {5, kTerminal, 301, 0}, {10, kNetwork, 1, 0},    {-1, kNetwork, 1, 0},
      {0.5, kNetwork, 1, 0},  {1, 2, 500, 0},          {1, 0.5, 500, 0},
  };
  for (const Case& c : invalid)
    EXPECT_EQ(Qarn_ChannelNumberToFrequency(c.band, c.side, c.channel), 0.0)
        << "band " << c.band << " side " << c.side << " N " << c.channel;
}

}  // namespace
}  // namespace kelvane::coding
