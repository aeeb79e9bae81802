// The main window at work through its real controls: parameter fields and lists with their
// validation, the derivation in the redraw, and the carrier display.
#include "app/state.hpp"
#include "app/window/main_window_fixture.hpp"
#include "app/window/parameter_controls.hpp"

namespace kelvane::app::window {
namespace {

using runtime::Value;
namespace tk = kelvane::toolkit;
using Box = toolkit::ScriptedDialogs::BoxKind;

using MainWindow = testing::MainWindowTest;

TEST_F(MainWindow, IntegerFieldsAreClampedThenTruncatedAndANonNumberRestoresTheLastOne) {
  type("TrafficChannelMACIndexTextField", "70");
  EXPECT_EQ(params().trafficChannelMACIndex, 63);
  EXPECT_EQ(text("TrafficChannelMACIndexTextField"), "63");
  type("TrafficChannelMACIndexTextField", "4.9");
  EXPECT_EQ(params().trafficChannelMACIndex, 5);
  type("TrafficChannelMACIndexTextField", "7.9");
  EXPECT_EQ(params().trafficChannelMACIndex, 7);
  EXPECT_EQ(dialogs_.count(Box::Error), 0u);
  type("TrafficChannelMACIndexTextField", "seven");
  ASSERT_EQ(dialogs_.count(Box::Error), 1u);
  EXPECT_EQ(dialogs_.shown().back().text, "Value entered cannot be parsed to valid scalar value.");
  EXPECT_EQ(dialogs_.shown().back().title, "Error");
  EXPECT_EQ(params().trafficChannelMACIndex, 7);
  EXPECT_EQ(text("TrafficChannelMACIndexTextField"), "7");

  type("TrafficChannelPacketsTextField", "0");
  EXPECT_EQ(params().trafficChannelPackets, 1);
  type("TrafficChannelPacketsTextField", "16.9");
  EXPECT_EQ(params().trafficChannelPackets, 16);
  EXPECT_EQ(text("TrafficFramesTextField"), "2");  // ceil(16/4) x 2 slots x 4 = 32 slots

  tk::set(h("AutoCalculateRepsCheckBox"), "Value", Value::scalar(0));
  registry::call("Qarn_FTM_GUI_c",
                 {Value::text("autoCalculateReps_Callback"), h("AutoCalculateRepsCheckBox"),
                  Value(), handles_},
                 0);
  EXPECT_EQ(tk::get(h("TrafficChannelWaveformReps"), "Enable").str(), "on");
  for (const auto& [typed, stored] :
       {std::pair{"0", 0.0}, std::pair{"-3", -3.0}, std::pair{"2.7", 2.0}}) {
    type("TrafficChannelWaveformReps", typed);
    EXPECT_EQ(params().trafficChannelWaveformReps, stored) << typed;
  }
  EXPECT_EQ(text("TrafficChannelWaveformReps"), "2");
}

TEST_F(MainWindow, WaveformNamesAreCleanedAndFallBackToTheirDefaults) {
  EXPECT_EQ(validateFileNameText(" my wave (1).wfm", "X"), "mywave1.wfm");
  EXPECT_EQ(validateFileNameText(std::string(30, 'a'), "X"), std::string(23, 'a'));
  EXPECT_EQ(validateFileNameText(" !\"#$%&'()*+,/:;<=>?@[\\]^`{|}~", "QarnFTM-Traffic"),
            "QarnFTM-Traffic");
  type("TrafficChannelWaveformTextField", " my wave (1).wfm");
  EXPECT_EQ(params().trafficChannelWaveformName, "mywave1.wfm");
  EXPECT_EQ(text("TrafficChannelWaveformTextField"), "mywave1.wfm");  // the redraw wrote it back
  type("SequenceFileTextField", "  ??  ");
  EXPECT_EQ(params().sequenceFileName, "QarnFTM-Sequence");
}

TEST_F(MainWindow, TheOversamplingRatioSetsTheSampleClockAndSaysSo) {
  type("OversampleRatioTextField", "2");
  EXPECT_EQ(currentState().sigGenSettings.SamplingRate, 2457600);
  ASSERT_EQ(dialogs_.count(Box::Message), 1u);
  EXPECT_EQ(dialogs_.shown().back().text, "Sampling rate has been changed to 2.4576e+06 Hz");
  EXPECT_EQ(dialogs_.shown().back().title, "Sampling rate changed");
  type("OversampleRatioTextField", "24");
  EXPECT_EQ(dialogs_.shown().back().text, "Sampling rate has been changed to 2.94912e+07 Hz");
  type("OversampleRatioTextField", "24");  // the same ratio again still tells
  EXPECT_EQ(dialogs_.count(Box::Message), 3u);
  type("OversampleRatioTextField", "x");  // the last ratio is kept and the message still comes
  EXPECT_EQ(dialogs_.count(Box::Message), 4u);
  EXPECT_EQ(currentState().sigGenSettings.SamplingRate, 1228800 * 24);
}

TEST_F(MainWindow, TheRedrawDerivesTheLengthAndRepetitions) {
  choose("TrafficChannelDataRateComboBox", 12);
  type("TrafficChannelPacketsTextField", "1");
  choose("ControlChannelDataRateComboBox", 2);
  type("OversampleRatioTextField", "24");
  EXPECT_EQ(text("TrafficFramesTextField"), "1");
  EXPECT_EQ(text("ControlFramesTextField"), "2");
  EXPECT_EQ(params().ProjectedLength, 3 * 32768 * 24);
  EXPECT_EQ(text("ProjectedLengthLabel"), "2359296");
  EXPECT_EQ(params().trafficChannelWaveformReps, 46);  // (48 - 2) / 1
  EXPECT_EQ(text("TrafficChannelWaveformReps"), "46");
  choose("TrafficChannelDataRateComboBox", 1);
  type("TrafficChannelPacketsTextField", "16");
  choose("ControlChannelDataRateComboBox", 1);
  EXPECT_EQ(params().trafficChannelWaveformReps, 2);  // fix(44 / 16)
  // The payload list offers types 1 to 6 only.
  EXPECT_EQ(tk::get(h("TrafficChannelPayloadComboBox"), "String").items().size(), 6u);
  EXPECT_NE(tk::get(h("TrafficChannelMACIndexTextField"), "TooltipString").str().find("5 to 63"),
            std::string::npos);
}

TEST_F(MainWindow, TheCarrierIsShownInItsUnit) {
  for (const auto& [hz, label, entry, number] :
       {std::tuple{999.0, "999 Hz", 1, "999"}, std::tuple{1000000.0, "1 MHz", 3, "1"},
        std::tuple{1955000000.0, "1.955 GHz", 4, "1.955"}}) {
    currentState().parameters.Frequency = hz;
    redrawFormatParameters(handles_);
    EXPECT_EQ(text("FrequencyLabel"), label);
    EXPECT_EQ(value("pdFrequencyUnits"), entry);
    EXPECT_EQ(text("txtFrequency"), number);
    EXPECT_EQ(currentState().sigGenSettings.Frequency, hz);
  }
}

TEST_F(MainWindow, TheAmplitudeFieldIsClampedAndAParseErrorKeepsTheLevel) {
  type("AmplitudeTextField", "25");
  EXPECT_EQ(params().Amplitude, 20);
  type("AmplitudeTextField", "-40");
  EXPECT_EQ(params().Amplitude, -40);
  EXPECT_EQ(currentState().sigGenSettings.Amplitude, -40);
  type("AmplitudeTextField", "loud");
  EXPECT_EQ(dialogs_.count(Box::Error), 1u);
  EXPECT_EQ(params().Amplitude, -40);  // the level in force, never 0 dBm
}

}  // namespace
}  // namespace kelvane::app::window
