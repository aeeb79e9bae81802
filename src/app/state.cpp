#include "app/state.hpp"

#include "app/derived.hpp"
#include "app/record_fields.hpp"
#include "coding/channel_frequency.hpp"
#include "frame/parameter_file.hpp"
#include "instrument/records_value.hpp"

namespace kelvane::app {

using runtime::Value;

AppInfo startupAppInfo() {
  return AppInfo{};
}

instrument::Configuration startupConfiguration() {
  return instrument::Configuration{};
}

Parameters startupParameters() {
  Parameters p;
  p.Frequency =
      coding::Qarn_ChannelNumberToFrequency(p.BandClass, p.TransmitterType, p.ChannelNumber) *
      1000000;
  return p;
}

instrument::SigGenSettings startupSigGenSettings(const Parameters& p) {
  instrument::SigGenSettings s;  // the record's start-up values
  s.SamplingRate = sampleRate(p);
  return s;
}

AppState::AppState() {
  InitializeAppInfo();
  InitializeConfiguration();
  InitializeParameters();
  InitializeSigGenSettings();
}

void AppState::InitializeAppInfo() {
  appInfo = startupAppInfo();
}

void AppState::InitializeConfiguration() {
  configuration = startupConfiguration();
}

void AppState::InitializeParameters() {
  parameters = startupParameters();
}

void AppState::InitializeSigGenSettings() {
  sigGenSettings = startupSigGenSettings(parameters);
}

void AppState::recordCalculation(const std::array<double, 6>& clock) {
  appInfo.LastCalcTimeStamp = clock;
  appInfo.LastCaluclatedParameterSet = parameters;
}

bool AppState::parametersChangedSinceCalculation() const {
  if (!appInfo.LastCaluclatedParameterSet) return true;
  return !frame::compareStruct(toValue(*appInfo.LastCaluclatedParameterSet), toValue(parameters));
}

namespace {
AppState* currentInstance = nullptr;
}  // namespace

AppState& currentState() {
  if (!currentInstance)
    throw runtime::Error("The application state does not exist: the library is not initialized.");
  return *currentInstance;
}

bool hasCurrentState() {
  return currentInstance != nullptr;
}

void setCurrentState(AppState* state) {
  currentInstance = state;
}

}  // namespace kelvane::app
