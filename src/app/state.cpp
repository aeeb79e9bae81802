#include "app/state.hpp"

#include <chrono>
#include <ctime>

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
  instrument::SigGenSettings s;
  s.Title = "ASDF-UNUSED";
  s.Frequency = 1955000000;
  s.Amplitude = -30;
  s.SamplingRate = kChipRate * p.oversampleRatio;
  s.BBfilter = 1;
  s.Scaling = 95;
  s.ModAtten = 0;
  s.RFblanking = 0;
  s.ALC = 0;
  s.ArbRefSource = 0;
  s.MarkerPolarity = 0;
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

Value samplesToValue(std::span<const std::complex<double>> samples) {
  if (samples.empty()) return Value();
  return Value::complexRow(std::vector<std::complex<double>>(samples.begin(), samples.end()));
}

Value markersToValue(std::span<const std::uint8_t> markers) {
  if (markers.empty()) return Value();
  std::vector<double> data(2 * markers.size());
  for (std::size_t i = 0; i < markers.size(); ++i) {
    data[2 * i] = markers[i] & 1 ? 1.0 : 0.0;
    data[2 * i + 1] = markers[i] & 2 ? 1.0 : 0.0;
  }
  return Value::matrix(2, markers.size(), std::move(data));
}

std::vector<std::complex<double>> samplesFromValue(const Value& v, const std::string& what) {
  if (v.numel() == 0) return {};
  if (!v.isNumeric() || !v.isVector())
    throw runtime::Error(what + " must be a vector of complex samples, not " + describe(v));
  return v.toComplex();
}

std::vector<std::uint8_t> markersFromValue(const Value& v, const std::string& what) {
  if (v.numel() == 0) return {};
  if (!v.isReal() || v.rows() != 2)
    throw runtime::Error(what + " must be a 2 x N matrix of 0 and 1 (marker 1, marker 2), not " +
                         describe(v));
  const auto d = v.realData();
  std::vector<std::uint8_t> out(v.cols());
  for (std::size_t c = 0; c < v.cols(); ++c) {
    for (std::size_t r = 0; r < 2; ++r) {
      const double x = d[c * 2 + r];
      if (x != 0 && x != 1)
        throw runtime::Error(what + " must hold only 0 and 1; marker " + std::to_string(r + 1) +
                             " of sample " + std::to_string(c + 1) + " is " +
                             Value::scalar(x).toString());
      if (x == 1) out[c] |= static_cast<std::uint8_t>(1u << r);
    }
  }
  return out;
}

void bindStateVariables(registry::Variables& vars, std::shared_ptr<AppState> state) {
  // Each accessor keeps the state alive as long as the variables can reach it.
  auto bind = [&](const char* name, auto get, auto set) {
    vars.bindAccessors(
        name, [state, get] { return get(*state); },
        [state, set](Value v) { set(*state, std::move(v)); });
  };
  bind(
      "appInfo", [](AppState& st) { return toValue(st.appInfo); },
      [](AppState& st, Value v) { st.appInfo = appInfoFromValue(v); });
  bind(
      "parameters", [](AppState& st) { return toValue(st.parameters); },
      [](AppState& st, Value v) { st.parameters = parametersFromValue(v); });
  bind(
      "SigGenSettings", [](AppState& st) { return instrument::toValue(st.sigGenSettings); },
      [](AppState& st, Value v) { st.sigGenSettings = instrument::sigGenSettingsFromValue(v); });
  bind(
      "configuration", [](AppState& st) { return instrument::toValue(st.configuration); },
      [](AppState& st, Value v) { st.configuration = instrument::configurationFromValue(v); });
  bind(
      "figureList", [](AppState& st) { return toValue(st.figureList); },
      [](AppState& st, Value v) { st.figureList = figureListFromValue(v); });
  bind(
      "trafficWaveform", [](AppState& st) { return samplesToValue(st.traffic.samples); },
      [](AppState& st, Value v) { st.traffic.samples = samplesFromValue(v, "trafficWaveform"); });
  bind(
      "trafficMarkers", [](AppState& st) { return markersToValue(st.traffic.markers); },
      [](AppState& st, Value v) { st.traffic.markers = markersFromValue(v, "trafficMarkers"); });
  bind(
      "controlWaveform", [](AppState& st) { return samplesToValue(st.control.samples); },
      [](AppState& st, Value v) { st.control.samples = samplesFromValue(v, "controlWaveform"); });
  bind(
      "controlMarkers", [](AppState& st) { return markersToValue(st.control.markers); },
      [](AppState& st, Value v) { st.control.markers = markersFromValue(v, "controlMarkers"); });
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
