// Window objects by handle: every window, control, menu, menu item and axes the toolkit shows is
// named by a handle, the by-name `Value` handle kind; the screen is the root, handle 0. A handle
// of an object that no longer exists is invalid, and using it is the error "Invalid handle",
// never a crash: the registry holds guarded pointers that go null when Qt deletes the object.
#pragma once

#include <cstdint>
#include <string>

#include "runtime/value.hpp"

class QObject;
class QWidget;
class QApplication;

namespace kelvane::toolkit {

inline constexpr std::uint64_t kRootHandle = 0;

enum class ObjectKind { Root, Window, Control, Menu, MenuItem, Axes };

// The process's QApplication, created on first use when the host has not made one (the
// command-line tool never calls this; the desktop host and the tests do).
QApplication& application();

// The handle of `object`, registered on first use; the same object always has the same handle.
runtime::Value handleOf(QObject* object);
// The object of `handle`; throws runtime::Error "Invalid handle" for a deleted object, a handle
// never issued, the root (which is no object) or a value that is not a handle.
QObject* objectOf(const runtime::Value& handle);
// True when `handle` names the root or a live object.
bool isValidHandle(const runtime::Value& handle);
bool isRoot(const runtime::Value& handle);

ObjectKind kindOf(QObject* object);
// The top-level window an object belongs to (a menu item's window included), or nullptr.
QWidget* windowOf(QObject* object);
QWidget* windowOf(const runtime::Value& handle);

// The object's tag (its Qt object name), "" when it has none.
std::string tagOf(const QObject* object);
// A description for messages: the tag, or the object's kind when it has no tag.
std::string describeObject(const QObject* object);

// A value kept with an object ("UserData"); empty until set. Dropped with the object.
runtime::Value userData(QObject* object);
void setUserData(QObject* object, runtime::Value value);

// Deletes the object of `handle` (and everything inside it); its handles become invalid.
void deleteObject(const runtime::Value& handle);

}  // namespace kelvane::toolkit
