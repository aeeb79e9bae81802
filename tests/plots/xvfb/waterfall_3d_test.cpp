// The waterfall's 3-D view through OpenGL (Qt DataVisualization), on a real X server: the
// surface and its axes, the standard menu bar's Rotate turning the view by dragging, the
// wheel zooming while Zoom is on, Zoom Reset, and the view in the window's picture.
#include <Q3DCamera>
#include <Q3DScene>
#include <Q3DSurface>
#include <QSurface3DSeries>
#include <QSurfaceDataProxy>
#include <QTest>
#include <QValue3DAxis>
#include <cmath>

#include "plots/axes3d.hpp"
#include "plots/figure.hpp"
#include "support/window_fixture.hpp"
#include "toolkit/figures.hpp"

namespace kelvane::testing {
namespace {

namespace tk = kelvane::toolkit;
namespace pl = kelvane::plots;

class Waterfall3D : public WindowTest {
 protected:
  Value plot() {
    std::vector<std::complex<double>> x(20000);
    for (std::size_t i = 0; i < x.size(); ++i)
      x[i] = std::polar(1.0, 0.7 * static_cast<double>(i) + 1e-4 * static_cast<double>(i * i));
    return registry::call("KR_PlotWaterfall",
                          {Value::scalar(0), Value::text("GL"), Value::scalar(1e6),
                           Value::scalar(1e-3), Value::complexRow(x)},
                          1)
        .at(0);
  }
  static pl::Axes3D* axesOf(const Value& fig) {
    return dynamic_cast<pl::Axes3D*>(pl::figureOf(fig)->axes().at(0));
  }
  static void trigger(const Value& fig, const char* tag) {
    qobject_cast<QAction*>(tk::findTag(tk::windowOf(fig), tag))->trigger();
  }
};

TEST_F(Waterfall3D, TheSurfaceCarriesFrequencyTimeAndLevel) {
  const Value fig = plot();
  pl::Axes3D* a = axesOf(fig);
  ASSERT_NE(a->graph(), nullptr) << "no OpenGL: run under xvfb-run on the xcb platform";
  Q3DSurface* g = a->graph();
  ASSERT_EQ(g->seriesList().size(), 1);
  const QSurfaceDataProxy* proxy = g->seriesList().at(0)->dataProxy();
  EXPECT_EQ(proxy->rowCount(), 20);     // 1 ms snapshots of 1000 samples
  EXPECT_EQ(proxy->columnCount(), 512);  // reduced from 1000 frequencies
  // The graph's vertical axis is the level, its depth the time.
  EXPECT_FLOAT_EQ(g->axisX()->min(), -0.5f);
  EXPECT_FLOAT_EQ(g->axisX()->max(), 0.5f);
  EXPECT_EQ(g->axisX()->title().toStdString(), "Frequency (MHz)");
  EXPECT_EQ(g->axisZ()->title().toStdString(), "Time (mS)");
  EXPECT_FLOAT_EQ(g->axisZ()->max(), 19.0f);
  EXPECT_EQ(g->axisY()->title().toStdString(), "LogMag (dB)");
  EXPECT_FLOAT_EQ(g->axisY()->max(), 0.0f);
  const auto z = tk::get(tk::handleOf(a), "ZLim").toDoubles();
  EXPECT_FLOAT_EQ(g->axisY()->min(), static_cast<float>(z[0]));
}

TEST_F(Waterfall3D, RotateTurnsTheViewByDraggingAndZoomResetReturns) {
  const Value fig = plot();
  pl::Axes3D* a = axesOf(fig);
  ASSERT_NE(a->graph(), nullptr);
  tk::set(fig, "Visible", Value::text("on"));
  ASSERT_TRUE(QTest::qWaitForWindowExposed(a->graph()));
  const float before = a->graph()->scene()->activeCamera()->xRotation();
  // Without the rotate mode a left drag does nothing.
  QTest::mousePress(a->graph(), Qt::LeftButton, {}, QPoint(100, 100));
  QTest::mouseMove(a->graph(), QPoint(160, 110));
  QTest::mouseRelease(a->graph(), Qt::LeftButton, {}, QPoint(160, 110));
  EXPECT_FLOAT_EQ(a->graph()->scene()->activeCamera()->xRotation(), before);
  trigger(fig, "stdRotate");
  EXPECT_TRUE(pl::figureOf(fig)->rotateMode());
  QTest::mousePress(a->graph(), Qt::LeftButton, {}, QPoint(100, 100));
  QTest::mouseMove(a->graph(), QPoint(160, 110));
  QTest::mouseRelease(a->graph(), Qt::LeftButton, {}, QPoint(160, 110));
  EXPECT_NEAR(a->azimuth(), pl::Axes3D::kAzimuth + 0.4 * 60, 1e-9);
  EXPECT_NEAR(a->graph()->scene()->activeCamera()->xRotation(), a->azimuth(), 1e-3);
  // Zoom turns rotate off; the wheel zooms.
  trigger(fig, "stdZoom");
  EXPECT_FALSE(pl::figureOf(fig)->rotateMode());
  EXPECT_EQ(tk::get(tk::handleOf(tk::findTag(tk::windowOf(fig), "stdRotate")), "Checked").str(),
            "off");
  a->zoomBy(1.5);
  EXPECT_NEAR(a->graph()->scene()->activeCamera()->zoomLevel(), 150, 1e-3);
  trigger(fig, "stdZoomReset");
  EXPECT_EQ(a->azimuth(), pl::Axes3D::kAzimuth);
  EXPECT_NEAR(a->graph()->scene()->activeCamera()->zoomLevel(), 100, 1e-3);
}

TEST_F(Waterfall3D, ThePictureOfTheWindowShowsTheSurface) {
  const Value fig = plot();
  tk::set(fig, "Visible", Value::text("on"));
  ASSERT_TRUE(QTest::qWaitForWindowExposed(tk::windowOf(fig)));
  const QImage img = pl::figureOf(fig)->image();
  ASSERT_FALSE(img.isNull());
  // The surface is coloured: not only white, grey and black.
  int coloured = 0;
  for (int y = 0; y < img.height(); y += 2)
    for (int x = 0; x < img.width(); x += 2) {
      const QColor c = img.pixelColor(x, y);
      coloured += std::max({c.red(), c.green(), c.blue()}) -
                      std::min({c.red(), c.green(), c.blue()}) >
                  60;
    }
  EXPECT_GT(coloured, 500);
  const fs::path png = dir_ / "waterfall.png";
  pl::figureOf(fig)->saveImage(QString::fromStdString(png.string()));
  EXPECT_GT(fs::file_size(png), 5000u);
}

}  // namespace
}  // namespace kelvane::testing
