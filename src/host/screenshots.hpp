// Pictures of every window, for the README and for looking at the windows as an operator sees
// them: the main window, the splash screen, the About box and the dialogs.
#pragma once

class QDir;

namespace kelvane::host {

// Starts the application (no splash wait), renders each window to `folder`/<name>.png and
// closes them again. Returns the exit code: 0, or 1 when a window could not be rendered.
int writeScreenshots(const QDir& folder);

}  // namespace kelvane::host
