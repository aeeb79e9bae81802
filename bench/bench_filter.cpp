// Baseband filter costs: the two designs per oversampling ratio (designed afresh, as the cache
// would on first use) and the polyphase filtering of a zero-stuffed chip stream for the start-up
// waveform (16 slots at 5 samples per chip, Std filter) and the largest one (320 slots at 24
// samples per chip, Acp filter: 15.7 million samples).
#include <benchmark/benchmark.h>

#include <complex>
#include <random>
#include <vector>

#include "synthesis/baseband_filter.hpp"
#include "synthesis/filter_design.hpp"

namespace {

using namespace kelvane::synthesis;
using Complex = std::complex<double>;

std::vector<double> bandEdges(int oversampleRatio) {
  std::vector<double> f{0, 590000, 740000, oversampleRatio * 1228800.0 / 2};
  for (double& v : f)
    v = v * 2 / oversampleRatio / 1228800;
  return f;
}

Remez2Result designStd(int oversampleRatio) {
  return remez2(12 * oversampleRatio - 1, bandEdges(oversampleRatio),
                std::vector<double>{1, 1, 0, 0}, {.weights = std::vector<double>{1, 20}});
}

Remez2Result designAcpStage(int oversampleRatio) {
  return remez2(14 * oversampleRatio, bandEdges(oversampleRatio),
                std::vector<double>{1, 1, 0.005, 0.001}, {.weights = std::vector<double>{1, 2}});
}

void BM_DesignStd(benchmark::State& state) {
  const int oversampleRatio = static_cast<int>(state.range(0));
  int iterations = 0;
  for (auto _ : state) {
    Remez2Result r = designStd(oversampleRatio);
    iterations = r.iterations;
    benchmark::DoNotOptimize(r.h.data());
  }
  state.counters["taps"] = 12 * oversampleRatio;
  state.counters["remez_iterations"] = iterations;
}
BENCHMARK(BM_DesignStd)->Arg(5)->Arg(24)->Unit(benchmark::kMillisecond);

// Both remez2 designs of the Acp filter (the cascade's convolution is negligible).
void BM_DesignAcp(benchmark::State& state) {
  const int oversampleRatio = static_cast<int>(state.range(0));
  int iterations = 0;
  for (auto _ : state) {
    Remez2Result a = designStd(oversampleRatio);
    Remez2Result b = designAcpStage(oversampleRatio);
    iterations = b.iterations;
    benchmark::DoNotOptimize(a.h.data());
    benchmark::DoNotOptimize(b.h.data());
  }
  state.counters["taps"] = 26 * oversampleRatio;
  state.counters["stage2_remez_iterations"] = iterations;
}
BENCHMARK(BM_DesignAcp)->Arg(5)->Arg(24)->Unit(benchmark::kMillisecond);

std::vector<Complex> chips(std::size_t n) {
  std::mt19937 gen(7);
  std::uniform_int_distribution<int> bit(0, 1);
  std::vector<Complex> c(n);
  for (Complex& z : c)
    z = {bit(gen) ? 1.0 : -1.0, bit(gen) ? 1.0 : -1.0};
  return c;
}

// args: chips, samples per chip, filter (2 Std, 3 Acp)
void BM_ZeroStuffedChips(benchmark::State& state) {
  const std::vector<Complex> in = chips(static_cast<std::size_t>(state.range(0)));
  const int oversampleRatio = static_cast<int>(state.range(1));
  const FilterKind kind = filterKindFor(static_cast<double>(state.range(2)));
  filterZeroStuffedChips(in, oversampleRatio, kind);  // the design, once, into the cache
  for (auto _ : state) {
    std::vector<Complex> out = filterZeroStuffedChips(in, oversampleRatio, kind);
    benchmark::DoNotOptimize(out.data());
  }
  state.SetItemsProcessed(state.iterations() * state.range(0) * oversampleRatio);
}
BENCHMARK(BM_ZeroStuffedChips)
    ->Args({32768, 5, 2})
    ->Args({655360, 24, 3})
    ->Unit(benchmark::kMillisecond);

// The same into an existing buffer: the filtering alone, without the fresh output's page faults.
void BM_ZeroStuffedChipsInto(benchmark::State& state) {
  const std::vector<Complex> in = chips(static_cast<std::size_t>(state.range(0)));
  const int oversampleRatio = static_cast<int>(state.range(1));
  const FilterKind kind = filterKindFor(static_cast<double>(state.range(2)));
  std::vector<Complex> out(in.size() * static_cast<std::size_t>(oversampleRatio));
  for (auto _ : state) {
    filterZeroStuffedChips(in, oversampleRatio, kind, out);
    benchmark::DoNotOptimize(out.data());
  }
  state.SetItemsProcessed(state.iterations() * state.range(0) * oversampleRatio);
}
BENCHMARK(BM_ZeroStuffedChipsInto)
    ->Args({32768, 5, 2})
    ->Args({655360, 24, 3})
    ->Unit(benchmark::kMillisecond);

// The general circular filter on the zero-stuffed start-up row, for comparison.
void BM_BasebandFilterStartup(benchmark::State& state) {
  const std::vector<Complex> in = chips(32768);
  std::vector<Complex> stuffed(in.size() * 5);
  for (std::size_t q = 0; q < in.size(); ++q)
    stuffed[q * 5] = in[q];
  for (auto _ : state) {
    std::vector<Complex> out = Qarn_BasebandFilter(stuffed, 5, FilterKind::Std);
    benchmark::DoNotOptimize(out.data());
  }
}
BENCHMARK(BM_BasebandFilterStartup)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
