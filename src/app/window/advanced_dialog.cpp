#include "app/window/advanced_dialog.hpp"

#include <cmath>
#include <map>

#include "app/derived.hpp"
#include "app/window/entries.hpp"
#include "app/window/figure_helpers.hpp"
#include "app/window/siggen_panel.hpp"
#include "instrument/records_value.hpp"
#include "registry/registry.hpp"
#include "runtime/text.hpp"
#include "toolkit/dialogs.hpp"
#include "toolkit/figures.hpp"
#include "toolkit/modal.hpp"
#include "toolkit/objects.hpp"
#include "toolkit/properties.hpp"

namespace kelvane::app::window {

using runtime::Value;
namespace tk = kelvane::toolkit;

namespace {

instrument::SigGenSettings working() {
  const Value v = registry::getVariable("newSettings");
  return v.isRecord() ? instrument::sigGenSettingsFromValue(v) : advancedDefaults();
}

void store(const instrument::SigGenSettings& s) {
  registry::setVariable("newSettings", instrument::toValue(s));
}

double identity(double x) {
  return x;
}
double hundredths(double x) {
  return std::round(x * 100) / 100;
}
double whole(double x) {
  return std::round(x);
}

// Scaling and attenuation: the smallest number rounded and clamped, then a redraw; a text with
// no number shows the parse error box and keeps the value.
void numberEdited(const Value& handles, const char* tag, double instrument::SigGenSettings::*f,
                  double lo, double hi, double (*round)(double)) {
  instrument::SigGenSettings s = working();
  const auto x = clampedEntry(tk::get(tk::tagged(handles, tag), "String").str(), 1, lo, hi, round);
  if (x) {
    s.*f = *x;
    store(s);
  } else {
    showParseError();
  }
  redrawAll(handles);
}

void flagEdited(const Value& h, double instrument::SigGenSettings::*f) {
  instrument::SigGenSettings s = working();
  s.*f = tk::get(h, "Value").toDouble();
  store(s);
}

// OK, Cancel and the close box: the answer goes with the dialog's handles, the wait ends.
void answer(const Value& h, const char* text) {
  Value handles = tk::guidata(h);
  if (!handles.isRecord()) handles = Value::record();
  handles.setField("answer", Value::text(text));
  tk::guidata(h, handles);
  tk::resume(tk::windowOf(h));
}

}  // namespace

instrument::SigGenSettings advancedDefaults() {
  instrument::SigGenSettings s;
  s.Title = "NoName";
  s.Frequency = 1000000000;
  s.Amplitude = -50;
  s.SamplingRate = 1000000;
  s.BBfilter = 2;
  s.Scaling = 95;
  s.ModAtten = 0;
  s.RFblanking = 1;
  s.ALC = 1;
  s.ArbRefSource = 0;
  s.MarkerPolarity = 0;
  return s;
}

void defaultSettings() {
  store(advancedDefaults());
}

void InitializeAdvancedFigure(const Value& handles) {
  resizeAllFonts(handles);
  const std::pair<const char*, const char*> tips[] = {
      {"txtSamplingRate",
       "Sets the baseband samping rate.\nValid Range: 1 Hz - 100 MHz\n(Configures automatically to "
       "be consistent\nwith the selected Oversampling Ratio.)"},
      {"pdBBfilter", "Selects the Vel IQ Baseband filter."},
      {"txtScaling", "Sets the I & Q scaling ratio.\nValid Range: 1 - 100 %"},
      {"txtModAtten", "Sets the Modulator Attentuation.\nValid Range: 0 - 40 dB"},
      {"chkRFblanking", "Toggles the state of the\nRF Blanking feature."},
      {"chkALC", "Toggles the state of the\nAutomatic Level Control (ALC)."},
      {"chkBBrefSource",
       "Toggles the source of the ARB reference\nbetween internal and external.\n(Note: Ensure "
       "that an external reference\nis connected to the Vel before setting\nthe ARB reference "
       "source to external.)"},
      {"chkMarkerPolarity",
       "Toggles the Event marker polarity.\n(Note: The Event 2 Marker is used by\nthe internal RF "
       "Blanking feature, inverting the\npolarity while RF Blanking is active may\nlead to "
       "unexpected behaivour.)"},
      {"pbOK", "Apply all changes."},
      {"pbCancel", "Discards all changes."},
  };
  for (const auto& [tag, tip] : tips)
    tk::set(tk::tagged(handles, tag), "TooltipString", Value::text(tip));
}

void redrawAll(const Value& handles) {
  const instrument::SigGenSettings s = working();
  const UnitDisplay rate = frequencyDisplay(s.SamplingRate, 3);
  tk::set(tk::tagged(handles, "pdSamplingRateUnits"), "Value", Value::scalar(rate.entry));
  tk::set(tk::tagged(handles, "txtSamplingRate"), "String", Value::text(rate.number));
  const Value filter = tk::tagged(handles, "pdBBfilter");
  const auto entries = tk::get(filter, "String").items().size();
  if (s.BBfilter >= 1 && s.BBfilter <= static_cast<double>(entries) &&
      s.BBfilter == std::trunc(s.BBfilter))
    tk::set(filter, "Value", Value::scalar(s.BBfilter));
  tk::set(tk::tagged(handles, "txtScaling"), "String", Value::text(runtime::numToText(s.Scaling)));
  tk::set(tk::tagged(handles, "txtModAtten"), "String",
          Value::text(runtime::numToText(s.ModAtten)));
  tk::set(tk::tagged(handles, "chkRFblanking"), "Value", Value::scalar(s.RFblanking != 0));
  tk::set(tk::tagged(handles, "chkALC"), "Value", Value::scalar(s.ALC != 0));
  tk::set(tk::tagged(handles, "chkBBrefSource"), "Value", Value::scalar(s.ArbRefSource != 0));
  tk::set(tk::tagged(handles, "chkMarkerPolarity"), "Value", Value::scalar(s.MarkerPolarity != 0));
}

void updateSamplingRate(const Value& handles) {
  instrument::SigGenSettings s = working();
  const double entry = tk::get(tk::tagged(handles, "pdSamplingRateUnits"), "Value").toDouble();
  const auto hz = clampedEntry(tk::get(tk::tagged(handles, "txtSamplingRate"), "String").str(),
                               std::pow(10.0, 3 * (entry - 1)), 1, 100e6, identity);
  if (hz) {
    s.SamplingRate = *hz;
    store(s);
  } else {
    showParseError();
  }
  redrawAll(handles);
}

void advancedCallback(const std::string& callback, const Value& h, const Value& handles) {
  using S = instrument::SigGenSettings;
  static const std::map<std::string, double S::*, std::less<>> kFlags = {
      {"pdBBfilter_Callback", &S::BBfilter},
      {"chkRFblanking_Callback", &S::RFblanking},
      {"chkALC_Callback", &S::ALC},
      {"chkBBrefSource_Callback", &S::ArbRefSource},
      {"chkMarkerPolarity_Callback", &S::MarkerPolarity},
  };
  if (const auto it = kFlags.find(callback); it != kFlags.end()) return flagEdited(h, it->second);
  if (callback == "txtSamplingRate_Callback" || callback == "pdSamplingRateUnits_Callback")
    return updateSamplingRate(handles);
  if (callback == "txtScaling_Callback")
    return numberEdited(handles, "txtScaling", &S::Scaling, 1, 100, hundredths);
  if (callback == "txtModAtten_Callback")
    return numberEdited(handles, "txtModAtten", &S::ModAtten, 0, 40, whole);
  if (callback == "pbOK_Callback") return answer(h, "OK");
  if (callback == "pbCancel_Callback" || callback == "closeFig_Callback")
    return answer(h, "Cancel");
  throw runtime::Error("The advanced settings dialog has no callback \"" + callback + "\".");
}

std::pair<std::string, Value> editAdvancedSettings(const Value* fig, const Value* settings) {
  const Value dialog = fig ? *fig : loadFigure("VelConfigAdv_c", Value::handle(tk::kRootHandle));
  const Value handles = tk::guihandles(dialog);
  tk::guidata(dialog, handles);  // no answer yet
  if (fig && settings)
    store(instrument::sigGenSettingsFromValue(*settings));
  else
    defaultSettings();
  redrawAll(handles);
  tk::set(dialog, "Visible", Value::text("on"));
  tk::waitFor(tk::windowOf(dialog));
  std::string answerText = "Cancel";
  if (tk::isValidHandle(dialog)) {
    const Value stored = tk::guidata(dialog);
    if (stored.isRecord() && stored.hasField("answer") && stored.field("answer").isText())
      answerText = stored.field("answer").str();
    tk::set(dialog, "Visible", Value::text("off"));
  }
  return {answerText, registry::getVariable("newSettings")};
}

}  // namespace kelvane::app::window
