// The application records: start-up values, record order and the by-name conversions.
#include <gtest/gtest.h>

#include <cmath>

#include "app/records.hpp"
#include "app/state.hpp"
#include "instrument/records_value.hpp"

namespace kelvane::app {
namespace {

using runtime::Value;

TEST(StartupValues, MatchTheDerivationsOfTheMainWindow) {
  AppState s;
  // 1 traffic frame + 4 control frames of 32768 chips at 5 samples a chip; (48 - 4) / 1 reps.
  EXPECT_EQ(s.parameters.ProjectedLength, 819200);
  EXPECT_EQ(s.parameters.trafficChannelWaveformReps, 44);
  EXPECT_EQ(s.parameters.controlChannelWaveformReps, 1);
  // Band class 1, access network, channel 500: 0.05 x 500 + 1930 MHz.
  EXPECT_EQ(s.parameters.Frequency, 1955000000);
  EXPECT_EQ(s.sigGenSettings.SamplingRate, 6144000);
  EXPECT_EQ(s.sigGenSettings.Frequency, s.parameters.Frequency);
  EXPECT_EQ(s.sigGenSettings.Amplitude, s.parameters.Amplitude);
  EXPECT_EQ(s.sigGenSettings.Title, "ASDF-UNUSED");
  EXPECT_EQ(s.sigGenSettings.Scaling, 95);
  EXPECT_EQ(s.parameters.ParameterFileFormat_ID, "Qarn-FTM - Format 1.0");
  EXPECT_EQ(s.parameters.trafficChannelWaveformName, "QarnFTM-Traffic");
  EXPECT_EQ(s.parameters.controlChannelWaveformName, "QarnFTM-Control");
  EXPECT_EQ(s.parameters.sequenceFileName, "QarnFTM-Sequence");
  EXPECT_EQ(s.parameters.Amplitude, -30);

  EXPECT_EQ(s.configuration.type, "GPIB");
  EXPECT_EQ(s.configuration.GPIB.primary, 19);
  EXPECT_EQ(s.configuration.GPIB.secondary, -1);
  EXPECT_EQ(s.configuration.RS232.baudrate, 9600);
  EXPECT_EQ(s.configuration.RS232.handshake, "Xon/Xoff");
  EXPECT_EQ(s.configuration.TCPIP.address, "0.0.0.0");
  EXPECT_EQ(s.configuration.BBGtype, instrument::kBbg32Msamples);
  EXPECT_TRUE(s.configuration.LastParameterFilename.empty());

  EXPECT_EQ(s.appInfo.Name, "Kelvane");
  EXPECT_EQ(s.appInfo.Platform, "c");
  EXPECT_EQ(s.appInfo.Rev, "A.02.01.045");
  EXPECT_EQ(s.appInfo.Date, "04-Apr-2002");
  EXPECT_EQ(s.appInfo.ApplicationFunction, "Qarn_FTM_GUI_c");
  EXPECT_EQ(s.appInfo.ParameterFileExtension, ".mat");
  EXPECT_FALSE(s.calculated());
  EXPECT_FALSE(s.figureList.AdvSettings);
  EXPECT_TRUE(s.traffic.samples.empty() && s.control.markers.empty());
}

TEST(StartupValues, SamplingRateFollowsTheOversampleRatio) {
  AppState s;
  s.parameters.oversampleRatio = 24;
  s.InitializeSigGenSettings();
  EXPECT_EQ(s.sigGenSettings.SamplingRate, 1228800.0 * 24);
  s.parameters.Amplitude = 5;
  s.InitializeParameters();
  EXPECT_EQ(s.parameters.Amplitude, -30);
}

TEST(ParametersRecord, FieldsInTableOrderAndRoundTrip) {
  const std::vector<std::string> order = {"ParameterFileFormat_ID",
                                          "trafficChannelDRCValue",
                                          "trafficChannelPayload",
                                          "trafficChannelMACIndex",
                                          "trafficChannelPackets",
                                          "controlChannelDRCValue",
                                          "pilotOffsetIndex",
                                          "oversampleRatio",
                                          "filterType",
                                          "phaseEqualizationActive",
                                          "mirrorSpectrumActive",
                                          "trafficChannelWaveformName",
                                          "trafficChannelWaveformReps",
                                          "controlChannelWaveformName",
                                          "controlChannelWaveformReps",
                                          "sequenceFileName",
                                          "autoCalculateReps",
                                          "ProjectedLength",
                                          "BandClass",
                                          "TransmitterType",
                                          "ChannelNumber",
                                          "Frequency",
                                          "Amplitude"};
  EXPECT_EQ(parameterFieldNames(), order);
  Parameters p;
  p.trafficChannelDRCValue = 12;
  p.trafficChannelWaveformName = "wave.wfm";
  p.Frequency = 869.97e6;
  const Value v = toValue(p);
  EXPECT_EQ(v.fieldNames(), order);
  EXPECT_EQ(v.field("trafficChannelWaveformName").str(), "wave.wfm");
  EXPECT_EQ(toValue(parametersFromValue(v)), v);
}

TEST(ParametersRecord, ReadingRefusesWithMessagesNamingTheField) {
  const Value good = toValue(Parameters{});
  auto message = [](const Value& v) {
    try {
      parametersFromValue(v);
    } catch (const runtime::Error& e) {
      return std::string(e.what());
    }
    return std::string("accepted");
  };
  Value missing = good;
  missing.removeField("Amplitude");
  EXPECT_EQ(message(missing), "parameters.Amplitude is missing");
  Value wrongKind = good;
  wrongKind.setField("oversampleRatio", Value::text("5"));
  EXPECT_EQ(message(wrongKind),
            "parameters.oversampleRatio must be a real number, not the text \"5\"");
  Value vector = good;
  vector.setField("trafficChannelPackets", Value::row({1, 2}));
  EXPECT_EQ(message(vector),
            "parameters.trafficChannelPackets must be a real number, not a 1 x 2 double array");
  Value textAsNumber = good;
  textAsNumber.setField("sequenceFileName", Value::scalar(3));
  EXPECT_EQ(message(textAsNumber), "parameters.sequenceFileName must be a text, not the number 3");
  Value extra = good;
  extra.setField("oversampleratio", Value::scalar(8));
  EXPECT_EQ(message(extra), "parameters has no field 'oversampleratio'");
  EXPECT_EQ(message(Value::scalar(1)), "parameters must be a record, not the number 1");
  // Fields are looked up by name: another order reads the same record.
  Value reversed = Value::record();
  for (auto it = good.fieldNames().rbegin(); it != good.fieldNames().rend(); ++it)
    reversed.setField(*it, good.field(*it));
  EXPECT_EQ(toValue(parametersFromValue(reversed)), good);
  // A 0 x 0 array (how other programs store '') reads as the empty text.
  Value emptyName = good;
  emptyName.setField("sequenceFileName", Value());
  EXPECT_EQ(parametersFromValue(emptyName).sequenceFileName, "");
}

TEST(AppInfoRecord, RoundTripWithBookkeeping) {
  AppInfo a;
  EXPECT_TRUE(toValue(a).field("LastCalcTimeStamp").isEmpty());
  EXPECT_TRUE(toValue(a).field("LastCaluclatedParameterSet").isEmpty());
  EXPECT_TRUE(toValue(a).field("ClientWindows").isEmpty());
  EXPECT_EQ(toValue(a).fieldNames().front(), "Name");
  EXPECT_EQ(toValue(a).fieldNames().back(), "LastCalcTimeStamp");
  EXPECT_EQ(toValue(a).fieldNames().size(), 18u);
  a.LastCalcTimeStamp = std::array<double, 6>{2026, 12, 7, 9, 5, 3.8};
  Parameters p;
  p.pilotOffsetIndex = 300;
  a.LastCaluclatedParameterSet = p;
  a.ClientWindows = {3, 9};
  const Value v = toValue(a);
  EXPECT_EQ(v.field("LastCalcTimeStamp"), Value::row({2026, 12, 7, 9, 5, 3.8}));
  const AppInfo back = appInfoFromValue(v);
  EXPECT_EQ(back.ClientWindows, (std::vector<std::uint64_t>{3, 9}));
  ASSERT_TRUE(back.LastCaluclatedParameterSet);
  EXPECT_EQ(back.LastCaluclatedParameterSet->pilotOffsetIndex, 300);
  EXPECT_EQ(toValue(back), v);

  Value badStamp = v;
  badStamp.setField("LastCalcTimeStamp", Value::row({2026, 12}));
  EXPECT_THROW(appInfoFromValue(badStamp), runtime::Error);
  Value badCopy = v;
  badCopy.setField("LastCaluclatedParameterSet", Value::record({{"x", Value::scalar(1)}}));
  try {
    appInfoFromValue(badCopy);
    FAIL();
  } catch (const runtime::Error& e) {
    EXPECT_STREQ(e.what(), "appInfo.LastCaluclatedParameterSet.ParameterFileFormat_ID is missing");
  }
  // Handles given as numbers (as a data file stores them) are accepted.
  Value numbers = v;
  numbers.setField("ClientWindows", Value::row({4, 5}));
  EXPECT_EQ(appInfoFromValue(numbers).ClientWindows, (std::vector<std::uint64_t>{4, 5}));
  numbers.setField("ClientWindows", Value::row({-1}));
  EXPECT_THROW(appInfoFromValue(numbers), runtime::Error);
}

TEST(FigureListRecord, HoldsTheAdvancedSettingsHandle) {
  EXPECT_FALSE(figureListFromValue(Value()).AdvSettings);
  FigureList f;
  f.AdvSettings = 12;
  const Value v = toValue(f);
  EXPECT_EQ(v.field("AdvSettings"), Value::handle(12));
  EXPECT_EQ(figureListFromValue(v).AdvSettings, 12u);
  EXPECT_THROW(figureListFromValue(Value::record({{"AdvSettings", Value::text("x")}})),
               runtime::Error);
}

}  // namespace
}  // namespace kelvane::app
