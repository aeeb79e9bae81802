// Waveform files: the instrument's raw 16-bit I/Q layout ("Mornath", big-endian), the special
// save of the frame (a MAT file with samplePoints, sampleRate and wave), a SigMF recording
// (little-endian 16-bit I/Q words with JSON metadata) for common signal tools, and the two
// helpers of the plot actions, applyDacRes and clock2str. Every file is replaced atomically:
// written to a temporary file beside it, flushed, renamed over it and the folder synced.
#pragma once

#include <complex>
#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <vector>

namespace kelvane::instrument {

// The 16-bit words of a waveform, I1, Q1, I2, Q2, ..., with the largest |component| at
// +-32766 x scale (rounded, halves away from zero). `scale` is limited to 1e-05..1 (NaN counts
// as 1). An all-zero waveform gives zero words. Throws std::invalid_argument for a sample that
// is not finite.
std::vector<std::int16_t> iqWords(std::span<const std::complex<double>> v, double scale = 1);

// Writes `v` as a headerless file of 4 x N bytes: the iqWords, each most significant byte first.
// Throws std::runtime_error (or std::invalid_argument for a sample that is not finite) with the
// cause; nothing is written then. Example: writeMornathWaveform({{1, -1}}, "w") writes 7F FE 80 02.
void writeMornathWaveform(std::span<const std::complex<double>> v,
                          const std::filesystem::path& filename, double scale = 1);

// writeMornathWaveform as the frame calls it: true when the file was written, false otherwise
// (never throws).
bool saveMornathWaveform(std::span<const std::complex<double>> v,
                         const std::filesystem::path& filename = "Vel-C", double scale = 1);

// `wave` quantised to a DAC of `numBits` bits (at most 32): real and imaginary parts rounded to
// multiples of peak / (2^(numBits-1) - 1), where peak is the largest |real| or |imaginary| part.
// Returned unchanged when numBits <= 2 or the waveform is all zero.
std::vector<std::complex<double>> applyDacRes(std::span<const std::complex<double>> wave,
                                              double numBits);

// A date-time (year, month, day, hour, minute, seconds) as "07DEC2026 9:05:03": day with two
// digits, month abbreviation, year, hour without leading zero, two-digit minute and whole
// seconds. Throws std::invalid_argument for fewer than 6 values or a month outside 1..12.
std::string clock2str(std::span<const double> clkVector);

// The special waveform save: a MAT file with samplePoints (N), sampleRate (Hz) and wave, an
// N x 2 matrix of the I and Q parts. Throws runtime::Error naming the file and the cause.
void saveSpecialWaveform(const std::filesystem::path& path,
                         std::span<const std::complex<double>> samples, double sampleRate);

// What a SigMF recording says about its waveform.
struct SigMFInfo {
  double sampleRate = 0;  // Hz
  double frequency = 0;   // RF carrier, Hz
  std::string channel;    // "traffic" or "control"
  double drcValue = 0;
  double packets = 0;
  double pilotOffsetIndex = 0;
};

// The description line of a recording, e.g. "Kelvane 1xEV-DO forward link, traffic channel:
// DRC 4, 8 packets, PN offset 0".
std::string sigmfDescription(const SigMFInfo& info);

// Writes `<base>.sigmf-data` (the iqWords little-endian, datatype ci16_le) and `<base>.sigmf-meta`
// (JSON: core:datatype, core:sample_rate, core:version, core:description, one capture with
// core:frequency). Throws std::runtime_error naming the file and the cause.
void saveSigMF(const std::filesystem::path& base, std::span<const std::complex<double>> samples,
               const SigMFInfo& info, double scale = 1);

// The JSON text of the metadata file (for tools that print it).
std::string sigmfMetadata(const SigMFInfo& info);

}  // namespace kelvane::instrument
