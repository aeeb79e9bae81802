// Waveform files: the raw big-endian I/Q words, the special MAT save, the SigMF pair, and the
// applyDacRes and clock2str helpers.
#include "instrument/waveform_files.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <iterator>
#include <limits>
#include <nlohmann/json.hpp>

#include "runtime/matfile.hpp"

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

TEST_F(WaveformFiles, SpecialSaveHoldsSampleCountRateAndIQColumns) {
  const fs::path p = dir_ / "special.txt";
  saveSpecialWaveform(p, Samples{{1, -1}, {0.5, 0.25}, {0, 2}}, 6144000);
  const auto vars = runtime::readMatFile(p);
  ASSERT_EQ(vars.size(), 3u);
  EXPECT_EQ(runtime::findVariable(vars, "samplePoints")->toDouble(), 3);
  EXPECT_EQ(runtime::findVariable(vars, "sampleRate")->toDouble(), 6144000);
  EXPECT_EQ(*runtime::findVariable(vars, "wave"),
            runtime::Value::matrix(3, 2, {1, 0.5, 0, -1, 0.25, 2}));
  EXPECT_THROW(saveSpecialWaveform(dir_ / "no" / "x.txt", Samples{{1, 0}}, 1), runtime::Error);
}

TEST_F(WaveformFiles, SigMFPairHoldsLittleEndianWordsAndJsonMetadata) {
  const Samples v = {{1, -1}, {0.5, 0}};
  SigMFInfo info;
  info.sampleRate = 6144000;
  info.frequency = 1955000000;
  info.channel = "traffic";
  info.drcValue = 4;
  info.packets = 8;
  info.pilotOffsetIndex = 0;
  saveSigMF(dir_ / "traffic", v, info);
  // The same words as the instrument file, least significant byte first.
  EXPECT_EQ(read(dir_ / "traffic.sigmf-data"),
            (Bytes{0xFE, 0x7F, 0x02, 0x80, 0xFF, 0x3F, 0x00, 0x00}));
  const Bytes metaBytes = read(dir_ / "traffic.sigmf-meta");
  const auto meta = nlohmann::json::parse(metaBytes.begin(), metaBytes.end());
  EXPECT_EQ(meta["global"]["core:datatype"], "ci16_le");
  EXPECT_EQ(meta["global"]["core:sample_rate"].get<double>(), 6144000);
  EXPECT_EQ(meta["global"]["core:version"], "1.0.0");
  EXPECT_EQ(meta["global"]["core:description"],
            "Kelvane 1xEV-DO forward link, traffic channel: DRC 4, 8 packets, PN offset 0");
  ASSERT_EQ(meta["captures"].size(), 1u);
  EXPECT_EQ(meta["captures"][0]["core:sample_start"], 0);
  EXPECT_EQ(meta["captures"][0]["core:frequency"].get<double>(), 1955000000);
  EXPECT_TRUE(meta["annotations"].is_array());

  info.channel = "control";
  info.drcValue = 2;
  info.packets = 1;
  info.pilotOffsetIndex = 300;
  EXPECT_EQ(sigmfDescription(info),
            "Kelvane 1xEV-DO forward link, control channel: DRC 2, 1 packet, PN offset 300");
  EXPECT_THROW(saveSigMF(dir_ / "missing" / "x", v, info), std::runtime_error);
}

}  // namespace
}  // namespace kelvane::instrument
