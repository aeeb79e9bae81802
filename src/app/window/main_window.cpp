#include "app/window/main_window.hpp"

#include <QApplication>
#include <QWidget>
#include <chrono>
#include <iostream>
#include <thread>

#include "app/state.hpp"
#include "app/window/figure_helpers.hpp"
#include "app/window/parameter_controls.hpp"
#include "registry/registry.hpp"
#include "toolkit/figures.hpp"
#include "toolkit/objects.hpp"
#include "toolkit/properties.hpp"

namespace kelvane::app::window {

using runtime::Value;
namespace tk = kelvane::toolkit;

namespace {

StartUpClock& clock() {
  static StartUpClock c = steadyClock();
  return c;
}

bool& splashWait() {
  static bool on = true;
  return on;
}

// A module action by name, as the windows call one another.
void callModule(const char* module, const char* action, const Value& handles) {
  registry::call(module, {Value::text(action), handles}, 0);
}

// The splash screen's remaining time, then its removal.
void endSplash(const Value& splash, double started) {
  if (splashWait()) {
    const double left = kSplashSeconds - (clock().now() - started);
    if (left > 0) clock().wait(left);
  }
  if (tk::isValidHandle(splash)) tk::deleteObject(splash);
}

}  // namespace

StartUpClock steadyClock() {
  StartUpClock c;
  c.now = [] {
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
  };
  c.wait = [](double seconds) {
    // Keeps the splash painted while it waits.
    const auto until = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (std::chrono::steady_clock::now() < until) {
      QApplication::processEvents(QEventLoop::AllEvents, 20);
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
  };
  return c;
}

void setStartUpClock(StartUpClock c) {
  clock() = std::move(c);
}

void setSplashWait(bool on) {
  splashWait() = on;
}

Value startApplication() {
  const Value splash = KR_Splash();
  const double started = clock().now();
  AppState& state = currentState();
  state.InitializeAppInfo();
  state.InitializeConfiguration();
  const Value fig = InitializeFigures();
  const Value handles = tk::guihandles(fig);
  state.InitializeParameters();
  InitializeFigure(handles);
  state.InitializeSigGenSettings();
  // The dispatcher's guard: a failing redraw is printed and start-up goes on.
  registry::call("Qarn_FTM_GUI_c", {Value::text("redraw"), handles}, 0);
  endSplash(splash, started);
  // The lists were filled after the layout was sized: fit the window to its controls again.
  if (QWidget* w = tk::windowOf(fig)) w->adjustSize();
  tk::set(fig, "Visible", Value::text("on"));
  return fig;
}

Value InitializeFigures() {
  const Value fig = loadFigure("Qarn_FTM_GUI_c.fig", Value::handle(tk::kRootHandle));
  registry::call("KR_AddMenu", {fig}, 1);
  Value handles = tk::guihandles(fig);
  // This application offers neither the data export item nor the plot menu.
  for (const char* tag : {"menuFileExportData", "menuPlot"})
    if (handles.hasField(tag)) tk::deleteObject(handles.field(tag));
  handles = tk::guihandles(fig);
  tk::guidata(fig, handles);
  try {
    registry::call("rfCommonUI", {Value::text("InitializeFigure"), handles}, 0);
  } catch (const std::exception& e) {
    registry::printToConsole(e.what());
  }
  const Value adv = loadFigure("VelConfigAdv_c.fig", tk::tagged(handles, "main"));
  currentState().figureList.AdvSettings = adv.handleId();
  registry::call("VelConfigAdv_c", {Value::text("InitializeFigure"), tk::guihandles(adv)}, 0);
  return fig;
}

void InitializeFigure(const Value& handles) {
  resizeAllFonts(handles);
  describeParameterControls(handles);
  callModule("Velconfig_c", "InitializeSigGenScreenObjects", handles);
}

void redraw(const Value& handles) {
  registry::call("Qarn_FTM_GUI_c", {Value::text("redrawFormatParameters"), handles}, 0);
  callModule("rfCommonUI", "redrawAppTitle", handles);
  callModule("Velconfig_c", "redrawSigGenSettings", handles);
}

Value mainWindow() {
  for (QWidget* w : QApplication::topLevelWidgets())
    if (w->objectName() == "main" && w->property("kelvaneLayout").isValid()) return tk::handleOf(w);
  return Value();
}

}  // namespace kelvane::app::window
