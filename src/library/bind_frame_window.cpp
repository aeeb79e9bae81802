// The common frame's windows by name: the menu bar and rfCommonUI's window actions (the file
// actions that need no window are bound by the core's frame binder into the same table).
#include <functional>

#include "app/state.hpp"
#include "frame/window/common_ui.hpp"
#include "frame/window/menu_bar.hpp"
#include "library/binders.hpp"
#include "library/window_modules.hpp"

namespace kelvane::library {

namespace fw = kelvane::frame::window;

namespace {

using HandlesAction = void (*)(const Value&);

registry::Operation onHandles(HandlesAction fn) {
  return typed([fn](const Value& handles) { fn(handles); });
}

}  // namespace

void bindFrameWindow(Library& lib) {
  bindTyped(lib.operations(), "KR_AddMenu", [](const std::optional<Value>& figure) {
    return fw::KR_AddMenu(figure, app::currentState().appInfo.Platform);
  });
  Table& ui = lib.module("rfCommonUI");
  ui.bind("InitializeFigure", onHandles(fw::InitializeFigure));
  ui.bind("redrawAppTitle", onHandles(fw::redrawAppTitle));
  ui.bind("executeCalculation", onHandles(fw::executeCalculation));
  ui.bind("saveWaveform", typed([](const std::string& filename) { fw::saveWaveform(filename); }));
  ui.bind("checkWaveformReady", typed([](const Value& handles, const std::string& action) {
            return fw::checkWaveformReady(handles, action) ? 1.0 : 0.0;
          }));
  ui.bind("AppShutDown", typed([] { fw::AppShutDown(Value()); }));
  for (const auto& e : ui.entries()) {
    if (e.built() || !fw::isCommonCallback(e.name)) continue;
    ui.bind(e.name, [name = e.name](Args args, int) -> Outputs {
      fw::commonCallback(name, args.empty() ? Value() : args[0],
                         args.size() > 2 ? args[2] : Value());
      return {};
    });
  }
}

}  // namespace kelvane::library
