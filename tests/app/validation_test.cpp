// Parameters the signal chain cannot serve are refused with the field and its range.
#include "app/validation.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>

namespace kelvane::app {
namespace {

struct Case {
  const char* what;
  std::function<void(Parameters&)> change;
  const char* message;
};

TEST(Validation, StartupParametersAreAccepted) {
  EXPECT_TRUE(parameterProblems(Parameters{}).empty());
  EXPECT_NO_THROW(validateParameters(Parameters{}));
}

TEST(Validation, EveryFieldOutsideItsRangeIsRefused) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const std::vector<Case> cases = {
      {"drc", [](Parameters& p) { p.trafficChannelDRCValue = 13; },
       "trafficChannelDRCValue must be a whole number from 1 to 12, not 13"},
      {"drc fraction", [](Parameters& p) { p.trafficChannelDRCValue = 2.5; },
       "trafficChannelDRCValue must be a whole number from 1 to 12, not 2.5"},
      {"user pattern", [](Parameters& p) { p.trafficChannelPayload = 7; },
       "trafficChannelPayload must be a whole number from 1 to 6, not 7 (type 7 is the user "
       "pattern, which the parameters have no field for)"},
      {"payload 0", [](Parameters& p) { p.trafficChannelPayload = 0; },
       "trafficChannelPayload must be a whole number from 1 to 6, not 0"},
      {"mac", [](Parameters& p) { p.trafficChannelMACIndex = 4; },
       "trafficChannelMACIndex must be a whole number from 5 to 63, not 4"},
      {"packets", [](Parameters& p) { p.trafficChannelPackets = 17; },
       "trafficChannelPackets must be a whole number from 1 to 16, not 17"},
      {"control drc", [](Parameters& p) { p.controlChannelDRCValue = 3; },
       "controlChannelDRCValue must be a whole number from 1 to 2, not 3"},
      {"pn offset", [](Parameters& p) { p.pilotOffsetIndex = 512; },
       "pilotOffsetIndex must be a whole number from 0 to 511, not 512"},
      {"oversampling low", [](Parameters& p) { p.oversampleRatio = 1; },
       "oversampleRatio must be a whole number from 2 to 24, not 1"},
      {"oversampling high", [](Parameters& p) { p.oversampleRatio = 25; },
       "oversampleRatio must be a whole number from 2 to 24, not 25"},
      {"oversampling NaN", [nan](Parameters& p) { p.oversampleRatio = nan; },
       "oversampleRatio must be a whole number from 2 to 24, not NaN"},
      {"filter", [](Parameters& p) { p.filterType = 4; },
       "filterType must be a whole number from 1 to 3, not 4"},
      {"phase eq", [](Parameters& p) { p.phaseEqualizationActive = 2; },
       "phaseEqualizationActive must be 0 or 1, not 2"},
      {"mirror", [](Parameters& p) { p.mirrorSpectrumActive = -1; },
       "mirrorSpectrumActive must be 0 or 1, not -1"},
      {"auto reps", [](Parameters& p) { p.autoCalculateReps = 0.5; },
       "autoCalculateReps must be 0 or 1, not 0.5"},
      {"empty name", [](Parameters& p) { p.trafficChannelWaveformName = ""; },
       "trafficChannelWaveformName must not be empty"},
      {"long name", [](Parameters& p) { p.controlChannelWaveformName = std::string(24, 'a'); },
       "controlChannelWaveformName must have 1 to 23 characters, not 24 "
       "(\"aaaaaaaaaaaaaaaaaaaaaaaa\")"},
      {"forbidden character", [](Parameters& p) { p.sequenceFileName = "my seq"; },
       "sequenceFileName must not hold the character ' ' (\"my seq\")"},
      {"quote", [](Parameters& p) { p.sequenceFileName = "a\"b"; },
       "sequenceFileName must not hold the character '\"' (\"a\"b\")"},
      {"non-ASCII", [](Parameters& p) { p.sequenceFileName = "s\xC3\xA9q"; },
       "sequenceFileName must hold printable ASCII characters only (\"s\xC3\xA9q\")"},
      {"reps fraction", [](Parameters& p) { p.trafficChannelWaveformReps = 2.5; },
       "trafficChannelWaveformReps must be a whole number from -2147483648 to 2147483647, not "
       "2.5"},
      // The sequence command prints the counts as 32-bit integers.
      {"reps beyond int32", [](Parameters& p) { p.trafficChannelWaveformReps = 1e300; },
       "trafficChannelWaveformReps must be a whole number from -2147483648 to 2147483647, not "
       "1e+300"},
      {"control reps beyond int32",
       [](Parameters& p) { p.controlChannelWaveformReps = 2147483648.0; },
       "controlChannelWaveformReps must be a whole number from -2147483648 to 2147483647, not "
       "2147483648"},
      {"control reps NaN", [nan](Parameters& p) { p.controlChannelWaveformReps = nan; },
       "controlChannelWaveformReps must be a whole number from -2147483648 to 2147483647, not "
       "NaN"},
      {"projected length", [](Parameters& p) { p.ProjectedLength = -1; },
       "ProjectedLength must be a whole number of samples, 0 or more, not -1"},
      {"band class", [](Parameters& p) { p.BandClass = 10; },
       "BandClass must be a whole number from 0 to 9, not 10"},
      {"transmitter", [](Parameters& p) { p.TransmitterType = 2; },
       "TransmitterType must be 0 or 1, not 2"},
      {"channel", [](Parameters& p) { p.ChannelNumber = INFINITY; },
       "ChannelNumber must be a finite number, not Inf"},
      {"frequency", [](Parameters& p) { p.Frequency = 0; },
       "Frequency must be a finite number of Hz from 100000 to 6000000000, not 0"},
      {"frequency low", [](Parameters& p) { p.Frequency = 99999; },
       "Frequency must be a finite number of Hz from 100000 to 6000000000, not 99999"},
      {"frequency high", [](Parameters& p) { p.Frequency = 6.1e9; },
       "Frequency must be a finite number of Hz from 100000 to 6000000000, not 6100000000"},
      {"amplitude", [](Parameters& p) { p.Amplitude = 21; },
       "Amplitude must be a whole number of dBm from -136 to 20, not 21"},
      {"amplitude low", [](Parameters& p) { p.Amplitude = -137; },
       "Amplitude must be a whole number of dBm from -136 to 20, not -137"},
  };
  for (const auto& c : cases) {
    Parameters p;
    c.change(p);
    const auto problems = parameterProblems(p);
    ASSERT_EQ(problems.size(), 1u) << c.what;
    EXPECT_EQ(problems[0], c.message) << c.what;
    EXPECT_THROW(validateParameters(p), ParameterError) << c.what;
  }
}

TEST(Validation, BoundsAreInsideAndEveryProblemIsListed) {
  Parameters p;
  p.trafficChannelDRCValue = 12;
  p.trafficChannelPayload = 6;
  p.trafficChannelMACIndex = 63;
  p.trafficChannelPackets = 16;
  p.controlChannelDRCValue = 2;
  p.pilotOffsetIndex = 511;
  p.oversampleRatio = 2;
  p.filterType = 3;
  p.trafficChannelWaveformName = std::string(23, 'x');
  p.controlChannelWaveformReps = -3;  // the control accepts it as typed
  p.trafficChannelWaveformReps = 2147483647;
  p.BandClass = 0;
  p.TransmitterType = 0;
  p.Amplitude = 20;
  EXPECT_TRUE(parameterProblems(p).empty());

  p.oversampleRatio = 30;
  p.Amplitude = -200;
  try {
    validateParameters(p);
    FAIL();
  } catch (const ParameterError& e) {
    EXPECT_STREQ(e.what(),
                 "The parameters cannot be used:\n"
                 "oversampleRatio must be a whole number from 2 to 24, not 30\n"
                 "Amplitude must be a whole number of dBm from -136 to 20, not -200");
  }
}

}  // namespace
}  // namespace kelvane::app
