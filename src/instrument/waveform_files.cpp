#include "instrument/waveform_files.hpp"

#include "runtime/atomic_file.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
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
                         double sampleRate) {
  const std::size_t n = samples.size();
  std::vector<double> wave(2 * n);
  for (std::size_t i = 0; i < n; ++i) {
    wave[i] = samples[i].real();
    wave[n + i] = samples[i].imag();
  }
  const std::vector<runtime::MatVariable> vars = {
      {"samplePoints", runtime::Value::scalar(static_cast<double>(n))},
      {"sampleRate", runtime::Value::scalar(sampleRate)},
      {"wave",
       n == 0 ? runtime::Value::emptyMatrix(0, 2) : runtime::Value::matrix(n, 2, std::move(wave))},
  };
  runtime::writeMatFile(path, vars);
}

std::string sigmfDescription(const SigMFInfo& info) {
  const std::string packets = runtime::numToText(info.packets);
  return "Kelvane 1xEV-DO forward link, " + info.channel + " channel: DRC " +
         runtime::numToText(info.drcValue) + ", " + packets +
         (info.packets == 1 ? " packet" : " packets") + ", PN offset " +
         runtime::numToText(info.pilotOffsetIndex);
}

std::string sigmfMetadata(const SigMFInfo& info) {
  nlohmann::ordered_json meta;
  meta["global"] = {
      {"core:datatype", "ci16_le"}, {"core:sample_rate", info.sampleRate},
      {"core:version", "1.0.0"},    {"core:description", sigmfDescription(info)},
      {"core:recorder", "Kelvane"},
  };
  meta["captures"] = nlohmann::ordered_json::array(
      {{{"core:sample_start", 0}, {"core:frequency", info.frequency}}});
  meta["annotations"] = nlohmann::ordered_json::array();
  return meta.dump(2) + "\n";
}

void saveSigMF(const fs::path& base, std::span<const std::complex<double>> samples,
               const SigMFInfo& info, double scale) {
  const auto words = iqWords(samples, scale);
  std::vector<std::uint8_t> bytes(2 * words.size());
  for (std::size_t i = 0; i < words.size(); ++i) {
    const auto u = static_cast<std::uint16_t>(words[i]);
    bytes[2 * i] = static_cast<std::uint8_t>(u & 0xFF);
    bytes[2 * i + 1] = static_cast<std::uint8_t>(u >> 8);
  }
  fs::path data = base, meta = base;
  data += ".sigmf-data";
  meta += ".sigmf-meta";
  runtime::writeFileAtomically(data, bytes);
  const std::string json = sigmfMetadata(info);
  runtime::writeFileAtomically(
      meta, std::span(reinterpret_cast<const std::uint8_t*>(json.data()), json.size()));
}

}  // namespace kelvane::instrument
