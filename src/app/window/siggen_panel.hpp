// The signal generator panel of the main window (module Velconfig_c): carrier frequency with its
// unit, output power and waveform title of SigGenSettings, and the button to the advanced
// settings dialog. It has no window of its own: it works on the main window's handles.
#pragma once

#include <optional>
#include <string>

#include "runtime/value.hpp"

namespace kelvane::app::window {

void InitializeSigGenScreenObjects(const runtime::Value& handles);
void redrawSigGenSettings(const runtime::Value& handles);
// The frequency text in the chosen unit, the smallest of its numbers clamped to 100 kHz..6 GHz.
// A text that holds no number shows the parse error box and keeps the frequency.
void updateFrequency(const runtime::Value& handles);
void amplitudeEdited(const runtime::Value& handles);
void titleEdited(const runtime::Value& handles);
void openAdvancedSettings(const runtime::Value& handles);

// The title as stored: upper case, only A-Z 0-9 _ $ & # + - [ ], at most 20 characters, "BLANK"
// when nothing is left: "my wave #2!" gives "MYWAVE#2".
std::string cleanTitle(const std::string& text);

// The smallest of the numbers of `text`, clamped to lo..hi, each first rounded by `round`;
// none when the text holds no number (the mended rule: no number is no value, not the upper
// limit).
std::optional<double> clampedEntry(const std::string& text, double scale, double lo, double hi,
                                   double (*round)(double));

}  // namespace kelvane::app::window
