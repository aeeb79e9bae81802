#include "runtime/text.hpp"

#include <gtest/gtest.h>

#include <limits>

namespace kelvane::runtime {
namespace {

TEST(Text, NumToTextWritesIntegersPlainAndOthersShortest) {
  EXPECT_EQ(numToText(1955000000), "1955000000");
  EXPECT_EQ(numToText(-30), "-30");
  EXPECT_EQ(numToText(-0.0), "0");
  EXPECT_EQ(numToText(1.955), "1.955");
  EXPECT_EQ(numToText(0.1), "0.1");
  EXPECT_EQ(numToText(std::numeric_limits<double>::quiet_NaN()), "NaN");
  EXPECT_EQ(numToText(-std::numeric_limits<double>::infinity()), "-Inf");
}

TEST(Text, FormatGIsCPercentG) {
  EXPECT_EQ(formatG(2457600), "2.4576e+06");
  EXPECT_EQ(formatG(1228800.0 * 24), "2.94912e+07");
  EXPECT_EQ(formatG(0.75), "0.75");
  EXPECT_EQ(formatG(44), "44");
}

TEST(Text, ParseNumberTakesOneDecimalOrExponentNumber) {
  EXPECT_EQ(parseNumber("  4.5e2 "), 450.0);
  EXPECT_EQ(parseNumber("-7"), -7.0);
  EXPECT_EQ(parseNumber(".5"), 0.5);
  EXPECT_EQ(parseNumber("5."), 5.0);
  for (const char* bad : {"", "  ", "abc", "1 2", "1e", "0x10", "inf", "nan", "--1", ".", "1,5"})
    EXPECT_FALSE(parseNumber(bad).has_value()) << bad;
}

TEST(Text, SprintfFollowsTheRuntime) {
  std::vector<FormatArg> args = {std::string("SEQ"), std::string("W"), 44.0, 1.0, 1.0};
  EXPECT_EQ(sprintfText("%s,\"WFM1:%s\",%i,%i,%i", args), "SEQ,\"WFM1:W\",44,1,1");
  std::vector<FormatArg> one = {0.75};
  EXPECT_EQ(sprintfText("about %g minutes", one), "about 0.75 minutes");
  std::vector<FormatArg> frac = {2.5};
  EXPECT_EQ(sprintfText("%d", frac), "2.500000e+00");
  // A whole number beyond what a 64-bit integer holds prints with %e too, never converted.
  std::vector<FormatArg> huge = {1e300, -1e300, 9223372036854775808.0, 9007199254740992.0};
  EXPECT_EQ(sprintfText("%i %d %x %d", huge),
            "1.000000e+300 -1.000000e+300 9.223372e+18 9007199254740992");
  EXPECT_EQ(sprintfText("a \\rb %% c", {}), "a \rb % c");
  // A conversion without its argument ends the output there.
  EXPECT_EQ(sprintfText("x=%d y=%d", one), "x=7.500000e-01 y=");
}

TEST(Text, NearestNamesForDidYouMean) {
  const std::vector<std::string> names = {"Frequency", "Amplitude", "BandClass",
                                          "trafficChannelPackets", "trafficChannelPayload"};
  EXPECT_EQ(nearestNames("frequency", names), std::vector<std::string>{"Frequency"});
  EXPECT_EQ(nearestNames("Frequncy", names), std::vector<std::string>{"Frequency"});
  EXPECT_EQ(nearestNames("Bnadclass", names), std::vector<std::string>{"BandClass"});
  // The closest first.
  EXPECT_EQ(nearestNames("trafficChannelPakets", names),
            (std::vector<std::string>{"trafficChannelPackets", "trafficChannelPayload"}));
  EXPECT_TRUE(nearestNames("xyz", names).empty());
  EXPECT_TRUE(nearestNames("", names).empty());
}

}  // namespace
}  // namespace kelvane::runtime
