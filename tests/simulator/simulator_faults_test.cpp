// Fault injection of the simulated signal generator: a connection dropped part-way through a
// block, delayed replies, and commands made to fail with a configured error.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "simulator/simulator.hpp"
#include "simulator_wire.hpp"

namespace kelvane::simulator {
namespace {

using wire::TcpClient;

class SimulatorFaults : public ::testing::Test {
 protected:
  void SetUp() override { sim_.start(); }
  void TearDown() override { sim_.stop(); }
  Simulator sim_;
};

Faults drop(std::size_t afterBytes, std::size_t limit = 0) {
  Faults f;
  f.dropAfterBlockBytes = afterBytes;
  f.dropLimit = limit;
  return f;
}

Faults delay(std::chrono::milliseconds ms) {
  Faults f;
  f.replyDelay = ms;
  return f;
}

Faults fail(std::string pattern, std::string error = Faults{}.failError) {
  Faults f;
  f.failPattern = std::move(pattern);
  f.failError = std::move(error);
  return f;
}

std::string downloadMessage(const std::string& name, std::size_t samples) {
  return ":MMEM:DATA \"WFM1:" + name + "\"," +
         wire::block(wire::bigEndian(wire::awkwardWords(samples))) + "\n";
}

TEST_F(SimulatorFaults, DropAfterBlockBytes) {
  sim_.setFaults(drop(1000));
  {
    TcpClient c(sim_.port());
    // Commands and blocks no longer than 1000 bytes pass.
    c.send(downloadMessage("small", 250));
    EXPECT_EQ(c.query("*OPC?"), "1");
    // 4000 bytes: the connection closes after 1000 of them and nothing is stored.
    c.trySend(downloadMessage("big", 1000));
    EXPECT_TRUE(c.closedByPeer());
  }
  EXPECT_TRUE(sim_.waveformWords("small"));
  EXPECT_FALSE(sim_.waveformWords("big"));
  {
    // The next connection works; the fault stays until it is changed.
    TcpClient c(sim_.port());
    EXPECT_EQ(c.query("*OPC?"), "1");
    c.trySend(downloadMessage("big", 1000));
    EXPECT_TRUE(c.closedByPeer());
  }
  auto s = sim_.state();
  EXPECT_EQ(s["connections"]["dropped"], 2);
  EXPECT_EQ(s["faults"]["dropAfterBlockBytes"], 1000);

  // With a limit, the fault clears itself after that many drops.
  sim_.setFaults(drop(0, 1));
  {
    TcpClient c(sim_.port());
    c.trySend(downloadMessage("big", 10));
    EXPECT_TRUE(c.closedByPeer());
  }
  TcpClient c(sim_.port());
  c.send(downloadMessage("big", 1000));
  EXPECT_EQ(c.query("*OPC?"), "1");
  EXPECT_EQ(sim_.waveformWords("big"), wire::awkwardWords(1000));
  s = sim_.state();
  EXPECT_EQ(s["faults"]["drops"], 1);
  EXPECT_EQ(s["connections"]["dropped"], 3);
}

TEST_F(SimulatorFaults, DelayedReplies) {
  sim_.setFaults(delay(std::chrono::milliseconds(300)));
  TcpClient c(sim_.port());
  c.command("*IDN?");
  // The delay is a lower bound: nothing can be there right away, the reply comes after it.
  EXPECT_FALSE(c.readable(0));
  EXPECT_EQ(c.readLine(), sim_.state()["identification"]);
  EXPECT_EQ(sim_.faults().replyDelay, std::chrono::milliseconds(300));
  sim_.setFaults({});
  EXPECT_EQ(c.query("*OPC?"), "1");
}

TEST_F(SimulatorFaults, FailPatternQueuesTheConfiguredError) {
  sim_.setFaults(fail("FREQ:FIX", "-221,\"Settings conflict\""));
  TcpClient c(sim_.port());
  c.command(":source:freq:fix 1955000000Hz");  // matched in any case
  c.command(":source:power:level:immediate:amplitude -30dbm");
  EXPECT_EQ(c.query(":SYST:ERR?"), "-221,\"Settings conflict\"");
  EXPECT_EQ(c.query(":SYST:ERR?"), "+0,\"No error\"");
  const auto s = sim_.state();
  EXPECT_EQ(s["settings"]["frequencyHz"], 1e9);  // not applied
  EXPECT_EQ(s["settings"]["powerDbm"], -30.0);
  EXPECT_EQ(s["faults"]["failPattern"], "FREQ:FIX");

  // A pattern that matches the error query itself never hides the queue.
  sim_.setFaults(fail("SYST"));
  c.command(":SYST:NOTHING");
  EXPECT_EQ(c.query(":SYST:ERR?"), "-222,\"Data out of range\"");
  EXPECT_FALSE(nlohmann::json::parse(c.query(":SYST:KELV:STAT?")).empty());
}

}  // namespace
}  // namespace kelvane::simulator
