#include "app/window/siggen_panel.hpp"

#include <algorithm>
#include <cctype>
#include <cmath>

#include "app/derived.hpp"
#include "app/parameter_table.hpp"
#include "app/state.hpp"
#include "app/window/entries.hpp"
#include "instrument/records_value.hpp"
#include "registry/registry.hpp"
#include "runtime/text.hpp"
#include "toolkit/dialogs.hpp"
#include "toolkit/figures.hpp"
#include "toolkit/properties.hpp"

namespace kelvane::app::window {

using runtime::Value;
namespace tk = kelvane::toolkit;

namespace {

constexpr double kMinAmplitude = -136;
constexpr double kMaxAmplitude = 20;
constexpr std::size_t kMaxTitle = 20;

double identity(double x) {
  return x;
}

// Half away from zero, as the panel rounds the power.
double wholeDb(double x) {
  return std::round(x);
}

}  // namespace

std::optional<double> clampedEntry(const std::string& text, double scale, double lo, double hi,
                                   double (*round)(double)) {
  const auto numbers = runtime::parseNumberList(text);
  if (!numbers || numbers->empty()) return std::nullopt;
  double x = hi;
  for (double n : *numbers)
    x = std::min(x, round(n * scale));
  return std::max(lo, x);
}

void InitializeSigGenScreenObjects(const Value& handles) {
  tk::set(
      tk::tagged(handles, "txtFrequency"), "TooltipString",
      Value::text("Sets the carrier frequency.\nValid Range: 100 kHz - 6 GHz\n(Note: Vel option "
                  "determines the\nmaximum frequency.)"));
  tk::set(tk::tagged(handles, "txtAmplitude"), "TooltipString",
          Value::text("Sets the output power.\nValid Range: -136 dBm to +20 dBm\n(Note: Vel option "
                      "determines the\nmaximum amplitude.)"));
  tk::set(tk::tagged(handles, "txtWaveformTitle"), "TooltipString",
          Value::text("Enter the title used to store the \nwaveform in the Vel."));
  tk::set(tk::tagged(handles, "pbAdvancedSettings"), "TooltipString",
          Value::text("Configures advanced Signal Generator options."));
}

void redrawSigGenSettings(const Value& handles) {
  const instrument::SigGenSettings& s = currentState().sigGenSettings;
  const UnitDisplay f = frequencyDisplay(s.Frequency);
  tk::set(tk::tagged(handles, "pdFrequencyUnits"), "Value", Value::scalar(f.entry));
  tk::set(tk::tagged(handles, "txtFrequency"), "String", Value::text(f.number));
  tk::set(tk::tagged(handles, "txtWaveformTitle"), "String", Value::text(s.Title));
  tk::set(tk::tagged(handles, "txtAmplitude"), "String",
          Value::text(runtime::numToText(s.Amplitude)));
}

void updateFrequency(const Value& handles) {
  const double entry = tk::get(tk::tagged(handles, "pdFrequencyUnits"), "Value").toDouble();
  const double scale = std::pow(10.0, 3 * (entry - 1));
  const auto hz = clampedEntry(tk::get(tk::tagged(handles, "txtFrequency"), "String").str(), scale,
                               kMinFrequency, kMaxFrequency, identity);
  if (hz)
    currentState().sigGenSettings.Frequency = *hz;
  else
    showParseError();
  redrawSigGenSettings(handles);
}

void amplitudeEdited(const Value& handles) {
  const Value field = tk::tagged(handles, "txtAmplitude");
  const auto dbm =
      clampedEntry(tk::get(field, "String").str(), 1, kMinAmplitude, kMaxAmplitude, wholeDb);
  if (dbm)
    currentState().sigGenSettings.Amplitude = *dbm;
  else
    showParseError();
  tk::set(field, "String",
          Value::text(runtime::numToText(currentState().sigGenSettings.Amplitude)));
}

std::string cleanTitle(const std::string& text) {
  std::string title;
  for (char c : text) {
    const char u = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    const bool kept = (u >= 'A' && u <= 'Z') || (u >= '0' && u <= '9') ||
                      std::string_view("_$&#+-[]").find(u) != std::string_view::npos;
    if (kept) title += u;
  }
  if (title.size() > kMaxTitle) title.resize(kMaxTitle);
  return title.empty() ? "BLANK" : title;
}

void titleEdited(const Value& handles) {
  currentState().sigGenSettings.Title =
      cleanTitle(tk::get(tk::tagged(handles, "txtWaveformTitle"), "String").str());
  redrawSigGenSettings(handles);
}

void openAdvancedSettings(const Value&) {
  AppState& state = currentState();
  if (!state.figureList.AdvSettings)
    throw runtime::Error("The advanced settings dialog is not loaded.");
  const auto out = registry::call(
      "VelConfigAdv_c",
      {Value::handle(*state.figureList.AdvSettings), instrument::toValue(state.sigGenSettings)}, 2);
  if (out.size() == 2 && out[0].isText() && out[0].str() == "OK")
    state.sigGenSettings = instrument::sigGenSettingsFromValue(out[1]);
}

}  // namespace kelvane::app::window
