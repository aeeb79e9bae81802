// The main window's parameter controls: one control per field of `parameters`, each edit
// validated and stored by its callback, and the redraw that writes every control from the
// records with the derived frames, projected length, repetitions and carrier.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "runtime/value.hpp"

namespace kelvane::app::window {

// The edit field `h` as a whole number: a text that is no number brings back the field's last
// accepted number with the box "Value entered cannot be parsed to valid scalar value."; a
// number is raised to `minValue`, lowered to `maxValue` (each only when given), then truncated
// toward zero (4.9 in 5..63 gives 5, 63.9 gives 63). The field then shows the result.
double validateTextFieldParseInt(const runtime::Value& h, std::optional<double> minValue,
                                 std::optional<double> maxValue);

// An instrument file name: the 30 forbidden characters removed, `defaultName` when nothing is
// left, at most 23 characters: " my wave (1).wfm" gives "mywave1.wfm".
std::string validateFileNameText(const std::string& oldName, const std::string& defaultName);

// Writes every control from `parameters`, derives frames, ProjectedLength, the automatic
// repetitions and the carrier display, and copies the carrier and level into SigGenSettings.
void redrawFormatParameters(const runtime::Value& handles);

// The list entries and tool tips of the parameter controls, from the parameter table.
void describeParameterControls(const runtime::Value& handles);

// The callback of a parameter control by its name (e.g. "trafficChannelPackets_Callback"):
// reads the control `h`, stores the field and redraws where the field's edit asks for it. The
// names are those parameterCallbackNames() lists.
void parameterControlCallback(const std::string& callback, const runtime::Value& h,
                              const runtime::Value& handles);
const std::vector<std::string>& parameterCallbackNames();

// The carrier chosen in the channel number dialog (CDMAFrequency_Callback).
void chooseChannel(const runtime::Value& handles);

}  // namespace kelvane::app::window
