#include "app/derived.hpp"

#include <cmath>

#include "coding/modparams.hpp"
#include "runtime/text.hpp"

namespace kelvane::app {

namespace {
constexpr double kChipsPerFrame = 32768;  // 16 slots of 2048 chips
constexpr double kMaxSequenceFrames = 48;
}  // namespace

UnitDisplay frequencyDisplay(double hz, int units) {
  static const char* const kUnits[] = {"Hz", "kHz", "MHz", "GHz"};
  UnitDisplay d;
  double scale = 1;
  while (d.entry < units && d.entry < 4 && hz >= scale * 1000) {
    scale *= 1000;
    ++d.entry;
  }
  d.value = hz / scale;
  d.number = runtime::numToText(d.value);
  d.unit = kUnits[d.entry - 1];
  return d;
}

double sampleRate(const Parameters& p) {
  return kChipRate * p.oversampleRatio;
}

DerivedFrames deriveFrames(const Parameters& p) {
  DerivedFrames f;
  if (auto format = coding::Qarn_FwdTrfChnModParams(p.trafficChannelDRCValue)) {
    const double slots = std::ceil(p.trafficChannelPackets / 4) * format->slots * 4;
    f.trafficFrames = std::ceil(slots / 16);
  }
  f.controlFrames = p.controlChannelDRCValue == 1 ? 4 : p.controlChannelDRCValue == 2 ? 2 : 0;
  return f;
}

void deriveParameters(AppState& state) {
  Parameters& p = state.parameters;
  const DerivedFrames f = deriveFrames(p);
  p.ProjectedLength = (f.controlFrames + f.trafficFrames) * kChipsPerFrame * p.oversampleRatio;
  if (p.autoCalculateReps == 1) {
    p.controlChannelWaveformReps = 1;
    // A traffic waveform of no frames (no format) leaves its count as it was.
    if (f.trafficFrames > 0)
      p.trafficChannelWaveformReps =
          std::trunc((kMaxSequenceFrames - f.controlFrames) / f.trafficFrames);
  }
  state.sigGenSettings.Frequency = p.Frequency;
  state.sigGenSettings.Amplitude = p.Amplitude;
}

}  // namespace kelvane::app
