// 2-D axes over Qt Charts. What they draw is kept as the exact data; what is handed to the chart
// is recomputed for the visible range and the plot's width in pixels: a min/max envelope per
// pixel column for lines, a count per pixel for dense plots (eye and scatter diagrams). So a
// waveform of 15.7 million samples draws as a few thousand points, and zooming in redraws from
// the data at the new range. Rubber-band zoom while the window's zoom mode is on; a right click
// or Zoom Reset returns to the full view.
#pragma once

#include <QChartView>
#include <functional>
#include <memory>
#include <vector>

#include "plots/axes_view.hpp"
#include "plots/envelope.hpp"
#include "plots/line_style.hpp"
#include "plots/raster.hpp"
#include "runtime/value.hpp"

class QAbstractAxis;
class QGraphicsPixmapItem;
class QXYSeries;

namespace kelvane::plots {

// A line's data, shared with the chart for the life of the axes: y at a uniform grid
// x0 + k dx, or at the given x values (increasing).
struct LineData {
  std::vector<double> y;
  std::vector<double> x;  // empty: the uniform grid
  double x0 = 0;
  double dx = 1;
  Trace trace() const { return Trace{y, x, x0, dx}; }
};

// A dense plot: draws itself into a raster of the visible range; its data bounds.
struct DenseData {
  std::function<void(Raster&)> draw;
  std::size_t items = 0;  // samples or points it draws
  double xMin = 0, xMax = 1, yMin = 0, yMax = 1;
};

class Axes2D : public QChartView, public AxesView {
  Q_OBJECT

 public:
  // New axes in `canvas` (a plot window's drawing area) at the default position.
  explicit Axes2D(QWidget* canvas);

  // Draws a line; what was drawn before goes unless NextPlot is "add".
  void addLine(std::shared_ptr<const LineData> data, const LineStyle& style);
  void addDense(std::shared_ptr<const DenseData> data, const LineStyle& style);
  // Keeps equal data units per pixel on both axes (scatter plots).
  void setEqualScaling(bool on);

  // What each drawn item is, for checks: its style, the samples it holds and the points
  // handed to the chart (a dense plot hands an image: 0).
  struct Drawn {
    LineStyle style;
    bool dense = false;
    std::size_t samples = 0;
    std::size_t chartPoints = 0;
  };
  // Brings what the chart holds up to date first.
  std::vector<Drawn> drawn();
  // The chart's current axis ranges.
  std::pair<double, double> xRange() const;
  std::pair<double, double> yRange() const;
  bool logY() const { return logY_; }

  void setZoomMode(bool on) override;
  void setRotateMode(bool) override {}
  void zoomOut() override;
  void clearPlot() override;
  void settle() override;

 protected:
  bool event(QEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  struct Item {
    std::shared_ptr<const LineData> line;
    std::shared_ptr<const DenseData> dense;
    LineStyle style;
    QXYSeries* series = nullptr;
    QGraphicsPixmapItem* image = nullptr;
  };
  std::vector<Item> items_;
  QAbstractAxis* xAxis_ = nullptr;
  QAbstractAxis* yAxis_ = nullptr;
  bool logX_ = false, logY_ = false;
  bool autoX_ = true, autoY_ = true;
  std::pair<double, double> homeX_{0, 1}, homeY_{0, 1};
  bool equal_ = false;
  bool zoom_ = false;
  int internal_ = 0;  // > 0 while the axes store their own properties

  void apply(const QByteArray& key);
  void applyLimits();
  void applyGrid();
  void applyTicks();
  void replaceAxis(bool x, bool log);
  void relayout();
  // Changes of data, limits and size ask for a redraw; one redraw from the data follows when
  // the events of the change have been handled (or when a picture is taken), so that a new
  // plot's layout settling in several steps computes its envelopes once.
  void redraw();
  void redrawNow();
  bool redrawPending_ = false, redrawPosted_ = false;
  void dataAdded();
  void rangeChanged();
  void plotAreaChanged(const QRectF& area);
  QRectF lastArea_;
  bool equalPending_ = false;
  void store(const char* name, const runtime::Value& v);
  QRectF plotArea() const;
};

}  // namespace kelvane::plots
