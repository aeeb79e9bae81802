#include "app/state.hpp"

#include <chrono>
#include <ctime>

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

std::array<double, 6> clockNow() {
  const auto now = std::chrono::system_clock::now();
  const std::time_t t = std::chrono::system_clock::to_time_t(now);
  std::tm local{};
  localtime_r(&t, &local);
  const auto sinceSecond =
      now - std::chrono::system_clock::from_time_t(t);  // the fraction of the current second
  const double fraction = std::chrono::duration<double>(sinceSecond).count();
  return {static_cast<double>(local.tm_year + 1900),
          static_cast<double>(local.tm_mon + 1),
          static_cast<double>(local.tm_mday),
          static_cast<double>(local.tm_hour),
          static_cast<double>(local.tm_min),
          static_cast<double>(local.tm_sec) + (fraction >= 0 && fraction < 1 ? fraction : 0)};
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
