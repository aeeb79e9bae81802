// The common frame in the window (module rfCommonUI): the main window's start-up set-up and
// title, the menu actions, the generic Calculate, Download and Refresh, and the shutdown. It
// knows the application only by the name in appInfo.ApplicationFunction and works on the
// process-wide named records (appInfo, configuration, parameters, SigGenSettings, waveform,
// markers).
#pragma once

#include <string>

#include "runtime/value.hpp"

namespace kelvane::frame::window {

// The product caption that starts every main window title.
inline constexpr const char* kProductCaption = "1xEV-DO Forward Link Test";

void InitializeFigure(const runtime::Value& handles);
void redrawAppTitle(const runtime::Value& handles);
void executeCalculation(const runtime::Value& handles);
// "Download", "Plot" or "Save": true when the action may go on (asking first when nothing was
// calculated or the settings changed since).
bool checkWaveformReady(const runtime::Value& handles, const std::string& action);
// Closes the plot windows, saves the configuration and deletes the main window (the window of
// `caller`, or the window tagged "main" when called without one).
void AppShutDown(const runtime::Value& caller);
void saveWaveform(const std::string& filename);

// The menu and button callbacks by name ("menuFileNew_Callback", ...); `h` is the source.
void commonCallback(const std::string& callback, const runtime::Value& h,
                    const runtime::Value& handles);
// The callbacks commonCallback knows.
bool isCommonCallback(const std::string& callback);

}  // namespace kelvane::frame::window
