// The application state by name: the named variables bound to the typed AppState, and the
// by-name forms of the four waveform results.
#pragma once

#include <complex>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "app/state.hpp"
#include "registry/registry.hpp"
#include "runtime/value.hpp"

namespace kelvane::library {

// The waveform results by name: a 1 x N complex row and a 2 x N matrix of 0/1 (row 1 marker 1,
// row 2 marker 2); an empty value when nothing was calculated.
runtime::Value samplesToValue(std::span<const std::complex<double>> samples);
runtime::Value markersToValue(std::span<const std::uint8_t> markers);
// Reading accepts any real or complex vector (row or column) and a 2 x N matrix of 0 and 1;
// anything else throws runtime::Error naming `what`.
std::vector<std::complex<double>> samplesFromValue(const runtime::Value& v,
                                                   const std::string& what);
std::vector<std::uint8_t> markersFromValue(const runtime::Value& v, const std::string& what);

// Binds appInfo, parameters, SigGenSettings, configuration, figureList, trafficWaveform,
// trafficMarkers, controlWaveform and controlMarkers to `state`. Reading converts the typed
// record; writing converts the value first and replaces the record only when that succeeds, so
// a refused write (runtime::Error naming the field) leaves the state as it was.
void bindStateVariables(registry::Variables& vars, std::shared_ptr<app::AppState> state);

}  // namespace kelvane::library
