// The common frame's menu actions through the main window: readiness questions, Save and Save
// As with the special prefix, the memory size, and the restart that shows the saved file.
#include <filesystem>

#include "app/state.hpp"
#include "app/window/main_window_fixture.hpp"
#include "frame/parameter_file.hpp"
#include "runtime/matfile.hpp"

namespace kelvane::frame::window {
namespace {

using runtime::Value;
using Box = toolkit::ScriptedDialogs::BoxKind;
namespace fs = std::filesystem;
namespace tk = kelvane::toolkit;

class CommonUi : public testing::MainWindowTest {
 protected:
  std::vector<Value> frame(const char* action, std::vector<Value> more = {}, int nargout = 0) {
    std::vector<Value> args = {Value::text(action)};
    for (auto& m : more)
      args.push_back(std::move(m));
    return registry::call("rfCommonUI", std::move(args), nargout);
  }
  void menu(const char* callback) { frame(callback, {Value(), Value(), handles_}); }
  std::string title() const { return tk::get(fig_, "Name").str(); }
};

TEST_F(CommonUi, PlotDownloadAndSaveBeforeACalculateAskWaveformNotCalculated) {
  for (const char* action : {"Plot", "Download", "Save"}) {
    dialogs_.answer("Cancel");
    const auto ready = frame("checkWaveformReady", {handles_, Value::text(action)}, 1);
    EXPECT_EQ(ready.at(0).toDouble(), 0) << action;
    const auto& box = dialogs_.shown().back();
    EXPECT_EQ(box.title, "Waveform Not Calculated");
    EXPECT_EQ(box.text,
              "The waveform has not yet been calculated. Do you wish to calculate\nthe "
              "waveform and then " +
                  std::string(action == std::string("Plot")       ? "plot"
                              : action == std::string("Download") ? "download"
                                                                  : "save") +
                  " ?");
    EXPECT_EQ(box.buttons,
              (std::vector<std::string>{std::string("Calculate & ") + action, "Cancel"}));
    EXPECT_EQ(box.defaultButton, std::string("Calculate & ") + action);
  }
  // The menu's special save asks the same before its file dialog.
  dialogs_.answer("Cancel");
  menu("menuSpecialSaveWave_Callback");
  EXPECT_EQ(dialogs_.shown().back().title, "Waveform Not Calculated");
  EXPECT_EQ(dialogs_.count(Box::SaveFile), 0u);
  // Calculated and unchanged: no question.
  app::currentState().recordCalculation(app::clockNow());
  EXPECT_EQ(frame("checkWaveformReady", {handles_, Value::text("Plot")}, 1).at(0).toDouble(), 1);
  app::currentState().parameters.trafficChannelPackets = 3;
  dialogs_.answer("Cancel");
  EXPECT_EQ(frame("checkWaveformReady", {handles_, Value::text("Plot")}, 1).at(0).toDouble(), 0);
  EXPECT_EQ(dialogs_.shown().back().title, "Waveform Not Recalculated");
  EXPECT_EQ(dialogs_.shown().back().defaultButton, "Recalc & Plot");
}

TEST_F(CommonUi, SaveAsWithTheSpecialPrefixSavesTheWaveformAndTheBarePrefixSavesParameters) {
  registry::setVariable("waveform", Value::complexRow({{1, -1}, {0.5, 0.25}}));
  dialogs_.answerFile(dir_ / "quillet.run");
  dialogs_.answer("MAT");
  menu("menuFileSaveAs_Callback");
  EXPECT_EQ(dialogs_.shown().back().title, "Special Save");
  ASSERT_TRUE(fs::exists(dir_ / "run"));
  const auto vars = runtime::readMatFile(dir_ / "run");
  ASSERT_EQ(vars.size(), 1u);
  EXPECT_EQ(vars[0].name, "samples");
  EXPECT_EQ(vars[0].value.rows(), 2u);  // a complex column
  EXPECT_TRUE(app::currentState().configuration.LastParameterFilename.empty());

  dialogs_.answerFile(dir_ / "quillet.");
  menu("menuFileSaveAs_Callback");
  EXPECT_TRUE(fs::exists(dir_ / "quillet..mat"));
  EXPECT_EQ(app::currentState().configuration.LastParameterFilename,
            (dir_ / "quillet..mat").string());
  EXPECT_NE(title().find(" : " + (dir_ / "quillet..mat").string()), std::string::npos) << title();
}

TEST_F(CommonUi, SaveWithACurrentFileWritesWithoutADialog) {
  dialogs_.answerFile(dir_ / "line3");
  menu("menuFileSave_Callback");  // no current file: asks for one
  ASSERT_EQ(dialogs_.count(Box::SaveFile), 1u);
  ASSERT_TRUE(fs::exists(dir_ / "line3.mat"));
  app::currentState().parameters.trafficChannelPackets = 12;
  menu("menuFileSave_Callback");
  EXPECT_EQ(dialogs_.count(Box::SaveFile), 1u);  // no second dialog
  const auto r = readParameterFile(dir_ / "line3.mat", app::toValue(app::Parameters{}));
  ASSERT_TRUE(r.parameters.has_value()) << r.message;
  EXPECT_EQ(r.parameters->field("trafficChannelPackets").toDouble(), 12);
}

TEST_F(CommonUi, TheEightMsampleMemoryAsksOnlyAboveEightMillionSamples) {
  app::currentState().parameters.ProjectedLength = 8000000;
  menu("menuConfigBBG1Opt1_Callback");
  EXPECT_EQ(dialogs_.count(Box::Question), 0u);
  EXPECT_EQ(app::currentState().configuration.BBGtype, "008");
  EXPECT_EQ(tk::get(h("menuConfigBBG1Opt1"), "Checked").str(), "on");
  EXPECT_EQ(tk::get(h("menuConfigBBG1Opt2"), "Checked").str(), "off");
  menu("menuConfigBBG1Opt2_Callback");
  EXPECT_EQ(app::currentState().configuration.BBGtype, "032");
  app::currentState().parameters.ProjectedLength = 8000001;
  dialogs_.answer("Cancel");
  menu("menuConfigBBG1Opt1_Callback");
  ASSERT_EQ(dialogs_.count(Box::Question), 1u);
  EXPECT_EQ(dialogs_.shown().back().title, "Waveform too large");
  EXPECT_NE(dialogs_.shown().back().text.find("Option 008"), std::string::npos);
  EXPECT_EQ(app::currentState().configuration.BBGtype, "032");  // cancelled: nothing changed
  dialogs_.answer("Yes");
  menu("menuConfigBBG1Opt1_Callback");
  EXPECT_EQ(app::currentState().configuration.BBGtype, "008");
  EXPECT_EQ(app::currentState().parameters.ProjectedLength, 819200);  // settings reset
}

TEST_F(CommonUi, ExitSavesTheConfigurationAndTheRestartShowsTheSavedFile) {
  dialogs_.answerFile(dir_ / "run7");
  app::currentState().parameters.trafficChannelPackets = 3;
  menu("menuFileSaveAs_Callback");
  app::currentState().configuration.TCPIP.address = "10.9.8.7";
  menu("menuFileExit_Callback");
  testing::settle();
  EXPECT_FALSE(tk::isValidHandle(fig_));
  ASSERT_TRUE(fs::exists(dir_ / "defaults.mat"));
  // Start again in the same folder.
  Qarn_FTM_c_libTerminate();
  Qarn_FTM_c_libInitialize();
  library::installProcessHooks({.dialogs = &dialogs_});
  fig_ = registry::call("Qarn_FTM_GUI_c", {}, 1).at(0);
  handles_ = handlesOf(fig_);
  EXPECT_NE(title().find(" : " + (dir_ / "run7.mat").string()), std::string::npos) << title();
  EXPECT_EQ(app::currentState().configuration.TCPIP.address, "10.9.8.7");
  EXPECT_EQ(app::currentState().parameters.trafficChannelPackets, 8);  // start-up parameters
  menu("menuFileSave_Callback");  // writes the start-up values to that file, no dialog
  EXPECT_EQ(dialogs_.count(Box::SaveFile), 1u);
  const auto r = readParameterFile(dir_ / "run7.mat", app::toValue(app::Parameters{}));
  ASSERT_TRUE(r.parameters.has_value());
  EXPECT_EQ(r.parameters->field("trafficChannelPackets").toDouble(), 8);
  // The close box does what File > Exit does.
  app::currentState().configuration.TCPIP.address = "10.9.8.8";
  tk::windowOf(fig_)->close();
  testing::settle();
  EXPECT_FALSE(tk::isValidHandle(fig_));
  const Value saved = loadConfig();
  EXPECT_EQ(saved.field("TCPIP").field("address").str(), "10.9.8.8");
}

TEST_F(CommonUi, AFailedSaveKeepsTheOldFileAndSaysSo) {
  dialogs_.answerFile(dir_ / "kept");
  menu("menuFileSaveAs_Callback");
  const auto before = fs::file_size(dir_ / "kept.mat");
  // A current file that cannot be written: its folder is the file saved before.
  const fs::path impossible = dir_ / "kept.mat" / "inner.mat";
  app::currentState().configuration.LastParameterFilename = impossible.string();
  app::currentState().parameters.trafficChannelPackets = 2;
  menu("menuFileSave_Callback");
  ASSERT_EQ(dialogs_.count(Box::Error), 1u);
  EXPECT_EQ(dialogs_.shown().back().title, "Error Saving " + impossible.string());
  EXPECT_EQ(fs::file_size(dir_ / "kept.mat"), before);
  const auto r = readParameterFile(dir_ / "kept.mat", app::toValue(app::Parameters{}));
  ASSERT_TRUE(r.parameters.has_value());
  EXPECT_EQ(r.parameters->field("trafficChannelPackets").toDouble(), 8);
}

TEST_F(CommonUi, TheSpecialSavesWriteTheFramesWaveform) {
  registry::setVariable("waveform", Value::complexRow({{1, -1}, {0.5, 0.25}, {0, 0}}));
  app::currentState().recordCalculation(app::clockNow());
  dialogs_.answerFile(dir_ / "wave.txt");
  menu("menuSpecialSaveWave_Callback");
  auto vars = runtime::readMatFile(dir_ / "wave.txt");
  ASSERT_EQ(vars.size(), 3u);
  EXPECT_EQ(vars[0].name, "samplePoints");
  EXPECT_EQ(vars[0].value.toDouble(), 3);
  EXPECT_EQ(vars[1].value.toDouble(), 6144000);
  EXPECT_EQ(vars[2].value, Value::matrix(3, 2, {1, 0.5, 0, -1, 0.25, 0}));
  dialogs_.answer("ASCII");
  frame("saveWaveform", {Value::text((dir_ / "ascii").string())});
  vars = runtime::readMatFile(dir_ / "ascii");
  EXPECT_EQ(vars.at(0).value, Value::matrix(3, 2, {1, 0.5, 0, -1, 0.25, 0}));
  dialogs_.answer("Mornath");
  frame("saveWaveform", {Value::text((dir_ / "morn").string())});
  EXPECT_EQ(dialogs_.count(Box::Error), 0u);
  bool written = false;
  for (const auto& e : fs::directory_iterator(dir_))
    written = written || e.path().filename().string().starts_with("morn");
  EXPECT_TRUE(written);
  frame("saveWaveform", {Value::text((dir_ / "none").string())});  // the box closed: nothing
  EXPECT_FALSE(fs::exists(dir_ / "none"));
}

// The generic buttons of the frame, which this application's window does not wire, by name on
// the frame's single waveform and the signal generator settings' title.
TEST_F(CommonUi, TheGenericButtonsWorkByName) {
  dialogs_.answer("Cancel");
  frame("pbDownload_Callback", {Value(), Value(), handles_});
  EXPECT_EQ(dialogs_.shown().back().title, "Waveform Not Calculated");
  // The application has no "Calculate" of its own for the frame: that is printed, not raised.
  frame("pbCalculate_Callback", {Value(), Value(), handles_});
  EXPECT_TRUE(consoleHas("Calculate"));
  // A refresh against no instrument reports the transport's message in the setup box.
  app::currentState().configuration.type = "TCPIP";
  app::currentState().configuration.TCPIP.address = "0.0.0.0";
  frame("pbRefresh_Callback", {Value(), Value(), handles_});
  EXPECT_EQ(dialogs_.shown().back().title, "Error Occured During Instrument Setup");
  EXPECT_NE(dialogs_.shown().back().text.find("No LAN address"), std::string::npos);
}

}  // namespace
}  // namespace kelvane::frame::window
