// The download's wire encoding: "norm" scaling of I/Q samples to big-endian 16-bit words and the
// IEEE 488.2 definite-length block header.
#pragma once

#include <complex>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace kelvane::instrument {

// The factor that makes the largest |I| or |Q| of `iq` 32767: 32767 / max(|I|, |Q|); 0 for a
// waveform of zeros (which then stays zero). No value when a sample is not finite.
std::optional<double> normScale(std::span<const std::complex<double>> iq);
// The same factor for a known largest |I| or |Q|: 32767 / peak, 0 for a peak of 0.
double normScaleForPeak(double peak);

// Writes each sample as I then Q, each round(x * scale) (halves away from zero) as a big-endian
// signed 16-bit word, limited to +-32767: 4 bytes a sample, out.size() == 4 * iq.size().
void encodeIqWords(std::span<const std::complex<double>> iq, double scale, std::span<char> out);

// Writes the marker byte of each sample with only its two marker bits (bit 0 marker 1, bit 1
// marker 2): out.size() == markers.size().
void encodeMarkerBytes(std::span<const std::uint8_t> markers, std::span<char> out);

// "#<d><len>" for a block of `bytes` bytes (1 <= d <= 9): 10 bytes give "#210". Lengths of
// 10^9 bytes and more have no definite-length form.
std::string definiteLengthHeader(std::uint64_t bytes);

}  // namespace kelvane::instrument
