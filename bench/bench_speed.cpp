// Before and after the speed work, side by side in one run: the start-up case (8 packets of DRC
// 4, ratio 5, Std filter, equalizer on) and the largest case (16 packets of DRC 1, ratio 24, Acp
// filter, equalizer on: 15.7 million samples), as a whole calculation (both waveforms and the
// PAPR summary the command line prints) and stage by stage: coding (packets, turbo coding,
// interleaving, modulation), filter design, FIR (alone, as without the equalizer), equalizer
// (alone, in place), FIR + equalizer (the calculation's path: one pass after), summary; and the
// download encoder.
// "before" is the code of commit be7c20c (bench/before/, one thread); "after" runs with 1 and 2
// threads (KELVANE_THREADS). Time is wall time; CPU is the whole process's CPU time (all threads).
//
//   bench_speed --benchmark_repetitions=5 --benchmark_report_aggregates_only=true
//               --benchmark_enable_random_interleaving=true
#include <benchmark/benchmark.h>

#include <cmath>
#include <complex>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/derived.hpp"
#include "app/flow.hpp"
#include "before/before.hpp"
#include "coding/modparams.hpp"
#include "coding/trfchn.hpp"
#include "instrument/block.hpp"
#include "library/process.hpp"
#include "synthesis/channels.hpp"
#include "synthesis/filter_design.hpp"
#include "synthesis/parallel.hpp"
#include "synthesis/phase_eq.hpp"
#include "synthesis/pn.hpp"
#include "synthesis/slot_layout.hpp"
#include "toolkit/dialogs.hpp"

namespace {

namespace app = kelvane::app;
namespace before = kelvane::before;
namespace coding = kelvane::coding;
namespace instrument = kelvane::instrument;
namespace synthesis = kelvane::synthesis;
using cd = std::complex<double>;

struct Case {
  const char* name;
  double drc, packets, ratio, filter;
};
const Case kStartup{"startup", 4, 8, 5, 2};
const Case kLargest{"largest", 1, 16, 24, 3};

app::AppState stateFor(const Case& c) {
  app::AppState s;
  s.parameters.trafficChannelDRCValue = c.drc;
  s.parameters.trafficChannelPackets = c.packets;
  s.parameters.oversampleRatio = c.ratio;
  s.parameters.filterType = c.filter;
  s.parameters.phaseEqualizationActive = 1;
  app::deriveParameters(s);
  return s;
}

synthesis::SynthesisSettings settingsFor(const app::Parameters& p) {
  synthesis::SynthesisSettings s;
  s.pilotOffsetIndex = p.pilotOffsetIndex;
  s.oversampleRatio = static_cast<int>(p.oversampleRatio);
  s.filter = synthesis::filterKindFor(p.filterType);
  s.phaseEqActive = synthesis::phaseEqActiveFor(p.phaseEqualizationActive);
  s.mirrorSpectrum = synthesis::mirrorSpectrumFor(p.mirrorSpectrumActive);
  return s;
}

// The PAPR summary of the command line as it was: a serial pass over the samples.
double paprBefore(std::span<const cd> samples) {
  double peak = 0, sum = 0;
  for (const auto& z : samples) {
    const double p = std::norm(z);
    peak = std::max(peak, p);
    sum += p;
  }
  const double mean = samples.empty() ? 0 : sum / static_cast<double>(samples.size());
  return mean > 0 ? 10 * std::log10(peak / mean) : 0;
}

double paprAfter(const synthesis::Waveform& w) {
  const synthesis::SampleSummary s = w.sampleSummary();
  const double mean = w.samples.empty() ? 0 : s.sumPower / static_cast<double>(w.samples.size());
  return mean > 0 ? 10 * std::log10(s.peakPower / mean) : 0;
}

// The coded chips of one packet (preamble and data), as the synthesis computes them.
std::vector<cd> transmitChips(const synthesis::PacketRecord& p) {
  const coding::ModParams format = coding::modParamsFor(p.drcValue);
  std::vector<double> preamble =
      synthesis::Qarn_FwdTrfPreamble(p.macIndex, format.preambleTDMChips / 32.0);
  std::vector<cd> data = coding::Qarn_FwdTrfChn(p.packet, format, p.macIndex, true, true, true);
  data.insert(data.begin(), preamble.begin(), preamble.end());
  return data;
}

// The spread chips of the traffic waveform, the input of the filter.
std::vector<cd> trafficChips(const app::PacketLists& lists, const synthesis::SynthesisSettings& s) {
  std::vector<std::size_t> slots;
  for (const auto& p : lists.traffic)
    slots.push_back(static_cast<std::size_t>(coding::modParamsFor(p.drcValue).slots));
  const std::vector<std::size_t> slotMap = synthesis::interlacedSlotMap(slots);
  std::vector<cd> chips(slotMap.size() * synthesis::kSlotChips);
  for (std::size_t i = 0; i < lists.traffic.size(); ++i) {
    const std::size_t first = static_cast<std::size_t>(
        std::find(slotMap.begin(), slotMap.end(), i + 1) - slotMap.begin());
    std::vector<cd> tx = transmitChips(lists.traffic[i]);
    tx.resize(slots[i] * synthesis::kDataChipsPerSlot);
    synthesis::placeTransmitChips(chips, first, tx);
  }
  const std::vector<double> pilot = synthesis::Qarn_FwdPilot();
  for (std::size_t k = 0; k < slotMap.size(); ++k)
    synthesis::placePilotChips(std::span(chips).subspan(k * synthesis::kSlotChips,
                                                        synthesis::kSlotChips),
                               pilot);
  synthesis::spreadInPlace(chips, s.pilotOffsetIndex, !s.mirrorSpectrum);
  return chips;
}

// The Std and Acp designs from scratch (the same code before and after; the calculation keeps
// them in a cache, so only a first calculation of a ratio pays this).
std::vector<double> designFromScratch(double R, bool acp) {
  std::vector<double> f{0, 590000, 740000, R * 1228800 / 2};
  for (double& v : f)
    v = v * 2 / R / 1228800;
  std::vector<double> h =
      synthesis::remez2(12 * R - 1, f, std::vector<double>{1, 1, 0, 0},
                        {.weights = std::vector<double>{1, 20}})
          .h;
  if (!acp) return h;
  std::vector<double> g =
      synthesis::remez2(14 * R, f, std::vector<double>{1, 1, 0.005, 0.001},
                        {.weights = std::vector<double>{1, 2}})
          .h;
  std::vector<double> c(h.size() + g.size() - 1, 0.0);
  for (std::size_t i = 0; i < h.size(); ++i)
    for (std::size_t j = 0; j < g.size(); ++j)
      c[i + j] += h[i] * g[j];
  return c;
}

enum class Stage { Calculate, Coding, Design, Fir, Equalizer, FirEqualizer, Summary };

// Runs one stage of one case, "before" (threads == 0) or "after" with the given threads.
void runStage(benchmark::State& state, const Case& c, Stage stage, int threads) {
  if (threads > 0) ::setenv("KELVANE_THREADS", std::to_string(threads).c_str(), 1);
  app::AppState st = stateFor(c);
  const synthesis::SynthesisSettings settings = settingsFor(st.parameters);
  const app::PacketLists lists = app::buildPacketLists(st.parameters);
  const int R = settings.oversampleRatio;
  std::vector<cd> chips, filtered;
  synthesis::Waveform done;  // the after waveform, for its summary
  before::Waveform doneBefore;
  if (stage == Stage::Fir || stage == Stage::Equalizer || stage == Stage::FirEqualizer)
    chips = trafficChips(lists, settings);
  if (stage == Stage::Equalizer) filtered = before::filterZeroStuffedChips(chips, R, settings.filter);
  if (stage == Stage::Summary) {
    if (threads > 0) done = synthesis::Qarn_FwdModulatedWaveform(lists.traffic, {}, settings);
    else doneBefore = before::modulatedWaveform(lists.traffic, {}, settings);
  }
  for (auto _ : state) {
    switch (stage) {
      case Stage::Calculate: {
        if (threads == 0) {
          const app::PacketLists l = app::buildPacketLists(st.parameters);
          const before::Waveform t = before::modulatedWaveform(l.traffic, {}, settings);
          const before::Waveform k = before::modulatedWaveform(l.control, {}, settings);
          benchmark::DoNotOptimize(paprBefore(t.samples) + paprBefore(k.samples));
        } else {
          kelvane::toolkit::ScriptedDialogs dialogs;
          app::FlowContext flow{st, dialogs, {}};
          app::calculate(flow);
          benchmark::DoNotOptimize(paprAfter(st.traffic) + paprAfter(st.control));
        }
        break;
      }
      case Stage::Coding: {
        const app::PacketLists l = app::buildPacketLists(st.parameters);
        std::vector<const synthesis::PacketRecord*> all;
        for (const auto& p : l.traffic)
          all.push_back(&p);
        all.push_back(&l.control.front());
        std::vector<std::vector<cd>> out(all.size());
        if (threads == 0) {
          for (std::size_t i = 0; i < all.size(); ++i)
            out[i] = transmitChips(*all[i]);
        } else {
          synthesis::parallelFor(all.size(), [&](std::size_t i) { out[i] = transmitChips(*all[i]); });
        }
        benchmark::DoNotOptimize(out.data());
        break;
      }
      case Stage::Design:
        benchmark::DoNotOptimize(designFromScratch(R, settings.filter == synthesis::FilterKind::Acp));
        break;
      case Stage::Fir:
        if (threads == 0) {
          benchmark::DoNotOptimize(before::filterZeroStuffedChips(chips, R, settings.filter).data());
        } else {
          synthesis::Samples out(chips.size() * static_cast<std::size_t>(R));
          synthesis::filterZeroStuffedChips(chips, R, settings.filter, out);
          benchmark::DoNotOptimize(out.data());
        }
        break;
      case Stage::Equalizer: {
        state.PauseTiming();
        synthesis::Samples x(filtered.begin(), filtered.end());
        state.ResumeTiming();
        if (threads == 0) {
          before::phaseEqualizeInPlace(x, R);
        } else {
          synthesis::SampleSummary summary;
          synthesis::phaseEqualizeInPlace(x, R, &summary);
          benchmark::DoNotOptimize(summary);
        }
        benchmark::DoNotOptimize(x.data());
        break;
      }
      case Stage::FirEqualizer:
        // The calculation's path: before, the filter's row then the equalizer over it; after,
        // one pass.
        if (threads == 0) {
          std::vector<cd> x = before::filterZeroStuffedChips(chips, R, settings.filter);
          before::phaseEqualizeInPlace(x, R);
          benchmark::DoNotOptimize(x.data());
        } else {
          synthesis::Samples out(chips.size() * static_cast<std::size_t>(R));
          synthesis::SampleSummary summary;
          const synthesis::ZeroStuffedFilter filter(chips, R, settings.filter);
          synthesis::filterAndEqualize(filter, out, R, &summary);
          benchmark::DoNotOptimize(out.data());
        }
        break;
      case Stage::Summary:
        // After: gathered by the equalizer (its cost is in that stage); what is left is reading it.
        benchmark::DoNotOptimize(threads == 0 ? paprBefore(doneBefore.samples) : paprAfter(done));
        break;
    }
  }
  ::unsetenv("KELVANE_THREADS");
}

// The encoder on the largest traffic waveform's size: "norm" scale and 16-bit words, before and
// after (after: the peak comes with the waveform, as in a download after Calculate).
void runEncoder(benchmark::State& state, bool after) {
  constexpr std::size_t kSamples = 15'728'640;
  std::vector<cd> iq(kSamples);
  for (std::size_t i = 0; i < kSamples; ++i) {
    const double t = 0.0123 * static_cast<double>(i);
    iq[i] = {std::cos(t) * 0.7, std::sin(1.1 * t) * 0.6};
  }
  synthesis::SampleSummary summary;
  summary.add(iq);
  std::vector<char> out(4 * kSamples);
  for (auto _ : state) {
    if (after) {
      instrument::encodeIqWords(iq, instrument::normScaleForPeak(summary.peakComponent), out);
    } else {
      before::encodeIqWords(iq, before::normScale(iq).value_or(0), out);
    }
    benchmark::DoNotOptimize(out.data());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * out.size()));
}

void registerAll() {
  const std::pair<Stage, const char*> stages[] = {
      {Stage::Calculate, "calculate"}, {Stage::Coding, "coding"},       {Stage::Design, "design"},
      {Stage::Fir, "fir"},             {Stage::Equalizer, "equalizer"},
      {Stage::FirEqualizer, "fir+equalizer"}, {Stage::Summary, "summary"}};
  for (const Case* c : {&kStartup, &kLargest}) {
    for (const auto& [stage, stageName] : stages) {
      for (int threads : {0, 1, 2}) {
        const std::string name = std::string(c->name) + "/" + stageName + "/" +
                                 (threads == 0 ? "before" : "after/threads:" + std::to_string(threads));
        benchmark::RegisterBenchmark(name.c_str(),
                                     [c, stage = stage, threads](benchmark::State& s) {
                                       runStage(s, *c, stage, threads);
                                     })
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime()
            ->MeasureProcessCPUTime();
      }
    }
  }
  benchmark::RegisterBenchmark("encoder/before", [](benchmark::State& s) { runEncoder(s, false); })
      ->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark("encoder/after", [](benchmark::State& s) { runEncoder(s, true); })
      ->Unit(benchmark::kMillisecond);
}

}  // namespace

int main(int argc, char** argv) {
  kelvane::library::keepFreedMemoryForReuse();  // as the programs run
  registerAll();
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
