// The RS-232 transport over a pseudo-terminal pair: the termios settings it makes, XON/XOFF
// pacing, and the serial download with its time warning.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <cstdlib>
#include <thread>

#include "fake_instrument.hpp"
#include "instrument/download.hpp"
#include "instrument/io.hpp"
#include "instrument/transport.hpp"
#include "test_support.hpp"
#include "toolkit/dialogs.hpp"

namespace kelvane::instrument {
namespace {

using testing::FakeInstrument;
using testing::ShortTimeouts;
using toolkit::ScriptedDialogs;

// A pseudo-terminal pair named as serial port 4; the test keeps the slave open so that the
// master never sees a hang-up between sessions.
class SerialTransport : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(::openpty(&master_, &slave_, nullptr, nullptr, nullptr), 0);
    ::setenv("KELVANE_RS232_PORT4", ::ttyname(slave_), 1);
    config_.type = "RS232";
    config_.RS232 = {.port = 4, .baudrate = 9600, .handshake = "Xon/Xoff", .device = {}};
    fake_ = std::make_unique<FakeInstrument>(master_);
  }
  void TearDown() override {
    closeConnections();
    fake_.reset();
    ::unsetenv("KELVANE_RS232_PORT4");
    ::close(slave_);
    ::close(master_);
  }
  termios settings() const {
    termios t{};
    ::tcgetattr(slave_, &t);
    return t;
  }

  ShortTimeouts timeouts_;
  int master_ = -1;
  int slave_ = -1;
  Configuration config_;
  std::unique_ptr<FakeInstrument> fake_;
};

TEST_F(SerialTransport, RawEightNOneAtTheBaudRateWithTheChosenPacing) {
  ASSERT_EQ(hwSend(config_, "*CLS").code, 0);
  termios t = settings();
  EXPECT_EQ(::cfgetospeed(&t), static_cast<speed_t>(B9600));
  EXPECT_EQ(::cfgetispeed(&t), static_cast<speed_t>(B9600));
  EXPECT_EQ(t.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
  EXPECT_FALSE(t.c_cflag & PARENB);
  EXPECT_FALSE(t.c_cflag & CSTOPB);
  EXPECT_TRUE(t.c_iflag & IXON);    // the instrument paces our output
  EXPECT_FALSE(t.c_iflag & IXOFF);  // we never pace the instrument
  EXPECT_FALSE(t.c_cflag & CRTSCTS);
  EXPECT_FALSE(t.c_lflag & ICANON);  // raw: no line editing, no echo
  EXPECT_FALSE(t.c_lflag & ECHO);
  EXPECT_FALSE(t.c_oflag & OPOST);

  config_.RS232 = {.port = 4,
                   .baudrate = 115200,
                   .handshake = "RTS/CTS",
                   .device = {}};  // a new speed and pacing reopen the port
  ASSERT_EQ(hwSend(config_, "*CLS").code, 0);
  t = settings();
  EXPECT_EQ(::cfgetospeed(&t), static_cast<speed_t>(B115200));
  EXPECT_TRUE(t.c_cflag & CRTSCTS);
  EXPECT_FALSE(t.c_iflag & IXON);

  config_.RS232 = {.port = 4, .baudrate = 19200, .handshake = "None", .device = {}};
  ASSERT_EQ(hwSend(config_, "*CLS").code, 0);
  t = settings();
  EXPECT_FALSE(t.c_cflag & CRTSCTS);
  EXPECT_FALSE(t.c_iflag & (IXON | IXOFF));
  EXPECT_EQ(fake_->commands(), (std::vector<std::string>{"*CLS", "*CLS", "*CLS"}));
}

TEST_F(SerialTransport, QueriesAndBadPorts) {
  EXPECT_EQ(hwQuery(config_, "*IDN?").message, "Kelvane,FakeQ7710K,0,1.0");

  Configuration bad = config_;
  bad.RS232.baudrate = 12345;
  EXPECT_EQ(hwPing(bad).message, "Could not connect to the signal generator at " +
                                     std::string(::ttyname(slave_)) +
                                     ": 12345 bit/s is not a serial speed.");
  bad.RS232 = {.port = 5, .baudrate = 9600, .handshake = "Xon/Xoff", .device = {}};
  ::setenv("KELVANE_RS232_PORT5", "/dev/null", 1);
  EXPECT_EQ(hwPing(bad).message,
            "Could not connect to the signal generator at /dev/null: not a serial device.");
  ::setenv("KELVANE_RS232_PORT5", "/nonexistent/ttyUSB7", 1);
  EXPECT_EQ(hwPing(bad).message,
            "Could not connect to the signal generator at "
            "/nonexistent/ttyUSB7: no such file or directory.");
  ::unsetenv("KELVANE_RS232_PORT5");
  bad.RS232.port = 0;
  EXPECT_EQ(hwPing(bad).code, status::kRefused);

  // A device path in the configuration stands in for the port number.
  Configuration byPath = config_;
  byPath.RS232.port = 7;
  byPath.RS232.device = ::ttyname(slave_);
  EXPECT_EQ(hwQuery(byPath, "*IDN?").message, "Kelvane,FakeQ7710K,0,1.0");
  byPath.RS232.device = "/nonexistent/ttyUSB7";
  EXPECT_EQ(hwPing(byPath).message,
            "Could not connect to the signal generator at "
            "/nonexistent/ttyUSB7: no such file or directory.");
}

TEST_F(SerialTransport, XoffHoldsTheDownloadAndXonResumesItWithEveryByteIntact) {
  // Words 0x1113 and 0x1311 put XON and XOFF bytes into the block: they are data.
  const std::size_t n = 40000;
  std::vector<std::complex<double>> iq(n, {4371.0 / 32767, 4881.0 / 32767});
  iq[0] = {1, 0};
  const std::vector<std::uint8_t> markers(n, 0x13 & 3);
  const char xoff = 0x13;
  ASSERT_EQ(::write(master_, &xoff, 1), 1);
  std::thread resume([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    const char xon = 0x11;
    [[maybe_unused]] auto w = ::write(master_, &xon, 1);
  });
  timeouts_.adjust([](auto& s) { s.replyTimeout = std::chrono::milliseconds(3000); });
  const Status s = hwDownload(config_, iq, markers, "Paced");
  resume.join();
  // The pacing characters never reach a reply: *OPC? read back as 1.
  ASSERT_EQ(s.code, 0) << s.message;
  const auto m = fake_->messages();
  ASSERT_EQ(m.size(), 6u);  // each block followed by *OPC? and :SYST:ERR?
  const auto w = testing::words(m[0].blocks.at(0));
  ASSERT_EQ(w.size(), 2 * n);
  EXPECT_EQ(w[0], 32767);
  EXPECT_EQ(w[2], 0x1113);
  EXPECT_EQ(w[2 * n - 1], 0x1311);
  EXPECT_EQ(m[3].blocks.at(0), std::string(n, '\x03'));
}

TEST_F(SerialTransport, TheTimeWarningStartsAbove12000SamplesAt9600Baud) {
  ScriptedDialogs d;
  const std::vector<std::uint8_t> m12000(12000, 1), m12001(12001, 1);
  const std::vector<std::complex<double>> w12000(12000, {0.5, 0.5}), w12001(12001, {0.5, 0.5});
  EXPECT_DOUBLE_EQ(serialDownloadMinutes(12000, 9600), 0.75);

  const Status atLimit = VelDownLoadWrap(w12000, m12000, "AtLimit", config_, d);
  EXPECT_EQ(atLimit.code, 0) << atLimit.message;
  EXPECT_EQ(d.count(ScriptedDialogs::BoxKind::Question), 0u);

  d.answer("OK");
  const Status above = VelDownLoadWrap(w12001, m12001, "Above", config_, d);
  EXPECT_EQ(above.code, 0) << above.message;
  ASSERT_EQ(d.shown().size(), 1u);
  const auto& q = d.shown()[0];
  EXPECT_EQ(q.kind, ScriptedDialogs::BoxKind::Question);
  EXPECT_EQ(q.title, "RS-232 Download");
  EXPECT_EQ(q.text,
            "This Download will take approximately 0.750062 minutes. Do you want to continue?");
  EXPECT_EQ(q.buttons, (std::vector<std::string>{"OK", "Cancel"}));
  EXPECT_EQ(q.defaultButton, "Cancel");

  const auto before = fake_->messages().size();
  d.answer("Cancel");
  const Status cancelled = VelDownLoadWrap(w12001, m12001, "Cancelled", config_, d);
  EXPECT_EQ(cancelled.code, status::kCancelled);
  EXPECT_EQ(cancelled.message, "download cancelled");
  // Closing the box (no answer left) cancels too; neither sends anything.
  const Status closed = VelDownLoadWrap(w12001, m12001, "Closed", config_, d);
  EXPECT_EQ(closed.message, "download cancelled");
  EXPECT_NE(closed.code, 0);
  EXPECT_EQ(fake_->messages().size(), before);
  EXPECT_EQ(d.count(ScriptedDialogs::BoxKind::Question), 3u);

  // The same waveform over LAN or GPIB never asks.
  d.clear();
  Configuration other = config_;
  other.type = "TCPIP";
  other.TCPIP.address = "0.0.0.0";
  EXPECT_EQ(VelDownLoadWrap(w12001, m12001, "Lan", other, d).code, status::kRefused);
  other.type = "GPIB";
  ::setenv("KELVANE_GPIB_LIBRARY", "/nonexistent/libgpib.so.0", 1);
  EXPECT_EQ(VelDownLoadWrap(w12001, m12001, "Gpib", other, d).code, status::kUnavailable);
  ::unsetenv("KELVANE_GPIB_LIBRARY");
  EXPECT_EQ(d.count(ScriptedDialogs::BoxKind::Question), 0u);
}

}  // namespace
}  // namespace kelvane::instrument
