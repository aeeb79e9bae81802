// A program of the build run by a test: its standard output read line by line, killed at the
// end of the test.
#pragma once

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

extern char** environ;

namespace kelvane::testing {

// The simulator program in the build tree (KELVANE_BUILD_DIR in the environment wins).
inline std::string simulatorProgram() {
  namespace fs = std::filesystem;
  const char* dir = std::getenv("KELVANE_BUILD_DIR");
  const fs::path build = dir ? fs::path(dir) : fs::path(KELVANE_BUILD_DIR);
  return (build / "src/simulator/kelvane-siggen-sim").lexically_normal().string();
}

// The program run with `args`, its standard output read line by line.
class Program {
  static constexpr int kLineWaitMs = 10000;  // a line that takes longer is no output

 public:
  Program(const std::string& program, std::vector<std::string> args) {
    int out[2];
    if (::pipe2(out, O_CLOEXEC) != 0) throw std::runtime_error("pipe");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    std::vector<std::string> all = {program};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& a : all)
      argv.push_back(a.data());
    argv.push_back(nullptr);
    const int rc = ::posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(out[1]);
    if (rc != 0) {
      ::close(out[0]);
      throw std::runtime_error("cannot run " + all[0]);
    }
    out_ = out[0];
  }
  ~Program() {
    if (pid_ > 0) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, nullptr, 0);
    }
    ::close(out_);
  }
  Program(const Program&) = delete;
  Program& operator=(const Program&) = delete;

  std::string line() {
    for (;;) {
      if (const auto lf = buffer_.find('\n'); lf != std::string::npos) {
        std::string l = buffer_.substr(0, lf);
        buffer_.erase(0, lf + 1);
        return l;
      }
      pollfd p{out_, POLLIN, 0};
      if (::poll(&p, 1, kLineWaitMs) <= 0) return "<no output>";
      char buf[65536];
      const long n = ::read(out_, buf, sizeof buf);
      if (n <= 0) return "<end of output>";
      buffer_.append(buf, static_cast<std::size_t>(n));
    }
  }
  std::string rest() {
    std::string all = buffer_;
    char buf[65536];
    long n;
    while ((n = ::read(out_, buf, sizeof buf)) > 0)
      all.append(buf, static_cast<std::size_t>(n));
    return all;
  }
  void signal(int sig) { ::kill(pid_, sig); }
  int wait() {
    int status = 0;
    ::waitpid(pid_, &status, 0);
    pid_ = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  std::uint16_t portFromBanner() {
    const std::string banner = line();
    const std::string prefix = "listening on 127.0.0.1:";
    EXPECT_TRUE(banner.starts_with(prefix)) << banner;
    return banner.starts_with(prefix)
               ? static_cast<std::uint16_t>(std::stoi(banner.substr(prefix.size())))
               : 0;
  }

 private:
  pid_t pid_ = -1;
  int out_ = -1;
  std::string buffer_;
};

}  // namespace kelvane::testing
