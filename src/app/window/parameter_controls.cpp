#include "app/window/parameter_controls.hpp"

#include <algorithm>
#include <array>
#include <cctype>
#include <cmath>
#include <utility>

#include "app/derived.hpp"
#include "app/parameter_table.hpp"
#include "app/state.hpp"
#include "app/window/entries.hpp"
#include "registry/registry.hpp"
#include "runtime/numbers.hpp"
#include "runtime/text.hpp"
#include "toolkit/dialogs.hpp"
#include "toolkit/figures.hpp"
#include "toolkit/properties.hpp"

namespace kelvane::app::window {

using runtime::Value;
namespace tk = kelvane::toolkit;

namespace {

enum class Edit { Selection, Integer, Name, Check };

// One parameter control: its tag, its callback, the field it edits, how, and whether a full
// redraw follows.
struct Control {
  const char* tag;
  const char* callback;
  const char* field;
  Edit edit;
  bool redraw;
};

// In the order of the main window's table.
const Control kControls[] = {
    {"TrafficChannelDataRateComboBox", "trafficChannelDataRate_Callback", "trafficChannelDRCValue",
     Edit::Selection, true},
    {"TrafficChannelPayloadComboBox", "trafficChannelPayload_Callback", "trafficChannelPayload",
     Edit::Selection, false},
    {"TrafficChannelMACIndexTextField", "trafficChannelMACIndex_Callback", "trafficChannelMACIndex",
     Edit::Integer, false},
    {"TrafficChannelPacketsTextField", "trafficChannelPackets_Callback", "trafficChannelPackets",
     Edit::Integer, true},
    {"ControlChannelDataRateComboBox", "controlChannelDataRate_Callback", "controlChannelDRCValue",
     Edit::Selection, true},
    {"PilotOffsetIndexTextField", "pilotOffsetIndex_Callback", "pilotOffsetIndex", Edit::Integer,
     true},
    {"OversampleRatioTextField", "oversampleRatio_Callback", "oversampleRatio", Edit::Integer,
     true},
    {"FilterTypeComboBox", "filterType_Callback", "filterType", Edit::Selection, false},
    {"PhaseEqualizationCheckBox", "phaseEqualization_Callback", "phaseEqualizationActive",
     Edit::Check, false},
    {"MirrorSpectrumCheckBox", "mirrorSpectrum_Callback", "mirrorSpectrumActive", Edit::Check,
     false},
    {"AutoCalculateRepsCheckBox", "autoCalculateReps_Callback", "autoCalculateReps", Edit::Check,
     true},
    {"TrafficChannelWaveformTextField", "trafficWaveformName_Callback",
     "trafficChannelWaveformName", Edit::Name, true},
    {"TrafficChannelWaveformReps", "trafficWaveformReps_Callback", "trafficChannelWaveformReps",
     Edit::Integer, true},
    {"ControlChannelWaveformTextField", "controlWaveformName_Callback",
     "controlChannelWaveformName", Edit::Name, true},
    {"ControlChannelWaveformReps", "controlWaveformReps_Callback", "controlChannelWaveformReps",
     Edit::Integer, true},
    {"SequenceFileTextField", "sequenceFile_Callback", "sequenceFileName", Edit::Name, true},
    {"AmplitudeTextField", "AmplitudeTextField_Callback", "Amplitude", Edit::Integer, true},
};

const ParameterSpec& specOf(const Control& c) {
  const ParameterSpec* s = findParameter(c.field);
  if (!s) throw runtime::Error(std::string("The parameter table has no field ") + c.field);
  return *s;
}

std::optional<double> bound(double b) {
  return std::isfinite(b) ? std::optional<double>(b) : std::nullopt;
}

void redraw(const Value& handles) {
  registry::call("Qarn_FTM_GUI_c", {Value::text("redraw"), handles}, 0);
}

// The start-up name of a name field: what an all-forbidden name falls back to.
std::string defaultName(const ParameterSpec& spec) {
  return startupValue(spec).str();
}

void setNumber(Parameters& p, const ParameterSpec& spec, double x) {
  p.*std::get<double Parameters::*>(spec.member) = x;
}

// The oversampling ratio sets the sample clock and says so.
void oversampleRatioEdited(AppState& state) {
  state.sigGenSettings.SamplingRate = sampleRate(state.parameters);
  const std::array<runtime::FormatArg, 1> rate = {state.sigGenSettings.SamplingRate};
  toolkit::dialogs().message(runtime::sprintfText("Sampling rate has been changed to %g Hz", rate),
                             "Sampling rate changed");
}

// Automatic repetitions leave the two repetition fields for the derivation to fill.
void autoRepsEdited(const AppState& state, const Value& handles) {
  const Value enable = Value::text(state.parameters.autoCalculateReps == 0 ? "on" : "off");
  tk::set(tk::tagged(handles, "TrafficChannelWaveformReps"), "Enable", enable);
  tk::set(tk::tagged(handles, "ControlChannelWaveformReps"), "Enable", enable);
}

void store(const Control& c, const Value& h) {
  AppState& state = currentState();
  const ParameterSpec& spec = specOf(c);
  switch (c.edit) {
    case Edit::Selection:
    case Edit::Check:
      setNumber(state.parameters, spec, tk::get(h, "Value").toDouble());
      break;
    case Edit::Integer:
      setNumber(state.parameters, spec,
                validateTextFieldParseInt(h, bound(spec.lower), bound(spec.upper)));
      break;
    case Edit::Name:
      state.parameters.*std::get<std::string Parameters::*>(spec.member) =
          validateFileNameText(tk::get(h, "String").str(), defaultName(spec));
      break;
  }
}

// "Samples per chip, 2 to 24": the meaning and what the field accepts.
std::string toolTipOf(const ParameterSpec& spec) {
  std::string tip = spec.meaning.empty() ? std::string() : std::string(spec.meaning);
  if (!tip.empty()) tip[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(tip[0])));
  return tip + ".\nValid range: " + acceptedText(spec) + ".";
}

}  // namespace

double validateTextFieldParseInt(const Value& h, std::optional<double> minValue,
                                 std::optional<double> maxValue) {
  const auto n = runtime::parseNumber(tk::get(h, "String").str());
  if (!n) {
    const double kept = tk::get(h, "Value").toDouble();
    showParseError();
    tk::set(h, "String", Value::text(runtime::numToText(kept)));
    return kept;
  }
  double x = *n;
  if (minValue) x = std::max(x, *minValue);
  if (maxValue) x = std::min(x, *maxValue);
  x = std::trunc(x);
  tk::set(h, "String", Value::text(runtime::numToText(x)));
  tk::set(h, "Value", Value::scalar(x));
  return x;
}

std::string validateFileNameText(const std::string& oldName, const std::string& defaultName) {
  std::string name = oldName;
  std::erase_if(name, [](char c) { return kForbiddenNameCharacters.find(c) != std::string::npos; });
  if (name.empty()) return defaultName;
  if (name.size() > kMaxInstrumentNameLength) name.resize(kMaxInstrumentNameLength);
  return name;
}

const std::vector<std::string>& parameterCallbackNames() {
  static const std::vector<std::string> names = [] {
    std::vector<std::string> n;
    for (const Control& c : kControls)
      n.emplace_back(c.callback);
    return n;
  }();
  return names;
}

void parameterControlCallback(const std::string& callback, const Value& h, const Value& handles) {
  const auto it = std::find_if(std::begin(kControls), std::end(kControls),
                               [&](const Control& c) { return callback == c.callback; });
  if (it == std::end(kControls))
    throw runtime::Error("No parameter control calls back \"" + callback + "\".");
  store(*it, h);
  AppState& state = currentState();
  if (std::string_view(it->field) == "oversampleRatio") oversampleRatioEdited(state);
  if (std::string_view(it->field) == "autoCalculateReps") autoRepsEdited(state, handles);
  if (it->redraw) redraw(handles);
}

namespace {

// Step 1 of the redraw: every control shows its field. A selection the list cannot show (a
// parameter file may hold any number) leaves the list as it was.
void writeControl(const Control& c, const Value& h, const Parameters& p) {
  const ParameterSpec& spec = specOf(c);
  switch (c.edit) {
    case Edit::Selection: {
      const double x = spec.number(p);
      const auto entries = tk::get(h, "String").items().size();
      if (runtime::isWholeIn(x, 1, static_cast<double>(entries)))
        tk::set(h, "Value", Value::scalar(x));
      break;
    }
    case Edit::Check:
      tk::set(h, "Value", Value::scalar(spec.number(p) == 1 ? 1 : 0));
      break;
    case Edit::Integer:
      tk::set(h, "Value", Value::scalar(spec.number(p)));
      tk::set(h, "String", Value::text(runtime::numToText(spec.number(p))));
      break;
    case Edit::Name:
      tk::set(h, "String", Value::text(spec.text(p)));
      break;
  }
}

void writeRepetitions(const Value& handles, const Parameters& p) {
  for (const auto& [tag, reps] :
       {std::pair{"TrafficChannelWaveformReps", p.trafficChannelWaveformReps},
        std::pair{"ControlChannelWaveformReps", p.controlChannelWaveformReps}}) {
    tk::set(tk::tagged(handles, tag), "Value", Value::scalar(reps));
    tk::set(tk::tagged(handles, tag), "String", Value::text(runtime::numToText(reps)));
  }
  tk::set(tk::tagged(handles, "ControlChannelWaveformTextField"), "String",
          Value::text(p.controlChannelWaveformName));
}

}  // namespace

void redrawFormatParameters(const Value& handles) {
  AppState& state = currentState();
  Parameters& p = state.parameters;
  for (const Control& c : kControls)
    writeControl(c, tk::tagged(handles, c.tag), p);
  deriveParameters(state);
  const DerivedFrames frames = deriveFrames(p);
  tk::set(tk::tagged(handles, "TrafficFramesTextField"), "String",
          Value::text(runtime::numToText(frames.trafficFrames)));
  tk::set(tk::tagged(handles, "ControlFramesTextField"), "String",
          Value::text(runtime::numToText(frames.controlFrames)));
  tk::set(tk::tagged(handles, "ProjectedLengthLabel"), "String",
          Value::text(runtime::numToText(p.ProjectedLength)));
  if (p.autoCalculateReps == 1) writeRepetitions(handles, p);
  const UnitDisplay carrier = frequencyDisplay(p.Frequency);
  tk::set(tk::tagged(handles, "pdFrequencyUnits"), "Value", Value::scalar(carrier.entry));
  tk::set(tk::tagged(handles, "txtFrequency"), "String", Value::text(carrier.number));
  tk::set(tk::tagged(handles, "FrequencyLabel"), "String", Value::text(carrier.text()));
  tk::set(tk::tagged(handles, "AmplitudeTextField"), "String",
          Value::text(runtime::numToText(p.Amplitude)));
}

void describeParameterControls(const Value& handles) {
  for (const Control& c : kControls) {
    const ParameterSpec& spec = specOf(c);
    const Value h = tk::tagged(handles, c.tag);
    if (c.edit == Edit::Selection) {
      std::vector<Value> entries;
      for (const ParameterChoice& choice : spec.choices)
        if (choice.refusal.empty()) entries.push_back(Value::text(choice.label));
      tk::set(h, "String", Value::list(std::move(entries)));
    }
    tk::set(h, "TooltipString", Value::text(toolTipOf(spec)));
  }
}

void chooseChannel(const Value& handles) {
  const Parameters& p = currentState().parameters;
  const auto out = registry::call("Qarn_ChannelNumberToFreqGUI",
                                  {Value::scalar(p.BandClass), Value::scalar(p.TransmitterType),
                                   Value::scalar(p.ChannelNumber)},
                                  4);
  if (out.empty() || out[0].numel() == 0) return;  // cancelled
  const double hz = out[0].toDouble() * 1000000;
  if (hz == 0) {
    toolkit::dialogs().error("Invalid channel number.", "Channel Number");
    return;
  }
  Parameters& q = currentState().parameters;
  q.Frequency = hz;
  q.BandClass = out.at(1).toDouble();
  q.TransmitterType = out.at(2).toDouble();
  q.ChannelNumber = out.at(3).toDouble();
  redraw(handles);
}

}  // namespace kelvane::app::window
