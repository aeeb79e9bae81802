#include "runtime/matfile.hpp"

#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <zlib.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <limits>

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
  // Bytes that are not UTF-8 (an instrument's reply) come back as they were, with the fields
  // after them.
  const Value odd = Value::record({{"idn", Value::text("Q\xB5"
                                                       "7710K,\x1B[2J\xFF")},
                                   {"reps", Value::scalar(44)}});
  writeMatFile(p, std::vector<MatVariable>{{"reply", odd}, {"plain", Value::text("plain text")}});
  const auto back = readMatFile(p);
  ASSERT_EQ(back.size(), 2u);
  EXPECT_EQ(back[0].value, odd);
  EXPECT_EQ(back[1].value.str(), "plain text");
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
  // A named array: flags of `cls`, dimensions, `name`, then `body`, as one tagged element.
  static std::string array(std::uint32_t cls, std::uint32_t rows, std::uint32_t cols,
                           const std::string& name, const std::string& body) {
    return element(14, element(6, word(cls) + word(0)) + element(5, word(rows) + word(cols)) +
                           element(1, name) + body);
  }
  // `e` deflated into one compressed element.
  static std::string compressed(const std::string& e) {
    uLongf n = compressBound(static_cast<uLong>(e.size()));
    std::string z(n, '\0');
    compress2(reinterpret_cast<Bytef*>(z.data()), &n, reinterpret_cast<const Bytef*>(e.data()),
              static_cast<uLong>(e.size()), 9);
    z.resize(n);
    return word(15) + word(static_cast<std::uint32_t>(z.size())) + z;
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

// `levels` records, each holding the next in its field "a", around the number 1; the outermost is
// named `name`. Built from the inside out with every size known, so that 100 000 levels take
// one pass.
std::string nestedRecords(std::size_t levels, const std::string& name) {
  const std::string leaf = MatBytes::array(6, 1, 1, "", MatBytes::element(9, std::string(8, '\0')));
  auto fixed = [](const std::string& n) {
    return MatBytes::element(6, MatBytes::word(2) + MatBytes::word(0)) +
           MatBytes::element(5, MatBytes::word(1) + MatBytes::word(1)) + MatBytes::element(1, n) +
           MatBytes::element(5, MatBytes::word(8)) +
           MatBytes::element(1, std::string("a\0\0\0\0\0\0\0", 8));
  };
  const std::string inner = fixed(""), outer = fixed(name);
  std::vector<std::uint32_t> sizes(levels);
  std::size_t size = leaf.size();
  for (std::size_t i = levels; i-- > 0;) {
    sizes[i] = static_cast<std::uint32_t>((i == 0 ? outer : inner).size() + size);
    size = 8 + sizes[i];
  }
  std::string out;
  out.reserve(size);
  for (std::size_t i = 0; i < levels; ++i)
    out += MatBytes::word(14) + MatBytes::word(sizes[i]) + (i == 0 ? outer : inner);
  return out + leaf;
}

// Records nested beyond any real one (the parameters are two deep) are refused with the depth
// named, whatever limits the caller passes, compressed or not, and never exhaust the stack.
TEST_F(MatFile, NestingIsRefusedBeyondSixtyFourLevelsWhateverTheLimits) {
  const fs::path p = dir_ / "deep.mat";
  const MatReadLimits generous{.maxElements = std::size_t{1} << 30,
                               .maxDepth = 1000000,
                               .maxFileBytes = std::size_t{1} << 30};
  for (const bool compress : {false, true}) {
    for (const std::size_t levels : {std::size_t{65}, std::size_t{100000}}) {
      const std::string e = nestedRecords(levels, "fileParameters");
      MatBytes().add(compress ? MatBytes::compressed(e) : e).write(p);
      try {
        readMatFile(p, generous);
        ADD_FAILURE() << levels << " levels were read";
      } catch (const Error& e) {
        EXPECT_NE(std::string(e.what()).find("nested more than 64 deep"), std::string::npos)
            << e.what();
      }
    }
    // 64 levels are still read, but not beyond the caller's own limit.
    MatBytes().add(nestedRecords(64, "fileParameters")).write(p);
    Value v = readMatFile(p, generous)[0].value;
    for (int level = 0; level < 64; ++level)
      v = Value(v.field("a"));
    EXPECT_EQ(v.toDouble(), 0.0);
    try {
      readMatFile(p, MatReadLimits{.maxDepth = 16});
      ADD_FAILURE() << "the caller's limit was ignored";
    } catch (const Error& e) {
      EXPECT_NE(std::string(e.what()).find("nested more than 16 deep"), std::string::npos)
          << e.what();
    }
  }
  // Writing refuses what could not be read back.
  Value deep = Value::scalar(1);
  for (int level = 0; level < 65; ++level)
    deep = Value::record({{"a", deep}});
  try {
    writeMatFile(p, std::vector<MatVariable>{{"fileParameters", deep}});
    ADD_FAILURE() << "a record nested 65 deep was written";
  } catch (const Error& e) {
    EXPECT_NE(std::string(e.what()).find("nested more than 64 deep"), std::string::npos)
        << e.what();
  }
}

// What reading costs is bounded by the reader itself: a record array of 150 000 000 elements
// without fields holds no data in the file, but would need gigabytes as values.
TEST_F(MatFile, RecordArraysWithoutFieldsAreBoundedWhateverTheLimits) {
  const fs::path p = dir_ / "nofields.mat";
  const MatReadLimits unlimited{.maxElements = std::numeric_limits<std::size_t>::max(),
                                .maxDepth = 32,
                                .maxFileBytes = std::size_t{1} << 30};
  const std::string records =
      MatBytes::array(2, 1, 150000000, "fileParameters",
                      MatBytes::element(5, MatBytes::word(8)) + MatBytes::element(1, ""));
  for (const bool compress : {false, true}) {
    MatBytes().add(compress ? MatBytes::compressed(records) : records).write(p);
    EXPECT_LT(fs::file_size(p), 300u);
    try {
      readMatFile(p, unlimited);
      ADD_FAILURE() << "150 000 000 records were built";
    } catch (const Error& e) {
      EXPECT_NE(std::string(e.what()).find("'fileParameters' is too large to read"),
                std::string::npos)
          << e.what();
    }
  }
  // A few thousand such records are fine.
  MatBytes()
      .add(MatBytes::array(2, 1, 5000, "r",
                           MatBytes::element(5, MatBytes::word(8)) + MatBytes::element(1, "")))
      .write(p);
  EXPECT_EQ(readMatFile(p, unlimited)[0].value.numel(), 5000u);
}

// Runs `work` in a child process: whether it ended normally, and its peak resident memory in
// kilobytes.
std::pair<bool, long> inChild(const std::function<void()>& work) {
  const pid_t child = ::fork();
  if (child == 0) {
    try {
      work();
    } catch (...) {
    }
    ::_exit(0);
  }
  int status = 0;
  rusage usage{};
  ::wait4(child, &status, 0, &usage);
  return {WIFEXITED(status) && WEXITSTATUS(status) == 0, usage.ru_maxrss};
}

// The fuzzer's findings and hand-made hostile files (fuzz/corpus/fuzz_parameter_file): a file of
// 208 bytes whose array flags announce 16 bytes once made libmatio ask for 3 GB for a name, a
// record array of 234 881 023 elements without fields for 5.6 GB. Each is read or refused
// with the file named, within 150 MB, whatever limits the caller passes.
TEST_F(MatFile, HostileFilesAreReadWithinBoundedMemory) {
  const fs::path corpus = fs::path(KELVANE_SOURCE_DIR) / "fuzz" / "corpus" / "fuzz_parameter_file";
  const MatReadLimits unlimited{.maxElements = std::numeric_limits<std::size_t>::max(),
                                .maxDepth = std::numeric_limits<std::size_t>::max(),
                                .maxFileBytes = std::size_t{1} << 31};
  std::size_t files = 0;
  for (const auto& entry : fs::directory_iterator(corpus)) {
    ++files;
    const fs::path file = entry.path();
    for (const MatReadLimits& limits : {MatReadLimits{}, unlimited}) {
      const auto [ended, kilobytes] = inChild([&] { readMatFile(file, limits); });
      EXPECT_TRUE(ended) << file;
      EXPECT_LT(kilobytes, 150 * 1024) << file;
    }
    try {
      readMatFile(file);
    } catch (const Error& e) {
      EXPECT_NE(std::string(e.what()).find(file.string()), std::string::npos) << e.what();
    }
  }
  EXPECT_GE(files, 4u);
}

std::string bytesOf(std::initializer_list<int> values, int width) {
  std::string out;
  for (const int v : values) {
    const auto u = static_cast<std::uint32_t>(v);
    out.append(reinterpret_cast<const char*>(&u), static_cast<std::size_t>(width));
  }
  return out;
}

// Files other programs write: numbers stored in smaller types than their class, single
// precision, 16-bit characters, character matrices, logical and complex arrays, either byte
// order; and only the variables asked for are returned.
TEST_F(MatFile, ReadsTheTypesOtherWritersUseInEitherByteOrder) {
  const fs::path p = dir_ / "others.mat";
  const float tenth = 0.1f;
  MatBytes()
      .add(MatBytes::array(8, 1, 2, "i8", MatBytes::element(1, bytesOf({-3, 4}, 1))))
      .add(MatBytes::array(11, 1, 1, "u16", MatBytes::element(4, bytesOf({65535}, 2))))
      .add(MatBytes::array(
          7, 1, 1, "s",
          MatBytes::element(7, std::string(reinterpret_cast<const char*>(&tenth), 4))))
      .add(MatBytes::array(6, 1, 2, "d8", MatBytes::element(2, bytesOf({200, 7}, 1))))
      .add(MatBytes::array(12, 1, 1, "i32", MatBytes::element(5, bytesOf({-5}, 4))))
      .add(MatBytes::array(4, 1, 2, "t16", MatBytes::element(4, bytesOf({'h', 0xE9}, 2))))
      .add(MatBytes::array(4, 2, 2, "cm", MatBytes::element(16, "acbd")))
      .add(MatBytes::array(9 | 0x0200, 1, 2, "yes", MatBytes::element(2, bytesOf({1, 0}, 1))))
      .add(MatBytes::array(
          6 | 0x0800, 1, 1, "z",
          MatBytes::element(5, bytesOf({2}, 4)) + MatBytes::element(5, bytesOf({-1}, 4))))
      .write(p);
  const auto vars = readMatFile(p);
  ASSERT_EQ(vars.size(), 9u);
  EXPECT_EQ(*findVariable(vars, "i8"), Value::row({-3, 4}));
  EXPECT_EQ(*findVariable(vars, "u16"), Value::scalar(65535));
  EXPECT_EQ(*findVariable(vars, "s"), Value::scalar(static_cast<double>(tenth)));
  EXPECT_EQ(*findVariable(vars, "d8"), Value::row({200, 7}));
  EXPECT_EQ(*findVariable(vars, "i32"), Value::int32(-5));
  EXPECT_EQ(*findVariable(vars, "t16"), Value::text("h\xC3\xA9"));
  EXPECT_EQ(*findVariable(vars, "cm"),
            Value::list({Value::text("ab"), Value::text("cd")}).reshaped(2, 1));
  EXPECT_EQ(*findVariable(vars, "yes"), Value::row({1, 0}));
  EXPECT_EQ(*findVariable(vars, "z"), Value::complexScalar({2, -1}));

  const std::string only[] = {"s", "z"};
  const auto some = readMatFile(p, {}, only);
  ASSERT_EQ(some.size(), 2u);
  EXPECT_EQ(some[0].name, "s");
  EXPECT_EQ(some[1].name, "z");

  // The same record written big-endian: header marked "MI", every number byte-swapped.
  auto be = [](std::uint32_t x) { return MatBytes::word(__builtin_bswap32(x)); };
  auto beElement = [&](std::uint32_t type, const std::string& data) {
    std::string e = be(type) + be(static_cast<std::uint32_t>(data.size())) + data;
    return e.append((8 - data.size() % 8) % 8, '\0');
  };
  std::uint64_t half;
  const double x = 1.5;
  std::memcpy(&half, &x, 8);
  half = __builtin_bswap64(half);
  const std::string array = beElement(6, be(6) + be(0)) + beElement(5, be(1) + be(1)) +
                            beElement(1, "x") +
                            beElement(9, std::string(reinterpret_cast<const char*>(&half), 8));
  std::string big = std::string(116, ' ') + std::string(8, '\0') + std::string("\x01\x00MI", 4);
  big += beElement(14, array);
  std::ofstream(p, std::ios::binary) << big;
  EXPECT_EQ(readMatFile(p)[0].value, Value::scalar(1.5));
}

// Field names cost memory beyond their bytes (a text and a set entry each): a record of no
// elements but 3 000 000 names in 9 MB is refused within bounded memory.
TEST_F(MatFile, ManyFieldNamesAreChargedToTheBudget) {
  const fs::path p = dir_ / "names.mat";
  std::string names;
  names.reserve(9000000);
  for (std::uint32_t i = 0; i < 3000000; ++i) {
    // Three digits of base 255 written as bytes 1 to 255: distinct, none of them zero.
    names += {static_cast<char>(1 + i % 255), static_cast<char>(1 + i / 255 % 255),
              static_cast<char>(1 + i / 65025)};
  }
  MatBytes()
      .add(MatBytes::array(2, 0, 0, "fileParameters",
                           MatBytes::element(5, MatBytes::word(3)) + MatBytes::element(1, names)))
      .write(p);
  const MatReadLimits unlimited{.maxElements = std::numeric_limits<std::size_t>::max(),
                                .maxDepth = 32,
                                .maxFileBytes = std::size_t{1} << 30};
  const auto [ended, kilobytes] = inChild([&] { readMatFile(p, unlimited); });
  EXPECT_TRUE(ended);
  EXPECT_LT(kilobytes, 150 * 1024);
  try {
    readMatFile(p, unlimited);
    ADD_FAILURE() << "3 000 000 field names were read";
  } catch (const Error& e) {
    EXPECT_NE(std::string(e.what()).find("'fileParameters' is too large to read"),
              std::string::npos)
        << e.what();
  }
}

// A record whose fields share a name cannot be looked up by name: refused, with the name shown
// printable (a damaged name could hold terminal control characters).
TEST_F(MatFile, FieldsOfOneNameAreRefusedAndShownPrintable) {
  const fs::path p = dir_ / "twice.mat";
  const std::string empty = MatBytes::array(6, 0, 0, "", "");
  MatBytes()
      .add(MatBytes::array(
          2, 1, 1, "fileParameters",
          MatBytes::element(5, MatBytes::word(8)) +
              MatBytes::element(1, std::string("\x1b[2J\0\0\0\0\x1b[2J\0\0\0\0", 16)) + empty +
              empty))
      .write(p);
  try {
    readMatFile(p);
    ADD_FAILURE() << "read a record with two fields of one name";
  } catch (const Error& e) {
    EXPECT_NE(std::string(e.what()).find("record 'fileParameters' has two fields named '?[2J'"),
              std::string::npos)
        << e.what();
  }
}

// A version 4 file is named as such, short or long.
TEST_F(MatFile, VersionFourFilesAreNamed) {
  const fs::path p = dir_ / "v4.mat";
  for (const std::size_t n : {std::size_t{1}, std::size_t{40}}) {
    // Header: type 0 (little-endian doubles, full matrix), rows, columns, no imaginary part,
    // name length with its terminating zero; then the name and the numbers.
    std::string v4 = MatBytes::word(0) + MatBytes::word(1) +
                     MatBytes::word(static_cast<std::uint32_t>(n)) + MatBytes::word(0) +
                     MatBytes::word(2) + std::string("x\0", 2) + std::string(8 * n, '\0');
    std::ofstream(p, std::ios::binary) << v4;
    try {
      readMatFile(p);
      ADD_FAILURE() << "a version 4 file was read";
    } catch (const Error& e) {
      EXPECT_NE(std::string(e.what()).find("is a MAT version 4 file, which is not supported"),
                std::string::npos)
          << e.what();
    }
  }
  std::ofstream(p, std::ios::binary) << "MATLAB 5.0";
  try {
    readMatFile(p);
    ADD_FAILURE();
  } catch (const Error& e) {
    EXPECT_NE(std::string(e.what()).find("too short"), std::string::npos) << e.what();
  }
}

}  // namespace
}  // namespace kelvane::runtime
