#include "toolkit/menus.hpp"

#include <QAction>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPointer>
#include <QVBoxLayout>
#include <QWidget>

#include "toolkit/callbacks.hpp"
#include "toolkit/objects.hpp"

namespace kelvane::toolkit {

using runtime::Value;

namespace {

QMenuBar* ensureMenuBar(QWidget* window) {
  if (auto* m = qobject_cast<QMainWindow*>(window)) return m->menuBar();
  if (auto* bar = window->findChild<QMenuBar*>(QString(), Qt::FindDirectChildrenOnly)) return bar;
  auto* bar = new QMenuBar(window);
  if (window->layout()) {
    window->layout()->setMenuBar(bar);
  } else {
    auto* layout = new QVBoxLayout(window);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setMenuBar(bar);
  }
  return bar;
}

QMenu* menuOf(const Value& handle) {
  auto* menu = qobject_cast<QMenu*>(objectOf(handle));
  if (!menu) throw runtime::Error(describeObject(objectOf(handle)) + " is not a menu");
  return menu;
}

void applySpec(QObject* item, QAction* action, const MenuItemSpec& spec) {
  item->setObjectName(QString::fromStdString(spec.tag));
  action->setText(QString::fromStdString(spec.label));
  action->setVisible(spec.visible);
  action->setEnabled(spec.enabled);
  if (!spec.callback.empty()) item->setProperty("callback", QString::fromStdString(spec.callback));
  if (!spec.module.empty()) item->setProperty("module", QString::fromStdString(spec.module));
  if (!spec.command.empty()) item->setProperty("command", QString::fromStdString(spec.command));
  setSeparatorAbove(item, spec.separatorAbove);
}

}  // namespace

Value addMenu(const Value& window, const std::string& label, const std::string& tag,
              bool standard) {
  auto* w = qobject_cast<QWidget*>(objectOf(window));
  if (!w || kindOf(w) != ObjectKind::Window)
    throw runtime::Error("A menu belongs to a window; " + describeObject(objectOf(window)) +
                         " is none");
  QMenuBar* bar = ensureMenuBar(w);
  auto* menu = bar->addMenu(QString::fromStdString(label));
  menu->setObjectName(QString::fromStdString(tag));
  if (standard) menu->setProperty("kelvaneStandardMenu", true);
  return handleOf(menu);
}

Value addSubmenu(const Value& menu, const MenuItemSpec& spec) {
  QMenu* parent = menuOf(menu);
  QMenu* sub = parent->addMenu(QString::fromStdString(spec.label));
  applySpec(sub, sub->menuAction(), spec);
  return handleOf(sub);
}

Value addMenuItem(const Value& menu, const MenuItemSpec& spec) {
  QMenu* parent = menuOf(menu);
  auto* action = new QAction(parent);
  parent->addAction(action);
  applySpec(action, action, spec);
  // A check mark is the callback's to set: Qt's own toggle of a checkable item is undone first.
  QObject::connect(action, &QAction::triggered, action, [action](bool checked) {
    if (action->isCheckable()) action->setChecked(!checked);
    runCallback(action);
  });
  return handleOf(action);
}

void setSeparatorAbove(QObject* item, bool on) {
  QAction* action = qobject_cast<QAction*>(item);
  if (!action) action = qobject_cast<QMenu*>(item)->menuAction();
  auto* menu = qobject_cast<QMenu*>(item->parent());
  auto* existing = item->property("kelvaneSeparatorAction").value<QAction*>();
  if (existing && !on) {
    delete existing;
    item->setProperty("kelvaneSeparatorAction", QVariant());
  }
  if (on && !existing && menu) {
    QAction* line = menu->insertSeparator(action);
    item->setProperty("kelvaneSeparatorAction", QVariant::fromValue(line));
    // The line shows and goes with its item.
    line->setVisible(action->isVisible());
    QObject::connect(action, &QAction::visibleChanged, line,
                     [action, line] { line->setVisible(action->isVisible()); });
    QObject::connect(action, &QObject::destroyed, line, [l = QPointer<QAction>(line)] {
      if (l) l->deleteLater();
    });
  }
  item->setProperty("kelvaneSeparator", on);
}

}  // namespace kelvane::toolkit
