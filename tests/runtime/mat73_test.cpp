// MAT version 7.3 (HDF5) files, written here by libmatio as other programs write them, read
// back through the same limits as version 5 files; declared sizes beyond them refused before
// any data is read; Octave's text files refused with the way to save them instead.
#include <gtest/gtest.h>
#include <hdf5.h>
#include <matio.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "runtime/matfile.hpp"

namespace kelvane::runtime {
namespace {

namespace fs = std::filesystem;

class Mat73 : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("kelvane-mat73-" + std::to_string(::getpid()) + "-" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }

  // The text of the error reading `p` with `limits`, or "" when it was read.
  static std::string refusal(const fs::path& p, MatReadLimits limits = {}) {
    try {
      readMatFile(p, limits);
    } catch (const Error& e) {
      return e.what();
    }
    return "";
  }

  fs::path dir_;
};

// A version 7.3 file written by libmatio: a matrix, a complex row, an int32, a text, a record
// and a list, `compression` as asked.
void writeSample(const fs::path& p, matio_compression compression) {
  mat_t* mat = Mat_CreateVer(p.c_str(), nullptr, MAT_FT_MAT73);
  ASSERT_NE(mat, nullptr) << "libmatio cannot write version 7.3 files";
  auto write = [&](matvar_t* v) {
    ASSERT_NE(v, nullptr);
    EXPECT_EQ(Mat_VarWrite(mat, v, compression), 0);
    Mat_VarFree(v);
  };
  size_t dims23[2] = {2, 3}, dims12[2] = {1, 2}, one[2] = {1, 1};
  double m[6] = {1, 2, 3, 4, 5, 6};
  write(Mat_VarCreate("m", MAT_C_DOUBLE, MAT_T_DOUBLE, 2, dims23, m, 0));
  double re[2] = {1, 0.5}, im[2] = {-1, 2};
  mat_complex_split_t z{re, im};
  write(Mat_VarCreate("z", MAT_C_DOUBLE, MAT_T_DOUBLE, 2, dims12, &z, MAT_F_COMPLEX));
  std::int32_t n = -7;
  write(Mat_VarCreate("n", MAT_C_INT32, MAT_T_INT32, 2, one, &n, 0));
  char type[] = "TCPIP";
  size_t tdims[2] = {1, 5};
  write(Mat_VarCreate("type", MAT_C_CHAR, MAT_T_UINT8, 2, tdims, type, 0));
  const char* fields[] = {"board", "primary"};
  matvar_t* rec = Mat_VarCreateStruct("GPIB", 2, one, fields, 2);
  double board = 0, primary = 19;
  Mat_VarSetStructFieldByName(
      rec, "board", 0, Mat_VarCreate(nullptr, MAT_C_DOUBLE, MAT_T_DOUBLE, 2, one, &board, 0));
  Mat_VarSetStructFieldByName(
      rec, "primary", 0, Mat_VarCreate(nullptr, MAT_C_DOUBLE, MAT_T_DOUBLE, 2, one, &primary, 0));
  write(rec);
  matvar_t* cell = Mat_VarCreate("c", MAT_C_CELL, MAT_T_CELL, 2, dims12, nullptr, 0);
  double two = 2;
  char a[] = "a";
  Mat_VarSetCell(cell, 0, Mat_VarCreate(nullptr, MAT_C_CHAR, MAT_T_UINT8, 2, one, a, 0));
  Mat_VarSetCell(cell, 1, Mat_VarCreate(nullptr, MAT_C_DOUBLE, MAT_T_DOUBLE, 2, one, &two, 0));
  write(cell);
  Mat_Close(mat);
}

TEST_F(Mat73, FilesWrittenByLibmatioAreRead) {
  for (const auto compression : {MAT_COMPRESSION_NONE, MAT_COMPRESSION_ZLIB}) {
    const fs::path p = dir_ / "v73.mat";
    writeSample(p, compression);
    const auto vars = readMatFile(p);
    ASSERT_EQ(vars.size(), 6u);
    EXPECT_EQ(*findVariable(vars, "m"), Value::matrix(2, 3, {1, 2, 3, 4, 5, 6}));
    EXPECT_EQ(*findVariable(vars, "z"), Value::complexRow({{1, -1}, {0.5, 2}}));
    EXPECT_EQ(*findVariable(vars, "n"), Value::int32(-7));
    EXPECT_EQ(*findVariable(vars, "type"), Value::text("TCPIP"));
    EXPECT_EQ(*findVariable(vars, "GPIB"),
              Value::record({{"board", Value::scalar(0)}, {"primary", Value::scalar(19)}}));
    EXPECT_EQ(*findVariable(vars, "c"), Value::list({Value::text("a"), Value::scalar(2)}));
    // Only the variables asked for.
    const std::string names[] = {"type"};
    const auto some = readMatFile(p, {}, names);
    ASSERT_EQ(some.size(), 1u);
    EXPECT_EQ(some[0].name, "type");
    fs::remove(p);
  }
}

TEST_F(Mat73, DeclaredSizesBeyondTheLimitsAreRefused) {
  const fs::path p = dir_ / "v73.mat";
  writeSample(p, MAT_COMPRESSION_NONE);
  EXPECT_NE(refusal(p, {.maxElements = 5}).find("array 'm' declares more than 5 elements"),
            std::string::npos)
      << refusal(p, {.maxElements = 5});
  EXPECT_NE(refusal(p, {.maxDepth = 0}).find("nested more than 0 deep"), std::string::npos)
      << refusal(p, {.maxDepth = 0});

  // A compressed array of 200 000 zeros: a small file declaring 1.6 MB. Written and read in a
  // child, so that what HDF5 and the sanitizers keep of it does not count against the memory
  // bounds other tests of this process check. Exit code 0: refused beyond 1 MiB, read within
  // the default limits.
  const fs::path big = dir_ / "big.mat";
  const pid_t child = ::fork();
  if (child == 0) {
    mat_t* mat = Mat_CreateVer(big.c_str(), nullptr, MAT_FT_MAT73);
    std::vector<double> zeros(200000);
    size_t dims[2] = {1, zeros.size()};
    matvar_t* v = Mat_VarCreate("zeros", MAT_C_DOUBLE, MAT_T_DOUBLE, 2, dims, zeros.data(), 0);
    const bool written = Mat_VarWrite(mat, v, MAT_COMPRESSION_ZLIB) == 0;
    Mat_VarFree(v);
    Mat_Close(mat);
    if (!written || fs::file_size(big) >= (1u << 20)) ::_exit(1);
    const std::string why = refusal(big, {.maxFileBytes = 1u << 20});
    if (why.find("the arrays declare more than 1048576 bytes") == std::string::npos) ::_exit(2);
    ::_exit(refusal(big).empty() ? 0 : 3);
  }
  int status = 0;
  ::waitpid(child, &status, 0);
  EXPECT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0) << "1 not written small, 2 not refused, 3 not read";
}

// An array declaring 1 GiB with no data behind it (chunked storage never written): refused
// before libmatio reads it, in little memory.
TEST_F(Mat73, ArraysWithoutTheirDataAreRefusedBeforeReading) {
  const fs::path p = dir_ / "hollow.mat";
  writeSample(p, MAT_COMPRESSION_NONE);
  {
    H5Eset_auto2(H5E_DEFAULT, nullptr, nullptr);
    const hid_t file = H5Fopen(p.c_str(), H5F_ACC_RDWR, H5P_DEFAULT);
    ASSERT_GE(file, 0);
    hsize_t dims[2] = {1u << 13, 1u << 14}, chunk[2] = {64, 64};
    const hid_t space = H5Screate_simple(2, dims, nullptr);
    const hid_t props = H5Pcreate(H5P_DATASET_CREATE);
    H5Pset_chunk(props, 2, chunk);
    const hid_t set =
        H5Dcreate2(file, "hollow", H5T_NATIVE_DOUBLE, space, H5P_DEFAULT, props, H5P_DEFAULT);
    ASSERT_GE(set, 0);
    const hid_t strType = H5Tcopy(H5T_C_S1);
    H5Tset_size(strType, 6);
    const hid_t scalar = H5Screate(H5S_SCALAR);
    const hid_t attr = H5Acreate2(set, "MATLAB_class", strType, scalar, H5P_DEFAULT, H5P_DEFAULT);
    H5Awrite(attr, strType, "double");
    H5Aclose(attr);
    H5Sclose(scalar);
    H5Tclose(strType);
    H5Dclose(set);
    H5Pclose(props);
    H5Sclose(space);
    H5Fclose(file);
  }
  ASSERT_LT(fs::file_size(p), 1u << 16);
  const std::string why = refusal(p);
  EXPECT_NE(why.find("array 'hollow' declares 1073741824 bytes but stores 0"), std::string::npos)
      << why;
  EXPECT_NE(why.find(p.string()), std::string::npos) << why;
  // The peak memory of a child reading the file, against that of a child doing nothing (the
  // child starts with the pages of this process, which a sanitizer build makes large).
  auto peakKilobytes = [](bool read, const fs::path& file) {
    const pid_t child = ::fork();
    if (child == 0) {
      try {
        if (read) readMatFile(file);
      } catch (...) {
      }
      ::_exit(0);
    }
    int status = 0;
    rusage usage{};
    ::wait4(child, &status, 0, &usage);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    return usage.ru_maxrss;
  };
  const long idle = peakKilobytes(false, p);
  EXPECT_LT(peakKilobytes(true, p) - idle, 64 * 1024);
}

// A list whose element refers to the list itself: libmatio would follow it without end; the
// walk refuses it as nested too deep before libmatio reads anything.
TEST_F(Mat73, AListHoldingItselfIsRefused) {
  const fs::path p = dir_ / "loop.mat";
  writeSample(p, MAT_COMPRESSION_NONE);
  {
    H5Eset_auto2(H5E_DEFAULT, nullptr, nullptr);
    const hid_t file = H5Fopen(p.c_str(), H5F_ACC_RDWR, H5P_DEFAULT);
    ASSERT_GE(file, 0);
    hsize_t one[1] = {1};
    const hid_t space = H5Screate_simple(1, one, nullptr);
    const hid_t set =
        H5Dcreate2(file, "loop", H5T_STD_REF_OBJ, space, H5P_DEFAULT, H5P_DEFAULT, H5P_DEFAULT);
    ASSERT_GE(set, 0);
    hobj_ref_t self;
    ASSERT_GE(H5Rcreate(&self, file, "/loop", H5R_OBJECT, -1), 0);
    ASSERT_GE(H5Dwrite(set, H5T_STD_REF_OBJ, H5S_ALL, H5S_ALL, H5P_DEFAULT, &self), 0);
    const hid_t strType = H5Tcopy(H5T_C_S1);
    H5Tset_size(strType, 4);
    const hid_t scalar = H5Screate(H5S_SCALAR);
    const hid_t attr = H5Acreate2(set, "MATLAB_class", strType, scalar, H5P_DEFAULT, H5P_DEFAULT);
    H5Awrite(attr, strType, "cell");
    H5Aclose(attr);
    H5Sclose(scalar);
    H5Tclose(strType);
    H5Dclose(set);
    H5Sclose(space);
    H5Fclose(file);
  }
  const std::string why = refusal(p);
  EXPECT_NE(why.find("nested more than 32 deep (or refers to itself)"), std::string::npos) << why;
}

TEST_F(Mat73, OctaveTextFilesAreRefusedWithTheWayToSaveThem) {
  const fs::path p = dir_ / "octave.mat";
  std::ofstream(p) << "# Created by Octave 7.3.0, Tue Dec 08 14:00:00 2026 UTC <line3@bench>\n"
                      "# name: x\n# type: scalar\n4\n";
  const std::string why = refusal(p);
  EXPECT_NE(why.find("is a text file saved by Octave"), std::string::npos) << why;
  EXPECT_NE(why.find("save -v7"), std::string::npos) << why;
  // A damaged HDF5 part is named as such.
  std::string header(128, ' ');
  header[124] = 0;
  header[125] = 2;
  header[126] = 'I';
  header[127] = 'M';
  std::ofstream(p, std::ios::binary) << header << std::string(400, '\0');
  EXPECT_NE(refusal(p).find("damaged MAT version 7.3 (HDF5) file"), std::string::npos)
      << refusal(p);
}

}  // namespace
}  // namespace kelvane::runtime
