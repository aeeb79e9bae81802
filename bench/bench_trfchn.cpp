// The traffic channel chain for one packet (turbo encoder, scrambler, channel interleaver,
// modulation, repetition and the 16 Walsh channels): DRC 1 (1024 bits at rate 1/5 into 24576
// chips), DRC 6 (1024 bits at 1/3, 1536 chips) and DRC 12 (4096 bits, 16-QAM, 1536 chips).
#include <benchmark/benchmark.h>

#include <random>

#include "coding/bits.hpp"
#include "coding/modparams.hpp"
#include "coding/trfchn.hpp"

namespace {

using namespace kelvane::coding;

void trafficChannel(benchmark::State& state) {
  const ModParams format = modParamsFor(static_cast<double>(state.range(0)));
  Bits packet(static_cast<std::size_t>(format.bits));
  std::mt19937 rng(1);
  for (auto& b : packet)
    b = static_cast<std::uint8_t>(rng() & 1u);
  for (auto _ : state)
    benchmark::DoNotOptimize(Qarn_FwdTrfChn(packet, format, 5));
  state.SetLabel(std::to_string(packet.size()) + " bits -> " + std::to_string(format.dataTDMChips) +
                 " chips");
}

BENCHMARK(trafficChannel)->ArgName("drc")->Arg(1)->Arg(6)->Arg(12)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
