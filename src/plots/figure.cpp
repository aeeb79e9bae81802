#include "plots/figure.hpp"

#include <QApplication>
#include <QClipboard>
#include <QFileInfo>
#include <QMenuBar>
#include <QPainter>
#include <QPdfWriter>
#include <QPrintDialog>
#include <QPrinter>
#include <QSvgGenerator>
#include <QVBoxLayout>

#include "plots/axes_view.hpp"
#include "plots/error.hpp"
#include "toolkit/axes.hpp"
#include "toolkit/callbacks.hpp"
#include "toolkit/dialogs.hpp"
#include "toolkit/figures.hpp"
#include "toolkit/menus.hpp"
#include "toolkit/modal.hpp"
#include "toolkit/objects.hpp"
#include "toolkit/properties.hpp"

namespace kelvane::plots {

using runtime::Value;
namespace tk = kelvane::toolkit;

PlotFigure::PlotFigure() : canvas_(new QWidget(this)) {
  setAttribute(Qt::WA_DeleteOnClose);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  canvas_->setAutoFillBackground(true);
  QPalette p = canvas_->palette();
  p.setColor(QPalette::Window, Qt::white);
  canvas_->setPalette(p);
  layout->addWidget(canvas_, 1);
  resize(560, 420);
}

std::vector<QWidget*> PlotFigure::axes() const {
  std::vector<QWidget*> out;
  for (QWidget* w : canvas_->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly))
    if (axesViewOf(w)) out.push_back(w);
  return out;
}

void PlotFigure::setZoomMode(bool on) {
  zoom_ = on;
  for (QWidget* a : axes())
    axesViewOf(a)->setZoomMode(on);
  emit modesChanged();
}

void PlotFigure::setRotateMode(bool on) {
  rotate_ = on;
  for (QWidget* a : axes())
    axesViewOf(a)->setRotateMode(on);
  emit modesChanged();
}

void PlotFigure::zoomOut() {
  for (QWidget* a : axes())
    axesViewOf(a)->zoomOut();
}

void PlotFigure::paint(QPainter& painter, const QRect& target) {
  const QSize source = canvas_->size();
  painter.save();
  painter.translate(target.topLeft());
  const double s =
      std::min(target.width() / double(source.width()), target.height() / double(source.height()));
  painter.scale(s, s);
  painter.fillRect(QRect(QPoint(0, 0), source), Qt::white);
  for (QWidget* a : axes())
    axesViewOf(a)->settle();
  canvas_->render(&painter, QPoint(), QRegion(), QWidget::DrawChildren);
  // What OpenGL draws is not in the widgets' own painting.
  for (QWidget* a : axes()) {
    const QImage gl = axesViewOf(a)->renderedImage();
    if (!gl.isNull()) painter.drawImage(a->geometry().topLeft(), gl);
  }
  painter.restore();
}

QImage PlotFigure::image() {
  if (canvas_->size().isEmpty() || !isVisible()) {
    ensurePolished();
    layout()->activate();
  }
  QImage img(canvas_->size(), QImage::Format_ARGB32_Premultiplied);
  img.fill(Qt::white);
  QPainter painter(&img);
  paint(painter, img.rect());
  return img;
}

void PlotFigure::saveImage(const QString& file) {
  const QString ext = QFileInfo(file).suffix().toLower();
  const QSize size = canvas_->size();
  if (ext == "png") {
    require(image().save(file, "PNG"), "Cannot write " + file.toStdString() + ".");
  } else if (ext == "svg") {
    QSvgGenerator svg;
    svg.setFileName(file);
    svg.setSize(size);
    svg.setViewBox(QRect(QPoint(0, 0), size));
    svg.setTitle(windowTitle());
    QPainter painter;
    require(painter.begin(&svg), "Cannot write " + file.toStdString() + ".");
    paint(painter, QRect(QPoint(0, 0), size));
  } else if (ext == "pdf") {
    QPdfWriter pdf(file);
    pdf.setPageSize(QPageSize(QSizeF(size) * 0.75, QPageSize::Point));
    pdf.setPageMargins(QMarginsF(0, 0, 0, 0));
    pdf.setResolution(96);
    QPainter painter;
    require(painter.begin(&pdf), "Cannot write " + file.toStdString() + ".");
    paint(painter, QRect(QPoint(0, 0), size));
  } else {
    fail("Save Image writes .png, .svg and .pdf files, not \"" + file.toStdString() + "\".");
  }
}

void PlotFigure::print() {
  QPrinter printer(QPrinter::HighResolution);
  printer.setDocName(windowTitle());
  QPrintDialog dialog(&printer, this);
  dialog.setWindowTitle("Print " + windowTitle());
  tk::modalStarted(&dialog);
  if (dialog.exec() != QDialog::Accepted) return;
  QPainter painter;
  require(painter.begin(&printer), "The printer cannot be opened.");
  const QRect page = printer.pageLayout().paintRectPixels(printer.resolution());
  paint(painter, QRect(QPoint(0, 0), page.size()));
}

void PlotFigure::copyToClipboard() {
  QApplication::clipboard()->setImage(image());
}

// ---- figures by handle -----------------------------------------------------------------------

PlotFigure* asFigure(QWidget* window) {
  return qobject_cast<PlotFigure*>(window);
}

PlotFigure* figureOf(const Value& handle) {
  auto* f = qobject_cast<PlotFigure*>(tk::objectOf(handle));
  if (!f) throw runtime::Error(tk::describeObject(tk::objectOf(handle)) + " is no plot window");
  return f;
}

namespace {

void saveImageDialog(QWidget* window) {
  PlotFigure* f = asFigure(window);
  if (!f) return;
  const auto file = tk::dialogs().saveFile("Save Image", "*.png;*.svg;*.pdf", {});
  if (!file) return;
  try {
    f->saveImage(QString::fromStdString(file->string()));
  } catch (const std::exception& e) {
    tk::dialogs().error(e.what(), "Save Image");
  }
}

// The standard menus' Zoom and Rotate marks follow the window's modes.
void syncStandardMarks(PlotFigure* f) {
  for (const char* tag : {"stdZoom", "stdRotate"})
    if (QObject* item = tk::findTag(f, tag))
      tk::set(
          tk::handleOf(item), "Checked",
          Value::text((tag == std::string("stdZoom") ? f->zoomMode() : f->rotateMode()) ? "on"
                                                                                        : "off"));
}

void registerPlotCommands() {
  static bool done = false;
  if (done) return;
  done = true;
  tk::registerCommand("print", [](QWidget* w) {
    if (PlotFigure* f = asFigure(w)) f->print();
  });
  tk::registerCommand("print -dmeta", [](QWidget* w) {
    if (PlotFigure* f = asFigure(w)) f->copyToClipboard();
  });
  tk::registerCommand("zoom out", [](QWidget* w) {
    if (PlotFigure* f = asFigure(w)) f->zoomOut();
  });
  tk::registerCommand("save image", saveImageDialog);
  tk::registerCommand("zoom", [](QWidget* w) {
    if (PlotFigure* f = asFigure(w)) {
      const bool on = !f->zoomMode();
      f->setZoomMode(on);
      if (on) f->setRotateMode(false);
    }
  });
  tk::registerCommand("rotate3d", [](QWidget* w) {
    if (PlotFigure* f = asFigure(w)) {
      const bool on = !f->rotateMode();
      f->setRotateMode(on);
      if (on) f->setZoomMode(false);
    }
  });
}

struct MenuRow {
  const char* menu;
  const char* label;
  const char* tag;
  const char* command;
  bool enabled;
  bool separator;
};

void addMenus(const Value& fig, std::initializer_list<MenuRow> rows, bool standard) {
  Value menu;
  std::string current;
  for (const MenuRow& r : rows) {
    if (current != r.menu) {
      menu = tk::addMenu(fig, r.menu, "", standard);
      current = r.menu;
    }
    tk::MenuItemSpec spec;
    spec.label = r.label;
    spec.tag = r.tag;
    spec.command = r.command;
    spec.enabled = r.enabled;
    spec.separatorAbove = r.separator;
    tk::addMenuItem(menu, spec);
  }
}

}  // namespace

Value figure() {
  registerPlotCommands();
  auto* f = new PlotFigure();
  const Value h = tk::handleOf(f);
  tk::set(h, "NumberTitle", Value::text("on"));
  tk::set(h, "Name", Value::text(""));
  addMenus(h,
           {{"&File", "Save &Image...", "stdSaveImage", "save image", true, false},
            {"&File", "&Print...", "stdPrint", "print", true, false},
            {"&File", "&Close", "stdClose", "close(gcf)", true, true},
            {"&Edit", "&Copy", "stdCopy", "print -dmeta", true, false},
            {"&Tools", "&Zoom", "stdZoom", "zoom", true, false},
            {"&Tools", "&Rotate", "stdRotate", "rotate3d", true, false},
            {"&Tools", "Zoom Re&set", "stdZoomReset", "zoom out", true, true}},
           true);
  QObject::connect(f, &PlotFigure::modesChanged, f, [f] { syncStandardMarks(f); });
  tk::markFigure(f);
  return h;
}

PlotFigure* currentOrNewFigure() {
  if (PlotFigure* f = asFigure(tk::currentFigure())) return f;
  return figureOf(figure());
}

void addPlotMenus(const Value& fig) {
  registerPlotCommands();
  addMenus(fig,
           {{"&File", "Save &Image...", "", "save image", true, false},
            {"&File", "&Print", "", "print", true, false},
            {"&File", "&Close", "", "close(gcf)", true, true},
            {"&Edit", "&Copy", "", "print -dmeta", true, false},
            {"&Tools", "&Zoom", "KR_Zoom", "KR_Zoom", true, false},
            {"&Tools", "&Rotate", "KR_Rotate", "KR_Rotate", false, false},
            {"&Tools", "Zoom Re&set", "KR_ZoomReset", "zoom out", true, true}},
           false);
}

namespace {

// KR_Zoom and KR_Rotate: `own` is the item selected, `other` the one it excludes.
void toggleMode(const char* own, const char* other, bool zoom) {
  PlotFigure* f = asFigure(tk::currentFigure());
  if (!f) throw runtime::Error(std::string(own) + ": no plot window is open.");
  const Value handles = tk::guihandles(tk::handleOf(f));
  auto mark = [&](const char* tag, bool on) {
    if (handles.hasField(tag))
      tk::set(handles.field(tag), "Checked", Value::text(on ? "on" : "off"));
  };
  const bool marked = handles.hasField(own) && tk::get(handles.field(own), "Checked").str() == "on";
  if (marked) {
    zoom ? f->setZoomMode(false) : f->setRotateMode(false);
    mark(own, false);
    return;
  }
  if (zoom) {
    f->setZoomMode(true);
    f->setRotateMode(false);
  } else {
    f->setRotateMode(true);
    f->setZoomMode(false);
  }
  mark(own, true);
  mark(other, false);
}

}  // namespace

void KR_Zoom() {
  toggleMode("KR_Zoom", "KR_Rotate", true);
}

void KR_Rotate() {
  toggleMode("KR_Rotate", "KR_Zoom", false);
}

}  // namespace kelvane::plots
