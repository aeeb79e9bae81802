// The quantities the operator cannot type, derived from the parameters as the main window's
// redraw derives them: frames of each waveform, the projected sequence length, the automatic
// repetition counts, and the carrier and level copied into the signal generator settings.
#pragma once

#include <string>

#include "app/records.hpp"
#include "app/state.hpp"

namespace kelvane::app {

struct DerivedFrames {
  double trafficFrames = 0;  // 16-slot frames of the traffic waveform
  double controlFrames = 0;  // 4 for control DRC 1, 2 for DRC 2, 0 otherwise
};

// Traffic slots = ceil(packets / 4) x slots x 4 (the 4-slot interlace), frames = ceil(slots/16).
// A DRC without a packet format gives 0 traffic frames.
DerivedFrames deriveFrames(const Parameters& p);

// A frequency shown with a unit: entry 1 Hz below 1000, 2 kHz below 1e6, 3 MHz below 1e9, else
// 4 GHz (at most `units` entries: the sample clock list stops at MHz). `number` is the scaled
// value in the shortest general notation: 1955000000 shows "1.955" with entry 4.
struct UnitDisplay {
  int entry = 1;
  double value = 0;
  std::string number;
  std::string unit;
  std::string text() const { return number + " " + unit; }
};
UnitDisplay frequencyDisplay(double hz, int units = 4);

// The ARB sample clock in Hz for the parameters' oversampling ratio: the chip rate times the
// ratio, e.g. 6144000 for ratio 5. The one place this product is formed.
double sampleRate(const Parameters& p);

// Writes ProjectedLength, the repetitions (when autoCalculateReps is 1: control 1, traffic
// fix((48 - control frames) / traffic frames), so the sequence fills at most 48 frames) and
// copies Frequency and Amplitude into SigGenSettings.
void deriveParameters(AppState& state);

}  // namespace kelvane::app
