// The calculation's threads: every task once, nested stages, failures, the thread setting, and
// the same bits from one thread or two and from every kernel path.
#include "synthesis/parallel.hpp"

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <complex>
#include <cstring>
#include <cstdlib>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "coding/packets.hpp"
#include "coding/testdata.hpp"
#include "synthesis/fir_paths.hpp"
#include "synthesis/phase_eq.hpp"
#include "synthesis/sample_summary.hpp"
#include "synthesis/waveform.hpp"
#include "support/scoped_env.hpp"

namespace kelvane::synthesis {
namespace {

using kelvane::testing::ScopedEnv;

TEST(Parallel, EveryTaskRunsOnceWithAnyThreadCountAndNesting) {
  for (const char* threads : {"1", "2", "4"}) {
    const ScopedEnv env("KELVANE_THREADS", threads);
    for (const std::size_t tasks : {0u, 1u, 7u, 300u}) {
      std::vector<std::atomic<int>> runs(tasks);
      parallelFor(tasks, [&](std::size_t i) { runs[i].fetch_add(1); });
      for (std::size_t i = 0; i < tasks; ++i)
        ASSERT_EQ(runs[i].load(), 1) << tasks << " tasks, task " << i << ", " << threads;
    }
    // Tasks that start stages of their own (the two waveforms, each filtered in chip ranges).
    std::vector<std::atomic<int>> inner(5 * 40);
    parallelFor(5, [&](std::size_t i) {
      parallelFor(40, [&](std::size_t j) { inner[i * 40 + j].fetch_add(1); });
    });
    for (const auto& r : inner)
      ASSERT_EQ(r.load(), 1) << threads;
  }
}

TEST(Parallel, AFailingTaskFailsTheStageAfterTheOthersEnd) {
  for (const char* threads : {"1", "2"}) {
    const ScopedEnv env("KELVANE_THREADS", threads);
    std::atomic<int> finished{0};
    EXPECT_THROW(parallelFor(8,
                             [&](std::size_t i) {
                               if (i == 0) throw std::runtime_error("task 0");
                               finished.fetch_add(1);
                             }),
                 std::runtime_error);
    // With two threads the other tasks have all ended (none is left running); with one, the
    // stage stops at the failure.
    EXPECT_TRUE(finished.load() == 7 || (threads[0] == '1' && finished.load() == 0)) << threads;
    // The pool is usable afterwards.
    std::atomic<int> after{0};
    parallelFor(4, [&](std::size_t) { after.fetch_add(1); });
    EXPECT_EQ(after.load(), 4);
  }
}

TEST(Parallel, TheThreadSettingIsAWholeNumberFrom1To256ElseTheCores) {
  const int cores = [] {
    const ScopedEnv env("KELVANE_THREADS", nullptr);
    return calculationThreads();
  }();
  EXPECT_GE(cores, 1);
  for (const auto& [text, want] : std::vector<std::pair<const char*, int>>{
           {"1", 1}, {"2", 2}, {"256", 256}, {"0", cores}, {"257", cores}, {"-2", cores},
           {"2x", cores}, {"", cores}, {"many", cores}}) {
    const ScopedEnv env("KELVANE_THREADS", text);
    EXPECT_EQ(calculationThreads(), want) << '"' << text << '"';
  }
}

TEST(SampleSummary, PeaksPowerAndFinitenessOfBlocksInOrder) {
  SampleSummary s;
  s.add(std::vector<std::complex<double>>{{3, -4}, {0.5, 0}, {-6, 1}});
  EXPECT_EQ(s.peakComponent, 6);
  EXPECT_EQ(s.peakPower, 37);
  EXPECT_EQ(s.sumPower, 25 + 0.25 + 37);
  EXPECT_TRUE(s.finite);
  SampleSummary later;
  later.add(std::vector<std::complex<double>>{{0, -7}});
  s.merge(later);
  EXPECT_EQ(s.peakComponent, 7);
  EXPECT_EQ(s.sumPower, 25 + 0.25 + 37 + 49);
  s.add(std::vector<std::complex<double>>{{1, std::nan("")}});
  EXPECT_FALSE(s.finite);
  SampleSummary inf;
  inf.add(std::vector<std::complex<double>>{{1, 2}, {HUGE_VAL, 0}});
  EXPECT_FALSE(inf.finite);
}

// A waveform long enough for eight equalizer stretches and many chip ranges, with idle slots.
Waveform sample(const SynthesisSettings& settings) {
  const coding::Bits bits = coding::GenerateBitStream(coding::PayloadType::Pn9, 3 * 1002);
  std::vector<PacketRecord> packets;
  for (int i = 0; i < 3; ++i) {
    const coding::Bits payload(bits.begin() + i * 1002, bits.begin() + (i + 1) * 1002);
    packets.push_back({4, coding::Qarn_FwdTrfPhysicalLayerPacket(payload), 7});
  }
  return Qarn_FwdModulatedWaveform(packets, {}, settings);
}

void expectSameBits(const Waveform& a, const Waveform& b, const std::string& how) {
  ASSERT_EQ(a.samples.size(), b.samples.size()) << how;
  for (std::size_t n = 0; n < a.samples.size(); ++n) {
    // Only values below 1e-300 may differ (the equalizer's flushed subnormals).
    const bool tiny = std::abs(a.samples[n]) < 1e-300 && std::abs(b.samples[n]) < 1e-300;
    if (!tiny) {
      ASSERT_EQ(std::memcmp(&a.samples[n], &b.samples[n], sizeof a.samples[n]), 0)
          << how << ", sample " << n;
    }
  }
  EXPECT_EQ(a.markers, b.markers) << how;
  ASSERT_TRUE(a.summary && b.summary) << how;
  EXPECT_EQ(a.summary->peakComponent, b.summary->peakComponent) << how;
  EXPECT_EQ(a.summary->sumPower, b.summary->sumPower) << how;
}

TEST(Parallel, OneThreadOrTwoAndEveryKernelPathGiveTheSameBits) {
  for (const FilterKind filter : {FilterKind::Acp, FilterKind::Std, FilterKind::Rectangular}) {
    for (const bool eq : {true, false}) {
      SynthesisSettings s;
      s.oversampleRatio = filter == FilterKind::Acp ? 11 : 4;
      s.filter = filter;
      s.phaseEqActive = eq;
      s.pilotOffsetIndex = 33;
      const std::string what =
          "filter " + std::to_string(static_cast<int>(filter)) + (eq ? ", equalizer" : "");
      std::optional<Waveform> first;
      for (const FirPath path : availableFirPaths()) {
        const ScopedEnv simd("KELVANE_SIMD", std::string(firPathName(path)).c_str());
        for (const char* threads : {"1", "2"}) {
          const ScopedEnv count("KELVANE_THREADS", threads);
          Waveform w = sample(s);
          if (!first) {
            first = std::move(w);
            continue;
          }
          expectSameBits(*first, w,
                         what + ", " + std::string(firPathName(path)) + ", " + threads + " threads");
        }
      }
      // The carried summary is the summary of the samples.
      SampleSummary direct;
      direct.add(first->samples);
      EXPECT_EQ(direct.peakComponent, first->summary->peakComponent) << what;
      EXPECT_EQ(direct.peakPower, first->summary->peakPower) << what;
      EXPECT_NEAR(direct.sumPower, first->summary->sumPower, 1e-12 * direct.sumPower) << what;
    }
  }
}

}  // namespace
}  // namespace kelvane::synthesis
