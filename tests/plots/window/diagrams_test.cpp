// The eye and scatter diagrams: the frame's conditioning and its "Plot Error" box, the traces
// and points drawn, and every argument rule of eyediagram and scatterplot by name.
#include <QImage>

#include "plot_fixture.hpp"

namespace kelvane::testing {
namespace {

using Box = toolkit::ScriptedDialogs::BoxKind;

class Diagrams : public PlotTest {
 protected:
  std::string errorOf(const char* op, std::vector<Value> args) {
    try {
      registry::call(op, std::move(args), 1);
    } catch (const std::exception& e) {
      return e.what();
    }
    return "no error";
  }
  // Pixels of `img` of a strong blue (blue well above red and green) and of a strong cyan
  // (green and blue well above red, and near each other).
  static int bluePixels(const QImage& img) {
    return count(img, [](QColor c) { return c.blue() - std::max(c.red(), c.green()) > 100; });
  }
  static int cyanPixels(const QImage& img) {
    return count(img, [](QColor c) {
      return std::min(c.green(), c.blue()) - c.red() > 80 && std::abs(c.green() - c.blue()) < 40;
    });
  }
  template <class Test>
  static int count(const QImage& img, Test test) {
    int n = 0;
    for (int y = 0; y < img.height(); ++y)
      for (int x = 0; x < img.width(); ++x)
        n += test(img.pixelColor(x, y));
    return n;
  }
};

TEST_F(Diagrams, AnEyeDiagramWithNZeroAndOffsetSevenShowsThePlotErrorBox) {
  const std::size_t before = QApplication::topLevelWidgets().size();
  const auto out = registry::call("KR_PlotEyeDiagram",
                                  {Value::scalar(0), Value::text("x"), row(tone(64, 0.1)),
                                   Value::scalar(0), Value::scalar(1), Value::scalar(7)},
                                  1);
  ASSERT_EQ(dialogs_.count(Box::Error), 1u);
  const auto& box = dialogs_.shown().back();
  EXPECT_EQ(box.title, "Plot Error");
  EXPECT_EQ(box.text, "Unable to Plot Eye Diagram\nN must be an integer greater than 1.");
  EXPECT_TRUE(out.at(0).isEmpty());  // no window
  settle();
  EXPECT_EQ(QApplication::topLevelWidgets().size(), before);
  // An empty waveform fails the same way, with eyediagram's first rule.
  registry::call("KR_PlotEyeDiagram", {}, 1);
  EXPECT_EQ(dialogs_.shown().back().text, "Unable to Plot Eye Diagram\nInput variable X is empty.");
  registry::call("KR_PlotScatterDiagram", {}, 1);
  EXPECT_EQ(dialogs_.shown().back().text,
            "Unable to Plot Scatter Diagram\nInput variable X is empty.");
}

TEST_F(Diagrams, AnEyeDiagramDrawsInPhaseAndQuadratureTracesOverOnePeriod) {
  const Value fig = call("KR_PlotEyeDiagram",
                         {Value::scalar(0), Value::text("Traffic"), row(tone(4000, 1.0 / 24)),
                          Value::scalar(24), Value::scalar(2e-6), Value::scalar(30)});
  EXPECT_EQ(dialogs_.count(Box::Error), 0u);
  EXPECT_EQ(tk::get(fig, "Name").str(), "Eye Diagram Traffic");
  EXPECT_EQ(tk::get(fig, "NumberTitle").str(), "off");
  EXPECT_EQ(tk::get(fig, "MenuBar").str(), "none");
  EXPECT_EQ(menuLabels(fig), (std::vector<std::string>{"&File", "&Edit", "&Tools"}));
  EXPECT_EQ(tk::get(tagged(fig, "KR_Rotate"), "Enable").str(), "off");
  ASSERT_EQ(figure(fig)->axes().size(), 2u);
  for (std::size_t i = 0; i < 2; ++i) {
    const Value ax = axesHandle(fig, i);
    EXPECT_EQ(tk::get(ax, "XLabel").str(), "Time");
    EXPECT_EQ(tk::get(ax, "YLabel").str(), "Amplitude");
    const auto xl = lim(ax, "XLim");
    EXPECT_NEAR(xl[0], -1e-6, 1e-18);
    EXPECT_NEAR(xl[1], 1e-6, 1e-18);
    const auto drawn = axes2d(fig, i)->drawn();
    ASSERT_EQ(drawn.size(), 1u);
    EXPECT_TRUE(drawn[0].dense);
    EXPECT_EQ(drawn[0].samples, 4000u);
    EXPECT_EQ(drawn[0].style.color, (std::array<double, 3>{0, 0, 1}));
  }
  EXPECT_EQ(tk::get(axesHandle(fig, 0), "Title").str(), "Eye Diagram for In-phase Signal");
  EXPECT_EQ(tk::get(axesHandle(fig, 1), "Title").str(), "Eye Diagram for Quadrature Signal");
  settle();
  EXPECT_GT(bluePixels(figure(fig)->image()), 200);
}

TEST_F(Diagrams, TheScatterTraceShowsTheTrajectoryAndTheSymbolInstants) {
  const std::vector<Complex> x = tone(2400, 1.0 / 96);
  const Value fig = call("KR_PlotScatterDiagram", {Value::scalar(0), Value::text("Traffic"),
                                                   row(x), Value::scalar(24), Value::scalar(3),
                                                   Value::scalar(1)});
  EXPECT_EQ(tk::get(fig, "Name").str(), "Scatter Diagram Traffic");
  const Value ax = axesHandle(fig);
  EXPECT_EQ(tk::get(ax, "Title").str(), "Scatter plot");
  EXPECT_EQ(tk::get(ax, "XLabel").str(), "In-Phase");
  EXPECT_EQ(tk::get(ax, "YLabel").str(), "Quadrature");
  EXPECT_EQ(tk::get(ax, "NextPlot").str(), "replace");  // held only while drawing
  const auto drawn = axes2d(fig)->drawn();
  ASSERT_EQ(drawn.size(), 2u);
  EXPECT_EQ(drawn[0].style.color, pl::colorOfLetter('c'));
  EXPECT_EQ(drawn[0].style.line, pl::LineKind::Solid);
  EXPECT_EQ(drawn[0].samples, 2397u);  // every sample from the offset
  EXPECT_EQ(drawn[1].style.color, pl::colorOfLetter('b'));
  EXPECT_EQ(drawn[1].style.marker, '.');
  EXPECT_EQ(drawn[1].samples, 100u);  // samples 4, 28, 52, ... (1-based)
  // Equal scaling: one data unit is as many pixels across as up (to the few pixels the tick
  // labels move the plot area by).
  settle();
  pl::Axes2D* a = axes2d(fig);
  const auto [x0, x1] = a->xRange();
  const auto [y0, y1] = a->yRange();
  const QRectF area = a->chart()->plotArea();
  EXPECT_NEAR(((x1 - x0) / area.width()) / ((y1 - y0) / area.height()), 1, 0.03);
  const QImage img = figure(fig)->image();
  EXPECT_GT(cyanPixels(img), 100);  // the trajectory round the circle
  EXPECT_GE(bluePixels(img), 4 * 4);  // four symbol positions, dots of 3 x 3 on top
  // Without the trace only the dots.
  const Value dots = call("KR_PlotScatterDiagram", {Value::scalar(0), Value::text("x"), row(x),
                                                    Value::scalar(24), Value::scalar(0),
                                                    Value::scalar(0)});
  ASSERT_EQ(axes2d(dots)->drawn().size(), 1u);
  EXPECT_EQ(axes2d(dots)->drawn()[0].samples, 100u);
}

TEST_F(Diagrams, TheFrameConditionsNAndTheOffset) {
  // n = 0 becomes 1, so the scatter plot shows every sample; offset 7 becomes 0.
  const Value fig = call("KR_PlotScatterDiagram", {Value::scalar(0), Value::text("x"),
                                                   row(tone(50, 0.1)), Value::scalar(0),
                                                   Value::scalar(7), Value::scalar(0)});
  EXPECT_EQ(axes2d(fig)->drawn()[0].samples, 50u);
  // Offset -3 becomes 0 and 9 with n = 4 becomes 3: 50 samples give 13 and 12 points.
  const Value low = call("KR_PlotScatterDiagram", {Value::scalar(0), Value::text("x"),
                                                   row(tone(50, 0.1)), Value::scalar(4),
                                                   Value::scalar(-3)});
  EXPECT_EQ(axes2d(low)->drawn()[0].samples, 13u);
  const Value high = call("KR_PlotScatterDiagram", {Value::scalar(0), Value::text("x"),
                                                    row(tone(50, 0.1)), Value::scalar(4),
                                                    Value::scalar(9)});
  EXPECT_EQ(axes2d(high)->drawn()[0].samples, 12u);
}

TEST_F(Diagrams, EveryEyediagramRuleByName) {
  const Value x = row(tone(40, 0.1));
  EXPECT_EQ(errorOf("eyediagram", {Value(), Value::scalar(4)}), "Input variable X is empty.");
  EXPECT_EQ(errorOf("eyediagram", {Value::matrix(2, 3, {1, 2, 3, 4, 5, 6}), Value::scalar(4)}),
            "Number of columns in the input data, X, cannot exceed 2.");
  EXPECT_EQ(errorOf("eyediagram", {x, Value::scalar(1)}), "N must be an integer greater than 1.");
  EXPECT_EQ(errorOf("eyediagram", {x, Value::scalar(2.5)}), "N must be an integer greater than 1.");
  EXPECT_EQ(errorOf("eyediagram", {x, Value::scalar(4), Value::scalar(0)}),
            "PERIOD must be a positive number.");
  EXPECT_EQ(errorOf("eyediagram", {x, Value::scalar(4), Value::scalar(1), Value::scalar(4)}),
            "OFFSET must be a integer in the range 0 <= OFFSET < N.");
  EXPECT_EQ(errorOf("eyediagram", {x, Value::scalar(4), Value::scalar(1), Value::scalar(0.5)}),
            "OFFSET must be a integer in the range 0 <= OFFSET < N.");
  // An invalid handle: a warning and a new eye diagram.
  const Value fig = call("eyediagram", {x, Value::scalar(4), Value::scalar(1), Value::scalar(0),
                                        Value::text("r-"), Value::handle(987654)});
  EXPECT_TRUE(consoleHas("Warning: Ignoring invalid handle H. Creating a new eye diagram."));
  EXPECT_EQ(tk::get(fig, "Name").str(), "Eye Diagram");
  EXPECT_EQ(axes2d(fig)->drawn()[0].style.color, pl::colorOfLetter('r'));
  // The same figure again: drawn into it; a figure of another kind: refused.
  const Value again = call("eyediagram", {x, Value::scalar(4), Value::scalar(1), Value::scalar(0),
                                          Value::text("g-"), fig});
  EXPECT_EQ(again.handleId(), fig.handleId());
  EXPECT_EQ(axes2d(fig)->drawn().size(), 2u);
  const Value scatter = call("scatterplot", {x});
  EXPECT_EQ(errorOf("eyediagram", {x, Value::scalar(4), Value::scalar(1), Value::scalar(0),
                                   Value::text("b-"), scatter}),
            "Figure is not an existing eye diagram.\nUse an existing eye diagram or do not use a "
            "figure handle as an input");
  // A real signal has one axes.
  const Value real = call("eyediagram", {Value::row({1, -1, 1, 1, -1, -1, 1, -1}), Value::scalar(2)});
  EXPECT_EQ(figure(real)->axes().size(), 1u);
}

TEST_F(Diagrams, EveryScatterplotRuleByName) {
  const Value x = row(tone(40, 0.1));
  EXPECT_EQ(errorOf("scatterplot", {Value()}), "Input variable X is empty.");
  EXPECT_EQ(errorOf("scatterplot", {x, Value::scalar(0)}), "N must be a positive integer.");
  EXPECT_EQ(errorOf("scatterplot", {x, Value::scalar(1.5)}), "N must be a positive integer.");
  EXPECT_EQ(errorOf("scatterplot", {x, Value::scalar(1), Value::scalar(-1)}),
            "OFFSET must be a nonnegative integer.");
  EXPECT_EQ(errorOf("scatterplot", {Value::matrix(1, 3, {1, 2, 3}).reshaped(1, 3), Value::scalar(1)}),
            "no error");  // a row is one column
  EXPECT_EQ(errorOf("scatterplot", {Value::matrix(2, 3, {1, 2, 3, 4, 5, 6})}),
            "Number of columns in the input data, X, cannot exceed 2.");
  const Value fig = call("scatterplot", {x, Value::scalar(2), Value::scalar(1), Value::text("m."),
                                         Value::scalar(987654)});
  EXPECT_TRUE(consoleHas("Warning: Ignoring invalid handle, H. Creating a new scatter plot."));
  EXPECT_EQ(tk::get(fig, "Name").str(), "Scatter Plot");
  EXPECT_EQ(axes2d(fig)->drawn()[0].samples, 20u);
  const Value eye = call("eyediagram", {x, Value::scalar(4)});
  EXPECT_EQ(errorOf("scatterplot", {x, Value::scalar(1), Value::scalar(0), Value::text("b."), eye}),
            "Figure is not an existing scatter plot.\nUse an existing scatter plot or do not use "
            "a figure handle as an input");
  // Two real columns are I and Q.
  const Value iq = call("scatterplot", {Value::matrix(3, 2, {1, 2, 3, -1, -2, -3})});
  EXPECT_EQ(axes2d(iq)->drawn()[0].samples, 3u);
}

}  // namespace
}  // namespace kelvane::testing
