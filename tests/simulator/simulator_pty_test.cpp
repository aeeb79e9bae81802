// The simulated signal generator's serial path: a pseudo-terminal carrying commands, replies
// and a long binary block full of XON, XOFF, CR and LF bytes without losing one.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <termios.h>
#include <unistd.h>

#include <string>
#include <thread>
#include <vector>

#include "simulator/simulator.hpp"
#include "simulator_wire.hpp"

namespace kelvane::simulator {
namespace {

SimulatorOptions withPty() {
  SimulatorOptions o;
  o.pseudoTerminal = true;
  return o;
}

// Opens the slave side as a serial client would: raw, 8 bits, no flow control.
int openSerial(const std::string& path, bool configure = true) {
  const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (fd < 0 || !configure) return fd;
  termios t{};
  ::tcgetattr(fd, &t);
  ::cfmakeraw(&t);
  ::cfsetspeed(&t, B9600);
  t.c_cflag |= CLOCAL | CREAD;
  ::tcsetattr(fd, TCSANOW, &t);
  return fd;
}

TEST(SimulatorPty, CommandsAndLongBlockOverThePseudoTerminal) {
  Simulator sim(withPty());
  sim.start();
  const std::string path = sim.pseudoTerminalPath();
  ASSERT_TRUE(path.starts_with("/dev/")) << path;
  {
    // The simulator sets the terminal raw itself: nothing echoed, translated or paced.
    const int fd = openSerial(path, false);
    ASSERT_GE(fd, 0) << path;
    termios t{};
    ASSERT_EQ(::tcgetattr(fd, &t), 0);
    EXPECT_EQ(t.c_lflag & (ICANON | ECHO | ISIG | IEXTEN), 0u);
    EXPECT_EQ(t.c_iflag & (IXON | IXOFF | ICRNL | INLCR | ISTRIP), 0u);
    EXPECT_EQ(t.c_oflag & OPOST, 0u);
    ::close(fd);
  }
  const int fd = openSerial(path);
  ASSERT_GE(fd, 0) << path;
  wire::FdClient serial(fd);

  EXPECT_EQ(serial.query("*IDN?"), sim.state()["identification"]);
  serial.command(" :source:freq:fix 1955000000Hz");
  EXPECT_EQ(serial.query(":SYST:ERR?"), "+0,\"No error\"");

  // 100 000 samples (400 000 bytes) written in one go while the simulator reads.
  const auto words = wire::awkwardWords(100'000);
  const std::string data = wire::bigEndian(words);
  ASSERT_NE(data.find('\x11'), std::string::npos);
  ASSERT_NE(data.find('\x13'), std::string::npos);
  std::string markers(100'000, '\x13');
  markers[7] = '\x11';
  markers[8] = '\n';
  serial.send(":MMEM:DATA \"WFM1:serial\"," + wire::block(data) + "\n");
  serial.send(":MMEM:DATA \"MKR1:serial\"," + wire::block(markers) + "\n");
  EXPECT_EQ(serial.query("*OPC?"), "1");
  EXPECT_EQ(serial.query(":SYST:ERR?"), "+0,\"No error\"");
  EXPECT_EQ(sim.waveformWords("serial"), words);
  EXPECT_EQ(sim.markerBytes("serial"), std::vector<std::uint8_t>(markers.begin(), markers.end()));
  EXPECT_EQ(sim.state()["settings"]["frequencyHz"], 1955000000.0);

  // The TCP port serves the same instrument meanwhile.
  wire::TcpClient lan(sim.port());
  EXPECT_EQ(lan.query(":SOUR:FREQ?"), "1955000000");
  sim.stop();
}

TEST(SimulatorPty, ReopenedSerialClientContinues) {
  Simulator sim(withPty());
  sim.start();
  for (int round = 0; round < 2; ++round) {
    const int fd = openSerial(sim.pseudoTerminalPath());
    ASSERT_GE(fd, 0);
    wire::FdClient serial(fd);
    EXPECT_EQ(serial.query("*OPC?"), "1") << round;
  }
  EXPECT_EQ(sim.state()["commands"].size(), 2u);
}

}  // namespace
}  // namespace kelvane::simulator
