// The play commands without an instrument: the reading of the settings record's numbers into
// typed choices, and the three command lists built from one table.
#include "instrument/playback.hpp"

#include <gtest/gtest.h>

#include <limits>

namespace kelvane::instrument {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

TEST(SigGenChoices, TheRecordsNumbersMapToTheChoices) {
  SigGenSettings s;
  s.BBfilter = 1;
  s.ALC = 0;
  s.RFblanking = 1;
  s.MarkerPolarity = 0;
  s.ArbRefSource = 0;
  s.ReconFilter = 1;
  SigGenChoices c = sigGenChoices(s);
  EXPECT_EQ(c.basebandFilter, BasebandFilter::Filter2_1MHz);
  EXPECT_FALSE(c.alc);
  EXPECT_TRUE(c.rfBlanking);
  EXPECT_EQ(c.markerPolarity, MarkerPolarity::Positive);
  EXPECT_EQ(c.arbReference, ArbReference::Internal);
  EXPECT_EQ(c.reconstructionFilter, ReconstructionFilter::Filter250kHz);

  s.BBfilter = 2;
  s.ReconFilter = 2;
  EXPECT_EQ(sigGenChoices(s).basebandFilter, BasebandFilter::Filter40MHz);
  EXPECT_EQ(sigGenChoices(s).reconstructionFilter, ReconstructionFilter::Filter2_5MHz);
  s.ReconFilter = 3;
  EXPECT_EQ(sigGenChoices(s).reconstructionFilter, ReconstructionFilter::Filter8MHz);
}

TEST(SigGenChoices, AnyOtherNumberTakesTheOtherChoice) {
  for (const double v : {-1.0, 0.5, 4.0, 7.0, kNaN}) {
    SigGenSettings s;
    s.BBfilter = s.ALC = s.RFblanking = s.MarkerPolarity = s.ArbRefSource = v;
    s.ReconFilter = v;
    const SigGenChoices c = sigGenChoices(s);
    EXPECT_EQ(c.reconstructionFilter, ReconstructionFilter::Through) << v;
    EXPECT_EQ(c.basebandFilter, BasebandFilter::Through) << v;
    EXPECT_TRUE(c.alc) << v;
    EXPECT_FALSE(c.rfBlanking) << v;
    EXPECT_EQ(c.markerPolarity, MarkerPolarity::Negative) << v;
    EXPECT_EQ(c.arbReference, ArbReference::External) << v;
  }
  SigGenSettings none;
  none.ReconFilter.reset();
  EXPECT_EQ(sigGenChoices(none).reconstructionFilter, ReconstructionFilter::Through);
}

TEST(PlayCommands, TheListsShareTheirCommandsWithTheirOwnBlanks) {
  SigGenSettings s;
  s.ReconFilter = 3;
  const auto sequence = playSequenceCommands("Seq", s);
  const auto playC = playCCommands("Wave", s);
  const auto play = playCommands("Wave", s);
  ASSERT_EQ(sequence.size(), 16u);
  ASSERT_EQ(playC.size(), 15u);
  ASSERT_EQ(play.size(), 11u);
  EXPECT_EQ(sequence[1], ":source:rad:arb:wav \"SEQ:Seq\"");
  EXPECT_EQ(playC[1], " :source:rad:arb:wav \"arbi:Wave\" ");
  EXPECT_EQ(play[1], " :source:rad:arb:wav \"arbi:Wave\" ");
  EXPECT_EQ(sequence[14], ":output:mod on");
  EXPECT_EQ(playC[7], ":source:DM:IQAT:AUTO off");
  EXPECT_EQ(play[5], " :source:rad:arb:rfilter 8Mhz");
  EXPECT_EQ(play.back(), " :output:state on");
}

}  // namespace
}  // namespace kelvane::instrument
