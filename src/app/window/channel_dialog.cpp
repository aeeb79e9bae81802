#include "app/window/channel_dialog.hpp"

#include <algorithm>
#include <cmath>

#include "coding/channel_frequency.hpp"
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

// A preference, set to its first value when first read empty.
double preference(const char* name, double first) {
  const Value v = registry::getVariable(name);
  if (v.isReal() && v.numel() == 1) return v.toDouble();
  registry::setVariable(name, Value::scalar(first));
  return first;
}

void setSide(const Value& handles, double transmitterType) {
  tk::set(tk::tagged(handles, "AccessTerminalRadioButton"), "Value",
          Value::scalar(transmitterType == 0 ? 1 : 0));
  tk::set(tk::tagged(handles, "AccessNetworkRadioButton"), "Value",
          Value::scalar(transmitterType == 0 ? 0 : 1));
}

void showChoice(const Value& handles, const ChannelChoice& c) {
  tk::set(tk::tagged(handles, "BandClassComboBox"), "Value", Value::scalar(c.bandClass + 1));
  setSide(handles, c.transmitterType);
  const Value field = tk::tagged(handles, "ChannelNumberTextField");
  tk::set(field, "String", Value::text(runtime::numToText(c.channelNumber)));
  tk::set(field, "Value", Value::scalar(c.channelNumber));
}

void closeWith(const Value& h, Value frequency) {
  registry::setVariable("frequency", std::move(frequency));
  tk::deleteObject(tk::handleOf(tk::windowOf(h)));
}

// Channel numbers are refused in the field itself; the field keeps its last accepted number.
void channelNumberEdited(const Value& h, const Value& handles) {
  const double kept = tk::get(h, "Value").toDouble();
  const auto n = runtime::parseNumber(tk::get(h, "String").str());
  double result = kept;
  if (!n) {
    toolkit::dialogs().error("Data entered cannot be parsed to valid scalar value.", "Error");
  } else {
    const double channel = std::trunc(*n);
    const ChannelChoice c = getParametersFromUI(handles);
    if (coding::Qarn_ChannelNumberToFrequency(c.bandClass, c.transmitterType, channel) == 0)
      toolkit::dialogs().error("Invalid channel number for the specified Band Class", "Error");
    else
      result = channel;
  }
  tk::set(h, "String", Value::text(runtime::numToText(result)));
  tk::set(h, "Value", Value::scalar(result));
}

}  // namespace

ChannelChoice getPreferences() {
  ChannelChoice c;
  c.bandClass = preference("preferredBandClass", 4);
  c.transmitterType = preference("preferredTransmitterType", 1);
  c.channelNumber = preference("preferredChannelNumber", 500);
  return c;
}

void setPreferences(const ChannelChoice& c) {
  registry::setVariable("preferredBandClass", Value::scalar(c.bandClass));
  registry::setVariable("preferredTransmitterType", Value::scalar(c.transmitterType));
  registry::setVariable("preferredChannelNumber", Value::scalar(c.channelNumber));
}

ChannelChoice getParametersFromUI(const Value& handles) {
  ChannelChoice c;
  c.bandClass = tk::get(tk::tagged(handles, "BandClassComboBox"), "Value").toDouble() - 1;
  c.transmitterType =
      tk::get(tk::tagged(handles, "AccessTerminalRadioButton"), "Value").toDouble() == 1 ? 0 : 1;
  c.channelNumber = tk::get(tk::tagged(handles, "ChannelNumberTextField"), "Value").toDouble();
  return c;
}

double calculateFrequency(const Value& handles) {
  const ChannelChoice c = getParametersFromUI(handles);
  const double mhz =
      coding::Qarn_ChannelNumberToFrequency(c.bandClass, c.transmitterType, c.channelNumber);
  setPreferences(c);
  return mhz;
}

void channelCallback(const std::string& callback, const Value& h, const Value& handles) {
  if (callback == "AN_RadioButtonCallback") return setSide(handles, 1);
  if (callback == "AT_RadioButtonCallback") return setSide(handles, 0);
  if (callback == "BandClassComboBox_Callback") return;  // read on Apply
  if (callback == "ChannelNumberTextField_Callback") return channelNumberEdited(h, handles);
  if (callback == "ApplyButton_Callback")
    return closeWith(h, Value::scalar(calculateFrequency(handles)));
  if (callback == "CancelButton_Callback" || callback == "CDMAFreqDialog_CloseRequestFcn")
    return closeWith(h, Value());
  throw runtime::Error("The channel number dialog has no callback \"" + callback + "\".");
}

std::array<Value, 4> chooseChannelNumber(std::optional<double> bandClass,
                                         std::optional<double> transmitterType,
                                         std::optional<double> channelNumber) {
  const Value fig = tk::openfig("Qarn_ChannelNumberToFreqGUI", tk::OpenPolicy::Reuse);
  tk::set(fig, "Color", tk::get(Value::handle(tk::kRootHandle), "defaultUicontrolBackgroundColor"));
  const Value handles = tk::guihandles(fig);
  tk::guidata(fig, handles);
  ChannelChoice c = getPreferences();
  if (bandClass) c.bandClass = *bandClass;
  if (transmitterType && (*transmitterType == 0 || *transmitterType == 1))
    c.transmitterType = *transmitterType;
  if (channelNumber) c.channelNumber = *channelNumber;
  c.bandClass = std::trunc(std::clamp(c.bandClass, 0.0, 9.0));
  c.transmitterType = std::clamp(c.transmitterType, 0.0, 1.0);
  showChoice(handles, c);
  tk::set(fig, "Visible", Value::text("on"));
  tk::waitFor(tk::windowOf(fig));
  const ChannelChoice p = getPreferences();
  return {registry::getVariable("frequency"), Value::scalar(p.bandClass),
          Value::scalar(p.transmitterType), Value::scalar(p.channelNumber)};
}

}  // namespace kelvane::app::window
