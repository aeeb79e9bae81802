#include "toolkit/axes.hpp"

#include <QEvent>
#include <QPointer>
#include <QVariant>
#include <QWidget>
#include <algorithm>
#include <array>
#include <map>
#include <vector>

#include "toolkit/objects.hpp"

namespace kelvane::toolkit {

using runtime::Value;

namespace {

constexpr std::array<std::string_view, 15> kAxesProperties = {
    "XLim",          "YLim",  "ZLim",  "XScale", "YScale", "XGrid",  "YGrid",   "ZGrid",
    "GridLineStyle", "XTick", "Title", "XLabel", "YLabel", "ZLabel", "NextPlot"};

// Figures, least recently current first.
std::vector<QPointer<QWidget>>& figures() {
  static std::vector<QPointer<QWidget>> f;
  return f;
}

std::map<const QWidget*, QPointer<QWidget>>& axesOfFigures() {
  static std::map<const QWidget*, QPointer<QWidget>> a;
  return a;
}

class ActivationWatcher : public QObject {
 public:
  using QObject::QObject;
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::WindowActivate) setCurrentFigure(static_cast<QWidget*>(watched));
    return false;
  }
};

}  // namespace

std::span<const std::string_view> axesPropertyNames() {
  return kAxesProperties;
}

QByteArray axesKey(std::string_view property) {
  return QByteArray("kelvane.") + QByteArray(property.data(), static_cast<int>(property.size()));
}

Value axesValue(const QObject* axes, std::string_view property) {
  const QVariant v = axes->property(axesKey(property).constData());
  return v.isValid() ? v.value<Value>() : Value();
}

void storeAxesValue(QObject* axes, std::string_view property, const Value& value) {
  axes->setProperty(axesKey(property).constData(), QVariant::fromValue(value));
}

Value normalizedPosition(const QObject* axes) {
  const Value p = axesValue(axes, "Position");
  return p.numel() == 4 ? p : Value::row({0.13, 0.11, 0.775, 0.815});
}

void markFigure(QWidget* window) {
  if (isFigure(window)) return setCurrentFigure(window);
  window->setProperty("kelvaneFigure", true);
  window->installEventFilter(new ActivationWatcher(window));
  QObject::connect(window, &QObject::destroyed, [window] { axesOfFigures().erase(window); });
  setCurrentFigure(window);
}

bool isFigure(const QObject* object) {
  return object && object->property("kelvaneFigure").toBool();
}

QWidget* currentFigure() {
  auto& f = figures();
  f.erase(std::remove_if(f.begin(), f.end(), [](const QPointer<QWidget>& w) { return !w; }),
          f.end());
  return f.empty() ? nullptr : f.back().data();
}

void setCurrentFigure(QWidget* figure) {
  if (!isFigure(figure)) return;
  auto& f = figures();
  f.erase(std::remove_if(f.begin(), f.end(),
                         [figure](const QPointer<QWidget>& w) { return !w || w == figure; }),
          f.end());
  f.emplace_back(figure);
}

QWidget* currentAxes(QWidget* figure) {
  const auto it = axesOfFigures().find(figure);
  return it == axesOfFigures().end() ? nullptr : it->second.data();
}

void setCurrentAxes(QWidget* axes) {
  QWidget* figure = windowOf(axes);
  if (!figure) return;
  axesOfFigures()[figure] = axes;
  setCurrentFigure(figure);
}

}  // namespace kelvane::toolkit
