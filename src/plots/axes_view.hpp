// What every axes of a plot window does for the window: it keeps to its position within the
// window's drawing area (with room around its plot box for the tick labels, axis labels and
// title), follows the window's zoom and rotate modes, returns to its full view and clears what
// it draws.
#pragma once

#include <QImage>
#include <QRect>

class QWidget;

namespace kelvane::plots {

class AxesView {
 public:
  virtual ~AxesView() = default;
  virtual void setZoomMode(bool on) = 0;
  virtual void setRotateMode(bool on) = 0;
  // Back to the full view: the limits the plot set, or the data's.
  virtual void zoomOut() = 0;
  // Everything drawn, the labels and the limits go (a new plot replaces the old one).
  virtual void clearPlot() = 0;
  // What is drawn brought up to date with the data, limits and size now (before a picture).
  virtual void settle() {}
  // The whole axes as drawn, OpenGL included, for pictures of the window (a widget's own
  // painting cannot show what OpenGL draws); a null image when the widget draws itself.
  virtual QImage renderedImage() { return {}; }
};

AxesView* axesViewOf(QWidget* widget);

// Room around the plot box for the labels, in pixels.
struct LabelRoom {
  int left = 64;
  int top = 30;
  int right = 20;
  int bottom = 44;
};

// The plot box of `axes` in its parent's pixels (top-left origin) from its position, and the
// rectangle the axes widget takes: the box with its label room, within the parent.
QRect plotBoxOf(const QWidget* axes);
QRect axesRectOf(const QWidget* axes, const LabelRoom& room);

}  // namespace kelvane::plots
