// Modal waiting: a callback waits for a window until another callback resumes it or the window
// is closed (a nested event loop; the window is modal meanwhile). Tests queue actions that run
// when a modal wait or a modal box starts, so that modal flows run end to end without a person.
#pragma once

#include <QPointer>
#include <QWidget>
#include <functional>

namespace kelvane::toolkit {

// Shows `window` modally and returns when resume(window) is called or the window is deleted or
// hidden. A wait on a window that is already waited for returns at once.
void waitFor(QWidget* window);
void resume(QWidget* window);
bool isWaiting(const QWidget* window);

// Queues `action` to run (once, on the event thread) when the next modal wait or modal box
// starts, with that window or box; actions run in the order queued, one per modal start.
void whenModal(std::function<void(QWidget* modal)> action);
void clearModalActions();
std::size_t pendingModalActions();
// Called by whatever opens something modal (the waits here and the Qt dialogs) with it.
void modalStarted(QWidget* modal);

// The "watch" pointer on a window for the life of the object.
class BusyPointer {
 public:
  explicit BusyPointer(QWidget* window);
  ~BusyPointer();
  BusyPointer(const BusyPointer&) = delete;
  BusyPointer& operator=(const BusyPointer&) = delete;

 private:
  QPointer<QWidget> window_;
  bool wasBusy_;
};

}  // namespace kelvane::toolkit
