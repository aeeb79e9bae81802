// Callbacks by name. A control names its callback in the layout (the dynamic property
// "callback"); its window names the module whose dispatcher runs it (the property "module"); a
// menu item may name its own module. When the operator uses a control, the toolkit calls
//   <module>(<callback>, control handle, [], the window's handles)
// by name, the calling form of every control callback. Errors are printed to the console and
// the window stays usable.
#pragma once

#include <functional>
#include <string>

#include "runtime/value.hpp"

class QObject;
class QWidget;

namespace kelvane::toolkit {

// Connects the natural signal of every control of `window` that names a callback: a pop-up list
// chosen, an edit field committed with Return or by leaving it after a change, a check box,
// radio button or push button clicked. A close request of the window runs the callback named
// by its "closeRequest" property, or closes the window when it names none.
void wireCallbacks(QWidget* window);

// Runs the callback `source` names (nothing when it names none), or its menu command.
void runCallback(QObject* source);

// Menu commands: a menu item's "command" names a toolkit command registered here ("print",
// "close(gcf)", "zoom out", ...) or an operation that takes no inputs ("KR_Zoom"). It runs with
// the item's window made the current figure; errors are printed to the console. "close(gcf)"
// (delete the current figure) is the toolkit's own; plot windows register the others.
using Command = std::function<void(QWidget* window)>;
void registerCommand(const std::string& text, Command run);
bool hasCommand(const std::string& text);
void runCommand(QObject* source, const std::string& text);

// The data stored with a window (its `handles` record, by the windows' convention); empty until
// stored. Storing through any object of a window stores it for the window.
runtime::Value windowData(QWidget* window);
void setWindowData(QWidget* window, runtime::Value data);

}  // namespace kelvane::toolkit
