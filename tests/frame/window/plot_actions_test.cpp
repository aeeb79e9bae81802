// The frame's plot actions, reached by name as this application reaches them (its menu bar has
// no Plot menu): readiness first, the title with the time, the samples as the 14-bit DAC plays
// them, the eye and scatter boxes, and the windows kept in appInfo.ClientWindows for Exit.
#include <cmath>

#include "app/state.hpp"
#include "app/window/main_window_fixture.hpp"
#include "plots/axes2d.hpp"
#include "plots/figure.hpp"
#include "toolkit/figures.hpp"

namespace kelvane::frame::window {
namespace {

using runtime::Value;
using Box = toolkit::ScriptedDialogs::BoxKind;
namespace tk = kelvane::toolkit;
namespace pl = kelvane::plots;

class PlotActions : public testing::MainWindowTest {
 protected:
  void SetUp() override {
    MainWindowTest::SetUp();
    // Calculated and unchanged, with a small waveform of the frame.
    app::currentState().recordCalculation(app::clockNow());
    std::vector<std::complex<double>> w(480);
    for (std::size_t i = 0; i < w.size(); ++i)
      w[i] = std::polar(0.3 + 0.1 * std::cos(0.05 * static_cast<double>(i)),
                        0.2 * static_cast<double>(i));
    registry::setVariable("waveform", Value::complexRow(w));
  }
  void menu(const char* callback) {
    registry::call("rfCommonUI", {Value::text(callback), Value(), Value(), handles_}, 0);
  }
  std::vector<Value> clientWindows() const {
    const Value w = registry::getVariable("appInfo").field("ClientWindows");
    return w.isList() ? w.items() : std::vector<Value>{};
  }
  static pl::Axes2D* axesOf(const Value& fig, std::size_t i = 0) {
    return dynamic_cast<pl::Axes2D*>(pl::figureOf(fig)->axes().at(i));
  }
};

TEST_F(PlotActions, EachActionOpensItsPlotTitledWithTheApplicationAndTheTime) {
  const std::string name = registry::getVariable("appInfo").field("Name").str();
  const char* actions[][2] = {{"menuPlotSpectrum_Callback", "Magnitude Spectrum "},
                              {"menuPlotWaterfall_Callback", "Spectrum Waterfall "},
                              {"menuPlotIQTime_Callback", "I(t) Q(t) "},
                              {"menuPlotIQTimeSameAxes_Callback", "I(t) Q(t) "},
                              {"menuPlotCCDF_Callback", "CCDF "}};
  for (const auto& [callback, prefix] : actions) {
    const std::size_t before = clientWindows().size();
    menu(callback);
    ASSERT_EQ(clientWindows().size(), before + 1) << callback;
    const std::string title = tk::get(clientWindows().back(), "Name").str();
    // "<prefix><Name> (07DEC2026 9:05:03)"
    EXPECT_EQ(title.rfind(std::string(prefix) + name + " (", 0), 0u) << title;
    EXPECT_EQ(title.back(), ')');
    EXPECT_NE(title.find(':'), std::string::npos);
  }
  EXPECT_EQ(dialogs_.shown().size(), 0u);  // calculated and unchanged: no question
  // Placed beside the main window.
  const auto main = tk::get(fig_, "Position").toDoubles();
  const auto ccdf = tk::get(clientWindows().back(), "Position").toDoubles();
  // Windows sit on whole pixels: each step of the rule rounds to one.
  EXPECT_NEAR(ccdf[2], 0.8 * main[2], 0.5);
  EXPECT_NEAR(ccdf[0], main[0] + 0.1 * ccdf[2], 1);
}

TEST_F(PlotActions, ThePlotsTakeTheSamplesAsTheDacPlaysThem) {
  menu("menuPlotIQTimeSameAxes_Callback");
  const Value fig = clientWindows().back();
  const Value dac = registry::call("applyDacRes", {registry::getVariable("waveform"),
                                                   Value::scalar(14)},
                                   1)[0];
  double peak = 0;
  for (auto z : dac.complexData())
    peak = std::max({peak, std::abs(z.real()), std::abs(z.imag())});
  const Value axes = tk::handleOf(pl::figureOf(fig)->axes().at(0));
  EXPECT_EQ(tk::get(axes, "YLim"), Value::row({-peak, peak}));
  // The sample rate of SigGenSettings gives the time axis: 480 samples at 6.144 MHz.
  EXPECT_EQ(tk::get(axes, "XLabel").str(), "Time (uS)");
  EXPECT_NEAR(tk::get(axes, "XLim").realData()[1], 480 / 6.144, 1e-9);
}

TEST_F(PlotActions, BeforeACalculationThePlotAsksAndCancelOpensNothing) {
  app::currentState().appInfo.LastCalcTimeStamp.reset();
  dialogs_.answer("Cancel");
  menu("menuPlotSpectrum_Callback");
  EXPECT_EQ(dialogs_.shown().back().title, "Waveform Not Calculated");
  EXPECT_EQ(dialogs_.shown().back().buttons,
            (std::vector<std::string>{"Calculate & Plot", "Cancel"}));
  EXPECT_TRUE(clientWindows().empty());
}

TEST_F(PlotActions, TheEyeDiagramBoxGivesSymbolsAndDelay) {
  dialogs_.answerInput({"2", "0.5"});
  menu("menuPlotEyeDiagram_Callback");
  const auto& box = dialogs_.shown().front();
  EXPECT_EQ(box.kind, Box::Input);
  EXPECT_EQ(box.title, "Eye Diagram Configuration");
  EXPECT_EQ(box.buttons,
            (std::vector<std::string>{"Enter number of symbols:", "Enter symbol delay (0-1):"}));
  ASSERT_EQ(clientWindows().size(), 1u);
  const Value fig = clientWindows().back();
  EXPECT_EQ(tk::get(fig, "Name").str().rfind("Eye Diagram ", 0), 0u);
  // 2 symbols of 5 samples (oversampleRatio 5): traces of 10 samples over 10 / 6144000 s.
  const auto xl = tk::get(tk::handleOf(pl::figureOf(fig)->axes().at(0)), "XLim").toDoubles();
  EXPECT_NEAR(xl[1] - xl[0], 10 / 6144000.0, 1e-15);
  // Cancelled: nothing; a symbol count of 0 is raised to 1 (5 samples per trace).
  menu("menuPlotEyeDiagram_Callback");
  EXPECT_EQ(clientWindows().size(), 1u);
  dialogs_.answerInput({"0", "x"});
  menu("menuPlotEyeDiagram_Callback");
  ASSERT_EQ(clientWindows().size(), 2u);
  const auto one = tk::get(tk::handleOf(pl::figureOf(clientWindows().back())->axes().at(0)),
                           "XLim")
                       .toDoubles();
  EXPECT_NEAR(one[1] - one[0], 5 / 6144000.0, 1e-15);
}

TEST_F(PlotActions, TheScatterBoxGivesTheTraceAndTheDelay) {
  dialogs_.answerInput({"1", "0.4"});
  menu("menuPlotScatterDiagram_Callback");
  EXPECT_EQ(dialogs_.shown().front().title, "Scatter Diagram Configuration");
  EXPECT_EQ(dialogs_.shown().front().buttons,
            (std::vector<std::string>{"Trace On (0|1):", "Enter symbol delay (0-1):"}));
  ASSERT_EQ(clientWindows().size(), 1u);
  const auto drawn = axesOf(clientWindows().back())->drawn();
  ASSERT_EQ(drawn.size(), 2u);  // the trajectory, then the symbol instants
  // Every sample from sample 3 (delay 0.4 x 5 = 2), then every 5th sample from there.
  EXPECT_EQ(drawn[0].samples, 478u);
  EXPECT_EQ(drawn[1].samples, 96u);
  dialogs_.answerInput({"7", "-2"});  // trace 7 counts as 1... and off with 0
  dialogs_.answerInput({"0", "0"});
  menu("menuPlotScatterDiagram_Callback");
  menu("menuPlotScatterDiagram_Callback");
  ASSERT_EQ(clientWindows().size(), 3u);
  EXPECT_EQ(axesOf(clientWindows()[1])->drawn().size(), 2u);
  EXPECT_EQ(axesOf(clientWindows()[2])->drawn().size(), 1u);
}

TEST_F(PlotActions, ExitClosesThePlotWindows) {
  menu("menuPlotSpectrum_Callback");
  menu("menuPlotCCDF_Callback");
  const auto windows = clientWindows();
  ASSERT_EQ(windows.size(), 2u);
  menu("menuFileExit_Callback");
  testing::settle();
  for (const Value& w : windows)
    EXPECT_FALSE(tk::isValidHandle(w));
}

}  // namespace
}  // namespace kelvane::frame::window
