#include "frame/window/common_ui.hpp"

#include <QApplication>
#include <QWidget>
#include <algorithm>
#include <cctype>
#include <cmath>
#include <filesystem>
#include <map>
#include <optional>

#include "frame/parameter_file.hpp"
#include "frame/window/menu_bar.hpp"
#include "plots/plot_table.hpp"
#include "registry/registry.hpp"
#include "runtime/clock.hpp"
#include "runtime/matfile.hpp"
#include "runtime/text.hpp"
#include "toolkit/dialogs.hpp"
#include "toolkit/objects.hpp"
#include "toolkit/properties.hpp"

namespace kelvane::frame::window {

using runtime::Value;
namespace tk = kelvane::toolkit;

namespace {

constexpr const char* kBbg8Msamples = "008";
constexpr const char* kBbg32Msamples = "032";
constexpr double kEightMsamples = 8000000;

Value var(const char* name) {
  return registry::getVariable(name);
}

std::string textField(const Value& record, const char* field) {
  if (!record.isRecord() || !record.hasField(field) || !record.field(field).isText()) return {};
  return record.field(field).str();
}

void setField(const char* variable, const char* field, Value v) {
  Value record = var(variable);
  record.setField(field, std::move(v));
  registry::setVariable(variable, record);
}

std::string platform() {
  return textField(var("appInfo"), "Platform");
}

// The application's action by name (InitializeParameters, redraw, Calculate, ...).
void application(const char* action, std::vector<Value> more = {}) {
  const std::string module = textField(var("appInfo"), "ApplicationFunction");
  std::vector<Value> args = {Value::text(action)};
  for (auto& v : more)
    args.push_back(std::move(v));
  registry::call(module, std::move(args), 0);
}

bool has(const Value& handles, const char* tag) {
  return handles.isRecord() && handles.hasField(tag) && tk::isValidHandle(handles.field(tag));
}

void tip(const Value& handles, const char* tag, const char* text) {
  if (has(handles, tag)) tk::set(handles.field(tag), "TooltipString", Value::text(text));
}

void markMemory(const Value& handles, bool eight) {
  if (has(handles, "menuConfigBBG1Opt1"))
    tk::set(handles.field("menuConfigBBG1Opt1"), "Checked", Value::text(eight ? "on" : "off"));
  if (has(handles, "menuConfigBBG1Opt2"))
    tk::set(handles.field("menuConfigBBG1Opt2"), "Checked", Value::text(eight ? "off" : "on"));
}

std::string extension() {
  const std::string ext = textField(var("appInfo"), "ParameterFileExtension");
  return ext.empty() ? ".mat" : ext;
}

std::string lower(std::string s) {
  for (auto& c : s)
    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

void remember(const std::string& path, const Value& handles) {
  setField("configuration", "LastParameterFilename", Value::text(path));
  redrawAppTitle(handles);
}

// Save As without the special prefix, and Save with no current file.
void saveNew(const Value& handles) {
  const auto chosen =
      tk::dialogs().saveFile("Save Parameters", "*" + extension(), std::filesystem::path());
  if (!chosen) return;
  const std::string path = addFileExtention(chosen->string(), extension());
  setField("configuration", "LastParameterFilename", Value::text(path));
  saveParameters(path, var("parameters"));
  redrawAppTitle(handles);
}

void menuFileOpen(const Value& handles) {
  const auto chosen =
      tk::dialogs().openFile("Open Parameters", "*" + extension(), std::filesystem::path());
  if (!chosen) return;
  const std::string path = addFileExtention(chosen->string(), extension());
  if (loadParameters(path, handles)) remember(path, handles);
}

void menuFileSave(const Value& handles) {
  const std::string current = textField(var("configuration"), "LastParameterFilename");
  if (current.empty()) return saveNew(handles);
  saveParameters(current, var("parameters"));
}

// A name beginning with "quillet." (and longer than it) asks for the special waveform save of
// the rest of the name.
void menuFileSaveAs(const Value& handles) {
  const auto chosen =
      tk::dialogs().saveFile("Save Parameters As", "*" + extension(), std::filesystem::path());
  if (!chosen) return;
  const std::string name = chosen->filename().string();
  constexpr std::string_view kPrefix = "quillet.";
  if (name.size() > kPrefix.size() && name.starts_with(kPrefix))
    return saveWaveform((chosen->parent_path() / name.substr(kPrefix.size())).string());
  const std::string path = addFileExtention(chosen->string(), extension());
  setField("configuration", "LastParameterFilename", Value::text(path));
  saveParameters(path, var("parameters"));
  redrawAppTitle(handles);
}

void chooseMemory(const Value& h, const Value& handles, bool eight) {
  if (eight) {
    const Value p = var("parameters");
    const double length =
        p.isRecord() && p.hasField("ProjectedLength") ? p.field("ProjectedLength").toDouble() : 0;
    if (length > kEightMsamples) {
      const std::string answer = tk::dialogs().question(
          "The waveform of the current settings is too large for the " +
              std::string(kMemoryOption8) +
              " memory (8 Msamples). Changing to it resets all settings to their defaults. "
              "Change the memory anyway?",
          "Waveform too large", {"Yes", "Cancel"}, "Cancel");
      if (answer != "Yes") return;
      application("InitializeParameters");
      application("redraw", {handles});
    }
  }
  setField("configuration", "BBGtype", Value::text(eight ? kBbg8Msamples : kBbg32Msamples));
  (void)h;
  markMemory(handles, eight);
}

// The figure whose pointer shows the watch during long actions: the main window.
Value mainOf(const Value& handles) {
  return has(handles, "main") ? handles.field("main") : Value();
}

// The watch pointer on a window for a scope (the old pointer comes back).
class Watch {
 public:
  explicit Watch(Value window) : window_(std::move(window)) {
    if (!window_.isHandle() || !tk::isValidHandle(window_)) return;
    old_ = tk::get(window_, "Pointer");
    tk::set(window_, "Pointer", Value::text("watch"));
  }
  ~Watch() {
    try {
      if (old_.isText() && tk::isValidHandle(window_)) tk::set(window_, "Pointer", old_);
    } catch (const std::exception&) {
      // the window went away meanwhile
    }
  }
  Watch(const Watch&) = delete;
  Watch& operator=(const Watch&) = delete;

 private:
  Value window_;
  Value old_;
};

// The single waveform of the frame as an N x 2 matrix [I Q], or as a complex column.
Value waveformColumns(bool complexColumn) {
  const auto z = var("waveform").toComplex();
  if (complexColumn) return Value::complexColumn(z);
  std::vector<double> iq(2 * z.size());
  for (std::size_t i = 0; i < z.size(); ++i) {
    iq[i] = z[i].real();
    iq[z.size() + i] = z[i].imag();
  }
  return Value::matrix(z.size(), 2, std::move(iq));
}

void writeData(const std::string& filename, std::vector<runtime::MatVariable> vars) {
  try {
    runtime::writeMatFile(filename, vars);
  } catch (const std::exception& e) {
    tk::dialogs().error(e.what(), "Error Saving " + filename);
  }
}

void menuSpecialSaveWave(const Value& handles) {
  if (!checkWaveformReady(handles, "Save")) return;
  const auto chosen = tk::dialogs().saveFile("Save Waveform", "*.txt", std::filesystem::path());
  if (!chosen) return;
  Watch watch(mainOf(handles));
  const Value wave = waveformColumns(false);
  const Value settings = var("SigGenSettings");
  const double rate = settings.isRecord() && settings.hasField("SamplingRate")
                          ? settings.field("SamplingRate").toDouble()
                          : 0;
  writeData(chosen->string(), {{"samplePoints", Value::scalar(static_cast<double>(wave.rows()))},
                               {"sampleRate", Value::scalar(rate)},
                               {"wave", wave}});
}

// The play operation of the platform: VelPlay_c on "c", VelPlay elsewhere.
std::vector<Value> play() {
  const Value settings = var("SigGenSettings");
  return registry::call(platform() == "c" ? "VelPlay_c" : "VelPlay",
                        {Value::text(textField(settings, "Title")), settings, var("configuration")},
                        2);
}

bool failed(const std::vector<Value>& status) {
  return status.empty() || !status[0].isReal() || status[0].toDouble() != 0;
}

std::string messageOf(const std::vector<Value>& status) {
  return status.size() > 1 && status[1].isText() ? status[1].str() : "The operation failed.";
}

void genericDownload(const Value& handles) {
  if (!checkWaveformReady(handles, "Download")) return;
  std::vector<Value> stored, played;
  {
    Watch watch(mainOf(handles));
    const Value settings = var("SigGenSettings");
    stored = registry::call("VelDownLoadWrap",
                            {var("waveform"), var("markers"),
                             Value::text(textField(settings, "Title")), var("configuration")},
                            2);
    if (!failed(stored)) played = play();
  }
  if (failed(stored))
    return tk::dialogs().message(messageOf(stored), "Error Occured During Waveform Download");
  if (failed(played))
    return tk::dialogs().message(messageOf(played), "Error Occured During Instrument Setup");
  tk::dialogs().message("Waveform has been successfully transferred to the instrument",
                        "Download Completed");
}

void genericRefresh() {
  const std::vector<Value> status = play();
  if (failed(status))
    tk::dialogs().message(messageOf(status), "Error Occured During Instrument Setup");
}

void menuConfigSigGenIO(const Value& handles) {
  const Value main = has(handles, "main") ? handles.field("main") : Value();
  const auto out =
      registry::call("KR_SigGen", {main, var("configuration"), Value::text(platform())}, 2);
  if (out.size() == 2 && out[0].isText() && out[0].str() == "OK")
    registry::setVariable("configuration", out[1]);
}

// ---- plots -----------------------------------------------------------------------------------

// max(floor, x) where a text that is no number (NaN) counts as nothing: max(1, NaN) is 1.
double atLeast(double floor, const std::string& text) {
  const auto x = runtime::parseNumber(text);
  return x && !std::isnan(*x) ? std::max(floor, *x) : floor;
}

double numberField(const char* variable, const char* field) {
  const Value r = var(variable);
  return r.isRecord() && r.hasField(field) && r.field(field).isReal() ? r.field(field).toDouble()
                                                                      : 0;
}

// The symbol delay of the eye and scatter boxes in samples: min(1, max(0, delay)) symbols.
double delaySamples(const std::string& text, double oversampling) {
  return std::round(std::min(1.0, atLeast(0, text)) * oversampling);
}

// The inputs after (parent, title) of the plot that `callback` opens; none when the operator
// cancelled its box. The samples are moved in (a long waveform is hundreds of megabytes).
std::optional<std::vector<Value>> plotInputs(const std::string& callback, Value samples) {
  const double rate = numberField("SigGenSettings", "SamplingRate");
  // The frame's oversampling ratio is this application's parameters.oversampleRatio.
  const double oversampling = numberField("parameters", "oversampleRatio");
  const auto count = static_cast<double>(samples.numel());
  auto inputs = [&samples](std::vector<Value> before, std::vector<Value> after = {}) {
    before.push_back(std::move(samples));
    for (Value& v : after)
      before.push_back(std::move(v));
    return std::optional<std::vector<Value>>(std::move(before));
  };
  if (callback == "menuPlotSpectrum_Callback") return inputs({Value::scalar(rate)});
  if (callback == "menuPlotWaterfall_Callback")
    return inputs({Value::scalar(rate), Value::scalar(count / rate / 200)});
  if (callback == "menuPlotIQTime_Callback" || callback == "menuPlotIQTimeSameAxes_Callback")
    return inputs(
        {Value::scalar(rate), Value::scalar(callback == "menuPlotIQTime_Callback" ? 0 : 1)});
  if (callback == "menuPlotCCDF_Callback") return inputs({});
  if (callback == "menuPlotEyeDiagram_Callback") {
    const auto in =
        tk::dialogs().input("Eye Diagram Configuration",
                            {"Enter number of symbols:", "Enter symbol delay (0-1):"}, {"1", "0"});
    if (!in || in->size() < 2) return std::nullopt;
    const double symbols =
        std::min(std::round(atLeast(1, (*in)[0])), std::floor(count / oversampling));
    const double n = symbols * oversampling;
    return inputs({}, {Value::scalar(n), Value::scalar(n / rate),
                       Value::scalar(delaySamples((*in)[1], oversampling))});
  }
  const auto in = tk::dialogs().input("Scatter Diagram Configuration",
                                      {"Trace On (0|1):", "Enter symbol delay (0-1):"}, {"1", "0"});
  if (!in || in->size() < 2) return std::nullopt;
  const double trace = std::min(1.0, std::round(atLeast(0, (*in)[0])));
  return inputs({}, {Value::scalar(oversampling),
                     Value::scalar(delaySamples((*in)[1], oversampling)), Value::scalar(trace)});
}

// The plot actions: readiness, the title with the time, the samples as the 14-bit DAC plays
// them, the plot operation of the plots' table by name, and the window kept in ClientWindows
// so that Exit closes it.
void plotAction(const std::string& callback, const Value& handles) {
  const plots::PlotWindowKind* kind = plots::plotWindowKindForMenu(callback);
  if (!kind || !checkWaveformReady(handles, "Plot")) return;
  const auto clock = runtime::clockNow();
  const Value when = registry::call(
      "clock2str", {Value::row(std::vector<double>(clock.begin(), clock.end()))}, 1)[0];
  const std::string title = textField(var("appInfo"), "Name") + " (" + when.str() + ")";
  Value samples = registry::call("applyDacRes", {var("waveform"), Value::scalar(14)}, 1).at(0);
  auto inputs = plotInputs(callback, std::move(samples));
  if (!inputs) return;
  std::vector<Value> args = {mainOf(handles), Value::text(title)};
  for (Value& v : *inputs)
    args.push_back(std::move(v));
  Value fig;
  {
    Watch watch(callback == "menuPlotEyeDiagram_Callback" ? mainOf(handles) : Value());
    fig = registry::call(std::string(kind->operation), std::move(args), 1).at(0);
  }
  if (!fig.isHandle()) return;  // the plot failed and said so
  Value info = var("appInfo");
  std::vector<Value> windows;
  if (info.hasField("ClientWindows") && info.field("ClientWindows").isList())
    windows = info.field("ClientWindows").items();
  windows.push_back(fig);
  info.setField("ClientWindows", Value::list(std::move(windows)));
  registry::setVariable("appInfo", info);
}

}  // namespace

void InitializeFigure(const Value& handles) {
  const Value saved = loadConfig();
  if (saved.isRecord() && saved.numel() == 1) registry::setVariable("configuration", saved);
  tip(handles, "pbCalculate", "Calculates the waveform based\non current settings.");
  tip(handles, "pbDownload", "Downloads the current waveform and\nsettings to the Vel.");
  tip(handles, "pbRefresh", "Downloads just the current settings\nto the Vel.");
  tip(handles, "txtNumberOfSamples", "The number of samples generated\nby the current settings.");
  tip(handles, "txtEvent1",
      "Description of the signal available on\nthe Event 1 Connector of the rear panel.");
  tip(handles, "txtEvent2",
      "Description of the signal available on\nthe Event 2 Connector of the rear panel.");
  if (platform() == "c") {
    tip(handles, "txtNumberOfSamples",
        "The number of samples generated \nby the current settings.\n(The Q7710K can hold up to "
        "8 or 32 M samples.)");
    tip(handles, "txtEvent3",
        "Description of the signal available on\nthe Event 3 Connector of the rear panel.");
    tip(handles, "txtEvent4",
        "Description of the signal available on\nthe Event 4 Connector of the rear panel.");
    markMemory(handles, textField(var("configuration"), "BBGtype") == kBbg8Msamples);
  } else {
    tip(handles, "txtNumberOfSamples",
        "The number of samples generated \nby the current settings.\n(An Vel can hold up to 1 M "
        "samples.)");
  }
}

void redrawAppTitle(const Value& handles) {
  if (!has(handles, "main")) return;
  std::string title = std::string(kProductCaption) + " - " + textField(var("appInfo"), "Name");
  const std::string file = textField(var("configuration"), "LastParameterFilename");
  if (!file.empty()) title += " : " + file;
  tk::set(handles.field("main"), "Name", Value::text(title));
}

void AppShutDown(const Value& caller) {
  Value info = var("appInfo");
  if (info.isRecord() && info.hasField("ClientWindows")) {
    for (const Value& w : info.field("ClientWindows").isList() ? info.field("ClientWindows").items()
                                                               : std::vector<Value>{})
      if (w.isHandle() && tk::isValidHandle(w)) tk::deleteObject(w);
    info.setField("ClientWindows", Value());
    registry::setVariable("appInfo", info);
  }
  saveConfig(var("configuration"));
  QWidget* main = caller.isHandle() && tk::isValidHandle(caller) && !tk::isRoot(caller)
                      ? tk::windowOf(caller)
                      : nullptr;
  if (!main)  // called by name: the main window
    for (QWidget* w : QApplication::topLevelWidgets())
      if (w->objectName() == "main") main = w;
  if (main) tk::deleteObject(tk::handleOf(main));
}

void executeCalculation(const Value& handles) {
  Watch watch(mainOf(handles));
  application("Calculate");
  const auto clock = runtime::clockNow();
  setField("appInfo", "LastCalcTimeStamp",
           Value::row(std::vector<double>(clock.begin(), clock.end())));
  setField("appInfo", "LastCaluclatedParameterSet", var("parameters"));
}

bool checkWaveformReady(const Value& handles, const std::string& action) {
  const Value info = var("appInfo");
  const bool calculated = info.isRecord() && info.hasField("LastCalcTimeStamp") &&
                          info.field("LastCalcTimeStamp").numel() != 0;
  if (!calculated) {
    const std::string calc = "Calculate & " + action;
    const std::string answer = tk::dialogs().question(
        "The waveform has not yet been calculated. Do you wish to calculate\nthe waveform and "
        "then " +
            lower(action) + " ?",
        "Waveform Not Calculated", {calc, "Cancel"}, calc);
    if (answer == "Cancel") return false;
    executeCalculation(handles);
    return true;
  }
  if (!compareStruct(info.field("LastCaluclatedParameterSet"), var("parameters"))) {
    const std::string recalc = "Recalc & " + action;
    const std::string answer = tk::dialogs().question(
        "Settings have changed since last calculating the waveform.\n" + action +
            " will use the last calculated waveform.\nDo you wish to " + lower(action) +
            " anyway ?",
        "Waveform Not Recalculated", {"Yes", recalc, "Cancel"}, recalc);
    if (answer == "Cancel") return false;
    if (answer == recalc) executeCalculation(handles);
  }
  return true;
}

void saveWaveform(const std::string& filename) {
  const std::string format = tk::dialogs().question("Select file format.", "Special Save",
                                                    {"ASCII", "Mornath", "MAT"}, "ASCII");
  if (format == "ASCII") return writeData(filename, {{"samples", waveformColumns(false)}});
  if (format == "MAT") return writeData(filename, {{"samples", waveformColumns(true)}});
  if (format != "Mornath") return;  // closed: nothing is written
  const auto ok =
      registry::call("saveMornathWaveform", {var("waveform"), Value::text(filename)}, 1);
  if (ok.empty() || ok[0].toDouble() != 1)
    tk::dialogs().error("The waveform could not be written to " + filename + ".",
                        "Error Saving " + filename);
}

void commonCallback(const std::string& callback, const Value& h, const Value& handles) {
  using Action = void (*)(const Value& h, const Value& handles);
  static const std::map<std::string, Action, std::less<>> kActions = {
      {"menuFileNew_Callback",
       [](const Value&, const Value& handles) {
         setField("configuration", "LastParameterFilename", Value::text(""));
         application("InitializeParameters");
         application("InitializeSigGenSettings");
         application("redraw", {handles});
       }},
      {"menuFileOpen_Callback", [](const Value&, const Value& handles) { menuFileOpen(handles); }},
      {"menuFileSave_Callback", [](const Value&, const Value& handles) { menuFileSave(handles); }},
      {"menuFileSaveAs_Callback",
       [](const Value&, const Value& handles) { menuFileSaveAs(handles); }},
      {"menuFileExportData_Callback", [](const Value&, const Value&) {}},
      {"menuFileExit_Callback", [](const Value& h, const Value&) { AppShutDown(h); }},
      {"menuConfigSigGenIO_Callback",
       [](const Value&, const Value& handles) { menuConfigSigGenIO(handles); }},
      {"menuConfigBBG1Opt1_Callback",
       [](const Value& h, const Value& handles) { chooseMemory(h, handles, true); }},
      {"menuConfigBBG1Opt2_Callback",
       [](const Value& h, const Value& handles) { chooseMemory(h, handles, false); }},
      {"menuSpecialSaveWave_Callback",
       [](const Value&, const Value& handles) { menuSpecialSaveWave(handles); }},
      {"pbCalculate_Callback",
       [](const Value&, const Value& handles) { executeCalculation(handles); }},
      {"pbDownload_Callback", [](const Value&, const Value& handles) { genericDownload(handles); }},
      {"pbRefresh_Callback", [](const Value&, const Value&) { genericRefresh(); }},
      {"menuHelpAbout_Callback",
       [](const Value&, const Value& handles) {
         registry::call("KR_About", {handles.field("main"), var("appInfo")}, 0);
       }},
  };
  if (plots::plotWindowKindForMenu(callback)) return plotAction(callback, handles);
  const auto it = kActions.find(callback);
  if (it == kActions.end())
    throw runtime::Error("The common frame has no action \"" + callback + "\".");
  it->second(h, handles);
}

bool isCommonCallback(const std::string& callback) {
  static const char* const kNames[] = {
      "menuFileNew_Callback",         "menuFileOpen_Callback",       "menuFileSave_Callback",
      "menuFileSaveAs_Callback",      "menuFileExportData_Callback", "menuFileExit_Callback",
      "menuConfigSigGenIO_Callback",  "menuConfigBBG1Opt1_Callback", "menuConfigBBG1Opt2_Callback",
      "menuSpecialSaveWave_Callback", "pbCalculate_Callback",        "pbDownload_Callback",
      "pbRefresh_Callback",           "menuHelpAbout_Callback"};
  for (const char* n : kNames)
    if (callback == n) return true;
  return plots::plotWindowKindForMenu(callback) != nullptr;
}

}  // namespace kelvane::frame::window
