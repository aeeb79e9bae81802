// Constellations, repetition, the 16 Walsh channels and the whole traffic channel chain.
#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <random>
#include <vector>

#include "bit_strings.hpp"
#include "coding/binary.hpp"
#include "coding/channel_interleaver.hpp"
#include "coding/error.hpp"
#include "coding/modparams.hpp"
#include "coding/modulation.hpp"
#include "coding/scrambler.hpp"
#include "coding/sequences.hpp"
#include "coding/trfchn.hpp"
#include "coding/turbo.hpp"

namespace kelvane::coding {
namespace {

using testing::bitsOf;

constexpr double kExact = 1e-15;

void expectNear(Complex actual, Complex expected, double tolerance) {
  EXPECT_NEAR(actual.real(), expected.real(), tolerance);
  EXPECT_NEAR(actual.imag(), expected.imag(), tolerance);
}

TEST(IQmap, QpskAnd16QamPoints) {
  const double r2 = std::sqrt(2.0), r10 = std::sqrt(10.0);
  expectNear(Qarn_IQmap(bitsOf("00"), Modulation::Qpsk), {1 / r2, 1 / r2}, kExact);
  expectNear(Qarn_IQmap(bitsOf("01"), Modulation::Qpsk), {1 / r2, -1 / r2}, kExact);
  expectNear(Qarn_IQmap(bitsOf("10"), Modulation::Qpsk), {-1 / r2, 1 / r2}, kExact);
  expectNear(Qarn_IQmap(bitsOf("11"), Modulation::Qpsk), {-1 / r2, -1 / r2}, kExact);
  expectNear(Qarn_IQmap(bitsOf("0000"), Modulation::Qam16), {3 / r10, 3 / r10}, kExact);
  expectNear(Qarn_IQmap(bitsOf("1111"), Modulation::Qam16), {-1 / r10, -1 / r10}, kExact);
  expectNear(Qarn_IQmap(bitsOf("1001"), Modulation::Qam16), {1 / r10, -3 / r10}, kExact);
  // Unit average power over the 16 points.
  double power = 0;
  for (unsigned v = 0; v < 16; ++v)
    power += std::norm(Qarn_IQmap(de2bi(v, 4, "left-msb"), Modulation::Qam16));
  EXPECT_NEAR(power / 16, 1.0, 1e-14);
}

TEST(IQmap, EightPskPoints) {
  const double c = std::cos(M_PI / 8), s = std::sin(M_PI / 8);
  const std::vector<std::pair<const char*, Complex>> points{
      {"000", {c, s}}, {"001", {c, -s}}, {"010", {-c, s}}, {"011", {-c, -s}},
      {"100", {s, c}}, {"101", {s, -c}}, {"110", {-s, c}}, {"111", {-s, -c}}};
  for (const auto& [bits, point] : points) {
    SCOPED_TRACE(bits);
    expectNear(Qarn_IQmap(bitsOf(bits), Modulation::Psk8), point, 1e-15);
  }
}

TEST(IQmap, RefusesWrongBitCountsAndFormats) {
  EXPECT_THROW(Qarn_IQmap(bitsOf("000"), Modulation::Qpsk), Error);
  EXPECT_THROW(Qarn_IQmap(bitsOf("00"), modulationFor(4)), Error);
  EXPECT_THROW(Qarn_IQmap(bitsOf("00"), modulationFor(1.5)), Error);
  EXPECT_THROW(Qarn_FwdTrfModulator(bitsOf("00"), modulationFor(0)), Error);
}

TEST(Modulator, GroupsBitsAndPadsAShortLastGroup) {
  const Bits bits = bitsOf("00 01 10 11 1");
  const std::vector<Complex> out = Qarn_FwdTrfModulator(bits, Modulation::Qpsk);
  ASSERT_EQ(out.size(), 5u);
  for (std::size_t i = 0; i < 4; ++i)
    EXPECT_EQ(out[i],
              Qarn_IQmap(Bits(bits.begin() + 2 * i, bits.begin() + 2 * i + 2), Modulation::Qpsk));
  EXPECT_EQ(out[4], Qarn_IQmap(bitsOf("10"), Modulation::Qpsk));
  EXPECT_EQ(Qarn_FwdTrfModulator(bitsOf("101 110"), Modulation::Psk8)[1],
            Qarn_IQmap(bitsOf("110"), Modulation::Psk8));
  EXPECT_EQ(Qarn_FwdTrfModulator(bitsOf("1010 0111"), Modulation::Qam16)[1],
            Qarn_IQmap(bitsOf("0111"), Modulation::Qam16));
}

TEST(RepSeq, RepeatsThenCutsOrTruncates) {
  const std::vector<double> data{1, 2, 3};
  EXPECT_EQ(Qarn_FwdTrfRepSeq(data, 8), (std::vector<double>{1, 2, 3, 1, 2, 3, 1, 2}));
  EXPECT_EQ(Qarn_FwdTrfRepSeq(data, 2), (std::vector<double>{1, 2}));
  EXPECT_EQ(Qarn_FwdTrfRepSeq(data, 3), data);
  EXPECT_TRUE(Qarn_FwdTrfRepSeq(std::vector<double>{}, 0).empty());
  EXPECT_THROW(Qarn_FwdTrfRepSeq(std::vector<double>{}, 4), Error);
  // DRC 1: 2560 symbols, 9 copies and the first 1536.
  std::vector<Complex> symbols(2560);
  for (std::size_t i = 0; i < symbols.size(); ++i)
    symbols[i] = Complex(static_cast<double>(i), 0);
  const std::vector<Complex> filled = Qarn_FwdTrfRepSeq(symbols, 24576);
  ASSERT_EQ(filled.size(), 24576u);
  EXPECT_EQ(filled[23039], Complex(2559, 0));
  EXPECT_EQ(filled[23040], Complex(0, 0));
  EXPECT_EQ(filled[24575], Complex(1535, 0));
}

TEST(WalshChannels, DemuxCoverGainAndSum) {
  std::vector<double> symbols(20);
  for (std::size_t i = 0; i < symbols.size(); ++i)
    symbols[i] = static_cast<double>(i + 1);
  const Matrix<double> demuxed = Qarn_FwdTrfDemux(symbols);
  ASSERT_EQ(demuxed.rows, 16u);
  ASSERT_EQ(demuxed.cols, 2u);
  EXPECT_EQ(demuxed(0, 0), 1);
  EXPECT_EQ(demuxed(15, 0), 16);
  EXPECT_EQ(demuxed(3, 1), 20);
  EXPECT_EQ(demuxed(4, 1), 0);  // padding

  const Matrix<double> covered = Qarn_FwdTrfWalshCover(demuxed);
  ASSERT_EQ(covered.cols, 32u);
  const Matrix<double> w = Qarn_WalshMatrix(16);
  for (std::size_t r = 0; r < 16; ++r)
    for (std::size_t t = 0; t < 16; ++t)
      EXPECT_EQ(covered(r, 16 + t), demuxed(r, 1) * w(r, t));
  const Matrix<double> gained = Qarn_FwdTrfChnGain(covered);
  EXPECT_EQ(gained(2, 5), covered(2, 5) / 4);

  // All channels carrying s: the block is 4 s on its first chip, 0 elsewhere.
  const std::vector<Complex> same(16, Complex(0.5, -1));
  const std::vector<Complex> block =
      Qarn_FwdTrfSummer(Qarn_FwdTrfChnGain(Qarn_FwdTrfWalshCover(Qarn_FwdTrfDemux(same))));
  ASSERT_EQ(block.size(), 16u);
  EXPECT_EQ(block[0], Complex(2, -4));
  for (std::size_t t = 1; t < 16; ++t)
    EXPECT_EQ(block[t], Complex(0, 0)) << t;

  EXPECT_THROW(Qarn_FwdTrfWalshCover(Matrix<double>(15, 2)), Error);
  EXPECT_THROW(Qarn_FwdTrfSummer(Matrix<double>(1, 16)), Error);
}

TEST(WalshChannels, FastTransformEqualsTheDirectCoverAndSum) {
  std::mt19937 rng(7);
  std::normal_distribution<double> normal;
  for (std::size_t n : {16u, 37u, 1536u}) {
    SCOPED_TRACE(n);
    std::vector<Complex> symbols(n);
    for (auto& s : symbols)
      s = {normal(rng), normal(rng)};
    const std::vector<Complex> direct =
        Qarn_FwdTrfSummer(Qarn_FwdTrfChnGain(Qarn_FwdTrfWalshCover(Qarn_FwdTrfDemux(symbols))));
    const std::vector<Complex> fast = fwdTrfWalshChips(symbols);
    ASSERT_EQ(fast.size(), direct.size());
    for (std::size_t i = 0; i < fast.size(); ++i)
      expectNear(fast[i], direct[i], 1e-13);
  }
}

TEST(TrafficChannel, AllZeroPacketAtMacIndex5) {
  const double tol = 5e-5;  // the vectors are rounded to four places
  const std::vector<Complex> drc1 = Qarn_FwdTrfChn(Bits(1024, 0), modParamsFor(1), 5);
  ASSERT_EQ(drc1.size(), 24576u);
  expectNear(drc1[0], {-1.0607, 0}, tol);
  expectNear(drc1[1], {0.3536, 0.7071}, tol);
  expectNear(drc1[2], {-0.3536, 0}, tol);
  expectNear(drc1[3], {-0.3536, -0.7071}, tol);

  const std::vector<Complex> drc6 = Qarn_FwdTrfChn(Bits(1024, 0), modParamsFor(6), 5);
  ASSERT_EQ(drc6.size(), 1536u);
  expectNear(drc6[0], {-1.0607, -0.3536}, tol);
  expectNear(drc6[1], {-0.3536, -0.3536}, tol);
  expectNear(drc6[2], {-0.3536, -1.7678}, tol);
  expectNear(drc6[3], {0.3536, 1.0607}, tol);
}

// For every format the chain fills exactly the data chips and equals its stages composed one by
// one (the repetition of whole chip blocks included).
TEST(TrafficChannel, EqualsItsStagesComposed) {
  for (const ModParams& m : FwdTrfChnModParamsTable) {
    SCOPED_TRACE(m.drcValue);
    Bits packet(static_cast<std::size_t>(m.bits));
    for (std::size_t i = 0; i < packet.size(); ++i)
      packet[i] = (i * i / 7) % 2;
    const Bits coded =
        Qarn_FwdChannelInterleaver(Qarn_FwdScrambler(Qarn_FwdEncoder(packet, m), m, 21), m);
    const std::vector<Complex> symbols =
        Qarn_FwdTrfRepSeq(Qarn_FwdTrfModulator(coded, m.modulationType),
                          static_cast<std::size_t>(m.modulationSymbolsRequired));
    const std::vector<Complex> staged =
        Qarn_FwdTrfSummer(Qarn_FwdTrfChnGain(Qarn_FwdTrfWalshCover(Qarn_FwdTrfDemux(symbols))));
    const std::vector<Complex> chips = Qarn_FwdTrfChn(packet, m, 21);
    ASSERT_EQ(static_cast<double>(chips.size()), m.dataTDMChips);
    ASSERT_EQ(chips.size(), staged.size());
    double power = 0;
    for (std::size_t i = 0; i < chips.size(); ++i) {
      expectNear(chips[i], staged[i], 1e-13);
      power += std::norm(chips[i]);
    }
    // Unit-power symbols on 16 channels at gain 1/4: unit average chip power.
    EXPECT_NEAR(power / static_cast<double>(chips.size()), 1.0, 0.1);
  }
}

// The chain against its stages called one by one, with each switch.
TEST(TrafficChannel, SwitchesSkipTheirStages) {
  const ModParams m = modParamsFor(6);
  Bits packet(1024, 0);
  packet[3] = packet[500] = 1;
  auto tail = [&](const Bits& symbols) {
    return fwdTrfWalshChips(
        Qarn_FwdTrfRepSeq(Qarn_FwdTrfModulator(symbols, m.modulationType),
                          static_cast<std::size_t>(m.modulationSymbolsRequired)));
  };
  EXPECT_EQ(Qarn_FwdTrfChn(packet, m, 9, false, false, false), tail(packet));
  const std::vector<Complex> all = Qarn_FwdTrfChn(packet, m, 9, true, true, true);
  EXPECT_NE(all, Qarn_FwdTrfChn(packet, m, 9, true, false, true));
  EXPECT_NE(all, Qarn_FwdTrfChn(packet, m, 9, true, true, false));
  EXPECT_NE(all, Qarn_FwdTrfChn(packet, m, 10, true, true, true));
  // Without the encoder there are too few symbols for the interleaver.
  EXPECT_THROW(Qarn_FwdTrfChn(packet, m, 9, false, true, true), Error);
  // The MAC index is checked where the scrambler reads it.
  EXPECT_THROW(Qarn_FwdTrfChn(packet, m, 64), Error);
  EXPECT_NO_THROW(Qarn_FwdTrfChn(packet, m, 64, true, false, true));
}

TEST(TrafficChannel, RefusesPacketsThatDoNotMatchTheFormat) {
  EXPECT_THROW(Qarn_FwdTrfChn(Bits(1023, 0), modParamsFor(6), 5), Error);
  EXPECT_THROW(Qarn_FwdTrfChn(Bits(2048, 0), modParamsFor(6), 5), Error);
  Bits notBits(1024, 0);
  notBits[0] = 2;
  EXPECT_THROW(Qarn_FwdTrfChn(notBits, modParamsFor(6), 5), Error);
  ModParams odd = modParamsFor(6);
  odd.modulationType = static_cast<Modulation>(4);
  EXPECT_THROW(Qarn_FwdTrfChn(Bits(1024, 0), odd, 5), Error);
}

}  // namespace
}  // namespace kelvane::coding
