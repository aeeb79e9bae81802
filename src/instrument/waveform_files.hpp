// Waveform files: the instrument's raw 16-bit I/Q layout ("Mornath", big-endian), the special
// save of the frame (a MAT file with samplePoints, sampleRate, wave and markers), a SigMF
// recording (little-endian 16-bit I/Q words or 32-bit floats, with JSON metadata whose
// annotations carry the markers) for common signal tools, and the two
// helpers of the plot actions, applyDacRes and clock2str. Every file is replaced atomically:
// written to a temporary file beside it, flushed, renamed over it and the folder synced.
#pragma once

#include <chrono>
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

// The special waveform save: a MAT file with samplePoints (N), sampleRate (Hz), wave, an N x 2
// matrix of the I and Q parts, and, when `markers` is not empty, markers, a 2 x N matrix of 0/1
// (row 1 marker 1, the half-slot pulse; row 2 marker 2, the RF gate) from bits 0 and 1 of the
// marker bytes. Throws runtime::Error naming the file and the cause, std::invalid_argument when
// `markers` is neither empty nor N long.
void saveSpecialWaveform(const std::filesystem::path& path,
                         std::span<const std::complex<double>> samples, double sampleRate,
                         std::span<const std::uint8_t> markers = {});

// What a SigMF recording says about its waveform.
struct SigMFInfo {
  double sampleRate = 0;  // Hz
  double frequency = 0;   // RF carrier, Hz
  std::string channel;    // "traffic" or "control"
  double drcValue = 0;
  double packets = 0;
  double pilotOffsetIndex = 0;
  // When the waveform was calculated; written as core:datetime of the capture, UTC.
  std::chrono::system_clock::time_point calculated = std::chrono::system_clock::now();
};

// How the samples of a recording are stored.
enum class SigMFSamples {
  Ci16,  // ci16_le: the iqWords (peak component +-32766), as the instrument holds them
  Cf32,  // cf32_le: 32-bit floats, the samples as calculated (no scaling)
};

// One annotation of a recording: samples [sampleStart, sampleStart + sampleCount).
struct SigMFAnnotation {
  std::size_t sampleStart = 0;
  std::size_t sampleCount = 0;
  std::string label;
  bool operator==(const SigMFAnnotation&) const = default;
};

// The annotations of the markers (bit 0 marker 1, bit 1 marker 2 of each byte), ordered by first
// sample: one per marker-1 pulse, from the pulse to the next one (the half slot it opens),
// labelled "slot K, half H" counting pulses from the first (two per slot); and one per run of
// marker 2, labelled "RF on (marker 2)", the stretch the RF blanking leaves on. E.g. markers
// {1, 0, 2, 3, 2} give {0, 3, "slot 1, half 1"}, {2, 3, "RF on (marker 2)"},
// {3, 2, "slot 1, half 2"}.
std::vector<SigMFAnnotation> markerAnnotations(std::span<const std::uint8_t> markers);

// The description line of a recording, e.g. "Kelvane 1xEV-DO forward link, traffic channel:
// DRC 4, 8 packets, PN offset 0".
std::string sigmfDescription(const SigMFInfo& info);

// Writes `<base>.sigmf-data` (ci16_le: the iqWords little-endian; cf32_le: the samples as
// little-endian floats) and `<base>.sigmf-meta` (JSON, SigMF 1.0.0: global core:datatype,
// core:sample_rate, core:version, core:description, core:recorder, core:hw and core:sha512 of
// the data file; one capture with core:frequency and core:datetime; the markerAnnotations of
// `markers`, which is empty or as long as `samples`). Throws std::runtime_error naming the file
// and the cause, std::invalid_argument for a sample that is not finite or markers of another
// length.
void saveSigMF(const std::filesystem::path& base, std::span<const std::complex<double>> samples,
               std::span<const std::uint8_t> markers, const SigMFInfo& info,
               SigMFSamples format = SigMFSamples::Ci16, double scale = 1);

// The data file's bytes of a recording.
std::vector<std::uint8_t> sigmfData(std::span<const std::complex<double>> samples,
                                    SigMFSamples format, double scale = 1);

// The JSON text of the metadata file (for tools that print it); `sha512` is the data file's
// SHA-512 in hexadecimal.
std::string sigmfMetadata(const SigMFInfo& info, SigMFSamples format,
                          std::span<const SigMFAnnotation> annotations, const std::string& sha512);

// The SHA-512 of `bytes` as 128 lowercase hexadecimal digits.
std::string sha512Hex(std::span<const std::uint8_t> bytes);

}  // namespace kelvane::instrument
