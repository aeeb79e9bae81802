// Calculate, Download and Refresh from the real main window against the signal generator
// simulator on loopback, with the progress box and its Cancel.
#include <QProgressDialog>
#include <QPushButton>
#include <chrono>
#include <iostream>
#include <memory>

#include "app/window/main_actions.hpp"
#include "app/window/main_window_fixture.hpp"
#include "instrument/io.hpp"
#include "simulator/simulator.hpp"
#include "support/program.hpp"
#include "toolkit/qt_dialogs.hpp"

namespace kelvane::app::window {
namespace {

using runtime::Value;
using Box = toolkit::ScriptedDialogs::BoxKind;
namespace tk = kelvane::toolkit;

class Download : public testing::MainWindowTest {
 protected:
  void SetUp() override {
    MainWindowTest::SetUp();
    library::installProcessHooks(
        {.dialogs = &dialogs_, .progress = progressBox(), .console = [this](std::string_view line) {
           console_.emplace_back(line);
         }});
    sim_.start();
    auto& config = currentState().configuration;
    config.type = "TCPIP";
    config.TCPIP.address = "127.0.0.1:" + std::to_string(sim_.port());
  }
  void TearDown() override {
    sim_.stop();
    MainWindowTest::TearDown();
  }
  void press(const char* t) { qobject_cast<QPushButton*>(tk::objectOf(h(t)))->click(); }
  nlohmann::json state() const { return sim_.state(); }
  std::size_t commandsSent() const { return state()["commands"].size(); }

  simulator::Simulator sim_;
};

TEST_F(Download, CancelInTheProgressBoxStopsTheDownloadAndBuildsNoSequence) {
  auto settings = instrument::transportSettings();
  settings.chunkBytes = 64 * 1024;
  instrument::setTransportSettings(settings);
  press("pbCalculate");
  bool cancelled = false;
  tk::whenModal([&](QWidget* box) {
    cancelled = qobject_cast<QProgressDialog*>(box) != nullptr && tk::pressButton(box, "Cancel");
  });
  press("pbDownload");
  instrument::setTransportSettings({});
  EXPECT_TRUE(cancelled);
  ASSERT_EQ(dialogs_.count(Box::Error), 1u);
  EXPECT_EQ(dialogs_.shown().back().text, "download cancelled");
  EXPECT_EQ(dialogs_.shown().back().title, "Download Error");
  const auto st = state();
  EXPECT_TRUE(st["sequences"].empty());
  EXPECT_FALSE(st["files"]["WFM1"].contains("QarnFTM-Control"));  // the next one never started
  EXPECT_EQ(dialogs_.count(Box::Message), 0u);                    // no completion
}

TEST_F(Download, BeforeACalculateNoAndCancelSendNothing) {
  for (const char* answer : {"No", "Cancel"}) {
    dialogs_.answer(answer);
    press("pbDownload");
    EXPECT_EQ(dialogs_.shown().back().title, "Waveform Not Calculated") << answer;
  }
  EXPECT_EQ(commandsSent(), 0u);
  EXPECT_FALSE(currentState().calculated());
}

TEST_F(Download, ARenamedWaveformAnsweredYesStoresTheOldWaveformUnderTheNewName) {
  press("pbCalculate");
  const auto before = currentState().traffic.samples;
  type("TrafficChannelWaveformTextField", "Renamed");
  dialogs_.answer("Yes");
  press("pbDownload");
  EXPECT_EQ(dialogs_.shown().front().title, "Waveform Settings Have Changed");
  EXPECT_EQ(currentState().traffic.samples, before);  // not recalculated
  const auto st = state();
  EXPECT_TRUE(st["files"]["WFM1"].contains("Renamed"));
  EXPECT_EQ(st["sequences"]["QarnFTM-Sequence"][1]["waveform"], "Renamed");
}

TEST_F(Download, ATrafficFailureThenAControlSuccessShowsOneErrorAndNoCompletion) {
  press("pbCalculate");
  simulator::Faults faults;
  faults.failPattern = "WFM1:QarnFTM-Traffic";
  faults.failError = "-200,\"Execution error\"";
  sim_.setFaults(faults);
  press("pbDownload");
  EXPECT_EQ(dialogs_.count(Box::Error), 1u);
  EXPECT_EQ(dialogs_.shown().back().title, "Download Error");
  EXPECT_EQ(dialogs_.count(Box::Message), 0u);
  const auto st = state();
  EXPECT_TRUE(st["files"]["WFM1"].contains("QarnFTM-Control"));
  EXPECT_TRUE(st["sequences"].empty());
}

// The whole job against the simulator program on loopback, as an operator would run it.
class WholeJob : public Download {
 protected:
  void SetUp() override {
    Download::SetUp();
    program_ = std::make_unique<testing::Program>(testing::simulatorProgram(),
                                                  std::vector<std::string>{"--port", "0"});
    const std::uint16_t port = program_->portFromBanner();
    currentState().configuration.TCPIP.address = "127.0.0.1:" + std::to_string(port);
  }
  nlohmann::json programState() const {
    const auto s = instrument::hwQuery(currentState().configuration, ":SYST:KELV:STAT?");
    EXPECT_TRUE(s.ok()) << s.message;
    return nlohmann::json::parse(s.message);
  }
  std::unique_ptr<testing::Program> program_;
};

TEST_F(WholeJob, FromTheWindowTheWaveformsSequenceAndSettingsReachTheSimulator) {
  type("TrafficChannelPacketsTextField", "4");
  type("OversampleRatioTextField", "2");
  press("pbCalculate");
  EXPECT_EQ(currentState().traffic.samples.size(), 16u * 2048 * 2);
  const auto started = std::chrono::steady_clock::now();
  press("pbDownload");
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  std::cout << "download to the completion box: " << seconds * 1e3 << " ms\n";
  ASSERT_FALSE(dialogs_.shown().empty());
  EXPECT_EQ(dialogs_.shown().back().title, "Download Completed");
  EXPECT_EQ(dialogs_.count(Box::Error), 0u);
  const auto st = programState();
  EXPECT_EQ(st["files"]["WFM1"]["QarnFTM-Traffic"]["samples"], 16 * 2048 * 2);
  EXPECT_EQ(st["files"]["WFM1"]["QarnFTM-Control"]["samples"], 64 * 2048 * 2);
  ASSERT_TRUE(st["sequences"].contains("QarnFTM-Sequence"));
  EXPECT_EQ(st["sequences"]["QarnFTM-Sequence"][1]["repetitions"], 44);
  EXPECT_EQ(st["settings"]["frequencyHz"], 1955000000.0);
  EXPECT_EQ(st["settings"]["sampleClockHz"], 2457600.0);
  EXPECT_EQ(st["settings"]["powerDbm"], -30.0);
  EXPECT_TRUE(st["states"]["rfOutput"]);
  // The pointer is back and the progress box gone.
  EXPECT_EQ(tk::get(fig_, "Pointer").str(), "arrow");
  testing::settle();
  for (QWidget* w : QApplication::topLevelWidgets())
    EXPECT_FALSE(qobject_cast<QProgressDialog*>(w) && w->isVisible());
  // Refresh plays the stored sequence with the panel's settings.
  type("txtAmplitude", "-50");
  press("pbRefresh");
  EXPECT_EQ(programState()["settings"]["powerDbm"], -50.0);
}

}  // namespace
}  // namespace kelvane::app::window
