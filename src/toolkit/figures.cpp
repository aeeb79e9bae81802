#include "toolkit/figures.hpp"

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QScreen>
#include <QWidget>
#include <algorithm>
#include <filesystem>

#include "toolkit/callbacks.hpp"
#include "toolkit/layouts.hpp"
#include "toolkit/names.hpp"
#include "toolkit/objects.hpp"

namespace kelvane::toolkit {

using runtime::Value;

namespace {

QWidget* windowArgument(const Value& v) {
  QWidget* w = windowOf(v);
  if (!w) throw runtime::Error("Invalid handle");
  return w;
}

QWidget* openWindowOf(const QString& layout) {
  for (QWidget* w : QApplication::topLevelWidgets())
    if (w->property("kelvaneLayout").toString() == layout && isValidHandle(handleOf(w))) return w;
  return nullptr;
}

// The objects a handles record lists: tagged, not Qt's own internals, in tree order.
bool listed(const QObject* o) {
  const QString tag = o->objectName();
  if (tag.isEmpty() || tag.startsWith("qt_")) return false;
  return qobject_cast<const QWidget*>(o) || qobject_cast<const QAction*>(o);
}

QRect frameOf(const QWidget* w) {
  // Before the window is first shown the window manager has added no frame yet.
  return w->isVisible() ? w->frameGeometry() : w->geometry();
}

QPoint namedPlace(const std::string& where, const QRect& screen, const QRect& frame) {
  const int left = screen.left(), right = screen.right() - frame.width() + 1;
  const int top = screen.top(), bottom = screen.bottom() - frame.height() + 1;
  const int midX = screen.left() + (screen.width() - frame.width()) / 2;
  const int midY = screen.top() + (screen.height() - frame.height()) / 2;
  if (where == "center") return {midX, midY};
  if (where == "north") return {midX, top};
  if (where == "south") return {midX, bottom};
  if (where == "east") return {right, midY};
  if (where == "west") return {left, midY};
  if (where == "northeast") return {right, top};
  if (where == "northwest") return {left, top};
  if (where == "southeast") return {right, bottom};
  if (where == "southwest") return {left, bottom};
  if (where == "onscreen")
    return {std::max(left, std::min(frame.left(), right)),
            std::max(top, std::min(frame.top(), bottom))};
  throw runtime::Error("Unrecognized position \"" + where + "\" for movegui.");
}

}  // namespace

OpenPolicy openPolicy(const Value& text) {
  if (text.isText() && text.str() == "new") return OpenPolicy::New;
  if (text.isText() && text.str() == "reuse") return OpenPolicy::Reuse;
  throw runtime::Error("Second input argument must be 'new' or 'reuse'.");
}

Value openfig(const std::string& filename, OpenPolicy policy) {
  std::filesystem::path name(filename);
  if (name.extension().empty())
    name += ".fig";
  else if (name.extension() != ".fig")
    throw runtime::Error("Argument must be a .fig file");
  const QString layout = QString::fromStdString(name.stem().string());
  if (policy == OpenPolicy::Reuse) {
    if (QWidget* open = openWindowOf(layout)) {
      movegui(handleOf(open), Value::text("onscreen"));
      if (open->isVisible()) open->raise();
      return handleOf(open);
    }
  }
  QWidget* window = loadLayout(layoutFile(name.string()));
  window->setProperty("kelvaneLayout", layout);
  const Value h = handleOf(window);
  movegui(h, Value::text("onscreen"));
  return h;
}

Value guihandles(const Value& object) {
  QWidget* window = windowArgument(object);
  Value handles = Value::record();
  auto add = [&](QObject* o) {
    const std::string tag = o->objectName().toStdString();
    if (listed(o) && isvarname(tag) && !handles.hasField(tag)) handles.setField(tag, handleOf(o));
  };
  add(window);
  for (QWidget* w : window->findChildren<QWidget*>())
    if (!qobject_cast<QMenu*>(w)) add(w);
  for (QMenu* m : window->findChildren<QMenu*>()) {
    add(m);
    for (QAction* a : m->actions())
      if (!a->menu()) add(a);
  }
  return handles;
}

Value guidata(const Value& object) {
  return windowData(windowArgument(object));
}

void guidata(const Value& object, const Value& data) {
  setWindowData(windowArgument(object), data);
}

void movegui(const Value& window, const Value& position) {
  QWidget* w = windowArgument(window);
  const QScreen* s = QGuiApplication::primaryScreen();
  const QRect screen = s ? s->availableGeometry() : QRect(0, 0, 1024, 768);
  const QRect frame = frameOf(w);
  QPoint target;
  if (position.isText()) {
    target = namedPlace(position.str(), screen, frame);
  } else if (position.isReal() && position.numel() == 2) {
    const auto d = position.toDoubles();
    const int dx = static_cast<int>(d[0]), dy = static_cast<int>(d[1]);
    target.setX(dx >= 0 ? screen.left() + dx : screen.right() + dx - frame.width() + 1);
    target.setY(dy >= 0 ? screen.bottom() - dy - frame.height() + 1 : screen.top() - dy);
  } else {
    throw runtime::Error("movegui takes a position name or [left bottom], not " +
                         position.toString());
  }
  // Move by the frame's offset so that the client area follows.
  w->move(w->pos() + (target - frame.topLeft()));
}

Value tagged(const Value& handles, std::string_view tag) {
  if (!handles.isRecord() || !handles.hasField(tag))
    throw runtime::Error("The window has no object tagged " + std::string(tag) + ".");
  return handles.field(tag);
}

QObject* findTag(QWidget* window, const std::string& tag) {
  const QString name = QString::fromStdString(tag);
  if (window->objectName() == name) return window;
  if (QObject* o = window->findChild<QObject*>(name)) return o;
  return nullptr;
}

}  // namespace kelvane::toolkit
