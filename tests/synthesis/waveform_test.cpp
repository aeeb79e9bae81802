// The forward-link synthesis driver: slot layout through the driver (read back by de-spreading a
// filter-less waveform), markers, switches, preconditions, and the whole chain against a
// direct-form reference of its definition.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <string>
#include <span>
#include <vector>

#include "coding/error.hpp"
#include "coding/modparams.hpp"
#include "coding/trfchn.hpp"
#include "synthesis/baseband_filter.hpp"
#include "synthesis/channels.hpp"
#include "synthesis/phase_eq.hpp"
#include "synthesis/pn.hpp"
#include "synthesis/waveform.hpp"

namespace kelvane::synthesis {
namespace {

using cd = std::complex<double>;
constexpr std::size_t kSlot = 2048;

// The 1-based chip ranges of the slot's data positions, in fill order (data1..data4).
std::vector<std::size_t> data1234() {
  std::vector<std::size_t> pos;
  for (auto [a, b] : {std::pair{1, 400}, {625, 1024}, {1025, 1424}, {1649, 2048}})
    for (int c = a; c <= b; ++c)
      pos.push_back(static_cast<std::size_t>(c - 1));
  return pos;
}

coding::Bits testBits(std::size_t n, unsigned seed) {
  coding::Bits b(n);
  for (auto& x : b) {
    seed = seed * 1103515245u + 12345u;
    x = (seed >> 16) & 1u;
  }
  return b;
}

PacketRecord packet(double drc, double macIndex, unsigned seed) {
  return {drc, testBits(static_cast<std::size_t>(coding::modParamsFor(drc).bits), seed), macIndex};
}

SynthesisSettings plain(int oversampleRatio = 1) {
  // Rectangular hold at one sample a chip, no equalizer, no inversion: the spread chips as such.
  return {.pilotOffsetIndex = 0,
          .oversampleRatio = oversampleRatio,
          .filter = FilterKind::Rectangular,
          .phaseEqActive = false,
          .mirrorSpectrum = true};
}

// The PN chip pn(n) of the offset sequence.
std::vector<cd> pnChips(double offsetIndex, std::size_t n) {
  const coding::Bits i = Qarn_PNiSequence(1), q = Qarn_PNqSequence(1);
  const auto si = CircularShiftRight<std::uint8_t>(i, 64 * offsetIndex);
  const auto sq = CircularShiftRight<std::uint8_t>(q, 64 * offsetIndex);
  std::vector<cd> pn(n);
  for (std::size_t k = 0; k < n; ++k)
    pn[k] = {1.0 - 2.0 * si[k % kPNPeriodChips], 1.0 - 2.0 * sq[k % kPNPeriodChips]};
  return pn;
}

// Slot chips from a filter-less waveform: (PN_I + j PN_Q)(PN_I - j PN_Q) = 2.
std::vector<cd> despread(const Waveform& w, double offsetIndex = 0) {
  const auto pn = pnChips(offsetIndex, w.samples.size());
  std::vector<cd> chips(w.samples.size());
  for (std::size_t k = 0; k < chips.size(); ++k)
    chips[k] = w.samples[k] * std::conj(pn[k]) / 2.0;
  return chips;
}

bool slotDataIsZero(const std::vector<cd>& chips, std::size_t slot) {
  for (std::size_t p : data1234())
    if (chips[slot * kSlot + p] != cd(0)) return false;
  return true;
}

std::size_t marker2Ones(const Waveform& w, std::size_t slot, int oversampleRatio) {
  const std::size_t n = kSlot * static_cast<std::size_t>(oversampleRatio);
  return static_cast<std::size_t>(
      std::count_if(w.markers.begin() + static_cast<std::ptrdiff_t>(slot * n),
                    w.markers.begin() + static_cast<std::ptrdiff_t>((slot + 1) * n),
                    [](std::uint8_t m) { return (m & 2) != 0; }));
}

TEST(ModulatedWaveform, EmptyListIsSixteenIdleSlots) {
  const Waveform w = Qarn_FwdModulatedWaveform({}, {}, plain(2));
  ASSERT_EQ(w.samples.size(), 16 * kSlot * 2);
  ASSERT_EQ(w.markers.size(), w.samples.size());
  // Rectangular hold at 2 samples a chip: every chip twice.
  const Waveform w1 = Qarn_FwdModulatedWaveform({}, {}, plain(1));
  const auto chips = despread(w1);
  for (std::size_t s = 0; s < 16; ++s) {
    EXPECT_TRUE(slotDataIsZero(chips, s)) << s;
    for (std::size_t c = 0; c < kSlot; ++c) {
      const bool pilot = (c >= 464 && c < 560) || (c >= 1488 && c < 1584);
      ASSERT_EQ(chips[s * kSlot + c], pilot ? cd(1) : cd(0)) << s << " " << c;
    }
    EXPECT_EQ(marker2Ones(w, s, 2), 208u * 2);
  }
  for (std::size_t n = 0; n < w.samples.size(); ++n) {
    ASSERT_EQ(w.samples[n], w1.samples[n / 2]) << n;
    ASSERT_EQ(w.markers[n] & 1, (n % 2048) < 2 ? 1 : 0) << n;  // one chip every half slot
  }
}

TEST(ModulatedWaveform, ControlPacketOccupiesEveryFourthSlot) {
  const std::vector<PacketRecord> ctl{packet(1, 3, 7)};
  const Waveform w = Qarn_FwdModulatedWaveform(ctl, {}, plain());
  ASSERT_EQ(w.samples.size(), 64 * kSlot);
  const auto chips = despread(w);
  for (std::size_t s = 0; s < 64; ++s) {
    const bool data = s % 4 == 0 && s <= 60;
    EXPECT_EQ(!slotDataIsZero(chips, s), data) << "slot " << s + 1;
    EXPECT_EQ(marker2Ones(w, s, 1), data ? 1824u : 208u) << "slot " << s + 1;
  }
  // The 1024-chip preamble of MAC index 3 fills data1, data2 and 224 chips of data3, then the
  // data chips follow without a gap.
  const auto preamble = Qarn_FwdTrfPreamble(3, 32);
  const auto data = coding::Qarn_FwdTrfChn(ctl[0].packet, coding::modParamsFor(1), 3);
  const auto pos = data1234();
  for (std::size_t k = 0; k < 1024; ++k)
    ASSERT_EQ(chips[pos[k]], cd(preamble[k])) << k;
  for (std::size_t k = 1024; k < 1600; ++k)
    ASSERT_NEAR(std::abs(chips[pos[k]] - data[k - 1024]), 0.0, 1e-15) << k;
  for (std::size_t k = 0; k < 1600; ++k)  // slot 5 continues at data chip 577
    ASSERT_NEAR(std::abs(chips[4 * kSlot + pos[k]] - data[576 + k]), 0.0, 1e-15) << k;
}

TEST(ModulatedWaveform, FourAndFiveSixteenSlotPackets) {
  std::vector<PacketRecord> pk;
  for (unsigned i = 0; i < 5; ++i)
    pk.push_back(packet(1, 7, 100 + i));
  const auto four = despread(Qarn_FwdModulatedWaveform(std::span(pk).first(4), {}, plain()));
  ASSERT_EQ(four.size(), 64 * kSlot);
  const auto five = despread(Qarn_FwdModulatedWaveform(pk, {}, plain()));
  ASSERT_EQ(five.size(), 128 * kSlot);
  // Packet i's first data chips in slot i (its preamble is the same for every packet).
  const auto pos = data1234();
  for (std::size_t i = 0; i < 5; ++i) {
    const auto data = coding::Qarn_FwdTrfChn(pk[i].packet, coding::modParamsFor(1), 7);
    const std::size_t slot = i < 4 ? i : 64;
    EXPECT_NEAR(std::abs(five[slot * kSlot + pos[1024]] - data[0]), 0.0, 1e-15) << i;
    EXPECT_NEAR(std::abs(five[(slot + 60) * kSlot + pos[1599]] - data.back()), 0.0, 1e-15) << i;
  }
  for (std::size_t s = 0; s < 64; ++s)
    EXPECT_FALSE(slotDataIsZero(four, s)) << s;
  for (std::size_t s = 64; s < 128; ++s)
    EXPECT_EQ(slotDataIsZero(five, s), !(s % 4 == 0 && s <= 124)) << s;
  EXPECT_TRUE(std::equal(four.begin(), four.end(), five.begin()));
}

TEST(ModulatedWaveform, OneSlotPacketPreambleThenData) {
  const std::vector<PacketRecord> pk{packet(6, 10, 5), packet(12, 11, 6)};
  const auto chips = despread(Qarn_FwdModulatedWaveform(pk, {}, plain()));
  ASSERT_EQ(chips.size(), 16 * kSlot);
  const auto pos = data1234();
  for (std::size_t i = 0; i < 2; ++i) {
    const auto preamble = Qarn_FwdTrfPreamble(pk[i].macIndex, 2);
    const auto data =
        coding::Qarn_FwdTrfChn(pk[i].packet, coding::modParamsFor(pk[i].drcValue), pk[i].macIndex);
    ASSERT_EQ(data.size(), 1536u);
    for (std::size_t k = 0; k < 64; ++k)
      ASSERT_EQ(chips[i * kSlot + k], cd(preamble[k])) << k;
    for (std::size_t k = 64; k < 1600; ++k)
      ASSERT_NEAR(std::abs(chips[i * kSlot + pos[k]] - data[k - 64]), 0.0, 1e-15) << k;
  }
  EXPECT_TRUE(slotDataIsZero(chips, 2));
}

MacInputs macInputs(std::size_t rpcRows, std::size_t raRows, std::size_t gainRows) {
  MacInputs m;
  m.rpcBits = coding::Matrix<double>(rpcRows, 59);
  m.rpcGains = coding::Matrix<double>(gainRows, 59);
  for (std::size_t r = 0; r < rpcRows; ++r)
    for (std::size_t c = 0; c < 59; ++c)
      m.rpcBits(r, c) = static_cast<double>((r + c) % 2);
  for (std::size_t r = 0; r < gainRows; ++r)
    for (std::size_t c = 0; c < 59; ++c)
      m.rpcGains(r, c) = 0.01 * static_cast<double>(c + r);
  m.raBits.assign(raRows, 1.0);
  m.raGains.assign(gainRows, 0.5);
  return m;
}

TEST(ModulatedWaveform, MacBurstsAndTheRFGate) {
  // Slots 1..3 carry MAC rows (rows 1..2 RPC, row 3 RA only); slot 1 and 2 data (two 1-slot
  // packets), slot 3 MAC only.
  const std::vector<PacketRecord> pk{packet(9, 20, 1), packet(11, 21, 2)};
  const MacInputs mac = macInputs(2, 3, 3);
  const Waveform w = Qarn_FwdModulatedWaveform(pk, mac, plain());
  const auto chips = despread(w);
  const std::vector<double> zero(59, 0.0);
  for (std::size_t k = 0; k < 3; ++k) {
    const auto expected = Qarn_FwdMACslot(k < 2 ? mac.rpcBits.row(k) : zero, mac.rpcGains.row(k),
                                          mac.raBits[k], mac.raGains[k]);
    std::size_t e = 0;
    for (auto [a, b] : {std::pair{400, 464}, {560, 624}, {1424, 1488}, {1584, 1648}})
      for (int c = a; c < b; ++c, ++e)
        ASSERT_NEAR(std::abs(chips[k * kSlot + static_cast<std::size_t>(c)] - expected[e]), 0.0,
                    1e-15)
            << k << " " << c;
  }
  EXPECT_EQ(chips[3 * kSlot + 400], cd(0));
  EXPECT_EQ(marker2Ones(w, 0, 1), 2048u);  // data and MAC
  EXPECT_EQ(marker2Ones(w, 1, 1), 2048u);
  EXPECT_EQ(marker2Ones(w, 2, 1), 464u);  // MAC only
  EXPECT_EQ(marker2Ones(w, 3, 1), 208u);  // pilot only
}

TEST(ModulatedWaveform, PreconditionsAreErrorsWithMessages) {
  const std::vector<PacketRecord> pk{packet(6, 10, 5)};
  auto message = [&](const MacInputs& mac, const SynthesisSettings& s = plain()) {
    try {
      Qarn_FwdModulatedWaveform(pk, mac, s);
    } catch (const coding::Error& e) {
      return std::string(e.what());
    }
    return std::string("(no error)");
  };
  EXPECT_NE(message(macInputs(3, 0, 2)).find("rpcGains"), std::string::npos);
  MacInputs shortRa = macInputs(3, 0, 3);
  shortRa.raGains.resize(2);
  EXPECT_NE(message(shortRa).find("raGains"), std::string::npos);
  EXPECT_NE(message(macInputs(0, 17, 17)).find("17 MAC rows exceed the 16 slots"),
            std::string::npos);
  MacInputs wide = macInputs(2, 0, 2);
  wide.rpcBits = coding::Matrix<double>(2, 60);
  EXPECT_NE(message(wide).find("rpcBits has 60 columns"), std::string::npos);
  MacInputs narrowGains = macInputs(0, 2, 2);
  narrowGains.rpcGains = coding::Matrix<double>(2, 58);
  EXPECT_NE(message(narrowGains).find("rpcGains has 58 columns"), std::string::npos);
  EXPECT_EQ(message(macInputs(0, 16, 16)), "(no error)");
  SynthesisSettings zero = plain();
  zero.oversampleRatio = 0;
  EXPECT_NE(message({}, zero).find("oversamplingRate"), std::string::npos);
  SynthesisSettings far = plain();
  far.pilotOffsetIndex = 600;
  EXPECT_NE(message({}, far), "(no error)");
  // Errors of the operations called propagate: an unknown DRC value, a malformed packet.
  const std::vector<PacketRecord> badDrc{{13, coding::Bits(1024), 7}};
  EXPECT_THROW(Qarn_FwdModulatedWaveform(badDrc, {}, plain()), coding::Error);
  const std::vector<PacketRecord> badPacket{{4, coding::Bits(1000), 7}};
  EXPECT_THROW(Qarn_FwdModulatedWaveform(badPacket, {}, plain()), coding::Error);
}

// --- the whole chain against its definition ---------------------------------------------------

double peakOf(std::span<const cd> x) {
  double p = 0;
  for (const cd& v : x)
    p = std::max(p, std::abs(v));
  return p;
}

// Slot assembly, spreading, zero-stuffing, the direct circular FIR with cyclic prefix and
// floor(L/2) advance (or the linear hold), the direct IIR with cyclic prefix and 2R - 1 advance,
// the conjugation: each step as written, one sample at a time.
std::vector<cd> referenceWaveform(const std::vector<PacketRecord>& pk, const MacInputs& mac,
                                  const SynthesisSettings& s) {
  // Slot map.
  std::vector<std::size_t> map{0};
  for (std::size_t i = 0; i < pk.size(); ++i) {
    const auto slots = static_cast<std::size_t>(coding::modParamsFor(pk[i].drcValue).slots);
    std::size_t first = 0;
    while (first < map.size() && map[first] != 0)
      ++first;
    for (std::size_t k = 0; k < slots; ++k) {
      if (first + 4 * k >= map.size()) map.resize(first + 4 * k + 1, 0);
      map[first + 4 * k] = i + 1;
    }
  }
  if (map.size() % 16) map.resize(map.size() + 16 - map.size() % 16, 0);
  const std::size_t S = map.size();
  std::vector<cd> chips(S * kSlot);
  const auto pos = data1234();
  for (std::size_t i = 0; i < pk.size(); ++i) {
    const auto f = coding::modParamsFor(pk[i].drcValue);
    std::vector<cd> t;
    for (double c : Qarn_FwdTrfPreamble(pk[i].macIndex, f.preambleTDMChips / 32))
      t.push_back(c);
    for (cd c : coding::Qarn_FwdTrfChn(pk[i].packet, f, pk[i].macIndex))
      t.push_back(c);
    std::size_t k = 0;
    for (std::size_t slot = 0; slot < S; ++slot)
      if (map[slot] == i + 1)
        for (std::size_t p : pos)
          chips[slot * kSlot + p] = t[k++];
  }
  const std::size_t macRows = std::max(mac.rpcBits.rows, mac.raBits.size());
  for (std::size_t k = 0; k < macRows; ++k) {
    const auto m = Qarn_FwdMACslot(
        k < mac.rpcBits.rows ? mac.rpcBits.row(k) : std::vector<double>(59, 0.0),
        mac.rpcGains.row(k), k < mac.raBits.size() ? mac.raBits[k] : 0.0, mac.raGains[k]);
    std::size_t e = 0;
    for (auto [a, b] : {std::pair{400, 464}, {560, 624}, {1424, 1488}, {1584, 1648}})
      for (int c = a; c < b; ++c)
        chips[k * kSlot + static_cast<std::size_t>(c)] = m[e++];
  }
  for (std::size_t slot = 0; slot < S; ++slot)
    for (std::size_t c = 0; c < 96; ++c)
      chips[slot * kSlot + 464 + c] = chips[slot * kSlot + 1488 + c] = 1.0;
  // Spreading.
  const auto pn = pnChips(s.pilotOffsetIndex, chips.size());
  for (std::size_t k = 0; k < chips.size(); ++k) {
    const double I = chips[k].real(), Q = chips[k].imag();
    chips[k] = {I * pn[k].real() - Q * pn[k].imag(), I * pn[k].imag() + Q * pn[k].real()};
  }
  // Zero-stuffing.
  const auto oversampleRatio = static_cast<std::size_t>(s.oversampleRatio);
  std::vector<cd> x(chips.size() * oversampleRatio);
  for (std::size_t k = 0; k < chips.size(); ++k)
    x[k * oversampleRatio] = chips[k];
  const std::size_t N = x.size();
  // Baseband filter.
  std::vector<cd> y(N);
  if (s.filter == FilterKind::Rectangular) {
    for (std::size_t n = 0; n < N; ++n)
      for (std::size_t k = 0; k < oversampleRatio && k <= n; ++k)
        y[n] += x[n - k];
  } else {
    const std::vector<double> h = s.filter == FilterKind::Std
                                      ? FilterCoeff_IS95_Std(s.oversampleRatio)
                                      : FilterCoeff_IS95_Acp(s.oversampleRatio);
    const std::size_t L = h.size();
    std::vector<cd> xp(x.end() - static_cast<std::ptrdiff_t>(L - 1), x.end());
    xp.insert(xp.end(), x.begin(), x.end());
    std::vector<cd> full(N);
    for (std::size_t n = 0; n < N; ++n) {
      cd acc = 0;
      for (std::size_t k = 0; k < L; ++k)
        acc += h[k] * xp[n + L - 1 - k];
      full[n] = acc;
    }
    const std::size_t d = L / 2;
    for (std::size_t n = 0; n < N; ++n)
      y[n] = full[(n + d) % N];
  }
  // Phase equalizer.
  if (s.phaseEqActive) {
    const TransferFunction f = eqlrfilt(static_cast<double>(oversampleRatio) * 1228800.0);
    const std::size_t P = 25 * oversampleRatio - 1;
    std::vector<cd> xp(y.end() - static_cast<std::ptrdiff_t>(P), y.end());
    xp.insert(xp.end(), y.begin(), y.end());
    std::vector<cd> yy(xp.size());
    for (std::size_t n = 0; n < xp.size(); ++n) {
      cd acc = f.b[0] * xp[n];
      for (std::size_t k = 1; k < 3; ++k)
        if (n >= k) acc += f.b[k] * xp[n - k] - f.a[k] * yy[n - k];
      yy[n] = acc;
    }
    const std::size_t d = 2 * oversampleRatio - 1;
    for (std::size_t n = 0; n < N; ++n)
      y[n] = yy[P + (n + d) % N];
  }
  if (!s.mirrorSpectrum)
    for (cd& v : y)
      v = std::conj(v);
  return y;
}

void expectMatchesReference(const std::vector<PacketRecord>& pk, const MacInputs& mac,
                            const SynthesisSettings& s) {
  const Waveform w = Qarn_FwdModulatedWaveform(pk, mac, s);
  const std::vector<cd> ref = referenceWaveform(pk, mac, s);
  ASSERT_EQ(w.samples.size(), ref.size());
  const double peak = peakOf(ref);
  double worst = 0;
  for (std::size_t n = 0; n < ref.size(); ++n)
    worst = std::max(worst, std::abs(w.samples[n] - ref[n]));
  EXPECT_LE(worst, 1e-12 * peak) << "R " << s.oversampleRatio << " filter "
                                 << static_cast<int>(s.filter);
}

TEST(ModulatedWaveform, EqualsTheDirectFormDefinition) {
  const std::vector<PacketRecord> pk{packet(12, 9, 1), packet(4, 9, 2), packet(6, 8, 3)};
  const MacInputs mac = macInputs(3, 2, 3);
  expectMatchesReference(pk, mac,
                         {.pilotOffsetIndex = 3,
                          .oversampleRatio = 4,
                          .filter = FilterKind::Std,
                          .phaseEqActive = true,
                          .mirrorSpectrum = false});
  expectMatchesReference(pk, {},
                         {.pilotOffsetIndex = 511,
                          .oversampleRatio = 2,
                          .filter = FilterKind::Acp,
                          .phaseEqActive = true,
                          .mirrorSpectrum = true});
  expectMatchesReference(pk, {},
                         {.pilotOffsetIndex = 0,
                          .oversampleRatio = 3,
                          .filter = FilterKind::Rectangular,
                          .phaseEqActive = true,
                          .mirrorSpectrum = false});
  expectMatchesReference({}, mac,
                         {.pilotOffsetIndex = 1,
                          .oversampleRatio = 5,
                          .filter = FilterKind::Std,
                          .phaseEqActive = false,
                          .mirrorSpectrum = true});
}

TEST(ModulatedWaveform, SwitchesAndLengths) {
  const std::vector<PacketRecord> pk{packet(4, 7, 11)};
  SynthesisSettings s{.pilotOffsetIndex = 2,
                      .oversampleRatio = 5,
                      .filter = FilterKind::Std,
                      .phaseEqActive = true,
                      .mirrorSpectrum = true};
  const Waveform base = Qarn_FwdModulatedWaveform(pk, {}, s);
  ASSERT_EQ(base.samples.size(), 16 * kSlot * 5);
  ASSERT_EQ(base.markers.size(), base.samples.size());

  s.mirrorSpectrum = false;
  const Waveform mirrored = Qarn_FwdModulatedWaveform(pk, {}, s);
  const double tol = 1e-12 * peakOf(base.samples);
  for (std::size_t n = 0; n < base.samples.size(); ++n) {
    ASSERT_NEAR(mirrored.samples[n].real(), base.samples[n].real(), tol) << n;
    ASSERT_NEAR(mirrored.samples[n].imag(), -base.samples[n].imag(), tol) << n;
  }
  EXPECT_EQ(mirrored.markers, base.markers);
  s.mirrorSpectrum = mirrorSpectrumFor(2);  // any nonzero value leaves the spectrum
  EXPECT_EQ(Qarn_FwdModulatedWaveform(pk, {}, s).samples, base.samples);

  s.mirrorSpectrum = true;
  s.phaseEqActive = false;
  const Waveform noEq = Qarn_FwdModulatedWaveform(pk, {}, s);
  s.phaseEqActive = phaseEqActiveFor(2);  // only exactly 1 switches the equalizer on
  EXPECT_EQ(Qarn_FwdModulatedWaveform(pk, {}, s).samples, noEq.samples);
  s.phaseEqActive = phaseEqActiveFor(1.5);
  EXPECT_EQ(Qarn_FwdModulatedWaveform(pk, {}, s).samples, noEq.samples);
  EXPECT_NE(noEq.samples, base.samples);
  EXPECT_EQ(noEq.markers, base.markers);
  // Without the equalizer, the waveform is the filter applied to the spread chips.
  std::vector<cd> chips = despread(Qarn_FwdModulatedWaveform(pk, {}, plain()));
  spreadInPlace(chips, 2);
  const auto filtered = filterZeroStuffedChips(chips, 5, FilterKind::Std);
  for (std::size_t n = 0; n < filtered.size(); ++n)
    ASSERT_NEAR(std::abs(noEq.samples[n] - filtered[n]), 0.0, tol) << n;

  // Marker 1: 5 samples at the start of every 5120-sample half slot; marker 2 of the data slot.
  for (std::size_t n = 0; n < base.markers.size(); ++n)
    ASSERT_EQ(base.markers[n] & 1, (n % 5120) < 5 ? 1 : 0) << n;
  EXPECT_EQ(marker2Ones(base, 0, 5), 1824u * 5);
  EXPECT_EQ(marker2Ones(base, 4, 5), 1824u * 5);
  EXPECT_EQ(marker2Ones(base, 1, 5), 208u * 5);
}

}  // namespace
}  // namespace kelvane::synthesis
