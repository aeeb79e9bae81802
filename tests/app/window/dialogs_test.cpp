// The signal generator panel, the advanced settings dialog and the channel number dialog through
// their real controls.
#include <QCheckBox>
#include <QPushButton>
#include <QRadioButton>

#include "app/window/advanced_dialog.hpp"
#include "app/window/channel_dialog.hpp"
#include "app/window/main_window_fixture.hpp"
#include "app/window/siggen_panel.hpp"
#include "toolkit/figures.hpp"
#include "toolkit/qt_dialogs.hpp"

namespace kelvane::app::window {
namespace {

using runtime::Value;
using Box = toolkit::ScriptedDialogs::BoxKind;
namespace tk = kelvane::toolkit;

class Panel : public testing::MainWindowTest {
 protected:
  const instrument::SigGenSettings& settings() const { return currentState().sigGenSettings; }
};

TEST_F(Panel, FrequencyAndPowerAreClampedIntoTheInstrumentsRange) {
  choose("pdFrequencyUnits", 4);
  type("txtFrequency", "7");
  EXPECT_EQ(settings().Frequency, 6000000000);
  choose("pdFrequencyUnits", 2);
  type("txtFrequency", "50");
  EXPECT_EQ(settings().Frequency, 100000);
  EXPECT_EQ(text("txtFrequency"), "100");
  EXPECT_EQ(value("pdFrequencyUnits"), 2);
  tk::set(h("pdFrequencyUnits"), "Value", Value::scalar(1));  // Hz, without its callback
  type("txtFrequency", "999");
  EXPECT_EQ(settings().Frequency, 100000);
  EXPECT_EQ(value("pdFrequencyUnits"), 2);  // shown as 100 kHz
  // Changing only the unit reinterprets the number: 1.955 GHz becomes 1.955 MHz.
  choose("pdFrequencyUnits", 4);
  type("txtFrequency", "1.955");
  choose("pdFrequencyUnits", 3);
  EXPECT_EQ(settings().Frequency, 1955000);
  type("txtFrequency", "900 2.5 7000");  // several numbers take the smallest
  EXPECT_EQ(settings().Frequency, 2500000);

  for (const auto& [typed, dbm] : {std::pair{"25", 20.0}, std::pair{"-140", -136.0},
                                   std::pair{"3.6", 4.0}, std::pair{"-2.5", -3.0}}) {
    type("txtAmplitude", typed);
    EXPECT_EQ(settings().Amplitude, dbm) << typed;
  }
  EXPECT_EQ(text("txtAmplitude"), "-3");
  EXPECT_EQ(dialogs_.count(Box::Error), 0u);
}

// The mended fault: text with no number keeps the value and says so; it never switches the
// generator to its maximum frequency or power.
TEST_F(Panel, TextWithoutANumberKeepsTheValueAndShowsTheParseError) {
  type("txtAmplitude", "-40");
  type("txtAmplitude", "4O");  // a stray letter
  EXPECT_EQ(settings().Amplitude, -40);
  EXPECT_EQ(text("txtAmplitude"), "-40");
  type("txtFrequency", "");
  EXPECT_EQ(settings().Frequency, 1955000000);
  ASSERT_EQ(dialogs_.count(Box::Error), 2u);
  for (const auto& box : dialogs_.shown()) {
    EXPECT_EQ(box.text, "Value entered cannot be parsed to valid scalar value.");
    EXPECT_EQ(box.title, "Error");
  }
}

TEST_F(Panel, TitlesKeepTheInstrumentsCharacters) {
  EXPECT_EQ(cleanTitle("my wave #2!"), "MYWAVE#2");
  EXPECT_EQ(cleanTitle("    "), "BLANK");
  EXPECT_EQ(cleanTitle("ABCDEFGHIJKLMNOPQRSTUVWXY"), "ABCDEFGHIJKLMNOPQRST");
  type("txtWaveformTitle", "my wave #2!");
  EXPECT_EQ(settings().Title, "MYWAVE#2");
  EXPECT_EQ(text("txtWaveformTitle"), "MYWAVE#2");
}

// Opens the advanced dialog from the panel's button and runs `inside` while it waits.
void withAdvancedDialog(const Value& handles, const std::function<void(const Value&)>& inside) {
  tk::whenModal([inside](QWidget* modal) {
    QWidget* dialog = modal;
    ASSERT_NE(dialog, nullptr);
    ASSERT_EQ(dialog->objectName(), "figAdvSettings");
    inside(tk::guihandles(tk::handleOf(dialog)));
  });
  registry::call("Velconfig_c",
                 {Value::text("pbAdvancedSettings_Callback"), Value(), Value(), handles}, 0);
}

void typeIn(const Value& handles, const char* t, const char* typed) {
  testing::typeInto(handles.field(t), typed);
}

TEST_F(Panel, TheAdvancedDialogRoundsClampsAndAppliesOnlyOnOK) {
  instrument::SigGenSettings seen;
  withAdvancedDialog(handles_, [&](const Value& d) {
    const auto field = [&](const char* t) { return tk::get(d.field(t), "String").str(); };
    EXPECT_EQ(field("txtSamplingRate"), "6.144");  // the start-up clock in MHz
    tk::set(d.field("pdSamplingRateUnits"), "Value", Value::scalar(3));
    typeIn(d, "txtSamplingRate", "150");
    EXPECT_EQ(field("txtSamplingRate"), "100");
    tk::set(d.field("pdSamplingRateUnits"), "Value", Value::scalar(1));
    typeIn(d, "txtSamplingRate", "0.5");
    EXPECT_EQ(field("txtSamplingRate"), "1");
    typeIn(d, "txtScaling", "99.996");
    EXPECT_EQ(field("txtScaling"), "100");
    typeIn(d, "txtScaling", "50.123");
    EXPECT_EQ(field("txtScaling"), "50.12");
    typeIn(d, "txtScaling", "0");
    EXPECT_EQ(field("txtScaling"), "1");
    typeIn(d, "txtModAtten", "12.5");
    EXPECT_EQ(field("txtModAtten"), "13");
    typeIn(d, "txtModAtten", "41");
    EXPECT_EQ(field("txtModAtten"), "40");
    typeIn(d, "txtModAtten", "-3");
    EXPECT_EQ(field("txtModAtten"), "0");
    // The mended fault in the three fields: no number keeps the value.
    typeIn(d, "txtModAtten", "ten");
    typeIn(d, "txtScaling", "%");
    typeIn(d, "txtSamplingRate", "fast");
    EXPECT_EQ(field("txtModAtten"), "0");
    EXPECT_EQ(field("txtScaling"), "1");
    EXPECT_EQ(field("txtSamplingRate"), "1");
    qobject_cast<QCheckBox*>(tk::objectOf(d.field("chkALC")))->click();
    qobject_cast<QPushButton*>(tk::objectOf(d.field("pbOK")))->click();
  });
  EXPECT_EQ(dialogs_.count(Box::Error), 3u);
  EXPECT_EQ(settings().SamplingRate, 1);
  EXPECT_EQ(settings().Scaling, 1);
  EXPECT_EQ(settings().ModAtten, 0);
  EXPECT_EQ(settings().ALC, 1);
  EXPECT_FALSE(tk::windowOf(Value::handle(*currentState().figureList.AdvSettings))->isVisible());

  // The close box after a change is a Cancel: the settings stay as they were.
  const instrument::SigGenSettings before = settings();
  withAdvancedDialog(handles_, [&](const Value& d) {
    qobject_cast<QCheckBox*>(tk::objectOf(d.field("chkALC")))->click();
    tk::windowOf(d.field("figAdvSettings"))->close();
  });
  EXPECT_EQ(settings().ALC, before.ALC);
  EXPECT_TRUE(tk::isValidHandle(Value::handle(*currentState().figureList.AdvSettings)));
  // Opened without a caller's record, the dialog starts from its defaults.
  EXPECT_EQ(advancedDefaults().Title, "NoName");
  EXPECT_EQ(advancedDefaults().RFblanking, 1);
}

class ChannelDialog : public testing::MainWindowTest {
 protected:
  // Opens the dialog by name with `inputs`; `inside` acts on it while it waits.
  std::vector<Value> open(std::vector<Value> inputs,
                          const std::function<void(const Value&)>& inside) {
    tk::whenModal([inside](QWidget* modal) {
      QWidget* d = modal;
      ASSERT_NE(d, nullptr);
      inside(tk::guihandles(tk::handleOf(d)));
    });
    return registry::call("Qarn_ChannelNumberToFreqGUI", std::move(inputs), 4);
  }
  static void press(const Value& d, const char* t) {
    qobject_cast<QPushButton*>(tk::objectOf(d.field(t)))->click();
  }
};

TEST_F(ChannelDialog, ApplyReturnsTheCarrierAndRemembersTheChoice) {
  auto out = open({Value::scalar(1), Value::scalar(1), Value::scalar(500)},
                  [](const Value& d) { press(d, "ApplyButton"); });
  ASSERT_EQ(out.size(), 4u);
  EXPECT_DOUBLE_EQ(out[0].toDouble(), 1955);
  EXPECT_EQ(out[1].toDouble(), 1);
  EXPECT_EQ(out[2].toDouble(), 1);
  EXPECT_EQ(out[3].toDouble(), 500);
  // Band class 12 shows 9; transmitter type 5 keeps the remembered side.
  open({Value::scalar(12), Value::scalar(5), Value::scalar(100)}, [](const Value& d) {
    EXPECT_EQ(tk::get(d.field("BandClassComboBox"), "Value").toDouble(), 10);
    EXPECT_EQ(tk::get(d.field("AccessNetworkRadioButton"), "Value").toDouble(), 1);
    typeIn(d, "ChannelNumberTextField", "500.9");
    EXPECT_EQ(tk::get(d.field("ChannelNumberTextField"), "Value").toDouble(), 500);
    press(d, "CancelButton");
  });
  // Cancel gave an empty carrier and left the preferences as they were.
  out = open({}, [](const Value& d) { press(d, "CancelButton"); });
  EXPECT_TRUE(out[0].isEmpty());
  EXPECT_EQ(out[1].toDouble(), 1);
  EXPECT_EQ(out[3].toDouble(), 500);
}

TEST_F(ChannelDialog, TheChannelFieldRefusesNonNumbersAndChannelsOutsideTheBand) {
  open({Value::scalar(0), Value::scalar(1), Value::scalar(283)}, [](const Value& d) {
    typeIn(d, "ChannelNumberTextField", "abc");
    typeIn(d, "ChannelNumberTextField", "800");  // the gap of band class 0
    EXPECT_EQ(tk::get(d.field("ChannelNumberTextField"), "String").str(), "283");
    press(d, "CancelButton");
  });
  ASSERT_EQ(dialogs_.count(Box::Error), 2u);
  EXPECT_EQ(dialogs_.shown()[0].text, "Data entered cannot be parsed to valid scalar value.");
  EXPECT_EQ(dialogs_.shown()[1].text, "Invalid channel number for the specified Band Class");
}

TEST_F(ChannelDialog, TheMainWindowTakesTheChannelOrReportsAnInvalidOne) {
  tk::whenModal([](QWidget* modal) {
    const Value d = tk::guihandles(tk::handleOf(modal));
    tk::set(d.field("BandClassComboBox"), "Value", Value::scalar(7));  // band class 6
    typeIn(d, "ChannelNumberTextField", "1199");
    press(d, "ApplyButton");
  });
  registry::call("Qarn_FTM_GUI_c",
                 {Value::text("CDMAFrequency_Callback"), h("CDMAFrequency"), Value(), handles_}, 0);
  EXPECT_DOUBLE_EQ(params().Frequency, 2169950000);
  EXPECT_EQ(params().BandClass, 6);
  EXPECT_EQ(text("FrequencyLabel"), "2.16995 GHz");
  // A band class changed after the channel was accepted: Apply gives 0, the window says so.
  tk::whenModal([](QWidget* modal) {
    const Value d = tk::guihandles(tk::handleOf(modal));
    tk::set(d.field("BandClassComboBox"), "Value", Value::scalar(8));  // band class 7: 0..359
    press(d, "ApplyButton");
  });
  registry::call("Qarn_FTM_GUI_c",
                 {Value::text("CDMAFrequency_Callback"), h("CDMAFrequency"), Value(), handles_}, 0);
  ASSERT_EQ(dialogs_.count(Box::Error), 1u);
  EXPECT_EQ(dialogs_.shown().back().text, "Invalid channel number.");
  EXPECT_DOUBLE_EQ(params().Frequency, 2169950000);
}

}  // namespace
}  // namespace kelvane::app::window
