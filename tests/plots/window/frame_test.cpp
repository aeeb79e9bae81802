// The plot window frame: placement, names, the custom and standard menu bars, Zoom and Rotate
// with their marks, Zoom Reset, and the window as a picture, on paper and on the clipboard.
#include <QApplication>
#include <QClipboard>
#include <QFile>
#include <QPrintDialog>
#include <QPrinter>
#include <QTest>
#include <QXYSeries>

#include "plot_fixture.hpp"

namespace kelvane::testing {
namespace {

using Box = toolkit::ScriptedDialogs::BoxKind;

class Frame : public PlotTest {};

TEST_F(Frame, WithoutAParentTheTablePositionsApply) {
  const Value ccdf = call("KR_PlotCCDF", {});
  EXPECT_EQ(position(ccdf), (std::vector<double>{150, 150, 340, 340}));
  EXPECT_EQ(position(call("KR_PlotSpectrum", {Value::scalar(0)})),
            (std::vector<double>{50, 480, 300, 300}));
  EXPECT_EQ(position(call("KR_PlotWaterfall", {})), (std::vector<double>{100, 100, 300, 300}));
  EXPECT_EQ(position(call("KR_PlotIQTime", {})), (std::vector<double>{150, 150, 340, 340}));
}

TEST_F(Frame, APlotOpensBesideItsParentAtEightyPercentOfItsSize) {
  const Value parent = parentAt({100, 100, 500, 400});
  EXPECT_EQ(position(call("KR_PlotCCDF", {parent})), (std::vector<double>{140, 68, 400, 320}));
  EXPECT_EQ(position(call("KR_PlotSpectrum", {parent})),
            (std::vector<double>{150, 172, 400, 320}));
  EXPECT_EQ(position(call("KR_PlotIQTime", {parent})), (std::vector<double>{140, 68, 400, 320}));
  EXPECT_EQ(position(call("KR_PlotWaterfall", {parent})),
            (std::vector<double>{180, 36, 400, 320}));
  // The eye and scatter windows are placed after the plotting step made them.
  const Value eye = call("KR_PlotEyeDiagram", {parent, Value::text("x"), row(tone(64, 0.1)),
                                               Value::scalar(8), Value::scalar(1e-6),
                                               Value::scalar(0)});
  EXPECT_EQ(position(eye), (std::vector<double>{140, 68, 400, 320}));
  const Value scatter = call("KR_PlotScatterDiagram", {parent, Value::text("x"),
                                                       row(tone(64, 0.1)), Value::scalar(4)});
  EXPECT_EQ(position(scatter), (std::vector<double>{140, 68, 400, 320}));
}

TEST_F(Frame, TheWindowIsNamedByItsPrefixAndLabelWithoutANumber) {
  const Value ccdf = call("KR_PlotCCDF", {});
  EXPECT_EQ(tk::get(ccdf, "Name").str(), "CCDF Test Data");
  EXPECT_EQ(tk::get(ccdf, "NumberTitle").str(), "off");
  EXPECT_EQ(tk::windowOf(ccdf)->windowTitle().toStdString(), "CCDF Test Data");
  EXPECT_EQ(tk::get(ccdf, "Visible").str(), "on");
  const Value spectrum = call("KR_PlotSpectrum", {Value::scalar(0), Value::text("Traffic")});
  EXPECT_EQ(tk::get(spectrum, "Name").str(), "Magnitude Spectrum Traffic");
  EXPECT_EQ(tk::get(call("KR_PlotWaterfall", {}), "Name").str(), "Spectrum Waterfall Test Data");
  EXPECT_EQ(tk::get(call("KR_PlotIQTime", {Value::scalar(0), Value::text("a")}), "Name").str(),
            "I(t) Q(t) No Data");  // the test display relabels itself
}

TEST_F(Frame, EveryCustomMenuBarHasTheFrameMenusWithRotateDisabled) {
  for (const char* op : {"KR_PlotCCDF", "KR_PlotSpectrum", "KR_PlotIQTime"}) {
    const Value fig = call(op, {});
    EXPECT_EQ(menuLabels(fig), (std::vector<std::string>{"&File", "&Edit", "&Tools"})) << op;
    EXPECT_EQ(tk::get(fig, "MenuBar").str(), "none");  // the standard menus are hidden
    EXPECT_TRUE(item(fig, "&File", "&Print")->isEnabled());
    EXPECT_EQ(tk::get(tk::handleOf(item(fig, "&File", "&Close")), "Separator").str(), "on");
    EXPECT_TRUE(item(fig, "&Edit", "&Copy")->isEnabled());
    EXPECT_EQ(tk::get(tagged(fig, "KR_Zoom"), "Label").str(), "&Zoom");
    EXPECT_EQ(tk::get(tagged(fig, "KR_Zoom"), "Enable").str(), "on");
    EXPECT_EQ(tk::get(tagged(fig, "KR_Rotate"), "Label").str(), "&Rotate");
    EXPECT_EQ(tk::get(tagged(fig, "KR_Rotate"), "Enable").str(), "off");
    EXPECT_EQ(tk::get(tagged(fig, "KR_ZoomReset"), "Label").str(), "Zoom Re&set");
    EXPECT_EQ(tk::get(tagged(fig, "KR_ZoomReset"), "Separator").str(), "on");
  }
  // The waterfall keeps the standard menu bar, whose Rotate works.
  const Value waterfall = call("KR_PlotWaterfall", {});
  EXPECT_EQ(tk::get(waterfall, "MenuBar").str(), "figure");
  EXPECT_EQ(menuLabels(waterfall), (std::vector<std::string>{"&File", "&Edit", "&Tools"}));
  EXPECT_TRUE(item(waterfall, "&Tools", "&Rotate")->isEnabled());
  EXPECT_THROW(tagged(waterfall, "KR_Zoom"), std::runtime_error);
}

TEST_F(Frame, ZoomTwiceLeavesZoomOffAndZoomWhileRotatingTurnsRotateOff) {
  const Value fig = call("KR_PlotSpectrum", {});
  pl::PlotFigure* f = figure(fig);
  item(fig, "&Tools", "&Zoom")->trigger();  // the menu item runs KR_Zoom on its window
  EXPECT_TRUE(f->zoomMode());
  EXPECT_EQ(tk::get(tagged(fig, "KR_Zoom"), "Checked").str(), "on");
  EXPECT_EQ(axes2d(fig)->rubberBand(), QChartView::RectangleRubberBand);
  item(fig, "&Tools", "&Zoom")->trigger();
  EXPECT_FALSE(f->zoomMode());
  EXPECT_EQ(tk::get(tagged(fig, "KR_Zoom"), "Checked").str(), "off");
  EXPECT_EQ(axes2d(fig)->rubberBand(), QChartView::NoRubberBand);
  // Rotate is reachable by name even though its item is disabled.
  registry::call("KR_Rotate", {}, 0);
  EXPECT_TRUE(f->rotateMode());
  EXPECT_EQ(tk::get(tagged(fig, "KR_Rotate"), "Checked").str(), "on");
  item(fig, "&Tools", "&Zoom")->trigger();
  EXPECT_TRUE(f->zoomMode());
  EXPECT_FALSE(f->rotateMode());
  EXPECT_EQ(tk::get(tagged(fig, "KR_Rotate"), "Checked").str(), "off");
  EXPECT_EQ(tk::get(tagged(fig, "KR_Zoom"), "Checked").str(), "on");
  registry::call("KR_Rotate", {}, 0);
  EXPECT_FALSE(f->zoomMode());
  EXPECT_EQ(tk::get(tagged(fig, "KR_Zoom"), "Checked").str(), "off");
  registry::call("KR_Rotate", {}, 0);  // selected again: rotate off
  EXPECT_FALSE(f->rotateMode());
  EXPECT_EQ(tk::get(tagged(fig, "KR_Rotate"), "Checked").str(), "off");
}

TEST_F(Frame, ZoomModesArePerWindow) {
  const Value a = call("KR_PlotCCDF", {});
  const Value b = call("KR_PlotCCDF", {});
  item(a, "&Tools", "&Zoom")->trigger();
  EXPECT_TRUE(figure(a)->zoomMode());
  EXPECT_FALSE(figure(b)->zoomMode());
  EXPECT_EQ(tk::get(tagged(b, "KR_Zoom"), "Checked").str(), "off");
}

TEST_F(Frame, RubberBandZoomRedrawsFromTheDataAndZoomResetReturnsToTheFullView) {
  // A million samples: the chart gets an envelope, never the samples themselves.
  std::vector<Complex> x = tone(1000000, 0.000123);
  x[654321] = Complex(5, 0);  // one peak sample
  const Value fig = call("KR_PlotIQTime", {Value::scalar(0), Value::text("t"), Value::scalar(1e6),
                                           Value::scalar(1), row(x)});
  const Value ax = tagged(fig, "KR_IQwave");
  pl::Axes2D* a = axes2d(fig);
  settle();
  const auto full = lim(ax, "XLim");
  EXPECT_NEAR(full[1], 1, 1e-12);  // 1 s
  const auto drawn = a->drawn();
  ASSERT_EQ(drawn.size(), 2u);
  EXPECT_EQ(drawn[0].samples, 1000000u);
  EXPECT_LE(drawn[0].chartPoints, 4 * static_cast<std::size_t>(a->width()) + 4);
  EXPECT_GT(drawn[0].chartPoints, 100u);
  // Zoom into 0.2 ms around the peak: the chart holds the exact samples there.
  item(fig, "&Tools", "&Zoom")->trigger();
  QAbstractSeries* s0 = a->chart()->series()[0];
  a->chart()->zoomIn(QRectF(a->chart()->mapToPosition(QPointF(0.6542, 5), s0),
                            a->chart()->mapToPosition(QPointF(0.6544, -5), s0)));
  const auto zoomed = lim(ax, "XLim");
  EXPECT_NEAR(zoomed[0], 0.6542, 1e-5);
  EXPECT_NEAR(zoomed[1], 0.6544, 1e-5);
  EXPECT_LE(a->drawn()[0].chartPoints, 205u);  // 200 samples and their neighbours
  bool peak = false;
  auto* series = qobject_cast<QXYSeries*>(a->chart()->series()[0]);
  for (int i = 0; i < series->count(); ++i)
    peak = peak || series->at(i).y() == 5;
  EXPECT_TRUE(peak);
  item(fig, "&Tools", "Zoom Re&set")->trigger();
  EXPECT_EQ(lim(ax, "XLim"), full);
  EXPECT_EQ(lim(ax, "YLim"), (std::vector<double>{-5, 5}));
}

TEST_F(Frame, TheWindowSavesItselfAsPngSvgAndPdf) {
  const Value fig = call("KR_PlotSpectrum", {Value::scalar(0), Value::text("x"),
                                             Value::scalar(1e6), row(tone(256, 0.2))});
  for (const char* name : {"spectrum.png", "spectrum.svg", "spectrum.pdf"}) {
    dialogs_.answerFile(dir_ / name);
    item(fig, "&File", "Save &Image...")->trigger();
    ASSERT_TRUE(fs::exists(dir_ / name)) << name;
    EXPECT_GT(fs::file_size(dir_ / name), 1000u) << name;
  }
  EXPECT_EQ(dialogs_.shown().back().buttons, (std::vector<std::string>{"*.png;*.svg;*.pdf"}));
  QImage png(QString::fromStdString((dir_ / "spectrum.png").string()));
  EXPECT_FALSE(png.isNull());
  QFile svg(QString::fromStdString((dir_ / "spectrum.svg").string()));
  ASSERT_TRUE(svg.open(QIODevice::ReadOnly));
  EXPECT_TRUE(svg.readAll().contains("Spectrum"));  // the title as vector text
  // Another extension is refused in an error box.
  dialogs_.answerFile(dir_ / "spectrum.bmp");
  item(fig, "&File", "Save &Image...")->trigger();
  EXPECT_EQ(dialogs_.shown().back().kind, Box::Error);
  EXPECT_FALSE(fs::exists(dir_ / "spectrum.bmp"));
}

TEST_F(Frame, PrintGoesThroughThePrintDialogAndCopyPutsAnImageOnTheClipboard) {
  const Value fig = call("KR_PlotCCDF", {});
  const fs::path pdf = dir_ / "printed.pdf";
  bool sawDialog = false;
  tk::whenModal([&](QWidget* modal) {
    auto* dialog = qobject_cast<QPrintDialog*>(modal);
    sawDialog = dialog != nullptr;
    if (!dialog) return;
    dialog->printer()->setOutputFormat(QPrinter::PdfFormat);
    dialog->printer()->setOutputFileName(QString::fromStdString(pdf.string()));
    dialog->done(QDialog::Accepted);  // the operator's choice: print to this PDF file
  });
  item(fig, "&File", "&Print")->trigger();
  EXPECT_TRUE(sawDialog);
  ASSERT_TRUE(fs::exists(pdf));
  EXPECT_GT(fs::file_size(pdf), 1000u);
  QApplication::clipboard()->clear();
  item(fig, "&Edit", "&Copy")->trigger();
  const QImage copied = QApplication::clipboard()->image();
  EXPECT_FALSE(copied.isNull());
  EXPECT_EQ(copied.size(), figure(fig)->canvas()->size());
}

TEST_F(Frame, CloseDeletesTheWindow) {
  const Value fig = call("KR_PlotCCDF", {});
  item(fig, "&File", "&Close")->trigger();
  settle();
  EXPECT_FALSE(tk::isValidHandle(fig));
}

}  // namespace
}  // namespace kelvane::testing
