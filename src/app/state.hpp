// The application-wide state: the records and the four waveform results that every window
// module, the frame and the command-line tool share. One instance exists while the library is
// initialized; the process-wide named variables read and write it (bindStateVariables).
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "app/records.hpp"
#include "instrument/records.hpp"
#include "runtime/clock.hpp"
#include "runtime/value.hpp"
#include "synthesis/waveform.hpp"

namespace kelvane::app {

// Start-up values. Parameters take their carrier from the channel (Qarn_ChannelNumberToFrequency
// in MHz, times 1e6); the sample clock of SigGenSettings is oversampleRatio x 1228800 Hz.
AppInfo startupAppInfo();
instrument::Configuration startupConfiguration();
Parameters startupParameters();
instrument::SigGenSettings startupSigGenSettings(const Parameters& p);

class AppState {
 public:
  // Every record at its start-up value (InitializeAppInfo, InitializeConfiguration,
  // InitializeParameters, InitializeSigGenSettings in that order); no waveforms.
  AppState();

  AppInfo appInfo;
  Parameters parameters;
  instrument::SigGenSettings sigGenSettings;
  instrument::Configuration configuration;
  FigureList figureList;
  // trafficWaveform/trafficMarkers and controlWaveform/controlMarkers; empty until calculated.
  synthesis::Waveform traffic;
  synthesis::Waveform control;

  void InitializeAppInfo();
  void InitializeConfiguration();
  void InitializeParameters();
  // Reads parameters.oversampleRatio, so it runs after InitializeParameters.
  void InitializeSigGenSettings();

  // Calculate's bookkeeping, written before the synthesis starts: the clock reading and a copy
  // of the parameters.
  void recordCalculation(const std::array<double, 6>& clock);
  // Nothing calculated yet (appInfo.LastCalcTimeStamp empty).
  bool calculated() const { return appInfo.LastCalcTimeStamp.has_value(); }
  // The parameters differ from the copy taken at the last calculation, by compareStruct (names,
  // repetitions and carrier included; a NaN field always differs). True when never calculated.
  bool parametersChangedSinceCalculation() const;
};

// The current clock reading: year, month, day, hour, minute, seconds (with fraction).
inline std::array<double, 6> clockNow() {
  return runtime::clockNow();
}

// The instance of the initialized library; throws runtime::Error when there is none.
AppState& currentState();
bool hasCurrentState();
void setCurrentState(AppState* state);

}  // namespace kelvane::app
