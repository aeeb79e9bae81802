// The application's entry and its main window: Qarn_FTM_c hands over to the main window module
// Qarn_FTM_GUI_c, whose start-up shows the splash screen, builds the records, loads and prepares
// the main window, the common menu bar and the hidden advanced settings dialog, fills every
// control and finally shows the main window.
#pragma once

#include <functional>

#include "runtime/value.hpp"

namespace kelvane::app::window {

// The stopwatch of the splash screen: the time in seconds, and a wait that keeps the windows
// painting. Tests replace it to check the splash time without waiting.
struct StartUpClock {
  std::function<double()> now;
  std::function<void(double seconds)> wait;
};
StartUpClock steadyClock();
void setStartUpClock(StartUpClock clock);
// The splash screen stays up at least this long.
inline constexpr double kSplashSeconds = 3;
// Screenshots start without the splash wait.
void setSplashWait(bool on);

// The start-up, in its fourteen steps; returns the main window's handle.
runtime::Value startApplication();

// Loads the main window from its layout with the menu bar and the hidden advanced dialog;
// returns its handle.
runtime::Value InitializeFigures();
// Font scaling and the signal generator panel's set-up.
void InitializeFigure(const runtime::Value& handles);
// Refreshes the whole window from the records: the parameter controls, the title, the panel.
void redraw(const runtime::Value& handles);

// The main window (the window tagged "main"), or an invalid handle when it is not open.
runtime::Value mainWindow();

}  // namespace kelvane::app::window
