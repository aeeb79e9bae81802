// The calculation, its summary and the download encoder as they stood before the speed work
// (commit be7c20c): one thread, SSE kernels, zero-filled rows, separate passes. Only for
// bench_speed, to measure before and after side by side in one run.
#pragma once

#include <complex>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "synthesis/baseband_filter.hpp"
#include "synthesis/waveform.hpp"

namespace kelvane::before {

using Complex = std::complex<double>;

struct Waveform {
  std::vector<Complex> samples;
  std::vector<std::uint8_t> markers;
};

Waveform modulatedWaveform(std::span<const synthesis::PacketRecord> packets,
                           const synthesis::MacInputs& mac,
                           const synthesis::SynthesisSettings& settings);
std::vector<Complex> filterZeroStuffedChips(std::span<const Complex> chips, int oversampleRatio,
                                            synthesis::FilterKind kind);
void phaseEqualizeInPlace(std::span<Complex> samples, int oversampleRatio);
std::optional<double> normScale(std::span<const Complex> iq);
void encodeIqWords(std::span<const Complex> iq, double scale, std::span<char> out);

}  // namespace kelvane::before
