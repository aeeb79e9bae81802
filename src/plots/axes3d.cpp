#include "plots/axes3d.hpp"

#include <Q3DCamera>
#include <Q3DScene>
#include <Q3DSurface>
#include <QAbstract3DInputHandler>
#include <QDynamicPropertyChangeEvent>
#include <QGuiApplication>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QFontMetrics>
#include <QPainterPath>
#include <QSurface3DSeries>
#include <QSurfaceDataProxy>
#include <QVBoxLayout>
#include <QValue3DAxis>
#include <algorithm>
#include <cmath>
#include <numbers>

#include "toolkit/axes.hpp"

namespace kelvane::plots {

using runtime::Value;
namespace tk = kelvane::toolkit;

namespace {

// OpenGL is there on a real display (X11, Wayland, Xvfb), not on the offscreen platform.
bool haveOpenGL() {
  const QString p = QGuiApplication::platformName();
  return p != "offscreen" && p != "minimal";
}

// Turns the view while the rotate mode is on; zooms with the wheel while the zoom mode is on.
class DragHandler : public QAbstract3DInputHandler {
 public:
  explicit DragHandler(Axes3D* owner) : QAbstract3DInputHandler(owner), owner_(owner) {}
  void mousePressEvent(QMouseEvent* e, const QPoint& p) override {
    dragging_ = owner_->rotateMode() && e->button() == Qt::LeftButton;
    last_ = p;
  }
  void mouseMoveEvent(QMouseEvent*, const QPoint& p) override {
    if (!dragging_) return;
    const QPoint d = p - last_;
    last_ = p;
    owner_->setView(owner_->azimuth() + 0.4 * d.x(), owner_->elevation() + 0.4 * d.y());
  }
  void mouseReleaseEvent(QMouseEvent*, const QPoint&) override { dragging_ = false; }
  void wheelEvent(QWheelEvent* e) override {
    if (owner_->zoomMode()) owner_->zoomBy(e->angleDelta().y() > 0 ? 1.1 : 1 / 1.1);
  }

 private:
  Axes3D* owner_;
  bool dragging_ = false;
  QPoint last_;
};

std::pair<double, double> spanOf(const std::vector<double>& v) {
  if (v.empty()) return {0, 1};
  const auto [lo, hi] = std::minmax_element(v.begin(), v.end());
  return *lo < *hi ? std::pair{*lo, *hi} : std::pair{*lo - 1, *hi + 1};
}

const char* limitName(char axis) {
  return axis == 'x' ? "XLim" : axis == 'y' ? "YLim" : "ZLim";
}

}  // namespace

Axes3D::Axes3D(QWidget* canvas) : QWidget(canvas) {
  setProperty("kelvaneAxes", true);
  setProperty("kelvaneUnits", "normalized");
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  title_ = new QLabel(this);
  title_->setAlignment(Qt::AlignCenter);
  layout->addWidget(title_);
  if (haveOpenGL()) {
    graph_ = new Q3DSurface();
    graph_->setActiveInputHandler(new DragHandler(this));
    graph_->axisX()->setTitleVisible(true);
    graph_->axisY()->setTitleVisible(true);
    graph_->axisZ()->setTitleVisible(true);
    container_ = QWidget::createWindowContainer(graph_, this);
    layout->addWidget(container_, 1);
  } else {
    layout->addStretch(1);
  }
  for (std::string_view name : tk::axesPropertyNames())
    tk::storeAxesValue(this, name, Value());
  canvas->installEventFilter(this);
  relayout();
  show();
}

bool Axes3D::event(QEvent* event) {
  if (event->type() == QEvent::DynamicPropertyChange) {
    const QByteArray key = static_cast<QDynamicPropertyChangeEvent*>(event)->propertyName();
    if (key.startsWith("kelvane.")) apply(key.mid(8));
  }
  return QWidget::event(event);
}

bool Axes3D::eventFilter(QObject* watched, QEvent* event) {
  if (watched == parentWidget() && event->type() == QEvent::Resize) relayout();
  return false;
}

void Axes3D::relayout() {
  setGeometry(axesRectOf(this, LabelRoom{20, 4, 20, 10}));
}

void Axes3D::apply(const QByteArray& key) {
  if (key == "Position") return relayout();
  if (key == "Title") {
    const Value v = tk::axesValue(this, "Title");
    title_->setText(QString::fromStdString(v.isText() ? v.str() : ""));
  }
  applyToGraph();
  update();
}

std::pair<double, double> Axes3D::limits(char axis) const {
  const Value v = tk::axesValue(this, limitName(axis));
  if (v.isReal() && v.numel() == 2) return {v.realData()[0], v.realData()[1]};
  if (!data_) return {0, 1};
  return spanOf(axis == 'x' ? data_->x : axis == 'y' ? data_->y : data_->z);
}

void Axes3D::setSurface(std::shared_ptr<const SurfaceData> data) {
  data_ = std::move(data);
  if (graph_) {
    for (QSurface3DSeries* s : graph_->seriesList()) {
      graph_->removeSeries(s);
      delete s;
    }
    auto* rows = new QSurfaceDataArray();
    rows->reserve(static_cast<qsizetype>(data_->y.size()));
    const std::size_t columns = data_->x.size();
    for (std::size_t r = 0; r < data_->y.size(); ++r) {
      auto* row = new QSurfaceDataRow(static_cast<qsizetype>(columns));
      for (std::size_t c = 0; c < columns; ++c)
        (*row)[static_cast<qsizetype>(c)].setPosition(QVector3D(
            static_cast<float>(data_->x[c]), static_cast<float>(data_->z[r * columns + c]),
            static_cast<float>(data_->y[r])));
      rows->append(row);
    }
    auto* proxy = new QSurfaceDataProxy();
    proxy->resetArray(rows);
    auto* series = new QSurface3DSeries(proxy);
    series->setDrawMode(QSurface3DSeries::DrawSurface);
    QLinearGradient g;
    g.setColorAt(0, QColor(20, 40, 160));
    g.setColorAt(0.6, QColor(40, 170, 190));
    g.setColorAt(1, QColor(250, 220, 60));
    series->setBaseGradient(g);
    series->setColorStyle(Q3DTheme::ColorStyleRangeGradient);
    graph_->addSeries(series);
  }
  applyToGraph();
  update();
}

void Axes3D::applyToGraph() {
  if (!graph_) return;
  // The graph's vertical axis (Y) carries the level (z), its depth axis (Z) the time (y).
  const auto [x0, x1] = limits('x');
  const auto [y0, y1] = limits('y');
  const auto [z0, z1] = limits('z');
  graph_->axisX()->setRange(static_cast<float>(x0), static_cast<float>(x1));
  graph_->axisZ()->setRange(static_cast<float>(y0), static_cast<float>(y1));
  graph_->axisY()->setRange(static_cast<float>(z0), static_cast<float>(z1));
  auto label = [this](const char* name) {
    const Value v = tk::axesValue(this, name);
    return QString::fromStdString(v.isText() ? v.str() : "");
  };
  graph_->axisX()->setTitle(label("XLabel"));
  graph_->axisZ()->setTitle(label("YLabel"));
  graph_->axisY()->setTitle(label("ZLabel"));
  graph_->scene()->activeCamera()->setCameraPosition(
      static_cast<float>(azimuth_), static_cast<float>(elevation_), static_cast<float>(zoomLevel_));
}

void Axes3D::setView(double azimuth, double elevation) {
  azimuth_ = std::remainder(azimuth, 360.0);
  elevation_ = std::clamp(elevation, 0.0, 90.0);
  applyToGraph();
  update();
}

void Axes3D::zoomBy(double factor) {
  zoomLevel_ = std::clamp(zoomLevel_ * factor, 10.0, 500.0);
  applyToGraph();
  update();
}

void Axes3D::zoomOut() {
  azimuth_ = kAzimuth;
  elevation_ = kElevation;
  zoomLevel_ = 100;
  applyToGraph();
  update();
}

void Axes3D::clearPlot() {
  data_.reset();
  if (graph_)
    for (QSurface3DSeries* s : graph_->seriesList()) {
      graph_->removeSeries(s);
      delete s;
    }
  for (std::string_view name : tk::axesPropertyNames())
    if (name != "Position") tk::storeAxesValue(this, name, Value());
  update();
}

QImage Axes3D::renderedImage() {
  if (!graph_ || !container_) return {};
  QImage img = grab().toImage();
  QPainter painter(&img);
  painter.drawImage(container_->geometry().topLeft(), graph_->renderToImage(0, container_->size()));
  return img;
}

// ---- the projection without OpenGL -------------------------------------------------------------

void Axes3D::mousePressEvent(QMouseEvent* event) {
  last_ = event->position().toPoint();
}

void Axes3D::mouseMoveEvent(QMouseEvent* event) {
  if (!rotate_ || !(event->buttons() & Qt::LeftButton)) return;
  const QPoint d = event->position().toPoint() - last_;
  last_ = event->position().toPoint();
  setView(azimuth_ + 0.4 * d.x(), elevation_ + 0.4 * d.y());
}

void Axes3D::wheelEvent(QWheelEvent* event) {
  if (zoom_) zoomBy(event->angleDelta().y() > 0 ? 1.1 : 1 / 1.1);
}

void Axes3D::paintEvent(QPaintEvent*) {
  if (graph_) return;
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  const int top = title_->geometry().bottom() + 4;
  paintProjection(painter, QRect(0, top, width(), height() - top));
}

QPointF Axes3D::Projection::at(double u, double v, double w) const {
  const double x = u * ca - v * sa;
  const double depth = u * sa + v * ca;
  const double y = w * ce + depth * se;
  return centre + QPointF(x * scale, -y * scale);
}

void Axes3D::paintProjection(QPainter& painter, const QRect& area) const {
  const double a = azimuth_ * std::numbers::pi / 180, e = elevation_ * std::numbers::pi / 180;
  const Projection p{std::cos(a), std::sin(a), std::cos(e), std::sin(e),
                     0.55 * std::min(area.width(), area.height()) * zoomLevel_ / 100,
                     QPointF(area.center())};
  // The floor and the back edge.
  painter.setPen(QPen(QColor(150, 150, 150), 1));
  const double corners[4][2] = {{-0.5, -0.5}, {0.5, -0.5}, {0.5, 0.5}, {-0.5, 0.5}};
  for (int i = 0; i < 4; ++i)
    painter.drawLine(p.at(corners[i][0], corners[i][1], -0.5),
                     p.at(corners[(i + 1) % 4][0], corners[(i + 1) % 4][1], -0.5));
  painter.drawLine(p.at(-0.5, 0.5, -0.5), p.at(-0.5, 0.5, 0.5));
  paintRows(painter, p);
  paintLabels(painter, p);
}

void Axes3D::paintRows(QPainter& painter, const Projection& p) const {
  if (!data_ || data_->x.empty()) return;
  const auto [x0, x1] = limits('x');
  const auto [y0, y1] = limits('y');
  const auto [z0, z1] = limits('z');
  const std::size_t columns = data_->x.size(), rows = data_->y.size();
  auto norm = [](double v, double lo, double hi) {
    return std::clamp((v - lo) / (hi - lo), 0.0, 1.0) - 0.5;
  };
  std::vector<std::size_t> order(rows);
  for (std::size_t r = 0; r < rows; ++r)
    order[r] = r;
  // From the back row to the front one, each hiding what lies behind it, as a waterfall does.
  std::sort(order.begin(), order.end(), [&](std::size_t i, std::size_t j) {
    return p.depth(norm(data_->y[i], y0, y1)) > p.depth(norm(data_->y[j], y0, y1));
  });
  painter.setPen(QPen(QColor(20, 60, 170), 1));
  for (std::size_t r : order) {
    const double v = norm(data_->y[r], y0, y1);
    QPainterPath path(p.at(norm(data_->x[0], x0, x1), v, -0.5));
    for (std::size_t c = 0; c < columns; ++c)
      path.lineTo(p.at(norm(data_->x[c], x0, x1), v, norm(data_->z[r * columns + c], z0, z1)));
    path.lineTo(p.at(norm(data_->x[columns - 1], x0, x1), v, -0.5));
    painter.fillPath(path, Qt::white);
    painter.drawPath(path);
  }
}

void Axes3D::paintLabels(QPainter& painter, const Projection& p) const {
  auto text = [this](const char* name) {
    const Value v = tk::axesValue(this, name);
    return QString::fromStdString(v.isText() ? v.str() : "");
  };
  auto number = [](double x) { return QString::number(x, 'g', 4); };
  const auto [x0, x1] = limits('x');
  const auto [y0, y1] = limits('y');
  const auto [z0, z1] = limits('z');
  const QFontMetrics fm = painter.fontMetrics();
  auto centred = [&](QPointF at, const QString& s) {
    painter.drawText(at - QPointF(fm.horizontalAdvance(s) / 2.0, 0), s);
  };
  painter.setPen(Qt::black);
  centred(p.at(-0.5, -0.5, -0.5) + QPointF(0, 18), number(x0));
  centred(p.at(0.5, -0.5, -0.5) + QPointF(0, 18), number(x1));
  centred(p.at(0, -0.5, -0.5) + QPointF(0, 36), text("XLabel"));
  painter.drawText(p.at(0.5, -0.5, -0.5) + QPointF(8, -4), number(y0));
  painter.drawText(p.at(0.5, 0.5, -0.5) + QPointF(8, 4), number(y1));
  painter.drawText(p.at(0.5, 0, -0.5) + QPointF(14, 14), text("YLabel"));
  const QString top = number(z1), bottom = number(z0);
  painter.drawText(p.at(-0.5, 0.5, 0.5) - QPointF(fm.horizontalAdvance(top) + 6, -4), top);
  painter.drawText(p.at(-0.5, 0.5, -0.5) - QPointF(fm.horizontalAdvance(bottom) + 6, -4), bottom);
  const QString zl = text("ZLabel");
  painter.drawText(p.at(-0.5, 0.5, 0) - QPointF(fm.horizontalAdvance(zl) + 8, -4), zl);
}

}  // namespace kelvane::plots
