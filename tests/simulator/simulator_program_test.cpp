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
#include "support/program.hpp"

extern char** environ;

namespace kelvane::simulator {
namespace {

using testing::Program;
using testing::simulatorProgram;

class SimulatorProgram : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(std::filesystem::exists(simulatorProgram()))
        << simulatorProgram() << " is not built (build the target kelvane-siggen-sim)";
  }
};

TEST_F(SimulatorProgram, HelpDocumentsEveryOption) {
  Program p(simulatorProgram(), {"--help"});
  const std::string help = p.rest();
  EXPECT_EQ(p.wait(), 0);
  for (const char* option :
       {"--port", "--memory", "--pty", "--drop-after-block-bytes", "--drop-limit", "--reply-delay",
        "--fail-pattern", "--fail-error", "--dump-on-exit", "--verbose", "--help", "SIGUSR1",
        ":SYST:KELV:STAT?"})
    EXPECT_NE(help.find(option), std::string::npos) << option;
}

TEST_F(SimulatorProgram, ServesAndDumpsItsState) {
  Program p(simulatorProgram(), {"--port", "0", "--memory", "8", "--pty", "--dump-on-exit",
                                 "--fail-pattern", ":output:state"});
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
    Program p(simulatorProgram(), args);
    EXPECT_EQ(p.wait(), 2) << args[0];
  }
}

}  // namespace
}  // namespace kelvane::simulator
