// Calculate gives, bit for bit, the waveforms, markers and ARB words it gave when these
// checksums were recorded, before the filter and the equalizer were reworked for speed: the
// start-up parameters, the largest waveform the window allows and a few corners (odd ratios,
// every filter, equalizer and mirror both ways, 1-slot packets, the highest PN offset). A sample
// below 1e-300 in magnitude counts as zero: the equalizer's decaying state in idle slots is
// flushed there, which changes no word sent to the instrument. The same bits come on every
// kernel path the processor has and with one thread or two.
#include <gtest/gtest.h>
#include <zlib.h>

#include <cmath>
#include <complex>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "app/derived.hpp"
#include "app/flow.hpp"
#include "instrument/block.hpp"
#include "synthesis/fir_paths.hpp"
#include "toolkit/dialogs.hpp"
#include "support/scoped_env.hpp"

namespace kelvane::app {
namespace {

struct Case {
  const char* name;
  double drc, packets, controlDrc, ratio, filter, phaseEq, mirror, pilotOffset, payload, mac;
};

struct Sums {
  std::uint32_t samples, markers, words;
};

struct Expected {
  Case c;
  Sums traffic, control;
};

std::uint32_t crc(const void* data, std::size_t bytes) {
  return static_cast<std::uint32_t>(
      crc32_z(crc32_z(0, nullptr, 0), static_cast<const Bytef*>(data), bytes));
}

// The samples' bits with every value below 1e-300 in magnitude (signed zeros included) as +0.
std::uint32_t sampleSum(std::span<const std::complex<double>> samples) {
  std::vector<double> x(2 * samples.size());
  for (std::size_t i = 0; i < samples.size(); ++i) {
    x[2 * i] = samples[i].real();
    x[2 * i + 1] = samples[i].imag();
  }
  for (double& v : x)
    if (std::fabs(v) < 1e-300) v = 0.0;
  return crc(x.data(), x.size() * sizeof(double));
}

// The waveform block the download sends: "norm" scaled big-endian 16-bit I/Q words, scaled by
// the peak the synthesis gathered (which must give the factor a search of the samples gives).
std::uint32_t wordSum(const synthesis::Waveform& w) {
  const std::span<const std::complex<double>> samples = w.samples;
  const auto scale = instrument::normScale(samples);
  EXPECT_TRUE(w.summary && w.summary->finite);
  EXPECT_EQ(instrument::normScaleForPeak(w.sampleSummary().peakComponent), scale.value_or(-1));
  std::vector<char> words(4 * samples.size());
  instrument::encodeIqWords(samples, scale.value_or(0), words);
  return crc(words.data(), words.size());
}

Sums sumsOf(const synthesis::Waveform& w) {
  return {sampleSum(w.samples), crc(w.markers.data(), w.markers.size()), wordSum(w)};
}

AppState stateFor(const Case& c) {
  AppState s;
  Parameters& p = s.parameters;
  p.trafficChannelDRCValue = c.drc;
  p.trafficChannelPackets = c.packets;
  p.controlChannelDRCValue = c.controlDrc;
  p.oversampleRatio = c.ratio;
  p.filterType = c.filter;
  p.phaseEqualizationActive = c.phaseEq;
  p.mirrorSpectrumActive = c.mirror;
  p.pilotOffsetIndex = c.pilotOffset;
  p.trafficChannelPayload = c.payload;
  p.trafficChannelMACIndex = c.mac;
  deriveParameters(s);
  return s;
}

// drc, packets, control drc, ratio, filter (1 hold, 2 Std, 3 Acp), equalizer, mirror, PN offset,
// payload, MAC index.
const Case kStartup{"start-up", 4, 8, 1, 5, 2, 1, 0, 0, 5, 7};
const Case kLargest{"largest", 1, 16, 1, 24, 3, 1, 0, 0, 5, 7};
const Case kOddAcpNoEq{"ratio 7, Acp, no equalizer, mirrored", 12, 3, 2, 7, 3, 0, 1, 511, 6, 63};
const Case kHold{"ratio 2, hold", 9, 16, 1, 2, 1, 1, 0, 17, 3, 5};
const Case kStd13{"ratio 13, Std, mirrored", 2, 5, 2, 13, 2, 1, 1, 100, 1, 40};
const Case kAcp3{"ratio 3, Acp", 6, 1, 1, 3, 3, 1, 0, 255, 2, 12};
const Case kStd24NoEq{"ratio 24, Std, no equalizer", 6, 2, 2, 24, 2, 0, 0, 3, 4, 9};

const Expected kExpected[] = {
    {kStartup, {585442654u, 1738389352u, 2223432394u}, {1401424941u, 2940021092u, 196041625u}},
    {kLargest, {1716853953u, 562334265u, 3221870060u}, {2437603418u, 3089164525u, 58656799u}},
    {kOddAcpNoEq, {1779686510u, 963609638u, 1623819888u}, {1456959828u, 3109500268u, 2525444492u}},
    {kHold, {2910785389u, 1446818086u, 417293982u}, {3144857800u, 2459912817u, 2579668250u}},
    {kStd13, {2168074487u, 651233442u, 335642395u}, {4268918464u, 2971115675u, 1967169246u}},
    {kAcp3, {3587220348u, 1482610254u, 3096237831u}, {3561067600u, 3538147900u, 3477164133u}},
    {kStd24NoEq, {2009882938u, 602602552u, 3715175933u}, {2029809661u, 2662855686u, 2813754234u}},
};

void expectSums(const char* what, const Sums& got, const Sums& want, const std::string& where) {
  EXPECT_EQ(got.samples, want.samples) << what << " samples, " << where;
  EXPECT_EQ(got.markers, want.markers) << what << " markers, " << where;
  EXPECT_EQ(got.words, want.words) << what << " words, " << where;
}

using kelvane::testing::ScopedEnv;

void expectAllRecorded(const std::string& how) {
  for (const Expected& e : kExpected) {
    AppState state = stateFor(e.c);
    toolkit::ScriptedDialogs dialogs;
    FlowContext flow{state, dialogs, {}};
    calculate(flow);
    const Sums traffic = sumsOf(state.traffic);
    const Sums control = sumsOf(state.control);
    expectSums("traffic", traffic, e.traffic, std::string(e.c.name) + ", " + how);
    expectSums("control", control, e.control, std::string(e.c.name) + ", " + how);
  }
}

TEST(CalculationIdentity, WaveformsMarkersAndWordsAreThoseRecorded) {
  expectAllRecorded("default kernel and threads");
}

TEST(CalculationIdentity, EveryKernelPathAndThreadCountGivesTheRecordedBits) {
  for (const synthesis::FirPath path : synthesis::availableFirPaths()) {
    const ScopedEnv simd("KELVANE_SIMD", std::string(synthesis::firPathName(path)));
    ASSERT_EQ(synthesis::currentFirPath(), path);
    for (const char* threads : {"1", "2"}) {
      const ScopedEnv count("KELVANE_THREADS", threads);
      expectAllRecorded(std::string(synthesis::firPathName(path)) + ", " + threads + " thread(s)");
    }
  }
}

}  // namespace
}  // namespace kelvane::app
