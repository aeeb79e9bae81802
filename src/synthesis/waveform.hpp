// The forward-link waveform synthesis driver: packets laid over slots in the 4-slot interlace,
// preamble, data, MAC and pilot bursts, PN spreading, upsampling, baseband filter, optional
// phase equalizer and spectral inversion, with the two marker signals.
#pragma once

#include <complex>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "coding/bits.hpp"
#include "coding/matrix.hpp"
#include "synthesis/baseband_filter.hpp"
#include "synthesis/sample_summary.hpp"
#include "synthesis/samples.hpp"

namespace kelvane::synthesis {

// One entry of the packet list (trfChnParams, ctlChnParams).
struct PacketRecord {
  double drcValue = 0;
  coding::Bits packet;
  double macIndex = 0;
};

// The MAC inputs: one row per slot (rpcBits and rpcGains 59 columns, raBits and raGains one value
// a slot). All empty in the waveforms the application produces.
struct MacInputs {
  coding::Matrix<double> rpcBits;
  coding::Matrix<double> rpcGains;
  std::vector<double> raBits;
  std::vector<double> raGains;
};

struct Waveform {
  Samples samples;  // I + jQ, S * 2048 * oversampleRatio samples
  // One byte a sample: bit 0 marker 1 (half-slot timing), bit 1 marker 2 (RF gate).
  MarkerBytes markers;
  // The peaks and power of `samples`, gathered as the synthesis produced them; empty when the
  // samples came from elsewhere (whoever replaces the samples resets it).
  std::optional<SampleSummary> summary;

  // The summary when it is there, else computed now.
  SampleSummary sampleSummary() const;
};

struct SynthesisSettings {
  double pilotOffsetIndex = 0;  // PN offset in units of 64 chips, 0..511
  int oversampleRatio = 5;      // samples per chip
  FilterKind filter = FilterKind::Std;
  bool phaseEqActive = true;    // applies the phase equalizer
  bool mirrorSpectrum = false;  // false conjugates the output (spectral inversion)
};

// The switches as numbers (the record's and the by-name arguments'): the phase equalizer is on
// for exactly 1 only; the spectrum is left as it is for any number but 0, NaN included.
constexpr bool phaseEqActiveFor(double phaseEqActive) {
  return phaseEqActive == 1;
}
constexpr bool mirrorSpectrumFor(double mirrorSpectrum) {
  return mirrorSpectrum != 0;
}

Waveform Qarn_FwdModulatedWaveform(std::span<const PacketRecord> packets, const MacInputs& mac,
                                   const SynthesisSettings& settings);

}  // namespace kelvane::synthesis
