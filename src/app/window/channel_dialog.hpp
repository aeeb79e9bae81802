// The channel number dialog (module Qarn_ChannelNumberToFreqGUI): the operator picks a band
// class, the transmitting side and a channel number; the dialog checks that the channel exists
// and returns the carrier. The last applied choices are remembered for the session in the named
// variables preferredBandClass, preferredTransmitterType and preferredChannelNumber; the result
// of the last use is the named variable `frequency`.
#pragma once

#include <array>
#include <optional>
#include <string>

#include "runtime/value.hpp"

namespace kelvane::app::window {

struct ChannelChoice {
  double bandClass = 4;
  double transmitterType = 1;
  double channelNumber = 500;
};

// Qarn_ChannelNumberToFreqGUI(), (transmitterType) or (bandClass, transmitterType,
// channelNumber): shows the dialog modally; returns {frequency in MHz (empty after Cancel or
// close, 0 for a channel outside the band class), band class, transmitter type, channel}.
std::array<runtime::Value, 4> chooseChannelNumber(std::optional<double> bandClass,
                                                  std::optional<double> transmitterType,
                                                  std::optional<double> channelNumber);

ChannelChoice getPreferences();
void setPreferences(const ChannelChoice& choice);
ChannelChoice getParametersFromUI(const runtime::Value& handles);
double calculateFrequency(const runtime::Value& handles);
// The callbacks by name: AN_RadioButtonCallback ... CDMAFreqDialog_CloseRequestFcn.
void channelCallback(const std::string& callback, const runtime::Value& h,
                     const runtime::Value& handles);

}  // namespace kelvane::app::window
