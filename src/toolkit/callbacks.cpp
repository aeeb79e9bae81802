#include "toolkit/callbacks.hpp"

#include <QAbstractButton>
#include <QCloseEvent>
#include <QComboBox>
#include <QLineEdit>
#include <QWidget>
#include <map>
#include <vector>

#include "registry/registry.hpp"
#include "toolkit/axes.hpp"
#include "toolkit/objects.hpp"

namespace kelvane::toolkit {

using runtime::Value;

namespace {

std::map<const QWidget*, Value>& windowValues() {
  static std::map<const QWidget*, Value> values;
  return values;
}

QString moduleOf(QObject* source) {
  const QString own = source->property("module").toString();
  if (!own.isEmpty()) return own;
  QWidget* window = windowOf(source);
  return window ? window->property("module").toString() : QString();
}

// `callback` may name its module too: "rfCommonUI/menuFileExit_Callback".
void dispatch(QObject* source, QString callback) {
  QString module = moduleOf(source);
  if (const auto slash = callback.indexOf('/'); slash > 0) {
    module = callback.left(slash);
    callback = callback.mid(slash + 1);
  }
  try {
    if (module.isEmpty())
      throw runtime::Error("The callback \"" + callback.toStdString() + "\" of " +
                           describeObject(source) + " names no module.");
    const std::vector<Value> args = {Value::text(callback.toStdString()), handleOf(source), Value(),
                                     windowData(windowOf(source))};
    // The module's own table when it has one (its dispatcher guards and prints errors), else the
    // operation of that name.
    if (const registry::Table* table = registry::library().findModule(module.toStdString()))
      registry::dispatch(*table, args, 0);
    else
      registry::call(module.toStdString(), args, 0);
  } catch (const std::exception& e) {
    registry::printToConsole(e.what());
  }
}

// Turns a window's close box into its close-request callback.
class CloseFilter : public QObject {
 public:
  using QObject::QObject;
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() != QEvent::Close) return false;
    const QString callback = watched->property("closeRequest").toString();
    if (callback.isEmpty()) return false;  // closes (and so deletes) the window
    event->ignore();
    dispatch(watched, callback);
    return true;
  }
};

void wireControl(QWidget* control) {
  if (auto* edit = qobject_cast<QLineEdit*>(control)) {
    // Committed by Return or by leaving the field, once per change the operator made.
    QObject::connect(edit, &QLineEdit::editingFinished, edit, [edit] {
      if (!edit->isModified()) return;
      edit->setModified(false);
      runCallback(edit);
    });
  } else if (auto* combo = qobject_cast<QComboBox*>(control)) {
    QObject::connect(combo, &QComboBox::activated, combo, [combo](int) { runCallback(combo); });
  } else if (auto* button = qobject_cast<QAbstractButton*>(control)) {
    QObject::connect(button, &QAbstractButton::clicked, button,
                     [button](bool) { runCallback(button); });
  }
}

}  // namespace

void wireCallbacks(QWidget* window) {
  for (QWidget* control : window->findChildren<QWidget*>())
    if (!control->property("callback").toString().isEmpty()) wireControl(control);
  window->installEventFilter(new CloseFilter(window));
}

void runCallback(QObject* source) {
  const QString command = source->property("command").toString();
  if (!command.isEmpty()) return runCommand(source, command.toStdString());
  const QString callback = source->property("callback").toString();
  if (!callback.isEmpty()) dispatch(source, callback);
}

namespace {

std::map<std::string, Command, std::less<>>& commands() {
  static std::map<std::string, Command, std::less<>> c = {{"close(gcf)", [](QWidget*) {
                                                             if (QWidget* figure = currentFigure())
                                                               deleteObject(handleOf(figure));
                                                           }}};
  return c;
}

}  // namespace

void registerCommand(const std::string& text, Command run) {
  commands()[text] = std::move(run);
}

bool hasCommand(const std::string& text) {
  return commands().count(text) != 0;
}

void runCommand(QObject* source, const std::string& text) {
  QWidget* window = windowOf(source);
  try {
    setCurrentFigure(window);
    const auto it = commands().find(text);
    if (it != commands().end()) {
      it->second(window);
    } else {
      registry::call(text, {}, 0);
    }
  } catch (const std::exception& e) {
    registry::printToConsole(e.what());
  }
}

Value windowData(QWidget* window) {
  const auto it = windowValues().find(window);
  return it == windowValues().end() ? Value() : it->second;
}

void setWindowData(QWidget* window, Value data) {
  auto& values = windowValues();
  const bool fresh = values.find(window) == values.end();
  values[window] = std::move(data);
  if (fresh)
    QObject::connect(window, &QObject::destroyed, [window] { windowValues().erase(window); });
}

}  // namespace kelvane::toolkit
