#include "plots/axes_view.hpp"

#include <QWidget>
#include <cmath>

#include "toolkit/axes.hpp"

namespace kelvane::plots {

AxesView* axesViewOf(QWidget* widget) {
  return dynamic_cast<AxesView*>(widget);
}

QRect plotBoxOf(const QWidget* axes) {
  const QWidget* parent = axes->parentWidget();
  const double w = parent ? parent->width() : axes->width();
  const double h = parent ? parent->height() : axes->height();
  const auto p = toolkit::normalizedPosition(axes).toDoubles();
  const int left = static_cast<int>(std::lround(p[0] * w));
  const int top = static_cast<int>(std::lround(h - (p[1] + p[3]) * h));
  return {left, top, static_cast<int>(std::lround(p[2] * w)),
          static_cast<int>(std::lround(p[3] * h))};
}

QRect axesRectOf(const QWidget* axes, const LabelRoom& room) {
  const QRect box = plotBoxOf(axes);
  QRect r = box.adjusted(-room.left, -room.top, room.right, room.bottom);
  if (const QWidget* parent = axes->parentWidget()) r = r.intersected(parent->rect());
  return r.isValid() ? r : box;
}

}  // namespace kelvane::plots
