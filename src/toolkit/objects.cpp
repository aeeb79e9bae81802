#include "toolkit/objects.hpp"

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QPointer>
#include <QWidget>
#include <map>

namespace kelvane::toolkit {

namespace {

constexpr const char* kHandleProperty = "kelvaneHandle";

struct Registry {
  std::uint64_t next = 1;
  std::map<std::uint64_t, QPointer<QObject>> objects;
};

Registry& registry() {
  static Registry r;
  return r;
}

[[noreturn]] void invalid() {
  throw runtime::Error("Invalid handle");
}

std::map<const QObject*, runtime::Value>& userValues() {
  static std::map<const QObject*, runtime::Value> values;
  return values;
}

}  // namespace

runtime::Value userData(QObject* object) {
  const auto it = userValues().find(object);
  return it == userValues().end() ? runtime::Value() : it->second;
}

void setUserData(QObject* object, runtime::Value value) {
  auto& values = userValues();
  const bool fresh = values.find(object) == values.end();
  values[object] = std::move(value);
  if (fresh)
    QObject::connect(object, &QObject::destroyed, [object] { userValues().erase(object); });
}

QApplication& application() {
  if (auto* app = qobject_cast<QApplication*>(QCoreApplication::instance())) return *app;
  // The arguments must outlive the application.
  static int argc = 1;
  static char name[] = "kelvane";
  static char* argv[] = {name, nullptr};
  static QApplication* app = new QApplication(argc, argv);
  return *app;
}

runtime::Value handleOf(QObject* object) {
  if (!object) invalid();
  const QVariant known = object->property(kHandleProperty);
  if (known.isValid()) return runtime::Value::handle(known.toULongLong());
  Registry& r = registry();
  const std::uint64_t id = r.next++;
  r.objects.emplace(id, QPointer<QObject>(object));
  object->setProperty(kHandleProperty, QVariant::fromValue<qulonglong>(id));
  return runtime::Value::handle(id);
}

bool isRoot(const runtime::Value& handle) {
  return (handle.isHandle() && handle.handleId() == kRootHandle) ||
         (handle.isReal() && handle.numel() == 1 && handle.toDouble() == 0);
}

QObject* objectOf(const runtime::Value& handle) {
  if (!handle.isHandle()) invalid();
  Registry& r = registry();
  const auto it = r.objects.find(handle.handleId());
  if (it == r.objects.end()) invalid();
  if (!it->second) {
    r.objects.erase(it);  // deleted by Qt: forget it
    invalid();
  }
  return it->second.data();
}

bool isValidHandle(const runtime::Value& handle) {
  if (isRoot(handle)) return true;
  try {
    objectOf(handle);
    return true;
  } catch (const runtime::Error&) {
    return false;
  }
}

ObjectKind kindOf(QObject* object) {
  if (qobject_cast<QAction*>(object)) return ObjectKind::MenuItem;
  if (qobject_cast<QMenu*>(object)) return ObjectKind::Menu;
  if (object->property("kelvaneAxes").toBool()) return ObjectKind::Axes;
  if (auto* w = qobject_cast<QWidget*>(object); w && w->isWindow()) return ObjectKind::Window;
  return ObjectKind::Control;
}

QWidget* windowOf(QObject* object) {
  for (QObject* o = object; o; o = o->parent()) {
    auto* w = qobject_cast<QWidget*>(o);
    if (w && w->isWindow() && !qobject_cast<QMenu*>(w)) return w;
  }
  return nullptr;
}

QWidget* windowOf(const runtime::Value& handle) {
  return windowOf(objectOf(handle));
}

std::string tagOf(const QObject* object) {
  return object ? object->objectName().toStdString() : std::string();
}

std::string describeObject(const QObject* object) {
  const std::string tag = tagOf(object);
  if (!tag.empty()) return tag;
  switch (kindOf(const_cast<QObject*>(object))) {
    case ObjectKind::Window:
      return "a window without a tag";
    case ObjectKind::Menu:
      return "a menu without a tag";
    case ObjectKind::MenuItem:
      return "a menu item without a tag";
    case ObjectKind::Axes:
      return "axes without a tag";
    default:
      return "a control without a tag";
  }
}

void deleteObject(const runtime::Value& handle) {
  QObject* o = objectOf(handle);
  // The object and everything inside it lose their handles at once, even where Qt deletes the
  // object later.
  QList<QObject*> gone = o->findChildren<QObject*>();
  gone.push_back(o);
  for (QObject* g : gone) {
    const QVariant id = g->property(kHandleProperty);
    if (id.isValid()) registry().objects.erase(id.toULongLong());
  }
  if (qobject_cast<QAction*>(o) || qobject_cast<QMenu*>(o)) {
    delete o;  // a menu or menu item goes at once, out of every menu that shows it
    return;
  }
  if (auto* w = qobject_cast<QWidget*>(o)) w->hide();
  // A window may be deleted from one of its own callbacks: let Qt finish that first.
  o->deleteLater();
}

}  // namespace kelvane::toolkit
