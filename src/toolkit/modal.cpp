#include "toolkit/modal.hpp"

#include <QApplication>
#include <QEvent>
#include <QEventLoop>
#include <QPointer>
#include <QTimer>
#include <QWidget>
#include <deque>
#include <map>

#include "toolkit/objects.hpp"
#include "toolkit/properties.hpp"

namespace kelvane::toolkit {

namespace {

std::map<const QWidget*, QEventLoop*>& loops() {
  static std::map<const QWidget*, QEventLoop*> l;
  return l;
}

std::deque<std::function<void(QWidget*)>>& actions() {
  static std::deque<std::function<void(QWidget*)>> a;
  return a;
}

// Ends a wait when its window is hidden (a dialog's OK or close hides it).
class HideWatcher : public QObject {
 public:
  HideWatcher(QWidget* window, QEventLoop* loop) : QObject(window), loop_(loop) {
    window->installEventFilter(this);
  }
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::Hide) loop_->quit();
    return false;
  }

 private:
  QEventLoop* loop_;
};

}  // namespace

void waitFor(QWidget* window) {
  if (!window || loops().count(window)) return;
  QPointer<QWidget> guard(window);
  QEventLoop loop;
  loops()[window] = &loop;
  const Qt::WindowModality before = window->windowModality();
  if (before != Qt::ApplicationModal) {
    const bool visible = window->isVisible();
    window->hide();
    window->setWindowModality(Qt::ApplicationModal);
    if (visible) window->show();
  }
  if (!window->isVisible()) window->show();
  window->raise();
  window->activateWindow();
  auto* watcher = new HideWatcher(window, &loop);
  QObject::connect(window, &QObject::destroyed, &loop, &QEventLoop::quit);
  modalStarted(window);
  loop.exec();
  loops().erase(window);
  if (guard) {
    delete watcher;
    // A window that stays up after its wait is no longer modal. Qt takes a change of modality
    // only on a hidden window (and keeps a visible one in its list of modal windows).
    const bool visible = guard->isVisible();
    if (visible) guard->hide();
    guard->setWindowModality(before);
    if (visible) guard->show();
  }
}

void resume(QWidget* window) {
  const auto it = loops().find(window);
  if (it != loops().end()) it->second->quit();
}

bool isWaiting(const QWidget* window) {
  return loops().count(window) != 0;
}

void whenModal(std::function<void(QWidget* modal)> action) {
  actions().push_back(std::move(action));
}

void clearModalActions() {
  actions().clear();
}

std::size_t pendingModalActions() {
  return actions().size();
}

void modalStarted(QWidget* modal) {
  if (actions().empty()) return;
  auto action = std::move(actions().front());
  actions().pop_front();
  // Runs inside the modal loop that is about to start, while the window or box is still there.
  QPointer<QWidget> target(modal);
  QTimer::singleShot(0, &application(), [run = std::move(action), target] {
    if (target) run(target.data());
  });
}

BusyPointer::BusyPointer(QWidget* window)
    : window_(window), wasBusy_(window && get(handleOf(window), "Pointer").str() == "watch") {
  if (window_) set(handleOf(window_), "Pointer", runtime::Value::text("watch"));
}

BusyPointer::~BusyPointer() {
  try {
    if (window_ && !wasBusy_) set(handleOf(window_), "Pointer", runtime::Value::text("arrow"));
  } catch (const std::exception&) {
    // The window went away during the long action: nothing to restore.
  }
}

}  // namespace kelvane::toolkit
