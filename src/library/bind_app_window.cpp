// The application's windows by name: the entry Qarn_FTM_c, the main window module
// Qarn_FTM_GUI_c (its start-up, dispatcher, parameter controls and buttons), the signal
// generator panel Velconfig_c, the advanced settings dialog VelConfigAdv_c, the channel number
// dialog Qarn_ChannelNumberToFreqGUI, the window helpers and the About box's module.
#include <QApplication>
#include <QWidget>
#include <functional>

#include "app/window/advanced_dialog.hpp"
#include "app/window/channel_dialog.hpp"
#include "app/window/figure_helpers.hpp"
#include "app/window/main_actions.hpp"
#include "app/window/main_window.hpp"
#include "app/window/parameter_controls.hpp"
#include "app/window/siggen_panel.hpp"
#include "library/arguments.hpp"
#include "library/binders.hpp"
#include "library/window_modules.hpp"
#include "toolkit/modal.hpp"
#include "toolkit/objects.hpp"

namespace kelvane::library {

namespace win = kelvane::app::window;

namespace {

// A control callback: (control handle, event, handles, ...) -> nothing.
using Callback = std::function<void(const Value& h, const Value& handles)>;

registry::Operation callback(Callback fn) {
  return [fn = std::move(fn)](Args args, int) -> Outputs {
    fn(args.empty() ? Value() : args[0], args.size() > 2 ? args[2] : Value());
    return {};
  };
}

// A module action on the window's handles: (handles) -> nothing.
registry::Operation onHandles(void (*fn)(const Value&)) {
  return typed([fn](const Value& handles) { fn(handles); });
}

// A module's library entry: a text first argument dispatches to the module's table; anything
// else is the module's own use (`open`), when it has one.
registry::Operation moduleEntry(const Table* module,
                                std::function<Outputs(Args, int)> open = nullptr) {
  return [module, open = std::move(open)](Args args, int nargout) -> Outputs {
    if (!args.empty() && args[0].isText()) return dispatch(*module, args, nargout);
    return open ? open(args, nargout) : Outputs{};
  };
}

std::optional<double> numberAt(Args args, std::size_t i) {
  if (absent(args, i)) return std::nullopt;
  return args[i].toDouble();
}

// Qarn_FTM_GUI_c(): the start-up, returning the main window when asked; with a text first
// argument the dispatcher; with anything else nothing.
Outputs mainEntry(const Table* gui, Args args, int nargout) {
  if (!args.empty()) return args[0].isText() ? dispatch(*gui, args, nargout) : Outputs{};
  const Value fig = win::startApplication();
  return nargout >= 1 ? Outputs{fig} : Outputs{};
}

Outputs advancedEntry(Args args, int) {
  const Value* fig = args.empty() ? nullptr : &args[0];
  const Value* settings = args.size() > 1 ? &args[1] : nullptr;
  auto [answer, settingsOut] = win::editAdvancedSettings(fig, settings);
  return {Value::text(answer), settingsOut};
}

// (), (transmitterType) or (bandClass, transmitterType, channelNumber).
Outputs channelEntry(Args args, int) {
  std::optional<double> band, side, channel;
  if (args.size() == 1) side = numberAt(args, 0);
  if (args.size() >= 3) {
    band = numberAt(args, 0);
    side = numberAt(args, 1);
    channel = numberAt(args, 2);
  }
  const auto out = win::chooseChannelNumber(band, side, channel);
  return {out.begin(), out.end()};
}

void bindMainModule(Table& gui) {
  gui.bind("InitializeFigures", typed([] { return win::InitializeFigures(); }));
  gui.bind("InitializeFigure", onHandles(win::InitializeFigure));
  gui.bind("redraw", onHandles(win::redraw));
  gui.bind("redrawFormatParameters", onHandles(win::redrawFormatParameters));
  gui.bind("validateFileNameText",
           typed([](const std::string& oldName, const std::string& defaultName) {
             return win::validateFileNameText(oldName, defaultName);
           }));
  gui.bind("validateTextFieldParseInt",
           typed([](const Value& h, std::optional<double> lo, std::optional<double> hi) {
             return win::validateTextFieldParseInt(h, lo, hi);
           }));
  gui.bind("areWaveformsReady", [](Args args, int) -> Outputs {
    return {Value::scalar(win::areWaveformsReady(args.size() > 2 ? args[2] : Value()))};
  });
  for (const std::string& name : win::parameterCallbackNames())
    gui.bind(name, callback([name](const Value& h, const Value& handles) {
               win::parameterControlCallback(name, h, handles);
             }));
  gui.bind("calculateButton_Callback",
           callback([](const Value&, const Value& handles) { win::calculateButton(handles); }));
  gui.bind("downloadButton_Callback",
           callback([](const Value&, const Value& handles) { win::downloadButton(handles); }));
  gui.bind("refreshButton_Callback",
           callback([](const Value&, const Value& handles) { win::refreshButton(handles); }));
  gui.bind("CDMAFrequency_Callback",
           callback([](const Value&, const Value& handles) { win::chooseChannel(handles); }));
}

void bindPanel(Table& ops, Table& panel) {
  panel.bind("InitializeSigGenScreenObjects", onHandles(win::InitializeSigGenScreenObjects));
  panel.bind("redrawSigGenSettings", onHandles(win::redrawSigGenSettings));
  panel.bind("updateFrequency", onHandles(win::updateFrequency));
  panel.bind("txtFrequency_Callback",
             callback([](const Value&, const Value& handles) { win::updateFrequency(handles); }));
  panel.bind("pdFrequencyUnits_Callback",
             callback([](const Value&, const Value& handles) { win::updateFrequency(handles); }));
  panel.bind("txtAmplitude_Callback",
             callback([](const Value&, const Value& handles) { win::amplitudeEdited(handles); }));
  panel.bind("txtWaveformTitle_Callback",
             callback([](const Value&, const Value& handles) { win::titleEdited(handles); }));
  panel.bind("pbAdvancedSettings_Callback", callback([](const Value&, const Value& handles) {
               win::openAdvancedSettings(handles);
             }));
  ops.bind("Velconfig_c", moduleEntry(&panel));
}

void bindAdvanced(Table& ops, Table& adv) {
  adv.bind("defaultSettings", typed([] { win::defaultSettings(); }));
  adv.bind("InitializeFigure", onHandles(win::InitializeAdvancedFigure));
  adv.bind("redrawAll", onHandles(win::redrawAll));
  adv.bind("updateSamplingRate", onHandles(win::updateSamplingRate));
  for (const char* name :
       {"pdBBfilter_Callback", "chkRFblanking_Callback", "chkALC_Callback",
        "chkBBrefSource_Callback", "chkMarkerPolarity_Callback", "pdSamplingRateUnits_Callback",
        "txtSamplingRate_Callback", "txtScaling_Callback", "txtModAtten_Callback", "pbOK_Callback",
        "pbCancel_Callback", "closeFig_Callback"})
    adv.bind(name, callback([name = std::string(name)](const Value& h, const Value& handles) {
               win::advancedCallback(name, h, handles);
             }));
  ops.bind("VelConfigAdv_c", moduleEntry(&adv, advancedEntry));
}

void bindChannelDialog(Table& ops, Table& dialog) {
  dialog.bind("calculateFrequency",
              typed([](const Value& handles) { return win::calculateFrequency(handles); }));
  dialog.bind("getParametersFromUI", typed([](const Value& handles) {
                const win::ChannelChoice c = win::getParametersFromUI(handles);
                return std::tuple{c.bandClass, c.transmitterType, c.channelNumber};
              }));
  dialog.bind("getPreferences", typed([] {
                const win::ChannelChoice c = win::getPreferences();
                return std::tuple{c.bandClass, c.transmitterType, c.channelNumber};
              }));
  dialog.bind("setPreferences", typed([](double band, double side, double channel) {
                win::setPreferences({band, side, channel});
              }));
  for (const char* name :
       {"AN_RadioButtonCallback", "AT_RadioButtonCallback", "ApplyButton_Callback",
        "BandClassComboBox_Callback", "CancelButton_Callback", "ChannelNumberTextField_Callback",
        "CDMAFreqDialog_CloseRequestFcn"})
    dialog.bind(name, callback([name = std::string(name)](const Value& h, const Value& handles) {
                  win::channelCallback(name, h, handles);
                }));
  ops.bind("Qarn_ChannelNumberToFreqGUI", moduleEntry(&dialog, channelEntry));
}

void resumeAboutBox() {
  for (QWidget* w : QApplication::topLevelWidgets())
    if (w->objectName() == "figureKR_About") toolkit::resume(w);
}

void bindHelpers(Table& ops) {
  bindTyped(ops, "loadFigure", [](const std::string& filename, const Value& parent) {
    return win::loadFigure(filename, parent);
  });
  bindTyped(ops, "positionChildWindow", [](const Value& parent, const Value& child) {
    win::positionChildWindow(parent, child);
  });
  bindTyped(ops, "resizeAllFonts", [](const Value& handles) { win::resizeAllFonts(handles); });
  // KR_Splash(): with any argument it does nothing.
  ops.bind("KR_Splash", [](Args args, int) -> Outputs {
    if (!args.empty()) return {};
    return {win::KR_Splash()};
  });
  bindTyped(ops, "KR_About",
            [](const std::optional<Value>& parent, const std::optional<Value>& app) {
              win::KR_About(parent, app);
            });
}

}  // namespace

void bindAppWindow(Library& lib) {
  Table& ops = lib.operations();
  Table& gui = lib.module("Qarn_FTM_GUI_c");
  ops.bind("Qarn_FTM_c", [](Args, int) -> Outputs {
    win::startApplication();
    return {};
  });
  const Table* module = &gui;
  ops.bind("Qarn_FTM_GUI_c",
           [module](Args args, int nargout) { return mainEntry(module, args, nargout); });
  bindMainModule(gui);
  bindPanel(ops, lib.module("Velconfig_c"));
  bindAdvanced(ops, lib.module("VelConfigAdv_c"));
  bindChannelDialog(ops, lib.module("Qarn_ChannelNumberToFreqGUI"));
  bindHelpers(ops);
  lib.module("KR_About")
      .add("pbOK_Callback", kCallbackInputs, kCallbackOutputs, [](Args, int) -> Outputs {
        resumeAboutBox();
        return {};
      });
}

}  // namespace kelvane::library
