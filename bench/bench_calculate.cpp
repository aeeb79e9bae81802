// The main window's Calculate: payload bits, physical layer packets, the Sync message packet and
// the traffic and control waveforms, for the start-up parameters (8 packets of DRC 4, control
// DRC 1, 5 samples per chip, Std filter, phase equalizer on) and the largest case (16 packets of
// DRC 1, 24 samples per chip, Acp filter, phase equalizer on: 256 + 64 slots, 15.7 million
// samples). Peak memory is counted by the global allocator (live bytes above the level before
// the calculation) and, with --rss, measured as the maximum resident size of a fresh process per
// case.
#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>

#include "coding/modparams.hpp"
#include "coding/packets.hpp"
#include "coding/testdata.hpp"
#include "synthesis/waveform.hpp"

// --- counting allocator ------------------------------------------------------------------------

namespace {
std::atomic<std::size_t> liveBytes{0};
std::atomic<std::size_t> peakBytes{0};
constexpr std::size_t kHeader = 16;  // keeps the default new alignment

void* countedAlloc(std::size_t n) {
  void* p = std::malloc(n + kHeader);
  if (!p) throw std::bad_alloc();
  *static_cast<std::size_t*>(p) = n;
  const std::size_t now = liveBytes.fetch_add(n) + n;
  std::size_t peak = peakBytes.load();
  while (now > peak && !peakBytes.compare_exchange_weak(peak, now)) {
  }
  return static_cast<char*>(p) + kHeader;
}

void countedFree(void* p) noexcept {
  if (!p) return;
  char* base = static_cast<char*>(p) - kHeader;
  liveBytes.fetch_sub(*reinterpret_cast<std::size_t*>(base));
  std::free(base);
}
}  // namespace

void* operator new(std::size_t n) {
  return countedAlloc(n);
}
void* operator new[](std::size_t n) {
  return countedAlloc(n);
}
void operator delete(void* p) noexcept {
  countedFree(p);
}
void operator delete[](void* p) noexcept {
  countedFree(p);
}
void operator delete(void* p, std::size_t) noexcept {
  countedFree(p);
}
void operator delete[](void* p, std::size_t) noexcept {
  countedFree(p);
}

// --- the calculation ---------------------------------------------------------------------------

namespace {

namespace coding = kelvane::coding;
namespace synthesis = kelvane::synthesis;

struct Parameters {
  double trafficChannelDRCValue;
  double trafficChannelPackets;
  double controlChannelDRCValue;
  int oversampleRatio;
  synthesis::FilterKind filterType;
  coding::PayloadType trafficChannelPayload = coding::PayloadType::Pn9;
  double trafficChannelMACIndex = 7;
  double pilotOffsetIndex = 0;
  bool phaseEqActive = true;
  bool mirrorSpectrum = false;
};

const Parameters kStartup{4, 8, 1, 5, synthesis::FilterKind::Std};
const Parameters kLargest{1, 16, 1, 24, synthesis::FilterKind::Acp};

struct Waveforms {
  synthesis::Waveform traffic, control;
};

Waveforms calculate(const Parameters& p) {
  const coding::ModParams modParams = coding::modParamsFor(p.trafficChannelDRCValue);
  const auto macPackets = static_cast<std::size_t>(modParams.bits / 1024);
  const auto packets = static_cast<std::size_t>(p.trafficChannelPackets);
  const std::size_t payloadBits = 1002 * macPackets;
  const coding::Bits bits =
      coding::GenerateBitStream(p.trafficChannelPayload, packets * payloadBits);

  // Packet i takes stream bits i, i + P, i + 2P, ...: the stream filled column by column into a
  // P-row matrix.
  std::vector<synthesis::PacketRecord> trfChnParams(packets);
  coding::Bits payload(payloadBits);
  for (std::size_t i = 0; i < packets; ++i) {
    for (std::size_t k = 0; k < payloadBits; ++k)
      payload[k] = bits[k * packets + i];
    trfChnParams[i] = {static_cast<double>(modParams.drcValue),
                       coding::Qarn_FwdTrfPhysicalLayerPacket(payload), p.trafficChannelMACIndex};
  }
  const std::vector<synthesis::PacketRecord> ctlChnParams{
      {p.controlChannelDRCValue, coding::Qarn_FwdSyncMessagePacket(p.pilotOffsetIndex),
       p.controlChannelDRCValue == 1 ? 3.0 : 2.0}};

  const synthesis::SynthesisSettings settings{p.pilotOffsetIndex, p.oversampleRatio, p.filterType,
                                              p.phaseEqActive, p.mirrorSpectrum};
  Waveforms w;
  w.traffic = synthesis::Qarn_FwdModulatedWaveform(trfChnParams, {}, settings);
  w.control = synthesis::Qarn_FwdModulatedWaveform(ctlChnParams, {}, settings);
  return w;
}

double waveformBytes(const Waveforms& w) {
  return 16.0 * static_cast<double>(w.traffic.samples.size() + w.control.samples.size());
}

void runCalculate(benchmark::State& state, const Parameters& p) {
  double peakAbove = 0, own = 0, samples = 0;
  for (auto _ : state) {
    const std::size_t before = liveBytes.load();
    peakBytes.store(before);
    Waveforms w = calculate(p);
    benchmark::DoNotOptimize(w.traffic.samples.data());
    benchmark::DoNotOptimize(w.control.samples.data());
    peakAbove = static_cast<double>(peakBytes.load() - before);
    own = waveformBytes(w);
    samples = static_cast<double>(w.traffic.samples.size() + w.control.samples.size());
  }
  state.counters["samples"] = samples;
  state.counters["waveform_MB"] = own / 1e6;
  state.counters["peak_MB"] = peakAbove / 1e6;
  state.counters["peak_per_waveform"] = peakAbove / own;
}

void BM_CalculateStartup(benchmark::State& state) {
  runCalculate(state, kStartup);
}
void BM_CalculateLargest(benchmark::State& state) {
  runCalculate(state, kLargest);
}

BENCHMARK(BM_CalculateStartup)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CalculateLargest)->Unit(benchmark::kMillisecond);

// Maximum resident size of a child process that runs one calculation, against the resident size
// it started with (the parent's at the fork).
void measureResidentSize(const char* name, const Parameters& p) {
  rusage self{};
  getrusage(RUSAGE_SELF, &self);
  std::fflush(stdout);
  const pid_t pid = fork();
  if (pid == 0) {
    Waveforms w = calculate(p);
    std::printf("%s: waveforms %.1f MB\n", name, waveformBytes(w) / 1e6);
    std::fflush(stdout);
    std::_Exit(0);
  }
  int status = 0;
  rusage child{};
  wait4(pid, &status, 0, &child);
  std::printf("%s: max resident %.1f MB (started at %.1f MB)\n", name, child.ru_maxrss / 1e3,
              self.ru_maxrss / 1e3);
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<char*> args;
  bool rss = false;
  for (int i = 0; i < argc; ++i) {
    if (std::strcmp(argv[i], "--rss") == 0)
      rss = true;
    else
      args.push_back(argv[i]);
  }
  if (rss) {
    measureResidentSize("start-up", kStartup);
    measureResidentSize("largest", kLargest);
    return 0;
  }
  int n = static_cast<int>(args.size());
  benchmark::Initialize(&n, args.data());
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
