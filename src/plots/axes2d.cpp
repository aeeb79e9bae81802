#include "plots/axes2d.hpp"

#include <QChart>
#include <QDynamicPropertyChangeEvent>
#include <QGraphicsPixmapItem>
#include <QLineSeries>
#include <QLogValueAxis>
#include <QMouseEvent>
#include <QPainter>
#include <QScatterSeries>
#include <QTimer>
#include <QValueAxis>
#include <algorithm>
#include <cmath>

#include "toolkit/axes.hpp"
#include "toolkit/objects.hpp"

namespace kelvane::plots {

using runtime::Value;
namespace tk = kelvane::toolkit;

namespace {

QColor colorOf(const LineStyle& s) {
  return QColor::fromRgbF(static_cast<float>(s.color[0]), static_cast<float>(s.color[1]),
                          static_cast<float>(s.color[2]));
}

Qt::PenStyle penOf(LineKind k) {
  switch (k) {
    case LineKind::Dashed:
      return Qt::DashLine;
    case LineKind::Dotted:
      return Qt::DotLine;
    case LineKind::DashDot:
      return Qt::DashDotLine;
    case LineKind::None:
      return Qt::NoPen;
    default:
      return Qt::SolidLine;
  }
}

std::pair<double, double> limitsOf(const Value& v, std::pair<double, double> fallback) {
  if (v.isReal() && v.numel() == 2) return {v.realData()[0], v.realData()[1]};
  return fallback;
}

// A round tick step (1, 2 or 5 times a power of ten) giving about six ticks over `span`.
double niceStep(double span) {
  const double raw = span / 6;
  const double power = std::pow(10, std::floor(std::log10(raw)));
  for (double m : {1.0, 2.0, 5.0})
    if (m * power >= raw) return m * power;
  return 10 * power;
}

// Ticks of a linear axis at round values (tick labels such as -3 -2 -1 0 1 2 3 MHz).
void roundTicks(QAbstractAxis* axis, double lo, double hi) {
  auto* a = qobject_cast<QValueAxis*>(axis);
  if (!a || !(hi > lo)) return;
  a->setTickType(QValueAxis::TicksDynamic);
  a->setTickAnchor(0);
  a->setTickInterval(niceStep(hi - lo));
}

// A span that is never empty: a flat line gets one unit either side.
std::pair<double, double> widened(double lo, double hi) {
  if (!(lo < hi)) return {lo - 1, hi + 1};
  return {lo, hi};
}

// Counts as an image in the colour of the style: the more traces cross a pixel, the more
// opaque it is; a marker style draws each point as a 3 x 3 dot.
QImage imageOf(const Raster& r, const QColor& color, bool dots) {
  const View& v = r.view();
  QImage img(v.width, v.height, QImage::Format_ARGB32_Premultiplied);
  img.fill(Qt::transparent);
  const double top = std::log1p(static_cast<double>(std::max<std::uint32_t>(r.largest(), 1)));
  for (int row = 0; row < v.height; ++row) {
    auto* line = reinterpret_cast<QRgb*>(img.scanLine(row));
    for (int col = 0; col < v.width; ++col) {
      const std::uint32_t c = r.at(col, row);
      if (c == 0) continue;
      const int alpha = 90 + static_cast<int>(165 * std::log1p(static_cast<double>(c)) / top);
      line[col] = qPremultiply(qRgba(color.red(), color.green(), color.blue(), alpha));
    }
  }
  if (!dots) return img;
  QImage grown(img.size(), img.format());
  grown.fill(Qt::transparent);
  QPainter p(&grown);
  for (int dy = -1; dy <= 1; ++dy)
    for (int dx = -1; dx <= 1; ++dx)
      p.drawImage(QPoint(dx, dy), img);
  p.end();
  return grown;
}

}  // namespace

Axes2D::Axes2D(QWidget* canvas) : QChartView(new QChart(), canvas) {
  setProperty("kelvaneAxes", true);
  setProperty("kelvaneUnits", "normalized");
  setFrameShape(QFrame::NoFrame);
  setStyleSheet("background: transparent");
  setRenderHint(QPainter::Antialiasing);
  QChart* c = chart();
  c->legend()->hide();
  c->setBackgroundVisible(false);
  c->setMargins(QMargins(0, 0, 0, 0));
  c->setBackgroundRoundness(0);
  replaceAxis(true, false);
  replaceAxis(false, false);
  connect(c, &QChart::plotAreaChanged, this, [this](const QRectF& area) { plotAreaChanged(area); });
  canvas->installEventFilter(this);
  ++internal_;
  for (std::string_view name : tk::axesPropertyNames())
    tk::storeAxesValue(this, name, Value());
  --internal_;
  relayout();
  show();
}

void Axes2D::store(const char* name, const Value& v) {
  ++internal_;
  tk::storeAxesValue(this, name, v);
  --internal_;
}

// ---- properties ------------------------------------------------------------------------------

bool Axes2D::event(QEvent* event) {
  if (event->type() == QEvent::DynamicPropertyChange && internal_ == 0) {
    const QByteArray key = static_cast<QDynamicPropertyChangeEvent*>(event)->propertyName();
    if (key.startsWith("kelvane.")) apply(key.mid(8));
  }
  return QChartView::event(event);
}

void Axes2D::apply(const QByteArray& key) {
  const std::string name = key.toStdString();
  const Value v = tk::axesValue(this, name);
  if (name == "XLim" || name == "YLim") {
    (name == "XLim" ? autoX_ : autoY_) = v.kind() == runtime::Kind::Empty;
    if (name == "XLim") homeX_ = limitsOf(v, homeX_);
    if (name == "YLim") homeY_ = limitsOf(v, homeY_);
    applyLimits();
  } else if (name == "XScale" || name == "YScale") {
    const bool log = v.isText() && v.str() == "log";
    replaceAxis(name == "XScale", log);
    applyLimits();
  } else if (name == "XGrid" || name == "YGrid" || name == "GridLineStyle") {
    applyGrid();
  } else if (name == "XTick") {
    applyTicks();
  } else if (name == "Title") {
    chart()->setTitle(QString::fromStdString(v.isText() ? v.str() : ""));
  } else if (name == "XLabel" || name == "YLabel") {
    (name == "XLabel" ? xAxis_ : yAxis_)
        ->setTitleText(QString::fromStdString(v.isText() ? v.str() : ""));
  } else if (name == "Position") {
    relayout();
  }
}

void Axes2D::replaceAxis(bool x, bool log) {
  QAbstractAxis*& slot = x ? xAxis_ : yAxis_;
  QString title;
  if (slot) {
    title = slot->titleText();
    chart()->removeAxis(slot);
    delete slot;
  }
  if (log) {
    auto* a = new QLogValueAxis();
    a->setBase(10);
    a->setLabelFormat("%g");
    a->setMinorTickCount(-1);
    slot = a;
    connect(a, &QLogValueAxis::rangeChanged, this, [this] { rangeChanged(); });
  } else {
    auto* a = new QValueAxis();
    a->setLabelFormat("%g");
    slot = a;
    connect(a, &QValueAxis::rangeChanged, this, [this] { rangeChanged(); });
  }
  (x ? logX_ : logY_) = log;
  slot->setTitleText(title);
  chart()->addAxis(slot, x ? Qt::AlignBottom : Qt::AlignLeft);
  for (auto series : chart()->series())
    series->attachAxis(slot);
  applyGrid();
  if (x) applyTicks();
}

void Axes2D::applyGrid() {
  const Value style = tk::axesValue(this, "GridLineStyle");
  Qt::PenStyle pen = Qt::SolidLine;
  if (style.isText()) {
    if (style.str() == ":") pen = Qt::DotLine;
    if (style.str() == "--") pen = Qt::DashLine;
    if (style.str() == "-.") pen = Qt::DashDotLine;
  }
  for (auto [axis, name] : {std::pair{xAxis_, "XGrid"}, std::pair{yAxis_, "YGrid"}}) {
    if (!axis) continue;
    const Value on = tk::axesValue(this, name);
    axis->setGridLineVisible(on.isText() && on.str() == "on");
    axis->setGridLinePen(QPen(QColor(160, 160, 160), 1, pen));
    axis->setMinorGridLineVisible(on.isText() && on.str() == "on" && logY_ && axis == yAxis_);
    axis->setMinorGridLinePen(QPen(QColor(200, 200, 200), 1, pen));
  }
}

void Axes2D::applyTicks() {
  auto* x = qobject_cast<QValueAxis*>(xAxis_);
  if (!x) return;
  const Value t = tk::axesValue(this, "XTick");
  if (t.isReal() && t.numel() >= 2) {
    x->setTickType(QValueAxis::TicksDynamic);
    x->setTickAnchor(t.realData()[0]);
    x->setTickInterval(t.realData()[1] - t.realData()[0]);
  } else {
    const auto [x0, x1] = xRange();
    roundTicks(x, x0, x1);
  }
}

void Axes2D::applyLimits() {
  auto [x0, x1] = homeX_;
  auto [y0, y1] = homeY_;
  if (equal_) {
    // Equal data units per pixel: the axis with fewer units per pixel is widened about its
    // centre.
    const QRectF area = plotArea();
    const double ux = (x1 - x0) / std::max(area.width(), 1.0);
    const double uy = (y1 - y0) / std::max(area.height(), 1.0);
    if (ux > uy) {
      const double c = (y0 + y1) / 2, half = ux * area.height() / 2;
      y0 = c - half, y1 = c + half;
    } else {
      const double c = (x0 + x1) / 2, half = uy * area.width() / 2;
      x0 = c - half, x1 = c + half;
    }
  }
  ++internal_;
  // A few fixed ticks while the range moves: the old tick interval over a much wider new range
  // would lay out tens of thousands of ticks before the round ticks below replace them.
  for (QAbstractAxis* a : {xAxis_, yAxis_})
    if (auto* v = qobject_cast<QValueAxis*>(a)) v->setTickType(QValueAxis::TicksFixed);
  xAxis_->setRange(x0, x1);
  yAxis_->setRange(y0, y1);
  const Value ticks = tk::axesValue(this, "XTick");
  if (!(ticks.isReal() && ticks.numel() >= 2)) roundTicks(xAxis_, x0, x1);
  else if (auto* v = qobject_cast<QValueAxis*>(xAxis_)) v->setTickType(QValueAxis::TicksDynamic);
  roundTicks(yAxis_, y0, y1);
  --internal_;
  rangeChanged();
}

// ---- data ------------------------------------------------------------------------------------

void Axes2D::clearPlot() {
  for (Item& item : items_) {
    if (item.series) {
      chart()->removeSeries(item.series);
      delete item.series;
    }
    delete item.image;
  }
  items_.clear();
  ++internal_;
  for (std::string_view name : tk::axesPropertyNames())
    if (name != "Position") tk::storeAxesValue(this, name, Value());
  --internal_;
  chart()->setTitle("");
  xAxis_->setTitleText("");
  yAxis_->setTitleText("");
  if (logX_) replaceAxis(true, false);
  if (logY_) replaceAxis(false, false);
  autoX_ = autoY_ = true;
  equal_ = false;
  applyGrid();
  applyTicks();
}

void Axes2D::addLine(std::shared_ptr<const LineData> data, const LineStyle& style) {
  const Value next = tk::axesValue(this, "NextPlot");
  if (!(next.isText() && next.str() == "add")) clearPlot();
  Item item;
  item.line = std::move(data);
  item.style = style;
  QXYSeries* s = nullptr;
  if (style.line == LineKind::None) {
    auto* dots = new QScatterSeries();
    dots->setMarkerSize(style.marker == '.' ? 4 : 7);
    dots->setBorderColor(colorOf(style));
    s = dots;
  } else {
    s = new QLineSeries();
    s->setPen(QPen(colorOf(style), 1.2, penOf(style.line)));
  }
  s->setColor(colorOf(style));
  chart()->addSeries(s);
  s->attachAxis(xAxis_);
  s->attachAxis(yAxis_);
  item.series = s;
  items_.push_back(std::move(item));
  dataAdded();
}

void Axes2D::addDense(std::shared_ptr<const DenseData> data, const LineStyle& style) {
  const Value next = tk::axesValue(this, "NextPlot");
  if (!(next.isText() && next.str() == "add")) clearPlot();
  Item item;
  item.dense = std::move(data);
  item.style = style;
  item.image = new QGraphicsPixmapItem();
  item.image->setZValue(5);
  scene()->addItem(item.image);
  items_.push_back(std::move(item));
  dataAdded();
}

void Axes2D::setEqualScaling(bool on) {
  equal_ = on;
  applyLimits();
}

// New data: limits that were not set follow the data.
void Axes2D::dataAdded() {
  double x0 = INFINITY, x1 = -INFINITY, y0 = INFINITY, y1 = -INFINITY;
  for (const Item& item : items_) {
    if (item.line) {
      const Trace t = item.line->trace();
      if (t.size() == 0) continue;
      x0 = std::min(x0, t.x(0));
      x1 = std::max(x1, t.x(t.size() - 1));
      for (double y : item.line->y)
        if (!logY_ || y > 0) y0 = std::min(y0, y), y1 = std::max(y1, y);
    } else {
      x0 = std::min(x0, item.dense->xMin), x1 = std::max(x1, item.dense->xMax);
      y0 = std::min(y0, item.dense->yMin), y1 = std::max(y1, item.dense->yMax);
    }
  }
  if (autoX_ && x0 <= x1) {
    homeX_ = widened(x0, x1);
    store("XLim", Value::row({homeX_.first, homeX_.second}));
  }
  if (autoY_ && y0 <= y1) {
    homeY_ = widened(y0, y1);
    store("YLim", Value::row({homeY_.first, homeY_.second}));
  }
  applyLimits();
}

std::vector<Axes2D::Drawn> Axes2D::drawn() {
  settle();
  std::vector<Drawn> out;
  for (const Item& item : items_) {
    Drawn d;
    d.style = item.style;
    d.dense = item.dense != nullptr;
    d.samples = item.line ? item.line->y.size() : item.dense->items;
    d.chartPoints = item.series ? static_cast<std::size_t>(item.series->count()) : 0;
    out.push_back(d);
  }
  return out;
}

// ---- drawing ---------------------------------------------------------------------------------

std::pair<double, double> Axes2D::xRange() const {
  if (auto* a = qobject_cast<QValueAxis*>(xAxis_)) return {a->min(), a->max()};
  auto* l = qobject_cast<QLogValueAxis*>(xAxis_);
  return {l->min(), l->max()};
}

std::pair<double, double> Axes2D::yRange() const {
  if (auto* a = qobject_cast<QValueAxis*>(yAxis_)) return {a->min(), a->max()};
  auto* l = qobject_cast<QLogValueAxis*>(yAxis_);
  return {l->min(), l->max()};
}

QRectF Axes2D::plotArea() const {
  return chart()->plotArea();
}

// The chart lays its title, tick labels and axis labels out around the plot box, within the
// room the axes rectangle gives it.
void Axes2D::relayout() {
  setGeometry(axesRectOf(this, LabelRoom{}));
}

void Axes2D::resizeEvent(QResizeEvent* event) {
  QChartView::resizeEvent(event);
  redraw();
}

void Axes2D::plotAreaChanged(const QRectF& area) {
  // Equal scaling follows the plot's shape, once the layout has settled (new limits change the
  // tick labels, which move the plot area again: a few pixels are the labels settling).
  const bool reshaped = std::abs(area.width() - lastArea_.width()) > 3 ||
                        std::abs(area.height() - lastArea_.height()) > 3;
  lastArea_ = area;
  if (equal_ && reshaped && !equalPending_) {
    equalPending_ = true;
    QTimer::singleShot(0, this, [this] {
      equalPending_ = false;
      applyLimits();
    });
  }
  redraw();
}

bool Axes2D::eventFilter(QObject* watched, QEvent* event) {
  if (watched == parentWidget() && event->type() == QEvent::Resize) relayout();
  return false;
}

void Axes2D::rangeChanged() {
  if (internal_ > 0) return;  // the axes move both ranges and redraw once
  {
    // A zoom: the limits and the round ticks follow, the full view stays.
    const auto [x0, x1] = xRange();
    const auto [y0, y1] = yRange();
    store("XLim", Value::row({x0, x1}));
    store("YLim", Value::row({y0, y1}));
    ++internal_;
    const Value ticks = tk::axesValue(this, "XTick");
    if (!(ticks.isReal() && ticks.numel() >= 2)) roundTicks(xAxis_, x0, x1);
    roundTicks(yAxis_, y0, y1);
    --internal_;
  }
  redraw();
}

void Axes2D::redraw() {
  redrawPending_ = true;
  if (redrawPosted_) return;
  redrawPosted_ = true;
  QTimer::singleShot(0, this, [this] {
    redrawPosted_ = false;
    settle();
  });
}

void Axes2D::settle() {
  if (!redrawPending_) return;
  redrawPending_ = false;
  redrawNow();
}

void Axes2D::redrawNow() {
  if (!xAxis_ || !yAxis_) return;
  const auto [x0, x1] = xRange();
  const auto [y0, y1] = yRange();
  const QRectF area = chart()->plotArea();
  const int width = std::max(1, static_cast<int>(area.width()));
  const int height = std::max(1, static_cast<int>(area.height()));
  for (Item& item : items_) {
    if (item.line) {
      const std::vector<Point> pts =
          envelope(item.line->trace(), x0, x1, static_cast<std::size_t>(width));
      QList<QPointF> list;
      list.reserve(static_cast<qsizetype>(pts.size()));
      for (const Point& p : pts)
        list.append(QPointF(p.x, p.y));
      item.series->replace(list);
    } else {
      Raster r(View{x0, x1, y0, y1, width, height});
      item.dense->draw(r);
      item.image->setPixmap(
          QPixmap::fromImage(imageOf(r, colorOf(item.style), item.style.marker != 0)));
      item.image->setPos(chart()->mapToScene(area.topLeft()));
    }
  }
}

// ---- zoom ------------------------------------------------------------------------------------

void Axes2D::setZoomMode(bool on) {
  zoom_ = on;
  setRubberBand(on ? QChartView::RectangleRubberBand : QChartView::NoRubberBand);
}

void Axes2D::zoomOut() {
  store("XLim", Value::row({homeX_.first, homeX_.second}));
  store("YLim", Value::row({homeY_.first, homeY_.second}));
  applyLimits();
}

void Axes2D::mouseReleaseEvent(QMouseEvent* event) {
  if (zoom_ && event->button() == Qt::RightButton) {
    zoomOut();
    event->accept();
    return;
  }
  QChartView::mouseReleaseEvent(event);
}

}  // namespace kelvane::plots
