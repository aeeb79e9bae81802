#include "library/state_variables.hpp"

#include "app/record_fields.hpp"
#include "app/records.hpp"
#include "instrument/io.hpp"
#include "instrument/records_value.hpp"

namespace kelvane::library {

namespace {
// New samples by name: the synthesis's summary of the old ones no longer holds.
void setSamples(synthesis::Waveform& w, const std::vector<std::complex<double>>& samples) {
  w.samples.assign(samples.begin(), samples.end());
  w.summary.reset();
}
}  // namespace

using app::AppState;
using runtime::Value;

Value samplesToValue(std::span<const std::complex<double>> samples) {
  if (samples.empty()) return Value();
  return Value::complexRow(std::vector<std::complex<double>>(samples.begin(), samples.end()));
}

Value markersToValue(std::span<const std::uint8_t> markers) {
  if (markers.empty()) return Value();
  return instrument::unpackMarkers(markers);
}

std::vector<std::complex<double>> samplesFromValue(const Value& v, const std::string& what) {
  if (v.numel() == 0) return {};
  if (!v.isNumeric() || !v.isVector())
    throw runtime::Error(what + " must be a vector of complex samples, not " + app::describe(v));
  return v.toComplex();
}

std::vector<std::uint8_t> markersFromValue(const Value& v, const std::string& what) {
  if (v.numel() == 0) return {};
  if (!v.isReal() || v.rows() != 2)
    throw runtime::Error(what + " must be a 2 x N matrix of 0 and 1 (marker 1, marker 2), not " +
                         app::describe(v));
  const auto d = v.realData();  // column-major: marker 1, marker 2 of each sample
  for (std::size_t i = 0; i < d.size(); ++i)
    if (d[i] != 0 && d[i] != 1)
      throw runtime::Error(what + " must hold only 0 and 1; marker " + std::to_string(i % 2 + 1) +
                           " of sample " + std::to_string(i / 2 + 1) + " is " +
                           Value::scalar(d[i]).toString());
  return instrument::packMarkers(v, v.cols());
}

void bindStateVariables(registry::Variables& vars, std::shared_ptr<AppState> state) {
  // Each accessor keeps the state alive as long as the variables can reach it.
  auto bind = [&](const char* name, auto get, auto set) {
    vars.bindAccessors(
        name, [state, get] { return get(*state); },
        [state, set](Value v) { set(*state, std::move(v)); });
  };
  bind(
      "appInfo", [](AppState& st) { return app::toValue(st.appInfo); },
      [](AppState& st, const Value& v) { st.appInfo = app::appInfoFromValue(v); });
  bind(
      "parameters", [](AppState& st) { return app::toValue(st.parameters); },
      [](AppState& st, const Value& v) { st.parameters = app::parametersFromValue(v); });
  bind(
      "SigGenSettings", [](AppState& st) { return instrument::toValue(st.sigGenSettings); },
      [](AppState& st, const Value& v) { st.sigGenSettings = instrument::sigGenSettingsFromValue(v); });
  bind(
      "configuration", [](AppState& st) { return instrument::toValue(st.configuration); },
      [](AppState& st, const Value& v) { st.configuration = instrument::configurationFromValue(v); });
  bind(
      "figureList", [](AppState& st) { return app::toValue(st.figureList); },
      [](AppState& st, const Value& v) { st.figureList = app::figureListFromValue(v); });
  bind(
      "trafficWaveform", [](AppState& st) { return samplesToValue(st.traffic.samples); },
      [](AppState& st, const Value& v) { setSamples(st.traffic, samplesFromValue(v, "trafficWaveform")); });
  bind(
      "trafficMarkers", [](AppState& st) { return markersToValue(st.traffic.markers); },
      [](AppState& st, const Value& v) {
        const auto m = markersFromValue(v, "trafficMarkers");
        st.traffic.markers.assign(m.begin(), m.end());
      });
  bind(
      "controlWaveform", [](AppState& st) { return samplesToValue(st.control.samples); },
      [](AppState& st, const Value& v) { setSamples(st.control, samplesFromValue(v, "controlWaveform")); });
  bind(
      "controlMarkers", [](AppState& st) { return markersToValue(st.control.markers); },
      [](AppState& st, const Value& v) {
        const auto m = markersFromValue(v, "controlMarkers");
        st.control.markers.assign(m.begin(), m.end());
      });
}

}  // namespace kelvane::library
