// What each plot window draws, through the window: limits, labels, titles, tags, scales, grids
// and the lines handed to the chart, for the spectrum, waterfall, CCDF and I/Q time plots.
#include <QLineSeries>
#include <QLogValueAxis>
#include <QValueAxis>
#include <cmath>

#include "plot_fixture.hpp"
#include "plots/axes3d.hpp"

namespace kelvane::testing {
namespace {

class Plots : public PlotTest {};

TEST_F(Plots, TheSpectrumWindowShowsLevelsAgainstFrequencyInItsUnits) {
  const Value fig = call("KR_PlotSpectrum", {Value::scalar(0), Value::text("x"),
                                             Value::scalar(6144000), row(tone(4096, 0.25))});
  const Value ax = axesHandle(fig);
  EXPECT_EQ(tk::get(ax, "Title").str(), "Spectrum");
  EXPECT_EQ(tk::get(ax, "XLabel").str(), "Frequency (MHz)");
  EXPECT_EQ(tk::get(ax, "YLabel").str(), "LogMag (dB)");
  EXPECT_EQ(lim(ax, "XLim"), (std::vector<double>{-3.072, 3.072}));
  EXPECT_EQ(lim(ax, "YLim"), (std::vector<double>{-100, 0}));  // at most 100 dB shown
  EXPECT_EQ(tk::get(ax, "XGrid").str(), "on");
  EXPECT_EQ(tk::get(ax, "YGrid").str(), "on");
  // The axes position [x y w h] of the default axes became [1.2 x, 1.4 y, w, h / 1.1].
  const auto p = tk::get(ax, "Position").toDoubles();
  EXPECT_NEAR(p[0], 0.13 * 1.2, 1e-12);
  EXPECT_NEAR(p[1], 0.11 * 1.4, 1e-12);
  EXPECT_NEAR(p[2], 0.775, 1e-12);
  EXPECT_NEAR(p[3], 0.815 / 1.1, 1e-12);
  const auto drawn = axes2d(fig)->drawn();
  ASSERT_EQ(drawn.size(), 1u);
  EXPECT_EQ(drawn[0].samples, 4096u);
  EXPECT_EQ(axes2d(fig)->xRange(), std::make_pair(-3.072, 3.072));
}

TEST_F(Plots, AnAllZeroSpectrumIsFlatAndAnEmptyOneShowsTheTestShape) {
  const Value zero = call("KR_PlotSpectrum", {Value::scalar(0), Value::text("x"),
                                              Value::scalar(1e6), row(std::vector<Complex>(64))});
  EXPECT_EQ(lim(axesHandle(zero), "YLim"), (std::vector<double>{-10, 0}));
  const Value test = call("KR_PlotSpectrum", {});
  EXPECT_EQ(axes2d(test)->drawn()[0].samples, 10u);
  EXPECT_EQ(lim(axesHandle(test), "YLim"), (std::vector<double>{-60, 0}));
  EXPECT_EQ(lim(axesHandle(test), "XLim"), (std::vector<double>{-0.5, 0.5}));  // rate 1 Hz
}

TEST_F(Plots, TheCcdfWindowHasALogarithmicPercentageAxisAndAGreyReference) {
  std::vector<Complex> x(1000, Complex(1, 0));
  x[10] = Complex(0, std::sqrt(std::pow(10, 2.5) * 999 / (1000 - std::pow(10, 2.5))));
  const Value fig = call("KR_PlotCCDF", {Value::scalar(0), Value::text("x"), row(x)});
  const Value ax = tagged(fig, "KR_CCDF");
  EXPECT_EQ(tk::get(ax, "Title").str(), "CCDF");
  EXPECT_EQ(tk::get(ax, "YLabel").str(), "Frequency of occurence (%)");
  EXPECT_EQ(tk::get(ax, "XLabel").str(), "dB above Average");
  EXPECT_EQ(tk::get(ax, "YScale").str(), "log");
  EXPECT_EQ(tk::get(ax, "GridLineStyle").str(), ":");
  const auto xl = lim(ax, "XLim");
  EXPECT_NEAR(xl[1], 25.25, 1e-9);
  EXPECT_EQ(lim(ax, "YLim"), (std::vector<double>{0.001, 100}));
  const auto ticks = tk::get(ax, "XTick").toDoubles();
  ASSERT_EQ(ticks.size(), 13u);  // 0, 2, ..., 24
  EXPECT_EQ(ticks[12], 24);
  pl::Axes2D* a = axes2d(fig);
  EXPECT_TRUE(a->logY());
  EXPECT_NE(qobject_cast<QLogValueAxis*>(a->chart()->axes(Qt::Vertical).at(0)), nullptr);
  const auto drawn = a->drawn();
  ASSERT_EQ(drawn.size(), 2u);
  EXPECT_EQ(drawn[0].samples, 201u);
  EXPECT_EQ(drawn[0].style.color, (std::array<double, 3>{0, 0, 1}));
  EXPECT_EQ(drawn[1].style.color, (std::array<double, 3>{0.7, 0.7, 0.7}));
  EXPECT_EQ(drawn[1].chartPoints, 201u);
}

TEST_F(Plots, StackedIqAxesAndOverlaidIq) {
  const std::vector<Complex> x(163840, Complex(0.25, -0.5));
  const Value stacked = call("KR_PlotIQTime", {Value::scalar(0), Value::text("x"),
                                               Value::scalar(6144000), Value::scalar(0), row(x)});
  const Value i = tagged(stacked, "KR_Iwave");
  const Value q = tagged(stacked, "KR_Qwave");
  EXPECT_EQ(tk::get(i, "Title").str(), "I(t)");
  EXPECT_EQ(tk::get(q, "Title").str(), "Q(t)");
  EXPECT_EQ(tk::get(i, "XLabel").str(), "");
  EXPECT_EQ(tk::get(q, "XLabel").str(), "Time (mS)");
  for (const Value& a : {i, q}) {
    EXPECT_EQ(tk::get(a, "YLabel").str(), "Amplitude (V)");
    const auto xl = lim(a, "XLim");
    EXPECT_EQ(xl[0], 0);
    EXPECT_NEAR(xl[1], 26.6667, 1e-4);
    EXPECT_EQ(lim(a, "YLim"), (std::vector<double>{-0.5, 0.5}));
  }
  // The upper axes sit above the lower, both moved right; the lower raised by 1.2.
  const auto pi = tk::get(i, "Position").toDoubles(), pq = tk::get(q, "Position").toDoubles();
  EXPECT_GT(pi[1], pq[1] + pq[3]);
  EXPECT_NEAR(pi[0], pq[0], 1e-12);
  EXPECT_NEAR(pq[1], 0.11 * 1.2, 1e-12);
  const Value overlay = call("KR_PlotIQTime", {Value::scalar(0), Value::text("x"),
                                               Value::scalar(6144000), Value::scalar(1), row(x)});
  const Value iq = tagged(overlay, "KR_IQwave");
  EXPECT_EQ(tk::get(iq, "Title").str(), "I(t) Q(t)");
  EXPECT_EQ(tk::get(iq, "XLabel").str(), "Time (mS)");
  const auto drawn = axes2d(overlay)->drawn();
  ASSERT_EQ(drawn.size(), 2u);
  EXPECT_EQ(drawn[1].style.color, pl::colorOfLetter('m'));  // Q in magenta
}

TEST_F(Plots, AnEmptyIqPlotDrawsACosineAndSineLabelledNoData) {
  const Value fig = call("KR_PlotIQTime", {Value::scalar(0), Value::text("x"), Value::scalar(100)});
  EXPECT_EQ(tk::get(fig, "Name").str(), "I(t) Q(t) No Data");
  const auto drawn = axes2d(fig)->drawn();
  EXPECT_EQ(drawn[0].samples, 100u);
  EXPECT_EQ(lim(tagged(fig, "KR_Iwave"), "YLim"), (std::vector<double>{-1, 1}));
  EXPECT_EQ(lim(tagged(fig, "KR_Iwave"), "XLim"), (std::vector<double>{0, 1}));  // 1 S
}

TEST_F(Plots, TheWaterfallWindowHasFrequencyTimeAndLevelAxes) {
  const Value fig = call("KR_PlotWaterfall", {});
  auto* a = dynamic_cast<pl::Axes3D*>(figure(fig)->axes().at(0));
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(a->graph(), nullptr);  // no OpenGL offscreen: the projection draws it
  const Value ax = tk::handleOf(a);
  EXPECT_EQ(tk::get(ax, "Title").str(), "Spectrum");
  EXPECT_EQ(tk::get(ax, "XLabel").str(), "Frequency (Hz)");
  EXPECT_EQ(tk::get(ax, "YLabel").str(), "Time (S)");
  EXPECT_EQ(tk::get(ax, "ZLabel").str(), "LogMag (dB)");
  EXPECT_EQ(lim(ax, "XLim"), (std::vector<double>{-0.5, 0.5}));
  EXPECT_EQ(lim(ax, "YLim"), (std::vector<double>{0, 40}));  // 5 rows 10 S apart
  EXPECT_EQ(lim(ax, "ZLim"), (std::vector<double>{-10, 0}));
  ASSERT_NE(a->surfaceData(), nullptr);
  EXPECT_EQ(a->surfaceData()->y.size(), 5u);
  EXPECT_EQ(a->surfaceData()->x.size(), 10u);
  // A long waveform is reduced to at most 512 columns per snapshot.
  const Value big = call("KR_PlotWaterfall", {Value::scalar(0), Value::text("x"),
                                              Value::scalar(1e6), Value::scalar(4e-3),
                                              row(tone(40000, 0.1))});
  auto* b = dynamic_cast<pl::Axes3D*>(figure(big)->axes().at(0));
  EXPECT_EQ(b->surfaceData()->x.size(), 512u);
  EXPECT_EQ(b->surfaceData()->y.size(), 10u);
  const QImage img = figure(big)->image();
  EXPECT_FALSE(img.isNull());
  // The standard menu's Rotate turns the view by dragging.
  item(big, "&Tools", "&Rotate")->trigger();
  EXPECT_TRUE(figure(big)->rotateMode());
  EXPECT_EQ(tk::get(tagged(big, "stdRotate"), "Checked").str(), "on");
  b->setView(10, 45);
  item(big, "&Tools", "Zoom Re&set")->trigger();
  EXPECT_EQ(b->azimuth(), pl::Axes3D::kAzimuth);
  EXPECT_EQ(b->elevation(), pl::Axes3D::kElevation);
}

}  // namespace
}  // namespace kelvane::testing
