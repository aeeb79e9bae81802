// The plotting verbs by name on the current figure and axes, freqz drawing through freqzplot,
// and the generic routines reached by name.
#include <cmath>
#include <numbers>

#include "plot_fixture.hpp"
#include "plots/axes3d.hpp"

namespace kelvane::testing {
namespace {

class Verbs : public PlotTest {};

TEST_F(Verbs, SubplotTitleAndLabelsActOnTheCurrentAxes) {
  const Value lower = call("subplot", {Value::scalar(2), Value::scalar(1), Value::scalar(2)});
  EXPECT_EQ(tk::get(lower, "Type").str(), "axes");
  QWidget* fig = tk::currentFigure();
  ASSERT_NE(fig, nullptr);
  EXPECT_EQ(tk::currentAxes(fig), tk::objectOf(lower));
  const auto p = tk::get(lower, "Position").toDoubles();
  EXPECT_NEAR(p[1], 0.11, 1e-12);
  EXPECT_NEAR(p[1] + p[3] + 0.1326 + p[3], 0.11 + 0.815, 1e-12);  // two rows fill the area
  call("title", {Value::text("Lower")});
  call("xlabel", {Value::text("t")});
  call("ylabel", {Value::text("v")});
  EXPECT_EQ(tk::get(lower, "Title").str(), "Lower");
  EXPECT_EQ(tk::get(lower, "XLabel").str(), "t");
  EXPECT_EQ(tk::get(lower, "YLabel").str(), "v");
  const Value upper = call("subplot", {Value::scalar(212 - 1)});  // 211
  EXPECT_NE(upper.handleId(), lower.handleId());
  call("title", {lower, Value::text("Again")});  // axes given first
  EXPECT_EQ(tk::get(lower, "Title").str(), "Again");
  EXPECT_EQ(tk::get(upper, "Title").str(), "");
  // The same cell selects the axes already there.
  EXPECT_EQ(call("subplot", {Value::scalar(2), Value::scalar(1), Value::scalar(2)}).handleId(),
            lower.handleId());
  EXPECT_THROW(call("subplot", {Value::scalar(2), Value::scalar(1), Value::scalar(3)}),
               std::exception);
  // clf deletes every axes of the figure.
  const Value f = call("clf", {});
  EXPECT_EQ(f.handleId(), tk::handleOf(fig).handleId());
  settle();
  EXPECT_FALSE(tk::isValidHandle(lower));
  EXPECT_TRUE(pl::figureOf(f)->axes().empty());
}

TEST_F(Verbs, WaterfallDrawsAMatrixInThreeDimensions) {
  // Z: 3 rows x 4 columns, column-major.
  const Value z = Value::matrix(3, 4, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11});
  const Value ax = call("waterfall", {Value::row({10, 20, 30, 40}), Value::row({1, 2, 3}), z});
  auto* a = dynamic_cast<pl::Axes3D*>(tk::objectOf(ax));
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(a->surfaceData()->x, (std::vector<double>{10, 20, 30, 40}));
  EXPECT_EQ(a->surfaceData()->y, (std::vector<double>{1, 2, 3}));
  EXPECT_EQ(a->surfaceData()->z[1], 3);   // row 1, column 2
  EXPECT_EQ(a->surfaceData()->z[4], 1);   // row 2, column 1
  EXPECT_EQ(a->limits('x'), std::make_pair(10.0, 40.0));
  EXPECT_EQ(a->limits('z'), std::make_pair(0.0, 11.0));
  call("xlabel", {Value::text("f")});
  EXPECT_EQ(tk::get(ax, "XLabel").str(), "f");
  EXPECT_THROW(call("waterfall", {Value::row({1, 2}), Value::row({1, 2, 3}), z}), std::exception);
}

TEST_F(Verbs, FreqzWithoutOutputsDrawsMagnitudeAndPhase) {
  registry::call("freqz", {Value::row({1, 1}), Value::scalar(1), Value::scalar(64)}, 0);
  pl::PlotFigure* f = pl::asFigure(tk::currentFigure());
  ASSERT_NE(f, nullptr);
  ASSERT_EQ(f->axes().size(), 2u);
  const Value mag = tk::handleOf(f->axes()[0]), phase = tk::handleOf(f->axes()[1]);
  EXPECT_EQ(tk::get(mag, "YLabel").str(), "Magnitude (dB)");
  EXPECT_EQ(tk::get(phase, "YLabel").str(), "Phase (degrees)");
  EXPECT_EQ(tk::get(mag, "XLabel").str(), "Normalized Frequency (\u00d7\u03c0 rad/sample)");
  // 1 + z^-1: 6.02 dB at DC; the phase falls linearly to -90 degrees near pi.
  const auto y = lim(phase, "YLim");
  EXPECT_NEAR(y[0], -90 * 63.0 / 64, 1e-6);
  EXPECT_NEAR(lim(mag, "YLim")[1], 20 * std::log10(2.0), 1e-9);
  EXPECT_NEAR(lim(mag, "XLim")[1], 63.0 / 64, 1e-12);
  // With a sample rate the axis is in Hz.
  registry::call("freqz", {Value::row({1, 1}), Value::scalar(1), Value::scalar(64),
                           Value::scalar(8000)},
                 0);
  EXPECT_EQ(tk::get(tk::handleOf(f->axes()[0]), "XLabel").str(), "Frequency (Hz)");
  // freqzplot alone, magnitude only.
  registry::call("freqzplot", {Value::complexRow({{1, 0}, {0, 1}}), Value::row({0, 1}),
                               Value::record({{"plot", Value::text("mag")},
                                              {"yunits", Value::text("linear")}})},
                 0);
  ASSERT_EQ(f->axes().size(), 1u);
  EXPECT_EQ(tk::get(tk::handleOf(f->axes()[0]), "YLabel").str(), "Magnitude");
}

TEST_F(Verbs, TheGenericRoutinesByName) {
  // freqz's outputs: h and w as columns and the options for freqzplot.
  const auto out = registry::call("freqz", {Value::row({1, 1}), Value::scalar(1), Value::scalar(2)},
                                  3);
  ASSERT_EQ(out.size(), 3u);
  EXPECT_EQ(out[0].rows(), 2u);
  EXPECT_NEAR(std::abs(out[0].complexData()[1] - Complex(1, -1)), 0, 1e-12);
  EXPECT_NEAR(out[1].realData()[1], std::numbers::pi / 2, 1e-12);
  EXPECT_EQ(out[2].field("xunits").str(), "rad/sample");
  const auto whole = registry::call(
      "freqz", {Value::row({1, 1}), Value::scalar(1), Value::scalar(4), Value::text("whole")}, 2);
  EXPECT_NEAR(whole[1].realData()[2], std::numbers::pi, 1e-12);
  EXPECT_THROW(registry::call("freqz", {Value::row({1}), Value::scalar(1), Value::text("up")}, 1),
               std::exception);
  // psdoptions: (options, msg).
  const auto o = registry::call("psdoptions", {Value::scalar(1), Value(), Value::scalar(128),
                                               Value::scalar(1e6)},
                                2);
  EXPECT_EQ(o[0].field("nfft").toDouble(), 128);
  EXPECT_EQ(o[0].field("Fs").toDouble(), 1e6);
  EXPECT_EQ(o[0].field("range").str(), "half");
  EXPECT_EQ(o[1].str(), "");
  EXPECT_EQ(registry::call("psdoptions", {Value::scalar(0), Value()}, 1)[0].field("range").str(),
            "whole");
  // datawrap keeps the orientation; buffer frames; db and dividenowarn element-wise.
  const Value w = call("datawrap", {Value::row({1, 2, 3, 4, 5}), Value::scalar(2)});
  EXPECT_EQ(w, Value::row({9, 6}));
  const auto b = registry::call("buffer", {Value::row({1, 2, 3, 4, 5}), Value::scalar(2)}, 2);
  EXPECT_EQ(b[0], Value::matrix(2, 2, {1, 2, 3, 4}));
  EXPECT_EQ(b[1], Value::column({5}));
  EXPECT_EQ(call("buffer", {Value::row({1, 2, 3, 4, 5}), Value::scalar(3), Value::scalar(1),
                            Value::text("nodelay")}),
            Value::matrix(3, 2, {1, 2, 3, 3, 4, 5}));
  EXPECT_NEAR(call("signal/private/db", {Value::scalar(100), Value::text("power")}).toDouble(), 20,
              1e-12);
  EXPECT_NEAR(call("signal/private/db", {Value::scalar(10)}).toDouble(), 20, 1e-12);
  EXPECT_EQ(call("signal/private/dividenowarn", {Value::row({1, 4}), Value::scalar(2)}),
            Value::row({0.5, 2}));
  EXPECT_EQ(call("signal/private/dividenowarn", {Value::scalar(1), Value::scalar(0)}).toDouble(),
            INFINITY);
}

}  // namespace
}  // namespace kelvane::testing
