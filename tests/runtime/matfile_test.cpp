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

}  // namespace
}  // namespace kelvane::runtime
