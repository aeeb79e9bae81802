#include "runtime/matfile.hpp"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

namespace kelvane::runtime {
namespace {

namespace fs = std::filesystem;

class MatFile : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("kelvane-matfile-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
            "-" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }
  fs::path dir_;
};

Value sampleRecord() {
  Value gpib = Value::record(
      {{"board", Value::int32(0)}, {"primary", Value::int32(19)}, {"secondary", Value::int32(-1)}});
  return Value::record({{"type", Value::text("GPIB")},
                        {"GPIB", gpib},
                        {"rate", Value::scalar(38.4)},
                        {"empty", Value()},
                        {"row", Value::row({1, 0, 1})},
                        {"m", Value::matrix(2, 3, {1, 2, 3, 4, 5, 6})},
                        {"z", Value::complexRow({{1, -1}, {0.5, 2}})},
                        {"names", Value::list({Value::text("a"), Value::scalar(2)})},
                        {"blank", Value::text("")}});
}

TEST_F(MatFile, RoundTripKeepsEveryKindAndFieldOrder) {
  const fs::path p = dir_ / "round.mat";
  Value packets = Value::recordArray({"drcValue", "packet", "macIndex"}, 2);
  for (std::size_t i = 0; i < 2; ++i) {
    packets.field("drcValue", i) = Value::scalar(4);
    packets.field("packet", i) = Value::row({1, 0, 0, 1});
    packets.field("macIndex", i) = Value::scalar(7);
  }
  std::vector<MatVariable> vars = {{"fileParameters", sampleRecord()},
                                   {"filename", Value::text(p.string())},
                                   {"packets", packets}};
  writeMatFile(p, vars);
  const auto back = readMatFile(p);
  ASSERT_EQ(back.size(), 3u);
  EXPECT_EQ(back[0].name, "fileParameters");
  EXPECT_EQ(back[0].value, vars[0].value) << back[0].value.toString();
  EXPECT_EQ(back[1].value, vars[1].value);
  EXPECT_EQ(back[2].value, packets) << back[2].value.toString();
  EXPECT_EQ(findVariable(back, "filename")->str(), p.string());
  EXPECT_EQ(findVariable(back, "nothing"), nullptr);
}

TEST_F(MatFile, ReplacesAtomicallyAndLeavesNoTemporaries) {
  const fs::path p = dir_ / "config.mat";
  writeMatFile(p, std::vector<MatVariable>{{"fileParameters", Value::text("first")}});
  writeMatFile(p, std::vector<MatVariable>{{"fileParameters", Value::text("second")}});
  EXPECT_EQ(readMatFile(p)[0].value.str(), "second");
  std::size_t files = 0;
  for ([[maybe_unused]] const auto& e : fs::directory_iterator(dir_))
    ++files;
  EXPECT_EQ(files, 1u);
  // A folder that does not exist fails with a message and creates nothing.
  EXPECT_THROW(
      writeMatFile(dir_ / "missing" / "x.mat", std::vector<MatVariable>{{"a", Value::scalar(1)}}),
      Error);
}

TEST_F(MatFile, DamagedFilesAreRefusedWithAMessage) {
  const fs::path good = dir_ / "good.mat";
  writeMatFile(good, std::vector<MatVariable>{{"fileParameters", sampleRecord()}},
               MatWriteOptions{false});
  std::ifstream in(good, std::ios::binary);
  std::string bytes((std::istreambuf_iterator<char>(in)), {});
  // Truncations at many points, and a text file, must each give Error, never a crash.
  for (std::size_t cut : {std::size_t{0}, std::size_t{10}, std::size_t{128}, std::size_t{140},
                          bytes.size() / 2, bytes.size() - 3}) {
    const fs::path bad = dir_ / ("cut" + std::to_string(cut) + ".mat");
    std::ofstream(bad, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(cut));
    try {
      auto vars = readMatFile(bad);
      // A cut that still parses must not invent variables.
      EXPECT_LE(vars.size(), 1u);
    } catch (const Error& e) {
      EXPECT_NE(std::string(e.what()).find(bad.string()), std::string::npos);
    }
  }
  const fs::path text = dir_ / "text.mat";
  std::ofstream(text) << "not a MAT file at all";
  EXPECT_THROW(readMatFile(text), Error);
  EXPECT_THROW(readMatFile(dir_ / "absent.mat"), Error);
}

TEST_F(MatFile, CompressedRecordsWithLongTextsKeepTheirLaterFields) {
  // Texts of 5 characters and more inside a compressed record used to misplace the fields that
  // follow them.
  const fs::path p = dir_ / "texts.mat";
  for (std::size_t n : {std::size_t{4}, std::size_t{5}, std::size_t{8}, std::size_t{21}}) {
    const Value rec = Value::record({{"id", Value::text(std::string(n, 'q'))},
                                     {"drc", Value::scalar(4)},
                                     {"name", Value::text("QarnFTM-Traffic")},
                                     {"reps", Value::scalar(44)}});
    writeMatFile(p, std::vector<MatVariable>{{"fileParameters", rec},
                                             {"filename", Value::text(p.string())}});
    const auto back = readMatFile(p);
    ASSERT_EQ(back.size(), 2u) << n;
    EXPECT_EQ(back[0].value, rec) << n;
    EXPECT_EQ(back[1].value.str(), p.string()) << n;
  }
}

// Hand-made MAT version 5 files: a header, then data elements.
class MatBytes {
 public:
  explicit MatBytes(std::uint16_t version = 0x0100) : b_(116, ' ') {
    b_.insert(b_.end(), 8, '\0');
    b_.push_back(static_cast<char>(version & 0xFF));
    b_.push_back(static_cast<char>(version >> 8));
    b_.push_back('I');
    b_.push_back('M');
  }
  // A tagged element with `data` padded to 8 bytes.
  static std::string element(std::uint32_t type, const std::string& data) {
    std::string e = word(type) + word(static_cast<std::uint32_t>(data.size())) + data;
    e.append((8 - data.size() % 8) % 8, '\0');
    return e;
  }
  static std::string word(std::uint32_t x) { return std::string(reinterpret_cast<char*>(&x), 4); }
  // An array header: flags of `cls`, dimensions, name.
  static std::string header(std::uint32_t cls, std::uint32_t rows, std::uint32_t cols) {
    return element(6, word(cls) + word(0)) + element(5, word(rows) + word(cols)) + element(1, "v");
  }
  MatBytes& add(const std::string& e) {
    b_ += e;
    return *this;
  }
  void write(const fs::path& p) const { std::ofstream(p, std::ios::binary) << b_; }

 private:
  std::string b_;
};

TEST_F(MatFile, AnnouncedSizesBeyondTheBytesAreRefusedBeforeReading) {
  const fs::path p = dir_ / "hostile.mat";
  auto refused = [&](const MatBytes& file, const std::string& why, MatReadLimits limits = {}) {
    file.write(p);
    try {
      readMatFile(p, limits);
      ADD_FAILURE() << why << ": accepted";
    } catch (const Error& e) {
      EXPECT_NE(std::string(e.what()).find(why), std::string::npos) << e.what();
    }
  };
  // A record of ten million elements in a few bytes (libmatio would allocate one variable for
  // each before noticing).
  refused(MatBytes().add(MatBytes::element(
              14, MatBytes::header(2, 1, 10000000) + MatBytes::element(5, MatBytes::word(8)) +
                      MatBytes::element(1, std::string("field\0\0\0", 8)))),
          "announces 10000000 elements but holds at most 0");
  // A list likewise.
  refused(MatBytes().add(MatBytes::element(14, MatBytes::header(1, 1000, 1000))),
          "announces 1000000 elements");
  // A character matrix shorter than its dimensions.
  refused(MatBytes().add(
              MatBytes::element(14, MatBytes::header(4, 3, 4) + MatBytes::element(16, "ab"))),
          "is truncated");
  // Numbers without their data.
  refused(MatBytes().add(MatBytes::element(
              14, MatBytes::header(6, 2, 2) + MatBytes::element(9, std::string(8, '\0')))),
          "is truncated");
  // Classes the reader does not convert (sparse).
  refused(MatBytes().add(MatBytes::element(14, MatBytes::header(5, 2, 2))),
          "class this program does not read");
  // Version 7.3 (HDF5) and unknown data elements.
  refused(MatBytes(0x0200), "not a MAT version 5 file");
  refused(MatBytes().add(MatBytes::element(9, std::string(8, '\0'))), "outside any array");
  // Compressed data that expands beyond the limit.
  const fs::path big = dir_ / "big.mat";
  writeMatFile(big, std::vector<MatVariable>{{"z", Value::row(std::vector<double>(100000))}});
  EXPECT_LT(fs::file_size(big), 10000u);
  try {
    readMatFile(big, MatReadLimits{.maxElements = 1u << 20, .maxDepth = 4, .maxFileBytes = 65536});
    ADD_FAILURE() << "a compressed variable beyond the limit was read";
  } catch (const Error& e) {
    EXPECT_NE(std::string(e.what()).find("expands beyond 65536 bytes"), std::string::npos)
        << e.what();
  }
  EXPECT_EQ(readMatFile(big)[0].value.numel(), 100000u);
}

}  // namespace
}  // namespace kelvane::runtime
