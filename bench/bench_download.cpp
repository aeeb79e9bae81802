// A 15.7-million-sample download (about 63 MB of I/Q words and 16 MB of markers) to the
// signal-generator simulator over loopback: "norm" scaling and encoding plus the transfer.
// bytes_per_second counts the block data of both blocks.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <optional>
#include <complex>
#include <cstdint>
#include <vector>

#include "instrument/block.hpp"
#include "instrument/io.hpp"
#include "simulator/simulator.hpp"
#include "instrument/transport.hpp"

namespace {

using kelvane::instrument::Configuration;

constexpr std::size_t kSamples = 15'700'000;

struct Waveform {
  std::vector<std::complex<double>> iq;
  std::vector<std::uint8_t> markers;
};

const Waveform& waveform() {
  static const Waveform w = [] {
    Waveform x;
    x.iq.resize(kSamples);
    x.markers.resize(kSamples);
    for (std::size_t i = 0; i < kSamples; ++i) {
      const double t = 0.0123 * static_cast<double>(i);
      x.iq[i] = {std::cos(t) * 0.7, std::sin(1.1 * t) * 0.6};
      x.markers[i] = static_cast<std::uint8_t>((i / 1024) & 3);
    }
    return x;
  }();
  return w;
}

// The download as Download runs it after Calculate: the peak comes with the waveform (range(0) 1)
// or is searched in the samples (0).
void BM_DownloadToSimulator(benchmark::State& state) {
  kelvane::simulator::Simulator sim;
  sim.start();
  Configuration config;
  config.type = "TCPIP";
  config.TCPIP.address = "127.0.0.1:" + std::to_string(sim.port());
  const Waveform& w = waveform();
  double peak = 0;
  for (const auto& z : w.iq)
    peak = std::max({peak, std::fabs(z.real()), std::fabs(z.imag())});
  for (auto _ : state) {
    const auto s = kelvane::instrument::hwDownload(
        config, w.iq, w.markers, "Bench", state.range(0) ? std::optional(peak) : std::nullopt);
    if (!s.ok()) state.SkipWithError(s.message.c_str());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * 5 *
                          static_cast<std::int64_t>(kSamples));
  kelvane::instrument::closeConnections();
}
BENCHMARK(BM_DownloadToSimulator)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();

// The encoding alone: scaling, rounding and big-endian words.
void BM_EncodeWords(benchmark::State& state) {
  const Waveform& w = waveform();
  std::vector<char> out(4 * kSamples);
  for (auto _ : state) {
    const auto scale = kelvane::instrument::normScale(w.iq);
    kelvane::instrument::encodeIqWords(w.iq, scale.value_or(0), out);
    benchmark::DoNotOptimize(out.data());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * 4 *
                          static_cast<std::int64_t>(kSamples));
}
BENCHMARK(BM_EncodeWords)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
