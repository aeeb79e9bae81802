// The quantities the operator cannot type, derived from the parameters as the main window's
// redraw derives them: frames of each waveform, the projected sequence length, the automatic
// repetition counts, and the carrier and level copied into the signal generator settings.
#pragma once

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

// The ARB sample clock in Hz for the parameters' oversampling ratio: the chip rate times the
// ratio, e.g. 6144000 for ratio 5. The one place this product is formed.
double sampleRate(const Parameters& p);

// Writes ProjectedLength, the repetitions (when autoCalculateReps is 1: control 1, traffic
// fix((48 - control frames) / traffic frames), so the sequence fills at most 48 frames) and
// copies Frequency and Amplitude into SigGenSettings.
void deriveParameters(AppState& state);

}  // namespace kelvane::app
