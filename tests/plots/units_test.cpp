// Frequency and time units of the plot axes.
#include <gtest/gtest.h>

#include "plots/units.hpp"

namespace kelvane::plots {
namespace {

TEST(Units, FrequencyUnitsFollowTheSampleRateInStepsOfAThousand) {
  EXPECT_EQ(frequencyUnits(6144000).text, "MHz");
  EXPECT_EQ(frequencyUnits(6144000).scale, 1e6);
  EXPECT_DOUBLE_EQ(6144000 / (2 * frequencyUnits(6144000).scale), 3.072);
  EXPECT_EQ(frequencyUnits(999).text, "Hz");
  EXPECT_EQ(frequencyUnits(999).scale, 1);
  EXPECT_EQ(frequencyUnits(1).text, "Hz");
  EXPECT_EQ(frequencyUnits(1000).text, "kHz");
  EXPECT_EQ(frequencyUnits(999999).text, "kHz");
  EXPECT_EQ(frequencyUnits(1e9).text, "GHz");
  // Below 1 Hz the exponent is negative: "any other value" reads GHz.
  EXPECT_EQ(frequencyUnits(0.5).text, "GHz");
  EXPECT_EQ(frequencyUnits(0.5).scale, 1e9);
}

TEST(Units, TimeUnitsFollowTheDuration) {
  EXPECT_EQ(timeUnits(163840.0 / 6144000).text, "mS");
  EXPECT_EQ(timeUnits(163840.0 / 6144000).scale, 1e3);
  EXPECT_EQ(timeUnits(1).text, "S");
  EXPECT_EQ(timeUnits(0.5).text, "mS");
  EXPECT_EQ(timeUnits(2e-6).text, "uS");
  EXPECT_EQ(timeUnits(2e-6).scale, 1e6);
  EXPECT_EQ(timeUnits(5e-9).text, "nS");
  EXPECT_EQ(timeUnits(5e-12).text, "pS");
  EXPECT_EQ(timeUnits(5e-12).scale, 1e12);
  // A thousand seconds and more stay in seconds.
  EXPECT_EQ(timeUnits(1000).text, "S");
  EXPECT_EQ(timeUnits(2e5).scale, 1);
}

TEST(Units, NearestRoundsHalvesAwayFromZero) {
  EXPECT_EQ(nearest(2.5), 3);
  EXPECT_EQ(nearest(-2.5), -3);
  EXPECT_EQ(nearest(2.4), 2);
  EXPECT_EQ(nearest(-0.5), -1);
}

}  // namespace
}  // namespace kelvane::plots
