#include "toolkit/properties.hpp"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QTextEdit>
#include <QWidget>
#include <algorithm>
#include <cmath>
#include <functional>
#include <map>
#include <optional>

#include "runtime/numbers.hpp"
#include "runtime/text.hpp"
#include "toolkit/axes.hpp"
#include "toolkit/images.hpp"
#include "toolkit/menus.hpp"
#include "toolkit/objects.hpp"

namespace kelvane::toolkit {

using runtime::Value;

namespace {

// ---- helpers ---------------------------------------------------------------------------------

[[noreturn]] void fail(const QObject* o, std::string_view property, const std::string& why) {
  throw runtime::Error(describeObject(o) + ": " + std::string(property) + " " + why);
}

bool flag(const QObject* o, std::string_view property, const Value& v) {
  if (v.isText() && (v.str() == "on" || v.str() == "off")) return v.str() == "on";
  if (v.isText() && v.str() == "inactive") return false;
  if (v.isReal() && v.numel() == 1 && (v.toDouble() == 0 || v.toDouble() == 1))
    return v.toDouble() == 1;
  fail(o, property, "must be \"on\" or \"off\", not " + v.toString());
}

Value onOff(bool b) {
  return Value::text(b ? "on" : "off");
}

std::string text(const QObject* o, std::string_view property, const Value& v) {
  if (v.isText()) return v.str();
  if (v.numel() == 0 && !v.isRecord() && !v.isList()) return {};
  if (v.isReal() && v.numel() == 1) return runtime::numToText(v.toDouble());
  fail(o, property, "must be a text, not " + v.kindName());
}

double number(const QObject* o, std::string_view property, const Value& v) {
  if (v.isReal() && v.numel() == 1) return v.toDouble();
  fail(o, property, "must be a number, not " + v.toString());
}

std::vector<double> numbers(const QObject* o, std::string_view property, const Value& v,
                            std::size_t count) {
  if (!v.isReal() || v.numel() != count)
    fail(o, property, "must be " + std::to_string(count) + " numbers, not " + v.toString());
  return v.toDoubles();
}

Value color(const QColor& c) {
  return Value::row({c.redF(), c.greenF(), c.blueF()});
}

QColor toColor(const QObject* o, std::string_view property, const Value& v) {
  const auto c = numbers(o, property, v, 3);
  for (double x : c)
    if (!(x >= 0 && x <= 1)) fail(o, property, "must hold numbers from 0 to 1");
  return QColor::fromRgbF(static_cast<float>(c[0]), static_cast<float>(c[1]),
                          static_cast<float>(c[2]));
}

// ---- the root --------------------------------------------------------------------------------

std::optional<double>& dpiOverride() {
  static std::optional<double> dpi;
  return dpi;
}

QRect screenRect() {
  application();
  const QScreen* s = QGuiApplication::primaryScreen();
  return s ? s->geometry() : QRect(0, 0, 1024, 768);
}

Value rootGet(std::string_view property) {
  if (property == "ScreenSize") {
    const QRect r = screenRect();
    return Value::row({1, 1, static_cast<double>(r.width()), static_cast<double>(r.height())});
  }
  if (property == "screenpixelsperinch") {
    if (dpiOverride()) return Value::scalar(*dpiOverride());
    application();
    const QScreen* s = QGuiApplication::primaryScreen();
    return Value::scalar(s ? std::round(s->logicalDotsPerInch()) : 96.0);
  }
  if (property == "defaultUicontrolBackgroundColor")
    return color(application().palette().color(QPalette::Window));
  if (property == "Units") return Value::text("pixels");
  if (property == "Type") return Value::text("root");
  if (property == "Tag") return Value::text("");
  throw runtime::Error("the root has no property \"" + std::string(property) + "\"");
}

void rootSet(std::string_view property, const Value& v) {
  if (property == "screenpixelsperinch") {
    if (!v.isReal() || v.numel() != 1 || !(v.toDouble() > 0))
      throw runtime::Error("the root's screenpixelsperinch must be a positive number");
    dpiOverride() = v.toDouble();
    return;
  }
  if (property == "Units" && v.isText() && v.str() == "pixels") return;
  throw runtime::Error("the root's property \"" + std::string(property) + "\" cannot be set");
}

// ---- positions -------------------------------------------------------------------------------

bool normalized(const QObject* o) {
  return o->property("kelvaneUnits").toString() == "normalized";
}

// The reference rectangle (width, height) positions are measured in: the screen for a window,
// the parent for a control.
QSize reference(const QWidget* w) {
  if (w->isWindow()) return screenRect().size();
  return w->parentWidget() ? w->parentWidget()->size() : QSize(1, 1);
}

Value positionGet(const QWidget* w) {
  QRect g = w->geometry();
  if (w->isWindow()) g.translate(-screenRect().topLeft());
  const QSize ref = reference(w);
  const double left = g.x() + 1;
  const double bottom = ref.height() - (g.y() + g.height()) + 1;
  if (normalized(w))
    return Value::row({(left - 1) / ref.width(), (bottom - 1) / ref.height(),
                       static_cast<double>(g.width()) / ref.width(),
                       static_cast<double>(g.height()) / ref.height()});
  return Value::row(
      {left, bottom, static_cast<double>(g.width()), static_cast<double>(g.height())});
}

void positionSet(QWidget* w, const Value& v) {
  auto p = numbers(w, "Position", v, 4);
  const QSize ref = reference(w);
  if (normalized(w)) {
    p = {p[0] * ref.width() + 1, p[1] * ref.height() + 1, p[2] * ref.width(), p[3] * ref.height()};
  }
  if (!(p[2] >= 0 && p[3] >= 0)) fail(w, "Position", "must have a width and height of 0 or more");
  const int width = static_cast<int>(std::lround(p[2]));
  const int height = static_cast<int>(std::lround(p[3]));
  const int x = static_cast<int>(std::lround(p[0] - 1));
  const int y = static_cast<int>(std::lround(ref.height() - (p[1] - 1) - p[3]));
  QRect g(x, y, width, height);
  if (w->isWindow()) g.translate(screenRect().topLeft());
  w->setGeometry(g);
}

// An axes keeps its position as fractions of its parent's area (so that it follows the window
// when the window is resized); in "pixels" it reads and writes pixels of the parent.
QSizeF parentArea(const QWidget* w) {
  const QWidget* p = w->parentWidget();
  return p ? QSizeF(std::max(p->width(), 1), std::max(p->height(), 1)) : QSizeF(1, 1);
}

Value axesPositionGet(const QWidget* w) {
  const auto n = normalizedPosition(w).toDoubles();
  if (normalized(w)) return Value::row(n);
  const QSizeF a = parentArea(w);
  return Value::row(
      {n[0] * a.width() + 1, n[1] * a.height() + 1, n[2] * a.width(), n[3] * a.height()});
}

void axesPositionSet(QWidget* w, const Value& v) {
  auto p = numbers(w, "Position", v, 4);
  if (!(p[2] >= 0 && p[3] >= 0)) fail(w, "Position", "must have a width and height of 0 or more");
  if (!normalized(w)) {
    const QSizeF a = parentArea(w);
    p = {(p[0] - 1) / a.width(), (p[1] - 1) / a.height(), p[2] / a.width(), p[3] / a.height()};
  }
  storeAxesValue(w, "Position", Value::row(p));
}

// ---- axes properties -------------------------------------------------------------------------

Value checkedAxesValue(const QObject* o, std::string_view name, const Value& v) {
  auto oneOf = [&](std::initializer_list<const char*> allowed) {
    const std::string s = text(o, name, v);
    for (const char* a : allowed)
      if (s == a) return Value::text(s);
    std::string list;
    for (const char* a : allowed)
      list += std::string(list.empty() ? "" : ", ") + "\"" + a + "\"";
    fail(o, name, "must be one of " + list + ", not \"" + s + "\"");
  };
  if (name == "XLim" || name == "YLim" || name == "ZLim") {
    const auto lim = numbers(o, name, v, 2);
    if (!(std::isfinite(lim[0]) && std::isfinite(lim[1]) && lim[0] < lim[1]))
      fail(o, name, "must be two increasing finite numbers, not " + v.toString());
    return Value::row(lim);
  }
  if (name == "XScale" || name == "YScale") return oneOf({"linear", "log"});
  if (name == "XGrid" || name == "YGrid" || name == "ZGrid") return onOff(flag(o, name, v));
  if (name == "GridLineStyle") return oneOf({"-", "--", ":", "-.", "none"});
  if (name == "NextPlot") return oneOf({"add", "replace"});
  if (name == "XTick") {
    if (!(v.isReal() || v.isEmpty()) || !std::is_sorted(v.realData().begin(), v.realData().end()))
      fail(o, name, "must be increasing numbers");
    return Value::row(v.isEmpty() ? std::vector<double>{} : v.toDoubles());
  }
  return Value::text(text(o, name, v));  // Title and the labels
}

Value axesDefault(std::string_view name) {
  if (name == "XLim" || name == "YLim" || name == "ZLim") return Value::row({0, 1});
  if (name == "XScale" || name == "YScale") return Value::text("linear");
  if (name == "XGrid" || name == "YGrid" || name == "ZGrid") return Value::text("off");
  if (name == "GridLineStyle") return Value::text("-");
  if (name == "NextPlot") return Value::text("replace");
  if (name == "XTick") return Value::emptyMatrix(1, 0);
  return Value::text("");
}

// ---- texts and values of controls ------------------------------------------------------------

Value stringGet(QWidget* w) {
  if (auto* e = qobject_cast<QLineEdit*>(w)) return Value::text(e->text().toStdString());
  if (auto* l = qobject_cast<QLabel*>(w)) return Value::text(l->text().toStdString());
  if (auto* b = qobject_cast<QAbstractButton*>(w)) return Value::text(b->text().toStdString());
  if (auto* g = qobject_cast<QGroupBox*>(w)) return Value::text(g->title().toStdString());
  if (auto* t = qobject_cast<QPlainTextEdit*>(w))
    return Value::text(t->toPlainText().toStdString());
  if (auto* t = qobject_cast<QTextEdit*>(w)) return Value::text(t->toPlainText().toStdString());
  if (auto* c = qobject_cast<QComboBox*>(w)) {
    std::vector<Value> items;
    for (int i = 0; i < c->count(); ++i)
      items.push_back(Value::text(c->itemText(i).toStdString()));
    return Value::list(std::move(items));
  }
  fail(w, "String", "is not a property of this control");
}

QStringList comboItems(QWidget* w, const Value& v) {
  QStringList items;
  if (v.isList()) {
    for (const Value& item : v.items())
      items << QString::fromStdString(text(w, "String", item));
  } else {
    items = QString::fromStdString(text(w, "String", v)).split('|');
  }
  return items;
}

void stringSet(QWidget* w, const Value& v) {
  if (auto* c = qobject_cast<QComboBox*>(w)) {
    const int keep = c->currentIndex();
    c->clear();
    c->addItems(comboItems(w, v));
    c->setCurrentIndex(std::min(keep, c->count() - 1));
    return;
  }
  const QString s = QString::fromStdString(text(w, "String", v));
  if (auto* e = qobject_cast<QLineEdit*>(w)) {
    e->setText(s);
    e->setCursorPosition(0);
  } else if (auto* l = qobject_cast<QLabel*>(w)) {
    l->setText(s);
  } else if (auto* b = qobject_cast<QAbstractButton*>(w)) {
    b->setText(s);
  } else if (auto* g = qobject_cast<QGroupBox*>(w)) {
    g->setTitle(s);
  } else if (auto* t = qobject_cast<QPlainTextEdit*>(w)) {
    t->setPlainText(s);
  } else if (auto* t = qobject_cast<QTextEdit*>(w)) {
    t->setPlainText(s);
  } else {
    fail(w, "String", "is not a property of this control");
  }
}

Value valueGet(QWidget* w) {
  if (auto* c = qobject_cast<QComboBox*>(w)) return Value::scalar(c->currentIndex() + 1);
  if (auto* b = qobject_cast<QAbstractButton*>(w); b && b->isCheckable())
    return Value::scalar(b->isChecked() ? 1 : 0);
  // Edit fields and labels keep the last accepted number.
  const QVariant stored = w->property("kelvaneValue");
  return Value::scalar(stored.isValid() ? stored.toDouble() : 0.0);
}

void valueSet(QWidget* w, const Value& v) {
  const double x = number(w, "Value", v);
  if (auto* c = qobject_cast<QComboBox*>(w)) {
    if (!runtime::isWholeIn(x, 1, c->count()))
      fail(w, "Value",
           "must be an entry from 1 to " + std::to_string(c->count()) + ", not " +
               runtime::numToText(x));
    c->setCurrentIndex(static_cast<int>(x) - 1);
    return;
  }
  if (auto* b = qobject_cast<QAbstractButton*>(w); b && b->isCheckable()) {
    b->setChecked(x != 0);
    return;
  }
  w->setProperty("kelvaneValue", x);
}

Value styleOf(QWidget* w) {
  if (qobject_cast<QLineEdit*>(w) || qobject_cast<QPlainTextEdit*>(w) ||
      qobject_cast<QTextEdit*>(w))
    return Value::text("edit");
  if (qobject_cast<QComboBox*>(w)) return Value::text("popupmenu");
  if (qobject_cast<QCheckBox*>(w)) return Value::text("checkbox");
  if (qobject_cast<QRadioButton*>(w)) return Value::text("radiobutton");
  if (qobject_cast<QAbstractButton*>(w)) return Value::text("pushbutton");
  if (qobject_cast<QLabel*>(w)) return Value::text("text");
  return Value::text("frame");
}

// ---- fonts -----------------------------------------------------------------------------------

Value fontSizeGet(QObject* o) {
  if (auto* a = qobject_cast<QAction*>(o)) return Value::scalar(a->font().pointSizeF());
  return Value::scalar(qobject_cast<QWidget*>(o)->font().pointSizeF());
}

void fontSizeSet(QObject* o, const Value& v) {
  const double size = number(o, "FontSize", v);
  if (!(size > 0 && size < 1000)) fail(o, "FontSize", "must be a positive number of points");
  if (auto* a = qobject_cast<QAction*>(o)) {
    QFont f = a->font();
    f.setPointSizeF(size);
    a->setFont(f);
    return;
  }
  auto* w = qobject_cast<QWidget*>(o);
  QFont f = w->font();
  f.setPointSizeF(size);
  w->setFont(f);
}

// ---- windows ---------------------------------------------------------------------------------

void updateTitle(QWidget* w) {
  const QString name = w->property("kelvaneName").toString();
  if (w->property("kelvaneNumberTitle").toBool()) {
    const auto id = handleOf(w).handleId();
    w->setWindowTitle(QString("Figure %1").arg(id) + (name.isEmpty() ? "" : ": " + name));
  } else {
    w->setWindowTitle(name);
  }
}

QMenuBar* menuBarOf(QWidget* w) {
  if (auto* m = qobject_cast<QMainWindow*>(w)) return m->menuBar();
  return w->findChild<QMenuBar*>(QString(), Qt::FindDirectChildrenOnly);
}

// A plot window's own menus (the toolkit's standard figure menus, flagged
// "kelvaneStandardMenu") are what "MenuBar" shows or hides; the menus a program adds stay. A
// window without them shows or hides its whole menu bar.
std::vector<QMenu*> standardMenus(QWidget* w) {
  std::vector<QMenu*> menus;
  if (QMenuBar* bar = menuBarOf(w))
    for (QMenu* m : bar->findChildren<QMenu*>(QString(), Qt::FindDirectChildrenOnly))
      if (m->property("kelvaneStandardMenu").toBool()) menus.push_back(m);
  return menus;
}

Value menuBarGet(QWidget* w) {
  const auto standard = standardMenus(w);
  if (!standard.empty())
    return Value::text(std::any_of(standard.begin(), standard.end(),
                                   [](QMenu* m) { return m->menuAction()->isVisible(); })
                           ? "figure"
                           : "none");
  QMenuBar* m = menuBarOf(w);
  return Value::text(m && !m->isHidden() ? "figure" : "none");
}

void menuBarSet(QWidget* w, bool figure) {
  const auto standard = standardMenus(w);
  for (QMenu* m : standard)
    m->menuAction()->setVisible(figure);
  if (standard.empty())
    if (QMenuBar* m = menuBarOf(w)) m->setVisible(figure);
}

Value windowColorGet(QWidget* w) {
  return color(w->palette().color(QPalette::Window));
}

void windowColorSet(QWidget* w, const Value& v) {
  QPalette p = w->palette();
  p.setColor(QPalette::Window, toColor(w, "Color", v));
  w->setPalette(p);
  w->setAutoFillBackground(true);
}

void pointerSet(QWidget* w, const Value& v) {
  const std::string shape = text(w, "Pointer", v);
  if (shape == "watch") {
    w->setCursor(Qt::WaitCursor);
  } else if (shape == "arrow") {
    w->unsetCursor();
  } else {
    fail(w, "Pointer", "must be \"arrow\" or \"watch\", not \"" + shape + "\"");
  }
  w->setProperty("kelvanePointer", QString::fromStdString(shape));
}

// ---- the property table ----------------------------------------------------------------------

using Getter = std::function<Value(QObject*)>;
using Setter = std::function<void(QObject*, const Value&)>;

struct Property {
  unsigned kinds;  // bit (1 << ObjectKind)
  Getter get;
  Setter set;  // empty: read-only
};

constexpr unsigned bit(ObjectKind k) {
  return 1u << static_cast<unsigned>(k);
}
constexpr unsigned kWindow = bit(ObjectKind::Window);
constexpr unsigned kControl = bit(ObjectKind::Control);
constexpr unsigned kMenu = bit(ObjectKind::Menu);
constexpr unsigned kItem = bit(ObjectKind::MenuItem);
constexpr unsigned kAxes = bit(ObjectKind::Axes);
constexpr unsigned kAll = kWindow | kControl | kMenu | kItem | kAxes;

QWidget* widget(QObject* o) {
  return qobject_cast<QWidget*>(o);
}
QAction* action(QObject* o) {
  if (auto* a = qobject_cast<QAction*>(o)) return a;
  return qobject_cast<QMenu*>(o)->menuAction();
}

Value typeOf(QObject* o) {
  switch (kindOf(o)) {
    case ObjectKind::Window:
      return Value::text("figure");
    case ObjectKind::Menu:
    case ObjectKind::MenuItem:
      return Value::text("uimenu");
    case ObjectKind::Axes:
      return Value::text("axes");
    default:
      return Value::text("uicontrol");
  }
}

Value parentOf(QObject* o) {
  if (kindOf(o) == ObjectKind::Window) return Value::handle(kRootHandle);
  QObject* p = o->parent();
  // A menu hangs from the window's menu bar, which is no object of its own here.
  while (p && qobject_cast<QMenuBar*>(p))
    p = p->parent();
  if (auto* w = qobject_cast<QWidget*>(p);
      w && !w->isWindow() && !qobject_cast<QMenu*>(w) && w->objectName().isEmpty())
    return handleOf(windowOf(o));
  return p ? handleOf(p) : Value::handle(kRootHandle);
}

std::map<std::string, Property, std::less<>> buildTable();

const std::map<std::string, Property, std::less<>>& table() {
  static const auto t = buildTable();
  return t;
}

std::map<std::string, Property, std::less<>> buildTable() {
  std::map<std::string, Property, std::less<>> t;
  t["Tag"] = {kAll, [](QObject* o) { return Value::text(tagOf(o)); },
              [](QObject* o, const Value& v) {
                o->setObjectName(QString::fromStdString(text(o, "Tag", v)));
              }};
  t["Type"] = {kAll, typeOf, {}};
  t["Parent"] = {kAll, parentOf, {}};
  t["Visible"] = {kAll,
                  [](QObject* o) {
                    if (auto* w = widget(o); w && !qobject_cast<QMenu*>(o))
                      return onOff(w->isWindow() ? w->isVisible() : !w->isHidden());
                    return onOff(action(o)->isVisible());
                  },
                  [](QObject* o, const Value& v) {
                    const bool on = flag(o, "Visible", v);
                    if (auto* w = widget(o); w && !qobject_cast<QMenu*>(o)) {
                      w->setVisible(on);
                      if (on && w->isWindow()) w->raise();
                    } else {
                      action(o)->setVisible(on);
                    }
                  }};
  t["Enable"] = {kControl | kMenu | kItem | kAxes,
                 [](QObject* o) {
                   if (auto* w = widget(o); w && !qobject_cast<QMenu*>(o))
                     return onOff(w->isEnabled());
                   return onOff(action(o)->isEnabled());
                 },
                 [](QObject* o, const Value& v) {
                   const bool on = flag(o, "Enable", v);
                   if (auto* w = widget(o); w && !qobject_cast<QMenu*>(o))
                     w->setEnabled(on);
                   else
                     action(o)->setEnabled(on);
                 }};
  t["UserData"] = {kAll, [](QObject* o) { return userData(o); },
                   [](QObject* o, const Value& v) { setUserData(o, v); }};
  t["Position"] = {kWindow | kControl | kAxes,
                   [](QObject* o) {
                     return kindOf(o) == ObjectKind::Axes ? axesPositionGet(widget(o))
                                                          : positionGet(widget(o));
                   },
                   [](QObject* o, const Value& v) {
                     if (kindOf(o) == ObjectKind::Axes) return axesPositionSet(widget(o), v);
                     positionSet(widget(o), v);
                   }};
  for (std::string_view name : axesPropertyNames())
    t[std::string(name)] = {kAxes,
                            [name](QObject* o) {
                              const Value v = axesValue(o, name);
                              return v.kind() == runtime::Kind::Empty ? axesDefault(name) : v;
                            },
                            [name](QObject* o, const Value& v) {
                              storeAxesValue(o, name, checkedAxesValue(o, name, v));
                            }};
  t["Units"] = {kWindow | kControl | kAxes,
                [](QObject* o) { return Value::text(normalized(o) ? "normalized" : "pixels"); },
                [](QObject* o, const Value& v) {
                  const std::string u = text(o, "Units", v);
                  if (u != "pixels" && u != "normalized")
                    fail(o, "Units", "must be \"pixels\" or \"normalized\", not \"" + u + "\"");
                  o->setProperty("kelvaneUnits", QString::fromStdString(u));
                }};
  t["FontSize"] = {kControl | kItem | kMenu | kAxes, fontSizeGet, fontSizeSet};
  t["TooltipString"] = {
      kControl | kAxes, [](QObject* o) { return Value::text(widget(o)->toolTip().toStdString()); },
      [](QObject* o, const Value& v) {
        widget(o)->setToolTip(QString::fromStdString(text(o, "TooltipString", v)));
      }};
  t["String"] = {kControl, [](QObject* o) { return stringGet(widget(o)); },
                 [](QObject* o, const Value& v) { stringSet(widget(o), v); }};
  t["Value"] = {kControl, [](QObject* o) { return valueGet(widget(o)); },
                [](QObject* o, const Value& v) { valueSet(widget(o), v); }};
  t["Style"] = {kControl, [](QObject* o) { return styleOf(widget(o)); }, {}};
  t["CData"] = {kControl, [](QObject* o) { return imageData(widget(o)); },
                [](QObject* o, const Value& v) { setImageData(widget(o), v); }};
  t["Callback"] = {
      kControl | kItem | kMenu,
      [](QObject* o) { return Value::text(o->property("callback").toString().toStdString()); },
      [](QObject* o, const Value& v) {
        o->setProperty("callback", QString::fromStdString(text(o, "Callback", v)));
      }};
  t["Name"] = {
      kWindow,
      [](QObject* o) { return Value::text(o->property("kelvaneName").toString().toStdString()); },
      [](QObject* o, const Value& v) {
        o->setProperty("kelvaneName", QString::fromStdString(text(o, "Name", v)));
        updateTitle(widget(o));
      }};
  t["NumberTitle"] = {kWindow,
                      [](QObject* o) { return onOff(o->property("kelvaneNumberTitle").toBool()); },
                      [](QObject* o, const Value& v) {
                        o->setProperty("kelvaneNumberTitle", flag(o, "NumberTitle", v));
                        updateTitle(widget(o));
                      }};
  t["Color"] = {kWindow, [](QObject* o) { return windowColorGet(widget(o)); },
                [](QObject* o, const Value& v) { windowColorSet(widget(o), v); }};
  t["Pointer"] = {kWindow,
                  [](QObject* o) {
                    const QString p = o->property("kelvanePointer").toString();
                    return Value::text(p.isEmpty() ? "arrow" : p.toStdString());
                  },
                  [](QObject* o, const Value& v) { pointerSet(widget(o), v); }};
  t["MenuBar"] = {kWindow, [](QObject* o) { return menuBarGet(widget(o)); },
                  [](QObject* o, const Value& v) {
                    const std::string s = text(o, "MenuBar", v);
                    if (s != "figure" && s != "none")
                      fail(o, "MenuBar", "must be \"figure\" or \"none\", not \"" + s + "\"");
                    menuBarSet(widget(o), s == "figure");
                  }};
  t["Label"] = {kMenu | kItem,
                [](QObject* o) { return Value::text(action(o)->text().toStdString()); },
                [](QObject* o, const Value& v) {
                  const QString label = QString::fromStdString(text(o, "Label", v));
                  action(o)->setText(label);
                  if (auto* m = qobject_cast<QMenu*>(o)) m->setTitle(label);
                }};
  t["Checked"] = {kItem, [](QObject* o) { return onOff(action(o)->isChecked()); },
                  [](QObject* o, const Value& v) {
                    QAction* a = action(o);
                    a->setCheckable(true);
                    a->setChecked(flag(o, "Checked", v));
                  }};
  t["Separator"] = {
      kMenu | kItem, [](QObject* o) { return onOff(o->property("kelvaneSeparator").toBool()); },
      [](QObject* o, const Value& v) { setSeparatorAbove(o, flag(o, "Separator", v)); }};
  return t;
}

const Property& find(QObject* o, std::string_view property) {
  const auto& t = table();
  const auto it = t.find(property);
  if (it == t.end() || !(it->second.kinds & bit(kindOf(o))))
    throw runtime::Error(describeObject(o) + " has no property \"" + std::string(property) + "\"");
  return it->second;
}

}  // namespace

Value get(const Value& handle, std::string_view property) {
  if (isRoot(handle)) return rootGet(property);
  QObject* o = objectOf(handle);
  return find(o, property).get(o);
}

void set(const Value& handle, std::string_view property, const Value& value) {
  if (isRoot(handle)) return rootSet(property, value);
  QObject* o = objectOf(handle);
  const Property& p = find(o, property);
  if (!p.set) fail(o, property, "cannot be set");
  p.set(o, value);
}

void set(const Value& handle, const std::vector<std::pair<std::string_view, Value>>& properties) {
  for (const auto& [name, value] : properties)
    set(handle, name, value);
}

bool hasProperty(const Value& handle, std::string_view property) {
  if (isRoot(handle))
    return property == "ScreenSize" || property == "screenpixelsperinch" ||
           property == "defaultUicontrolBackgroundColor" || property == "Units";
  QObject* o = objectOf(handle);
  const auto& t = table();
  const auto it = t.find(property);
  return it != t.end() && (it->second.kinds & bit(kindOf(o)));
}

void resetScreenResolution() {
  dpiOverride().reset();
}

}  // namespace kelvane::toolkit
