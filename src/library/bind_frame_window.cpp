// The common frame's windows by name: the menu bar and rfCommonUI's window actions (the file
// actions that need no window are bound by the core's frame binder into the same table).
#include <functional>

#include "app/state.hpp"
#include "frame/window/common_ui.hpp"
#include "frame/window/io_dialog.hpp"
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

// KR_SigGen(parent, config, platform) -> (response, config); with a text first argument the
// dialog's dispatcher.
Outputs ioDialogEntry(const Table* module, Args args, int nargout) {
  if (!args.empty() && args[0].isText()) return dispatch(*module, args, nargout);
  auto at = [&](std::size_t i) {
    return i < args.size() ? std::optional<Value>(args[i]) : std::nullopt;
  };
  auto [response, config] = fw::ioDialog(at(0), at(1), at(2));
  return {Value::text(response), config};
}

void bindIoDialog(Table& ops, Table& io) {
  io.bind("EnableGuiObjects", onHandles(fw::EnableGuiObjects));
  io.bind("UpdateIoAddress", onHandles(fw::UpdateIoAddress));
  io.bind("ConvertStringToIndex", typed([](const Value& list, const std::string& text) {
            return fw::ConvertStringToIndex(list, text);
          }));
  io.bind("ConvertIndexToString", typed([](const Value& list, double index) {
            return fw::ConvertIndexToString(list, index);
          }));
  io.bind("UpdateGuiObjects", typed([](const Value& handles, const Value& config) {
            fw::UpdateGuiObjects(handles, config);
          }));
  io.bind("UpdateConnectionSelections", typed([](const Value& handles, double model) {
            return fw::UpdateConnectionSelections(handles, model);
          }));
  io.bind("UpdateConfig", typed([](const Value& handles) { return fw::UpdateConfig(handles); }));
  io.bind("UpdateRS232HandShakingToolTip", onHandles(fw::UpdateRS232HandShakingToolTip));
  io.bind("addControls", typed([](const Value& frame, const Value& group) {
            return fw::addControls(frame, group);
          }));
  io.bind("showControls", onHandles(fw::showControls));
  io.bind("reStructureConfig", typed([](const Value& old, const Value& handles) {
            return fw::reStructureConfig(old, handles);
          }));
  io.bind("initConfig", typed([](const Value& config) { return fw::initConfig(config); }));
  for (const auto& e : io.entries()) {
    if (e.built() || !fw::isIoCallback(e.name)) continue;
    io.bind(e.name, [name = e.name](Args args, int) -> Outputs {
      fw::ioCallback(name, args.empty() ? Value() : args[0], args.size() > 2 ? args[2] : Value());
      return {};
    });
  }
  const Table* module = &io;
  ops.bind("KR_SigGen",
           [module](Args args, int nargout) { return ioDialogEntry(module, args, nargout); });
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
  bindIoDialog(lib.operations(), lib.module("KR_SigGen"));
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
