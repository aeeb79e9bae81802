// 3-D axes for the waterfall: a surface of levels over a frequency and a time grid, drawn by Qt
// DataVisualization (OpenGL). Where there is no OpenGL (the offscreen platform of headless plot
// files) the same surface is drawn in 2-D projection, one line per snapshot from the back row
// to the front. While the window's rotate mode is on, dragging turns the view; while its zoom
// mode is on, the wheel zooms; Zoom Reset returns to the first view.
#pragma once

#include <QPointF>
#include <QWidget>
#include <memory>
#include <vector>

#include "plots/axes_view.hpp"
#include "runtime/value.hpp"

class QLabel;
class Q3DSurface;

namespace kelvane::plots {

// z(row, column) over x (columns) and y (rows), row-major.
struct SurfaceData {
  std::vector<double> x;
  std::vector<double> y;
  std::vector<double> z;
};

class Axes3D : public QWidget, public AxesView {
  Q_OBJECT

 public:
  explicit Axes3D(QWidget* canvas);

  void setSurface(std::shared_ptr<const SurfaceData> data);
  const SurfaceData* surfaceData() const { return data_.get(); }
  // The OpenGL graph; nullptr when the projection draws the surface.
  Q3DSurface* graph() const { return graph_; }

  // The view direction in degrees: azimuth about the vertical axis, elevation above the floor.
  double azimuth() const { return azimuth_; }
  double elevation() const { return elevation_; }
  void setView(double azimuth, double elevation);
  bool rotateMode() const { return rotate_; }
  bool zoomMode() const { return zoom_; }
  double zoomLevel() const { return zoomLevel_; }
  void zoomBy(double factor);

  void setZoomMode(bool on) override { zoom_ = on; }
  void setRotateMode(bool on) override { rotate_ = on; }
  void zoomOut() override;
  void clearPlot() override;
  QImage renderedImage() override;

  // Limits in effect (x, y, z), from the properties or the data.
  std::pair<double, double> limits(char axis) const;

  static constexpr double kAzimuth = -37.5;
  static constexpr double kElevation = 30;

 protected:
  bool event(QEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;

 private:
  std::shared_ptr<const SurfaceData> data_;
  Q3DSurface* graph_ = nullptr;
  QWidget* container_ = nullptr;
  QLabel* title_ = nullptr;
  double azimuth_ = kAzimuth, elevation_ = kElevation, zoomLevel_ = 100;
  bool rotate_ = false, zoom_ = false;
  QPoint last_;

  void apply(const QByteArray& key);
  void applyToGraph();
  void relayout();
  // Unit-cube coordinates (u across in frequency, v in depth for time, w up for level, each
  // -0.5 ... 0.5) seen from the view direction, scaled about a centre.
  struct Projection {
    double ca, sa, ce, se, scale;
    QPointF centre;
    QPointF at(double u, double v, double w) const;
    double depth(double v) const { return v * ca; }
  };
  void paintProjection(QPainter& painter, const QRect& area) const;
  void paintRows(QPainter& painter, const Projection& p) const;
  void paintLabels(QPainter& painter, const Projection& p) const;
};

}  // namespace kelvane::plots
