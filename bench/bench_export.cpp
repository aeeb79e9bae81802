// The export of a 64-slot waveform at 5 samples a chip (655 360 samples) with its markers, as
// `calculate --format` writes it: the SigMF recording (16-bit and float), whose metadata holds
// 128 half-slot and 64 RF-gate annotations and the data file's SHA-512, and the MAT file with
// the 2 x N markers matrix. bytes_per_second counts the data file.
#include <benchmark/benchmark.h>

#include <cmath>
#include <complex>
#include <cstdint>
#include <filesystem>
#include <vector>

#include "instrument/waveform_files.hpp"

namespace {

namespace fs = std::filesystem;
using namespace kelvane::instrument;

constexpr std::size_t kRatio = 5, kSlots = 64, kSamples = kSlots * 2048 * kRatio;

struct Waveform {
  std::vector<std::complex<double>> iq;
  std::vector<std::uint8_t> markers;
};

// Marker 1 one chip at the start of each half slot; marker 2 over the middle of each slot.
const Waveform& waveform() {
  static const Waveform w = [] {
    Waveform x;
    x.iq.resize(kSamples);
    x.markers.resize(kSamples);
    for (std::size_t i = 0; i < kSamples; ++i) {
      const double t = 0.0123 * static_cast<double>(i);
      x.iq[i] = {std::cos(t) * 0.7, std::sin(1.1 * t) * 0.6};
      const std::size_t chip = (i / kRatio) % 2048;
      x.markers[i] = static_cast<std::uint8_t>((chip % 1024 == 0 ? 1 : 0) |
                                               (chip >= 396 && chip < 1652 ? 2 : 0));
    }
    return x;
  }();
  return w;
}

const fs::path& scratch() {
  static const fs::path dir = [] {
    fs::path d = fs::temp_directory_path() / "kelvane-bench-export";
    fs::create_directories(d);
    return d;
  }();
  return dir;
}

void SigMF(benchmark::State& state) {
  const auto format = state.range(0) == 0 ? SigMFSamples::Ci16 : SigMFSamples::Cf32;
  SigMFInfo info;
  info.sampleRate = 6144000;
  info.channel = "traffic";
  for (auto _ : state)
    saveSigMF(scratch() / "w", waveform().iq, waveform().markers, info, format);
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kSamples *
                                                    (format == SigMFSamples::Ci16 ? 4 : 8)));
}
BENCHMARK(SigMF)->Arg(0)->Arg(1)->ArgName("cf32")->Unit(benchmark::kMillisecond);

void MarkerAnnotations(benchmark::State& state) {
  for (auto _ : state)
    benchmark::DoNotOptimize(markerAnnotations(waveform().markers));
}
BENCHMARK(MarkerAnnotations)->Unit(benchmark::kMillisecond);

// The MAT file without (0) and with (1) the markers matrix.
void MatFile(benchmark::State& state) {
  const std::span<const std::uint8_t> markers =
      state.range(0) ? std::span<const std::uint8_t>(waveform().markers)
                     : std::span<const std::uint8_t>();
  for (auto _ : state)
    saveSpecialWaveform(scratch() / "w.mat", waveform().iq, 6144000, markers);
}
BENCHMARK(MatFile)->Arg(0)->Arg(1)->ArgName("markers")->Unit(benchmark::kMillisecond);

}  // namespace
BENCHMARK_MAIN();
