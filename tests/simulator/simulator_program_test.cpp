// The program kelvane-siggen-sim on its own: --help, a free port printed, the state dumped on
// SIGUSR1 and at exit, the memory option, and usage errors.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "simulator_wire.hpp"

extern char** environ;

namespace kelvane::simulator {
namespace {

// In the build tree: KELVANE_BUILD_DIR when set, else found from this test program's own place
// (<build>/tests/simulator/test_simulator).
std::string programPath() {
  namespace fs = std::filesystem;
  const char* dir = std::getenv("KELVANE_BUILD_DIR");
  std::error_code ec;
  const fs::path build =
      dir ? fs::path(dir) : fs::read_symlink("/proc/self/exe", ec).parent_path() / ".." / "..";
  return (build / "src/simulator/kelvane-siggen-sim").lexically_normal().string();
}

// The program run with `args`, its standard output read line by line.
class Program {
 public:
  explicit Program(std::vector<std::string> args) {
    int out[2];
    if (::pipe2(out, O_CLOEXEC) != 0) throw std::runtime_error("pipe");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    std::vector<std::string> all = {programPath()};
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
      if (::poll(&p, 1, static_cast<int>(wire::kGuard.count())) <= 0) return "<no output>";
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

class SimulatorProgram : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!std::filesystem::exists(programPath()))
      GTEST_SKIP() << programPath() << " is not built (build the target kelvane-siggen-sim)";
  }
};

TEST_F(SimulatorProgram, HelpDocumentsEveryOption) {
  Program p({"--help"});
  const std::string help = p.rest();
  EXPECT_EQ(p.wait(), 0);
  for (const char* option :
       {"--port", "--memory", "--pty", "--drop-after-block-bytes", "--drop-limit", "--reply-delay",
        "--fail-pattern", "--fail-error", "--dump-on-exit", "--verbose", "--help", "SIGUSR1",
        ":SYST:KELV:STAT?"})
    EXPECT_NE(help.find(option), std::string::npos) << option;
}

TEST_F(SimulatorProgram, ServesAndDumpsItsState) {
  Program p({"--port", "0", "--memory", "8", "--pty", "--dump-on-exit", "--fail-pattern",
             ":output:state"});
  const std::uint16_t port = p.portFromBanner();
  ASSERT_NE(port, 0);
  const std::string serial = p.line();
  EXPECT_TRUE(serial.starts_with("serial on /dev/")) << serial;
  {
    wire::TcpClient c(port);
    c.send(":MMEM:DATA \"WFM1:w\"," + wire::block(wire::bigEndian({1, 2, 3, 4})) + "\n");
    EXPECT_EQ(c.query("*OPC?"), "1");
    c.command(":output:state on");
    EXPECT_EQ(c.query(":SYST:ERR?"), "-222,\"Data out of range\"");
  }
  p.signal(SIGUSR1);
  const auto dumped = nlohmann::json::parse(p.line());
  EXPECT_EQ(dumped["memory"]["capacitySamples"], 8u << 20);
  EXPECT_EQ(dumped["files"]["WFM1"]["w"]["samples"], 2);
  EXPECT_EQ(dumped["states"]["rfOutput"], false);
  p.signal(SIGTERM);
  const auto atExit = nlohmann::json::parse(p.line());
  EXPECT_EQ(atExit["files"], dumped["files"]);
  EXPECT_EQ(p.wait(), 0);
}

TEST_F(SimulatorProgram, UsageErrors) {
  for (const auto& args : std::vector<std::vector<std::string>>{
           {"--memory", "16"}, {"--port", "70000"}, {"--bogus"}, {"--reply-delay"}}) {
    Program p(args);
    EXPECT_EQ(p.wait(), 2) << args[0];
  }
}

}  // namespace
}  // namespace kelvane::simulator
