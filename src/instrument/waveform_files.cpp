#include "instrument/waveform_files.hpp"

#include "runtime/atomic_file.hpp"

#include <fcntl.h>
#include <nettle/sha2.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <bit>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <nlohmann/json.hpp>
#include <stdexcept>

#include "runtime/matfile.hpp"
#include "runtime/text.hpp"

namespace kelvane::instrument {

namespace fs = std::filesystem;

namespace {

double limitScale(double scale) {
  if (std::isnan(scale)) return 1;  // the array runtime's min and max ignore NaN
  return std::max(std::min(scale, 1.0), 1e-05);
}

std::string twoDigits(long long x) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%02lld", x);
  return buf;
}

}  // namespace

std::vector<std::int16_t> iqWords(std::span<const std::complex<double>> v, double scale) {
  scale = limitScale(scale);
  std::vector<double> z(2 * v.size());
  double mx = 0;
  for (std::size_t i = 0; i < v.size(); ++i) {
    z[2 * i] = v[i].real();
    z[2 * i + 1] = v[i].imag();
    if (!std::isfinite(z[2 * i]) || !std::isfinite(z[2 * i + 1]))
      throw std::invalid_argument("sample " + std::to_string(i + 1) + " is not finite");
    mx = std::max({mx, std::abs(z[2 * i]), std::abs(z[2 * i + 1])});
  }
  // Every waveform with a non-zero component is scaled, constant-envelope ones included, so that
  // its largest component lands on +-32766 x scale; only an all-zero waveform stays as it is.
  std::vector<std::int16_t> words(z.size());
  for (std::size_t i = 0; i < z.size(); ++i) {
    const double x = mx != 0 ? z[i] / mx * 32766 * scale : z[i];
    words[i] = static_cast<std::int16_t>(std::round(x));
  }
  return words;
}

void writeMornathWaveform(std::span<const std::complex<double>> v, const fs::path& filename,
                          double scale) {
  const auto words = iqWords(v, scale);
  std::vector<std::uint8_t> bytes(2 * words.size());
  for (std::size_t i = 0; i < words.size(); ++i) {
    const auto u = static_cast<std::uint16_t>(words[i]);
    bytes[2 * i] = static_cast<std::uint8_t>(u >> 8);
    bytes[2 * i + 1] = static_cast<std::uint8_t>(u & 0xFF);
  }
  runtime::writeFileAtomically(filename, bytes);
}

bool saveMornathWaveform(std::span<const std::complex<double>> v, const fs::path& filename,
                         double scale) {
  try {
    writeMornathWaveform(v, filename, scale);
    return true;
  } catch (const std::exception&) {
    return false;
  }
}

std::vector<std::complex<double>> applyDacRes(std::span<const std::complex<double>> wave,
                                              double numBits) {
  std::vector<std::complex<double>> out(wave.begin(), wave.end());
  if (!(numBits > 2)) return out;
  numBits = std::min(32.0, numBits);
  double m = 0;
  for (const auto& s : wave)
    m = std::fmax(m, std::fmax(std::abs(s.real()), std::abs(s.imag())));
  // Peak 0 would make the scale infinite: an all-zero waveform is already on the DAC grid.
  if (m == 0 || !std::isfinite(m)) return out;
  const double scale = (std::pow(2.0, numBits - 1) - 1) / m;
  for (auto& s : out)
    s = {std::round(s.real() * scale) / scale, std::round(s.imag() * scale) / scale};
  return out;
}

std::string clock2str(std::span<const double> clk) {
  static constexpr const char* kMonths[12] = {"JAN", "FEB", "MAR", "APR", "MAY", "JUN",
                                              "JUL", "AUG", "SEP", "OCT", "NOV", "DEC"};
  if (clk.size() < 6)
    throw std::invalid_argument(
        "clock2str needs 6 values (year, month, day, hour, minute, "
        "seconds), got " +
        std::to_string(clk.size()));
  for (std::size_t i = 0; i < 6; ++i)
    if (!std::isfinite(clk[i]) || std::abs(clk[i]) > 1e15)
      throw std::invalid_argument("clock2str: value " + std::to_string(i + 1) +
                                  " is not a usable number");
  const double month = clk[1];
  if (!(month >= 1 && month <= 12 && month == std::trunc(month)))
    throw std::invalid_argument("clock2str: month must be 1 to 12, not " +
                                runtime::numToText(month));
  const auto whole = [&](std::size_t i) { return static_cast<long long>(std::trunc(clk[i])); };
  return twoDigits(whole(2)) + kMonths[static_cast<int>(month) - 1] + std::to_string(whole(0)) +
         " " + std::to_string(whole(3)) + ":" + twoDigits(whole(4)) + ":" +
         twoDigits(static_cast<long long>(std::floor(clk[5])));
}

void saveSpecialWaveform(const fs::path& path, std::span<const std::complex<double>> samples,
                         double sampleRate, std::span<const std::uint8_t> markers) {
  const std::size_t n = samples.size();
  if (!markers.empty() && markers.size() != n)
    throw std::invalid_argument("the markers hold " + std::to_string(markers.size()) +
                                " samples, the waveform " + std::to_string(n));
  std::vector<double> wave(2 * n);
  for (std::size_t i = 0; i < n; ++i) {
    wave[i] = samples[i].real();
    wave[n + i] = samples[i].imag();
  }
  std::vector<runtime::MatVariable> vars = {
      {"samplePoints", runtime::Value::scalar(static_cast<double>(n))},
      {"sampleRate", runtime::Value::scalar(sampleRate)},
      {"wave",
       n == 0 ? runtime::Value::emptyMatrix(0, 2) : runtime::Value::matrix(n, 2, std::move(wave))},
  };
  if (!markers.empty()) {
    // Column-major 2 x N: each sample's marker 1 then its marker 2.
    std::vector<double> rows(2 * n);
    for (std::size_t i = 0; i < n; ++i) {
      rows[2 * i] = markers[i] & 1;
      rows[2 * i + 1] = (markers[i] >> 1) & 1;
    }
    vars.push_back({"markers", runtime::Value::matrix(2, n, std::move(rows))});
  }
  runtime::writeMatFile(path, vars);
}

namespace {

// Runs of a marker bit: (first sample, length) of each stretch where it is set.
std::vector<std::pair<std::size_t, std::size_t>> markerRuns(std::span<const std::uint8_t> markers,
                                                            std::uint8_t bit) {
  std::vector<std::pair<std::size_t, std::size_t>> runs;
  for (std::size_t i = 0; i < markers.size();) {
    if (!(markers[i] & bit)) {
      ++i;
      continue;
    }
    const std::size_t start = i;
    while (i < markers.size() && (markers[i] & bit))
      ++i;
    runs.emplace_back(start, i - start);
  }
  return runs;
}

std::string isoUtc(std::chrono::system_clock::time_point t) {
  const std::time_t secs = std::chrono::system_clock::to_time_t(t);
  std::tm utc{};
  gmtime_r(&secs, &utc);
  char buf[32];
  std::strftime(buf, sizeof buf, "%Y-%m-%dT%H:%M:%SZ", &utc);
  return buf;
}

}  // namespace

std::vector<SigMFAnnotation> markerAnnotations(std::span<const std::uint8_t> markers) {
  std::vector<SigMFAnnotation> out;
  // Marker 1: each pulse opens a half slot, which lasts until the next pulse.
  const auto pulses = markerRuns(markers, 1);
  for (std::size_t k = 0; k < pulses.size(); ++k) {
    const std::size_t start = pulses[k].first;
    const std::size_t end = k + 1 < pulses.size() ? pulses[k + 1].first : markers.size();
    out.push_back({start, end - start,
                   "slot " + std::to_string(k / 2 + 1) + ", half " + std::to_string(k % 2 + 1)});
  }
  for (const auto& [start, count] : markerRuns(markers, 2))
    out.push_back({start, count, "RF on (marker 2)"});
  // SigMF wants annotations in order of their first sample; at equal starts the slot first.
  std::stable_sort(out.begin(), out.end(),
                   [](const auto& a, const auto& b) { return a.sampleStart < b.sampleStart; });
  return out;
}

std::string sigmfDescription(const SigMFInfo& info) {
  const std::string packets = runtime::numToText(info.packets);
  return "Kelvane 1xEV-DO forward link, " + info.channel + " channel: DRC " +
         runtime::numToText(info.drcValue) + ", " + packets +
         (info.packets == 1 ? " packet" : " packets") + ", PN offset " +
         runtime::numToText(info.pilotOffsetIndex);
}

std::string sha512Hex(std::span<const std::uint8_t> bytes) {
  sha512_ctx ctx;
  sha512_init(&ctx);
  sha512_update(&ctx, bytes.size(), bytes.data());
  std::uint8_t digest[SHA512_DIGEST_SIZE];
  sha512_digest(&ctx, sizeof digest, digest);
  static constexpr char kHex[] = "0123456789abcdef";
  std::string hex;
  for (std::uint8_t b : digest) {
    hex += kHex[b >> 4];
    hex += kHex[b & 15];
  }
  return hex;
}

std::vector<std::uint8_t> sigmfData(std::span<const std::complex<double>> samples,
                                    SigMFSamples format, double scale) {
  std::vector<std::uint8_t> bytes;
  if (format == SigMFSamples::Ci16) {
    const auto words = iqWords(samples, scale);
    bytes.resize(2 * words.size());
    for (std::size_t i = 0; i < words.size(); ++i) {
      const auto u = static_cast<std::uint16_t>(words[i]);
      bytes[2 * i] = static_cast<std::uint8_t>(u & 0xFF);
      bytes[2 * i + 1] = static_cast<std::uint8_t>(u >> 8);
    }
    return bytes;
  }
  bytes.resize(8 * samples.size());
  auto put = [&](std::size_t at, double x, std::size_t sample) {
    if (!std::isfinite(x))
      throw std::invalid_argument("sample " + std::to_string(sample + 1) + " is not finite");
    const auto u = std::bit_cast<std::uint32_t>(static_cast<float>(x));
    for (int b = 0; b < 4; ++b)
      bytes[at + b] = static_cast<std::uint8_t>(u >> (8 * b));
  };
  for (std::size_t i = 0; i < samples.size(); ++i) {
    put(8 * i, samples[i].real(), i);
    put(8 * i + 4, samples[i].imag(), i);
  }
  return bytes;
}

std::string sigmfMetadata(const SigMFInfo& info, SigMFSamples format,
                          std::span<const SigMFAnnotation> annotations, const std::string& sha512) {
  nlohmann::ordered_json meta;
  meta["global"] = {
      {"core:datatype", format == SigMFSamples::Ci16 ? "ci16_le" : "cf32_le"},
      {"core:sample_rate", info.sampleRate},
      {"core:version", "1.0.0"},
      {"core:description", sigmfDescription(info)},
      {"core:recorder", "Kelvane"},
      {"core:hw", "none: calculated by Kelvane for the ARB of a vector signal generator"},
      {"core:sha512", sha512},
  };
  meta["captures"] = nlohmann::ordered_json::array({{{"core:sample_start", 0},
                                                     {"core:frequency", info.frequency},
                                                     {"core:datetime", isoUtc(info.calculated)}}});
  auto& list = meta["annotations"] = nlohmann::ordered_json::array();
  for (const auto& a : annotations)
    list.push_back({{"core:sample_start", a.sampleStart},
                    {"core:sample_count", a.sampleCount},
                    {"core:label", a.label}});
  return meta.dump(2) + "\n";
}

void saveSigMF(const fs::path& base, std::span<const std::complex<double>> samples,
               std::span<const std::uint8_t> markers, const SigMFInfo& info, SigMFSamples format,
               double scale) {
  if (!markers.empty() && markers.size() != samples.size())
    throw std::invalid_argument("the markers hold " + std::to_string(markers.size()) +
                                " samples, the waveform " + std::to_string(samples.size()));
  const auto bytes = sigmfData(samples, format, scale);
  fs::path data = base, meta = base;
  data += ".sigmf-data";
  meta += ".sigmf-meta";
  runtime::writeFileAtomically(data, bytes);
  const std::string json =
      sigmfMetadata(info, format, markerAnnotations(markers), sha512Hex(bytes));
  runtime::writeFileAtomically(
      meta, std::span(reinterpret_cast<const std::uint8_t*>(json.data()), json.size()));
}

}  // namespace kelvane::instrument
