// Plot windows: a window with a drawing area for its axes, the toolkit's standard figure menus
// (File: Save Image..., Print..., Close; Edit: Copy; Tools: Zoom, Rotate, Zoom Reset) or the
// plot frame's own menus, zoom and rotate modes, and the window as a picture (PNG, SVG, PDF),
// on paper (the system's print dialog) or on the clipboard.
#pragma once

#include <QWidget>
#include <vector>

#include "runtime/value.hpp"

class QPainter;

namespace kelvane::plots {

class PlotFigure : public QWidget {
  Q_OBJECT

 public:
  PlotFigure();

  // The area the axes are placed in (below the menu bar).
  QWidget* canvas() const { return canvas_; }
  std::vector<QWidget*> axes() const;

  bool zoomMode() const { return zoom_; }
  bool rotateMode() const { return rotate_; }
  void setZoomMode(bool on);
  void setRotateMode(bool on);
  // Every axes back to its full view.
  void zoomOut();

  // The drawing area as the operator sees it.
  QImage image();
  // Writes the drawing area to `file`: PNG, SVG or PDF by its extension; throws plots::Error.
  void saveImage(const QString& file);
  // The system's print dialog, then the drawing area on the chosen printer (or PDF file).
  void print();
  // The drawing area on the clipboard as an image.
  void copyToClipboard();

 signals:
  void modesChanged();

 private:
  QWidget* canvas_;
  bool zoom_ = false, rotate_ = false;
  void paint(QPainter& painter, const QRect& target);
};

// A new plot window: hidden, in pixels, numbered title, with the standard figure menus; it
// becomes the current figure. Returns its handle.
runtime::Value figure();
// The plot window of a handle or window; throws runtime::Error when it is none.
PlotFigure* figureOf(const runtime::Value& handle);
PlotFigure* asFigure(QWidget* window);
// The current figure, a new one when none is open.
PlotFigure* currentOrNewFigure();

// The plot frame's own menu bar: "&File" ("Save &Image...", "&Print", "&Close" with a separator
// above), "&Edit" ("&Copy"), "&Tools" ("&Zoom" KR_Zoom, "&Rotate" KR_Rotate created disabled,
// "Zoom Re&set" KR_ZoomReset with a separator above).
void addPlotMenus(const runtime::Value& figure);

// The Tools menu commands of the plot frame, on the current window: selecting a marked item
// turns its mode off; otherwise its mode goes on, the other goes off, and the marks follow.
void KR_Zoom();
void KR_Rotate();

}  // namespace kelvane::plots
