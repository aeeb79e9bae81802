// The application's start-up and the window helpers: splash time, records after start-up, the
// menu bar, centring, font scaling and the About box.
#include <QAction>
#include <QMenu>
#include <QMenuBar>

#include "app/state.hpp"
#include "app/window/figure_helpers.hpp"
#include "support/window_fixture.hpp"
#include "toolkit/figures.hpp"
#include "toolkit/qt_dialogs.hpp"

namespace kelvane::app::window {
namespace {

using runtime::Value;
namespace tk = kelvane::toolkit;

class StartUp : public testing::WindowTest {};

Value startApp() {
  return registry::call("Qarn_FTM_GUI_c", {}, 1).at(0);
}

TEST_F(StartUp, TheSplashStaysUpThreeSecondsByTheClock) {
  double now = 100;
  std::vector<double> waits;
  setSplashWait(true);
  setStartUpClock({[&] { return now; },
                   [&](double s) {
                     waits.push_back(s);
                     now += s;
                   }});
  startApp();
  ASSERT_EQ(waits.size(), 1u);
  EXPECT_DOUBLE_EQ(waits[0], 3);  // start-up took no time on this clock
  // A start-up slower than the splash waits no more.
  testing::closeAllWindows();
  waits.clear();
  setStartUpClock({[&] { return now += 2; }, [&](double s) { waits.push_back(s); }});
  startApp();
  EXPECT_TRUE(waits.empty() || waits[0] < 3);
}

TEST_F(StartUp, TheRecordsAndTheMainWindowAfterStartUp) {
  const Value fig = startApp();
  QWidget* main = tk::windowOf(fig);
  ASSERT_NE(main, nullptr);
  EXPECT_TRUE(main->isVisible());
  EXPECT_EQ(main->objectName(), "main");
  const AppState& state = currentState();
  EXPECT_EQ(state.sigGenSettings.SamplingRate, 6144000);
  EXPECT_EQ(state.parameters.Frequency, 1955000000);
  ASSERT_TRUE(state.figureList.AdvSettings.has_value());
  EXPECT_FALSE(tk::windowOf(Value::handle(*state.figureList.AdvSettings))->isVisible());
  // No data export item, no plot menu; the other menus are there.
  const Value handles = handlesOf(fig);
  EXPECT_FALSE(handles.hasField("menuFileExportData"));
  EXPECT_FALSE(handles.hasField("menuPlot"));
  EXPECT_FALSE(handles.hasField("menuPlotSpectrum"));
  EXPECT_TRUE(handles.hasField("menuFileExit"));
  EXPECT_TRUE(handles.hasField("menuConfigBBG1Opt1"));
  // The controls show the records.
  EXPECT_EQ(tk::get(tag(handles, "ProjectedLengthLabel"), "String").str(), "819200");
  EXPECT_EQ(tk::get(tag(handles, "FrequencyLabel"), "String").str(), "1.955 GHz");
  EXPECT_EQ(tk::get(tag(handles, "TrafficChannelWaveformReps"), "String").str(), "44");
  EXPECT_TRUE(console_.empty()) << console_.front();
}

TEST_F(StartUp, TheDispatcherIgnoresNumbersAndReportsUnknownNames) {
  const Value fig = startApp();
  const Value before = handlesOf(fig);
  const std::string title = tk::get(fig, "Name").str();
  EXPECT_TRUE(registry::call("Qarn_FTM_GUI_c", {Value::scalar(3)}, 0).empty());
  EXPECT_TRUE(console_.empty());
  EXPECT_TRUE(
      registry::call("Qarn_FTM_GUI_c", {Value::text("noSuchOperation"), before}, 0).empty());
  EXPECT_TRUE(consoleHas("noSuchOperation"));
  EXPECT_EQ(handlesOf(fig), before);
  EXPECT_EQ(tk::get(fig, "Name").str(), title);
}

TEST_F(StartUp, ACallbackTakesThreeFixedArgumentsAndMoreAndAnyOutputs) {
  const Value fig = startApp();
  const Value handles = handlesOf(fig);
  // A callback entry accepts its three fixed arguments plus further ones.
  registry::call("Qarn_FTM_GUI_c",
                 {Value::text("trafficChannelPackets_Callback"),
                  tag(handles, "TrafficChannelPacketsTextField"), Value(), handles,
                  Value::text("extra"), Value::scalar(5)},
                 3);
  EXPECT_TRUE(console_.empty()) << console_.front();
  // A fixed-count entry still refuses more.
  registry::call("Qarn_FTM_GUI_c", {Value::text("InitializeFigures"), Value::scalar(1)}, 0);
  EXPECT_TRUE(consoleHas("Qarn_FTM_GUI_c/InitializeFigures Line: 41"));
}

TEST_F(StartUp, TheMenuBarFollowsThePlatform) {
  for (const char* platform : {"c", "b"}) {
    currentState().appInfo.Platform = platform;
    const Value fig =
        registry::call("openfig", {Value::text("KR_Splash"), Value::text("new")}, 1).at(0);
    tk::windowOf(fig)->setObjectName("menuHost");
    const Value menus = registry::call("KR_AddMenu", {fig}, 1).at(0);
    EXPECT_EQ(menus.fieldNames(),
              (std::vector<std::string>{"File", "Plot", "Config", "Special", "Help"}));
    const Value handles = handlesOf(fig);
    EXPECT_EQ(handles.hasField("menuConfigBBG1"), std::string(platform) == "c") << platform;
    EXPECT_EQ(handles.hasField("menuConfigBBG1Opt2"), std::string(platform) == "c");
    EXPECT_EQ(tk::get(menus.field("Special"), "Visible").str(), "off");
    EXPECT_EQ(tk::get(tag(handles, "menuSpecialSaveWave"), "Label").str(), "Save &Wave...");
    EXPECT_EQ(tk::get(tag(handles, "menuConfigSpecAnIO"), "Visible").str(), "off");
    EXPECT_EQ(tk::get(tag(handles, "menuConfigSpecAnIO"), "Callback").str(),
              "menuConfigSpecAnIO_Callback");
    EXPECT_EQ(tk::get(tag(handles, "menuSpecialImpairments"), "Enable").str(), "off");
    EXPECT_EQ(tk::get(tag(handles, "menuFileExit"), "Separator").str(), "on");
    EXPECT_EQ(tk::get(tag(handles, "menuPlotWaterfall"), "Visible").str(), "off");
    EXPECT_EQ(tk::get(tag(handles, "menuFileSaveAs"), "Label").str(), "Save &As...");
    if (std::string(platform) == "c") {
      EXPECT_EQ(tk::get(tag(handles, "menuConfigBBG1Opt1"), "Label").str(),
                "Option 00&8 (8 Msamples)");
    }
    tk::deleteObject(fig);
  }
  EXPECT_TRUE(registry::call("KR_AddMenu", {}, 1).at(0).isEmpty());
}

TEST_F(StartUp, ChildWindowsAreCentredAndFontsScaledOnlyAt96Dpi) {
  const Value root = Value::handle(tk::kRootHandle);
  const Value parent =
      registry::call("openfig", {Value::text("KR_About"), Value::text("new")}, 1).at(0);
  const Value child =
      registry::call("openfig", {Value::text("KR_Splash"), Value::text("new")}, 1).at(0);
  tk::set(parent, "Position", Value::row({101, 101, 500, 400}));
  tk::set(child, "Position", Value::row({1, 1, 300, 200}));
  positionChildWindow(parent, child);
  EXPECT_EQ(tk::get(child, "Position"), Value::row({201, 201, 300, 200}));
  tk::set(child, "Position", Value::row({1, 1, 700, 200}));  // wider than its parent
  positionChildWindow(parent, child);
  EXPECT_EQ(tk::get(child, "Position").toDoubles()[0], 1);  // 101 + (500 - 700) / 2
  positionChildWindow(root, child);
  const auto screen = tk::get(root, "ScreenSize").toDoubles();
  EXPECT_EQ(tk::get(child, "Position").toDoubles()[0], 1 + (screen[2] - 700) / 2);

  const Value handles = handlesOf(parent);
  tk::set(tag(handles, "lblDate"), "FontSize", Value::scalar(8));
  tk::set(root, "screenpixelsperinch", Value::scalar(120));
  resizeAllFonts(handles);
  EXPECT_EQ(tk::get(tag(handles, "lblDate"), "FontSize").toDouble(), 8);
  tk::set(root, "screenpixelsperinch", Value::scalar(96));
  resizeAllFonts(handles);
  EXPECT_EQ(tk::get(tag(handles, "lblDate"), "FontSize").toDouble(), 9);  // 8.8 rounded
}

TEST_F(StartUp, TheAboutBoxShowsTheRevisionAndWaitsForOK) {
  EXPECT_EQ(revisionText("A.02.01.045", true), "A.02.01");
  EXPECT_EQ(revisionText("A.02.01.045", false), "A.02.01.045  Proto");
  EXPECT_EQ(revisionText("B1", true), "B1     ");
  const Value fig = startApp();
  Value app = registry::getVariable("appInfo");
  app.setField("IsRelease", Value::scalar(0));
  std::string revision, name;
  tk::whenModal([&](QWidget* modal) {
    QWidget* box = modal;
    ASSERT_NE(box, nullptr);
    revision = tk::get(tk::handleOf(tk::findTag(box, "lblRevision")), "String").str();
    name = box->windowTitle().toStdString();
    tk::pressButton(modal, "OK");
  });
  registry::call("KR_About", {fig, app}, 0);
  EXPECT_EQ(revision, "A.02.01.045  Proto");
  EXPECT_EQ(name, "Kelvane");
  EXPECT_TRUE(console_.empty());
  testing::settle();
  for (QWidget* w : QApplication::topLevelWidgets())
    EXPECT_NE(w->objectName(), "figureKR_About");  // deleted after OK
  try {
    registry::call("KR_About", {Value::scalar(5)}, 0);
    FAIL();
  } catch (const std::exception& e) {
    EXPECT_STREQ(e.what(), "Input argument must be a handle to parent");
  }
}

}  // namespace
}  // namespace kelvane::app::window
