// Waveform files: the raw big-endian I/Q words, the special MAT save with its markers, the SigMF
// pair with the markers as annotations, and the applyDacRes and clock2str helpers.
#include "instrument/waveform_files.hpp"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstring>
#include <fstream>
#include <iterator>
#include <limits>
#include <nlohmann/json.hpp>

#include "runtime/matfile.hpp"
#include "support/sigmf_schema.hpp"

namespace kelvane::instrument {
namespace {

namespace fs = std::filesystem;
using Samples = std::vector<std::complex<double>>;
using Bytes = std::vector<std::uint8_t>;

class WaveformFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("kelvane-wavefiles-" +
            std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }

  static Bytes read(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  }
  Bytes mornath(const Samples& v, double scale = 1) {
    const fs::path p = dir_ / "w.bin";
    EXPECT_TRUE(saveMornathWaveform(v, p, scale));
    return read(p);
  }
  fs::path dir_;
};

TEST_F(WaveformFiles, MornathWordsAreBigEndianWithThePeakAtFullScale) {
  // I1 Q1 I2 Q2: 1.0 -> 32766 (7F FE), -1.0 -> -32766 (80 02), 0.5 -> 16383, 0 -> 0.
  EXPECT_EQ(mornath({{1, -1}, {0.5, 0}}), (Bytes{0x7F, 0xFE, 0x80, 0x02, 0x3F, 0xFF, 0x00, 0x00}));
  // The peak need not be 1: components scale by 32766 / peak, halves away from zero.
  EXPECT_EQ(iqWords(Samples{{-4, 1}, {2, 0.000061}}),
            (std::vector<std::int16_t>{-32766, 8192, 16383, 0}));
  // Scale 0.5 puts the peak on 16383 (3F FF).
  EXPECT_EQ(mornath({{1, 0}}, 0.5), (Bytes{0x3F, 0xFF, 0x00, 0x00}));
  // Scale is limited to 1e-05..1: 0 and negative values become 1e-05, where every word rounds
  // to 0; 2 becomes 1; NaN counts as 1.
  EXPECT_EQ(mornath({{1, -0.5}}, 0), (Bytes{0, 0, 0, 0}));
  EXPECT_EQ(mornath({{1, -0.5}}, -3), mornath({{1, -0.5}}, 1e-05));
  EXPECT_EQ(mornath({{1, -0.5}}, 2), mornath({{1, -0.5}}, 1));
  EXPECT_EQ(mornath({{1, -0.5}}, std::nan("")), mornath({{1, -0.5}}, 1));
}

TEST_F(WaveformFiles, ConstantEnvelopeAndZeroWaveforms) {
  // Every |component| equal: still scaled to full scale (not written as +-1 LSB).
  const double a = 0.707;
  EXPECT_EQ(mornath({{a, a}, {-a, a}}), (Bytes{0x7F, 0xFE, 0x7F, 0xFE, 0x80, 0x02, 0x7F, 0xFE}));
  // Large equal values do not wrap around.
  EXPECT_EQ(mornath({{40000, -40000}}), (Bytes{0x7F, 0xFE, 0x80, 0x02}));
  // Only an all-zero waveform stays unscaled: zero words, 4 bytes a sample.
  EXPECT_EQ(mornath(Samples(3)), Bytes(12, 0));
  EXPECT_EQ(mornath(Samples{}), Bytes{});
}

TEST_F(WaveformFiles, MornathFailuresReturnFalseAndWriteNothing) {
  const fs::path p = dir_ / "w.bin";
  EXPECT_FALSE(saveMornathWaveform(Samples{{1, 0}}, dir_ / "missing" / "w.bin"));
  EXPECT_FALSE(saveMornathWaveform(Samples{{1, 0}, {std::nan(""), 0}}, p));
  EXPECT_FALSE(saveMornathWaveform(Samples{{std::numeric_limits<double>::infinity(), 0}}, p));
  EXPECT_FALSE(fs::exists(p));
  EXPECT_THROW(writeMornathWaveform(Samples{{1, 0}}, dir_ / "missing" / "w.bin"),
               std::runtime_error);
  // A second write replaces the first and leaves no temporary file.
  EXPECT_TRUE(saveMornathWaveform(Samples{{1, 0}, {1, 0}}, p));
  EXPECT_TRUE(saveMornathWaveform(Samples{{0, 1}}, p));
  EXPECT_EQ(read(p), (Bytes{0x00, 0x00, 0x7F, 0xFE}));
  EXPECT_EQ(std::distance(fs::directory_iterator(dir_), fs::directory_iterator()), 1);
}

TEST(ApplyDacRes, QuantisesToTheDacGrid) {
  const Samples wave = {{1, 0.5}, {0.1234, -1}};
  EXPECT_EQ(applyDacRes(wave, 2), wave);  // 2 bits or fewer: unchanged
  EXPECT_EQ(applyDacRes(wave, std::nan("")), wave);
  const auto q14 = applyDacRes(wave, 14);  // steps of 1 / 8191
  EXPECT_DOUBLE_EQ(q14[0].real(), 1);
  EXPECT_DOUBLE_EQ(q14[0].imag(), 4096.0 / 8191);  // 4095.5 rounds away from zero
  EXPECT_DOUBLE_EQ(q14[1].real(), 1011.0 / 8191);  // 1010.77
  EXPECT_DOUBLE_EQ(q14[1].imag(), -1);
  // The peak is the larger of the real and imaginary peaks, not the magnitude.
  const auto scaled = applyDacRes(Samples{{0, 2}, {0.5, 0}}, 3);  // scale 3 / 2
  EXPECT_DOUBLE_EQ(scaled[1].real(), 2.0 / 3);                    // 0.75 -> 1 step of 2/3
  // 40 bits are limited to 32.
  const double s32 = 2147483647.0;
  EXPECT_EQ(applyDacRes(wave, 40), applyDacRes(wave, 32));
  EXPECT_DOUBLE_EQ(applyDacRes(wave, 40)[1].real(), std::round(0.1234 * s32) / s32);
  // An all-zero waveform (peak 0) is returned unchanged.
  EXPECT_EQ(applyDacRes(Samples(4), 14), Samples(4));
  EXPECT_TRUE(applyDacRes(Samples{}, 14).empty());
}

TEST(Clock2str, FormatsDayMonthYearAndTime) {
  EXPECT_EQ(clock2str(std::vector<double>{2026, 12, 7, 9, 5, 3.8}), "07DEC2026 9:05:03");
  EXPECT_EQ(clock2str(std::vector<double>{2025, 1, 1, 23, 59, 59.999}), "01JAN2025 23:59:59");
  EXPECT_EQ(clock2str(std::vector<double>{2025, 1, 1, 0, 0, 0}), "01JAN2025 0:00:00");
  EXPECT_EQ(clock2str(std::vector<double>{2002, 4, 30, 12, 10, 9}), "30APR2002 12:10:09");
  EXPECT_THROW(clock2str(std::vector<double>{2025, 13, 1, 0, 0, 0}), std::invalid_argument);
  EXPECT_THROW(clock2str(std::vector<double>{2025, 0, 1, 0, 0, 0}), std::invalid_argument);
  EXPECT_THROW(clock2str(std::vector<double>{2025, 1, 1, 0, 0}), std::invalid_argument);
  EXPECT_THROW(clock2str(std::vector<double>{2025, 1, 1, 0, std::nan(""), 0}),
               std::invalid_argument);
}

TEST_F(WaveformFiles, SpecialSaveHoldsSampleCountRateIQColumnsAndMarkers) {
  const fs::path p = dir_ / "special.txt";
  saveSpecialWaveform(p, Samples{{1, -1}, {0.5, 0.25}, {0, 2}}, 6144000);
  auto vars = runtime::readMatFile(p);
  ASSERT_EQ(vars.size(), 3u);
  EXPECT_EQ(runtime::findVariable(vars, "samplePoints")->toDouble(), 3);
  EXPECT_EQ(runtime::findVariable(vars, "sampleRate")->toDouble(), 6144000);
  EXPECT_EQ(*runtime::findVariable(vars, "wave"),
            runtime::Value::matrix(3, 2, {1, 0.5, 0, -1, 0.25, 2}));
  EXPECT_THROW(saveSpecialWaveform(dir_ / "no" / "x.txt", Samples{{1, 0}}, 1), runtime::Error);

  // Row 1 marker 1 (bit 0), row 2 marker 2 (bit 1), one column a sample.
  saveSpecialWaveform(p, Samples{{1, -1}, {0.5, 0.25}, {0, 2}}, 6144000, Bytes{1, 2, 3});
  vars = runtime::readMatFile(p);
  ASSERT_EQ(vars.size(), 4u);
  EXPECT_EQ(*runtime::findVariable(vars, "markers"),
            runtime::Value::matrix(2, 3, {1, 0, 0, 1, 1, 1}));
  EXPECT_THROW(saveSpecialWaveform(p, Samples{{1, 0}}, 1, Bytes{1, 1}), std::invalid_argument);
}

SigMFInfo trafficInfo() {
  SigMFInfo info;
  info.sampleRate = 6144000;
  info.frequency = 1955000000;
  info.channel = "traffic";
  info.drcValue = 4;
  info.packets = 8;
  info.pilotOffsetIndex = 0;
  info.calculated = std::chrono::system_clock::from_time_t(1796739905);  // 2026-12-08 14:25:05
  return info;
}

nlohmann::json readJson(const fs::path& p) {
  std::ifstream in(p);
  return nlohmann::json::parse(in);
}

TEST_F(WaveformFiles, SigMFPairHoldsLittleEndianWordsAndValidMetadata) {
  const Samples v = {{1, -1}, {0.5, 0}};
  SigMFInfo info = trafficInfo();
  saveSigMF(dir_ / "traffic", v, {}, info);
  // The same words as the instrument file, least significant byte first.
  const Bytes data = read(dir_ / "traffic.sigmf-data");
  EXPECT_EQ(data, (Bytes{0xFE, 0x7F, 0x02, 0x80, 0xFF, 0x3F, 0x00, 0x00}));
  const auto meta = readJson(dir_ / "traffic.sigmf-meta");
  EXPECT_EQ(kelvane::testing::sigmfSchemaProblems(meta), std::vector<std::string>{});
  EXPECT_EQ(meta["global"]["core:datatype"], "ci16_le");
  EXPECT_EQ(meta["global"]["core:sample_rate"].get<double>(), 6144000);
  EXPECT_EQ(meta["global"]["core:version"], "1.0.0");
  EXPECT_EQ(meta["global"]["core:description"],
            "Kelvane 1xEV-DO forward link, traffic channel: DRC 4, 8 packets, PN offset 0");
  EXPECT_EQ(meta["global"]["core:sha512"], sha512Hex(data));
  EXPECT_TRUE(meta["global"]["core:hw"].is_string());
  ASSERT_EQ(meta["captures"].size(), 1u);
  EXPECT_EQ(meta["captures"][0]["core:sample_start"], 0);
  EXPECT_EQ(meta["captures"][0]["core:frequency"].get<double>(), 1955000000);
  EXPECT_EQ(meta["captures"][0]["core:datetime"], "2026-12-08T14:25:05Z");
  EXPECT_EQ(meta["annotations"], nlohmann::json::array());

  info.channel = "control";
  info.drcValue = 2;
  info.packets = 1;
  info.pilotOffsetIndex = 300;
  EXPECT_EQ(sigmfDescription(info),
            "Kelvane 1xEV-DO forward link, control channel: DRC 2, 1 packet, PN offset 300");
  EXPECT_THROW(saveSigMF(dir_ / "missing" / "x", v, {}, info), std::runtime_error);
  EXPECT_THROW(saveSigMF(dir_ / "x", v, Bytes{1}, info), std::invalid_argument);
}

TEST_F(WaveformFiles, Sha512OfKnownTexts) {
  const std::string abc = "abc";
  EXPECT_EQ(sha512Hex(std::span(reinterpret_cast<const std::uint8_t*>(abc.data()), abc.size())),
            "ddaf35a193617abacc417349ae20413112e6fa4e89a97ea20a9eeee64b55d39a"
            "2192992a274fc1a836ba3c23a3feebbd454d4423643ce80e2a9ac94fa54ca49f");
  EXPECT_EQ(sha512Hex({}),
            "cf83e1357eefb8bdf1542850d66d8007d620e4050b5715dc83f4a921d36ce9ce"
            "47d0d13c5d85f2b0ff8318d2877eec2f63b931bd47417a81a538327af927da3e");
}

TEST_F(WaveformFiles, SigMFFloatVariantHoldsTheSamplesAsCalculated) {
  const Samples v = {{0.25, -1.5}, {3, 0}};
  saveSigMF(dir_ / "f", v, {}, trafficInfo(), SigMFSamples::Cf32);
  const Bytes data = read(dir_ / "f.sigmf-data");
  ASSERT_EQ(data.size(), 16u);
  float floats[4];
  std::memcpy(floats, data.data(), sizeof floats);  // little-endian like this machine
  EXPECT_EQ(floats[0], 0.25f);
  EXPECT_EQ(floats[1], -1.5f);
  EXPECT_EQ(floats[2], 3.0f);
  EXPECT_EQ(floats[3], 0.0f);
  // 0.25 is 3E800000: least significant byte first.
  EXPECT_EQ((Bytes(data.begin(), data.begin() + 4)), (Bytes{0x00, 0x00, 0x80, 0x3E}));
  const auto meta = readJson(dir_ / "f.sigmf-meta");
  EXPECT_EQ(kelvane::testing::sigmfSchemaProblems(meta), std::vector<std::string>{});
  EXPECT_EQ(meta["global"]["core:datatype"], "cf32_le");
  EXPECT_EQ(meta["global"]["core:sha512"], sha512Hex(data));
  EXPECT_THROW(
      saveSigMF(dir_ / "g", Samples{{std::nan(""), 0}}, {}, trafficInfo(), SigMFSamples::Cf32),
      std::invalid_argument);
  EXPECT_FALSE(fs::exists(dir_ / "g.sigmf-data"));
}

// Markers as the synthesis makes them: per slot of 2048 chips at `ratio` samples a chip, the
// marker-1 pulse one chip wide at chips 1 and 1025, marker 2 over the slot's active bursts
// (here the pilot bursts of an idle slot, then a fully active slot).
Bytes slotMarkers(int ratio) {
  Bytes chips(2 * 2048, 0);
  for (int slot = 0; slot < 2; ++slot) {
    chips[slot * 2048] |= 1;
    chips[slot * 2048 + 1024] |= 1;
  }
  const int idleRuns[] = {460, 104, 920, 104, 460};
  int at = 0;
  for (int r = 0; r < 5; ++r) {
    for (int i = 0; i < idleRuns[r]; ++i)
      if (r % 2) chips[at + i] |= 2;
    at += idleRuns[r];
  }
  for (int i = 2048; i < 4096; ++i)
    chips[i] |= 2;
  Bytes samples;
  for (auto c : chips)
    samples.insert(samples.end(), static_cast<std::size_t>(ratio), c);
  return samples;
}

TEST_F(WaveformFiles, AnnotationsSitOnTheMarkers) {
  EXPECT_EQ(markerAnnotations(Bytes{1, 0, 2, 3, 2}),
            (std::vector<SigMFAnnotation>{
                {0, 3, "slot 1, half 1"}, {2, 3, "RF on (marker 2)"}, {3, 2, "slot 1, half 2"}}));
  EXPECT_TRUE(markerAnnotations({}).empty());

  const int ratio = 2;
  const Bytes markers = slotMarkers(ratio);
  const auto notes = markerAnnotations(markers);
  std::vector<SigMFAnnotation> slots, gates;
  for (const auto& a : notes)
    (a.label.rfind("slot", 0) == 0 ? slots : gates).push_back(a);
  // Four half slots of 1024 chips, each from its marker-1 pulse to the next.
  ASSERT_EQ(slots.size(), 4u);
  for (std::size_t k = 0; k < 4; ++k) {
    EXPECT_EQ(slots[k].sampleStart, k * 1024 * ratio);
    EXPECT_EQ(slots[k].sampleCount, 1024u * ratio);
    EXPECT_EQ(markers[slots[k].sampleStart] & 1, 1);
  }
  EXPECT_EQ(slots[3].label, "slot 2, half 2");
  // The two pilot gates of the idle slot, then the active slot as one gate to the end.
  ASSERT_EQ(gates.size(), 3u);
  EXPECT_EQ(gates[0].sampleStart, 460u * ratio);
  EXPECT_EQ(gates[0].sampleCount, 104u * ratio);
  EXPECT_EQ(gates[1].sampleStart, (460u + 104 + 920) * ratio);
  EXPECT_EQ(gates[2].sampleStart, 2048u * ratio);
  EXPECT_EQ(gates[2].sampleCount, 2048u * ratio);
  for (const auto& g : gates) {
    for (std::size_t i = g.sampleStart; i < g.sampleStart + g.sampleCount; ++i)
      ASSERT_EQ(markers[i] & 2, 2) << i;
    EXPECT_EQ(markers[g.sampleStart - 1] & 2, 0);
  }

  // Written with a recording, in order and valid.
  const Samples v(markers.size(), {0.5, -0.5});
  saveSigMF(dir_ / "m", v, markers, trafficInfo());
  const auto meta = readJson(dir_ / "m.sigmf-meta");
  EXPECT_EQ(kelvane::testing::sigmfSchemaProblems(meta), std::vector<std::string>{});
  ASSERT_EQ(meta["annotations"].size(), notes.size());
  for (std::size_t i = 0; i < notes.size(); ++i) {
    EXPECT_EQ(meta["annotations"][i]["core:sample_start"], notes[i].sampleStart);
    EXPECT_EQ(meta["annotations"][i]["core:sample_count"], notes[i].sampleCount);
    EXPECT_EQ(meta["annotations"][i]["core:label"], notes[i].label);
  }
}

TEST(SigMFSchema, TheCheckerFindsWhatBreaksTheSchema) {
  auto valid = nlohmann::json::parse(R"({"global": {"core:datatype": "cf32_le",
      "core:version": "1.0.0"}, "captures": [{"core:sample_start": 0}],
      "annotations": [{"core:sample_start": 5, "core:sample_count": 2, "core:label": "x"}]})");
  EXPECT_TRUE(kelvane::testing::sigmfSchemaProblems(valid).empty());
  auto broken = [&](auto change) {
    auto m = valid;
    change(m);
    return kelvane::testing::sigmfSchemaProblems(m).size();
  };
  EXPECT_EQ(broken([](auto& m) { m.erase("annotations"); }), 1u);
  EXPECT_EQ(broken([](auto& m) { m["global"]["core:datatype"] = "ci12"; }), 1u);
  EXPECT_EQ(broken([](auto& m) { m["global"]["core:version"] = "0.9"; }), 1u);
  EXPECT_EQ(broken([](auto& m) { m["global"]["core:sha512"] = "abc"; }), 1u);
  EXPECT_EQ(broken([](auto& m) { m["global"]["core:hw"] = 3; }), 1u);
  EXPECT_EQ(broken([](auto& m) { m["annotations"][0].erase("core:sample_count"); }), 1u);
  EXPECT_EQ(broken([](auto& m) { m["annotations"][0]["core:sample_start"] = -1; }), 1u);
  EXPECT_EQ(broken([](auto& m) { m["annotations"][0]["core:label"] = 1; }), 1u);
  EXPECT_EQ(broken([](auto& m) { m["captures"][0]["core:datetime"] = "8 Dec 2026"; }), 1u);
  EXPECT_EQ(broken([](auto& m) {
              m["annotations"].push_back({{"core:sample_start", 1}, {"core:sample_count", 1}});
            }),
            1u);
}

}  // namespace
}  // namespace kelvane::instrument
