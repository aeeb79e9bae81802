// kelvane-cli as production lines run it: the executable in a scratch folder of its own.
#pragma once

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace kelvane::testing {

namespace fs = std::filesystem;

struct Result {
  int code = -1;
  std::string out;
  std::string err;
};

inline std::string slurp(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

class Cli : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("kelvane-cli-" +
            std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()) + "-" +
            std::to_string(::getpid()));
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }

  // Runs kelvane-cli with `args` in the scratch folder, standard input from /dev/null.
  Result cli(const std::string& args, const std::string& env = "") {
    const std::string cmd = "cd '" + dir_.string() + "' && " + env +
                            " timeout 60 '" KELVANE_CLI "' " + args +
                            " </dev/null >out.txt 2>err.txt";
    const int status = std::system(cmd.c_str());
    Result r;
    r.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    r.out = slurp(dir_ / "out.txt");
    r.err = slurp(dir_ / "err.txt");
    return r;
  }

  fs::path dir_;
};

// Small waveforms: 2 one-slot packets at 2 samples a chip.
inline const std::string kSmall =
    "--set trafficChannelDRCValue=6 --set trafficChannelPackets=2 "
    "--set oversampleRatio=2";

}  // namespace kelvane::testing
