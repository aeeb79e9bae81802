// The helpers every window of the application uses: loading a window from its layout and
// centring it, scaling fonts on a 96-dpi screen, the splash screen and the About box.
#pragma once

#include <optional>
#include <string>

#include "runtime/value.hpp"

namespace kelvane::app::window {

// Opens the layout `filename` as a new window (hidden, as saved), gives it the controls'
// background colour, builds its handles record and stores it with the window, and centres it
// on `parent` (0: the screen). Returns the window's handle.
runtime::Value loadFigure(const std::string& filename, const runtime::Value& parent);

// Centres `child` on `parent` (0: the screen) without changing its size: left = reference left +
// (reference width - child width) / 2, bottom likewise; a child wider than its parent gets a
// left edge left of the parent's.
void positionChildWindow(const runtime::Value& parent, const runtime::Value& child);

// On a 96-dpi screen every object of `handles` that has a font gets 1.1 times its size, rounded
// (8 becomes 9); at any other resolution nothing changes.
void resizeAllFonts(const runtime::Value& handles);

// Shows the splash window centred on the screen with "splash.jpg"; returns its handle.
runtime::Value KR_Splash();

// Shows the About box for `app` (an appInfo record; absent: blanks), centred on `parent` when
// given (which must then be a window: "Input argument must be a handle to parent"), and waits
// until its OK button resumes it or it is closed.
void KR_About(const std::optional<runtime::Value>& parent,
              const std::optional<runtime::Value>& app);

// The About box's revision text: the first 7 characters of Rev (padded) for a release,
// Rev + "  Proto" otherwise ("A.02.01.045" shows "A.02.01" or "A.02.01.045  Proto").
std::string revisionText(const std::string& rev, bool isRelease);

}  // namespace kelvane::app::window
