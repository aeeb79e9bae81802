// The LAN transport against a scripted instrument on loopback: the wire protocol, connection
// reuse, and the traps of SCPI over TCP (partial sends, blocks on chunk boundaries, bounded
// waits, dead sessions, dropped downloads).
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include "fake_instrument.hpp"
#include "instrument/io.hpp"
#include "instrument/transport.hpp"
#include "test_support.hpp"

namespace kelvane::instrument {
namespace {

using testing::FakeInstrument;
using testing::lan;
using testing::ShortTimeouts;
using C = std::complex<double>;

bool contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

// A port on 127.0.0.1 that nothing listens on.
std::uint16_t closedPort() {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
  socklen_t len = sizeof a;
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
  ::close(fd);
  return ntohs(a.sin_port);
}

TEST(LanTransport, CommandsQueriesAndPingShareOneConnection) {
  ShortTimeouts t;
  FakeInstrument fake;
  fake.change([](auto& b) { b.replies[":source:freq:fix?"] = "1955000000\r"; });
  const auto config = lan(fake.port());

  EXPECT_EQ(hwSend(config, ":output:state on").code, 0);
  const Status q = hwQuery(config, ":source:freq:fix?");
  EXPECT_EQ(q.code, 0);
  EXPECT_EQ(q.message, "1955000000");  // line end (CR LF) removed
  const Status p = VerifyComm(config);
  EXPECT_EQ(p.code, 0);
  EXPECT_EQ(p.message, "Connected to Kelvane,FakeQ7710K,0,1.0");

  std::vector<std::string> texts;
  for (const auto& m : fake.messages())
    texts.push_back(m.text);
  EXPECT_EQ(texts, (std::vector<std::string>{":output:state on", ":SYST:ERR?", ":source:freq:fix?",
                                             "*IDN?"}));
  EXPECT_EQ(fake.connections(), 1);
}

TEST(LanTransport, InstrumentErrorsComeBackWithTheirText) {
  ShortTimeouts t;
  FakeInstrument fake;
  fake.change([](auto& b) { b.failPattern = "freq"; });
  const Status s = hwSend(lan(fake.port()), ":source:freq:fix 99000000000Hz");
  EXPECT_EQ(s.code, status::kInstrumentError);
  EXPECT_EQ(s.message, "-222,\"Data out of range\"");
  // The queue is empty again: the next command succeeds on the same connection.
  EXPECT_EQ(hwSend(lan(fake.port()), ":output:state on").code, 0);
  EXPECT_EQ(fake.connections(), 1);
}

TEST(LanTransport, AnErrorQueueThatNeverEmptiesIsReadABoundedNumberOfTimes) {
  ShortTimeouts t;
  t.adjust([](auto& s) { s.maxErrorReads = 3; });
  FakeInstrument fake;
  // Every error query itself queues another error.
  fake.change([](auto& b) {
    b.failPattern = ":";
    b.failError = "-350,\"Queue overflow\"";
  });
  const Status s = hwSend(lan(fake.port()), ":output:state on");
  EXPECT_EQ(s.code, status::kInstrumentError);
  EXPECT_EQ(s.message,
            "-350,\"Queue overflow\"\n-350,\"Queue overflow\"\n-350,\"Queue overflow\"\n"
            "(further errors not read)");
}

TEST(LanTransport, CommandsWithLineBreaksAreRefusedUnsent) {
  ShortTimeouts t;
  FakeInstrument fake;
  EXPECT_EQ(hwSend(lan(fake.port()), ":output:state on\n*RST").code, status::kRefused);
  EXPECT_EQ(hwQuery(lan(fake.port()), "*IDN?\r").code, status::kRefused);
  EXPECT_EQ(hwSend(lan(fake.port()), "").code, status::kRefused);
  EXPECT_EQ(fake.connections(), 0);
}

TEST(LanTransport, DownloadedWaveformAndMarkersDecodeBackToTheWords) {
  ShortTimeouts t;
  FakeInstrument fake;
  // Peak |I| = |Q| = 0.5, so each word is round(x * 65534), halves away from zero.
  const std::vector<C> iq = {{0.5, 0}, {-0.25, 0.125}, {0, -0.5}, {0.0625, 0.03125}, {0, 0}};
  const std::vector<std::uint8_t> markers = {1, 2, 3, 0, 0xFD};  // high bits are not markers
  const Status s = hwDownload(lan(fake.port()), iq, markers, "Traffic");
  ASSERT_EQ(s.code, 0) << s.message;

  // Each block is followed by *OPC? and the error queue, so that a refusal names its block.
  const auto m = fake.messages();
  ASSERT_EQ(m.size(), 6u);
  EXPECT_EQ(m[0].text, ":MMEM:DATA \"WFM1:Traffic\",#220");
  ASSERT_EQ(m[0].blocks.size(), 1u);
  EXPECT_EQ(testing::words(m[0].blocks[0]),
            (std::vector<std::int16_t>{32767, 0, -16384, 8192, 0, -32767, 4096, 2048, 0, 0}));
  EXPECT_EQ(m[1].text, "*OPC?");
  EXPECT_EQ(m[2].text, ":SYST:ERR?");
  EXPECT_EQ(m[3].text, ":MMEM:DATA \"MKR1:Traffic\",#15");
  ASSERT_EQ(m[3].blocks.size(), 1u);
  EXPECT_EQ(m[3].blocks[0], std::string("\x01\x02\x03\x00\x01", 5));
  EXPECT_EQ(m[4].text, "*OPC?");
  EXPECT_EQ(m[5].text, ":SYST:ERR?");
}

TEST(LanTransport, ARefusedBlockNamesTheWaveformTheCommandAndTheErrors) {
  ShortTimeouts t;
  FakeInstrument fake;
  fake.change([](auto& b) {
    b.failPattern = "WFM1:QarnFTM-Traffic";
    b.failError = "-200,\"Execution error\"";
  });
  const auto config = lan(fake.port());
  const std::vector<C> iq = {{0.5, 0}, {0, 0.5}};
  const std::vector<std::uint8_t> markers = {1, 0};
  const Status s = hwDownload(config, iq, markers, "QarnFTM-Traffic");
  EXPECT_EQ(s.code, status::kInstrumentError);
  EXPECT_EQ(s.message,
            "The signal generator refused the waveform \"QarnFTM-Traffic\" (:MMEM:DATA "
            "\"WFM1:QarnFTM-Traffic\"): -200,\"Execution error\"");
  // The markers of a refused waveform are not sent.
  EXPECT_EQ(fake.commands(),
            (std::vector<std::string>{":MMEM:DATA \"WFM1:QarnFTM-Traffic\",#18", "*OPC?"}));

  fake.clear();
  fake.change([](auto& b) {
    b.failPattern = "MKR1:";
    b.failError = "-225,\"Out of memory\"";
  });
  const Status m = hwDownload(config, iq, markers, "QarnFTM-Control");
  EXPECT_EQ(m.code, status::kInstrumentError);
  EXPECT_EQ(m.message,
            "The signal generator refused the markers of the waveform \"QarnFTM-Control\" "
            "(:MMEM:DATA \"MKR1:QarnFTM-Control\"): -225,\"Out of memory\"");
}

TEST(LanTransport, BadDownloadsAreRefusedBeforeAnythingIsSent) {
  ShortTimeouts t;
  FakeInstrument fake;
  const std::vector<C> iq = {{1, 0}, {0, 1}};
  const std::vector<std::uint8_t> markers = {0, 1};
  for (const char* name : {"a\"b", "line\nbreak", "tab\there", "del\x7f", ""}) {
    const Status s = hwDownload(lan(fake.port()), iq, markers, name);
    EXPECT_EQ(s.code, status::kRefused) << name;
  }
  EXPECT_EQ(
      hwDownload(lan(fake.port()), std::vector<C>{{1, 0}, {std::nan(""), 0}}, markers, "W").code,
      status::kRefused);
  EXPECT_EQ(hwDownload(lan(fake.port()), iq, std::vector<std::uint8_t>{1}, "W").code,
            status::kRefused);
  EXPECT_EQ(hwDownload(lan(fake.port()), {}, {}, "W").code, status::kRefused);
  EXPECT_EQ(fake.connections(), 0);
}

TEST(LanTransport, PartialSendsAreResumedUntilEveryByteIsOut) {
  ShortTimeouts t(std::chrono::milliseconds(5000));
  // One 16 MiB write for the I/Q block: four times what the system lets a sending buffer grow
  // to (net.core.wmem_max, 4 MiB on Debian), so it cannot all be taken at once.
  t.adjust([](auto& s) { s.chunkBytes = 16 << 20; });
  FakeInstrument fake;
  fake.change([](auto& b) {
    b.receiveBuffer = 64 * 1024;
    b.readBytes = 4096;
    // Nothing of the block is read at first, so the system cannot take the whole write at once
    // whatever size it has grown the sending buffer to.
    b.firstBlockPause = std::chrono::milliseconds(200);
  });
  const std::size_t n = 1 << 22;
  std::vector<C> iq(n);
  std::vector<std::uint8_t> markers(n);
  for (std::size_t i = 0; i < n; ++i) {
    iq[i] = {std::cos(0.001 * static_cast<double>(i)), std::sin(0.001 * static_cast<double>(i))};
    markers[i] = static_cast<std::uint8_t>(i % 4);
  }
  const auto before = transportStatistics().partialWrites;
  const Status s = hwDownload(lan(fake.port()), iq, markers, "Long");
  ASSERT_EQ(s.code, 0) << s.message;
  EXPECT_GT(transportStatistics().partialWrites, before);

  const auto m = fake.messages();
  ASSERT_GE(m.size(), 4u);
  ASSERT_EQ(m[0].blocks.at(0).size(), 4 * n);
  const auto w = testing::words(m[0].blocks[0]);
  EXPECT_EQ(w[0], 32767);
  EXPECT_EQ(w[1], 0);
  EXPECT_EQ(w[2 * (n - 1)], static_cast<std::int16_t>(std::round(iq[n - 1].real() * 32767)));
  ASSERT_EQ(m[3].blocks.at(0).size(), n);  // after the I/Q block's *OPC? and :SYST:ERR?
  EXPECT_EQ(m[3].blocks[0][n - 1], 3);
}

TEST(LanTransport, BlocksEndingExactlyOnAChunkBoundary) {
  ShortTimeouts t;
  t.adjust([](auto& s) { s.chunkBytes = 4096; });
  FakeInstrument fake;
  std::vector<DownloadProgress> reports;
  auto previous = setProgressReporter([&](const DownloadProgress& p) { reports.push_back(p); });
  // 4096 samples: 16384 I/Q bytes (four chunks) and 4096 marker bytes (one chunk).
  const std::size_t n = 4096;
  std::vector<C> iq(n, C(0.5, -0.5));
  iq[n - 1] = {1, -1};
  std::vector<std::uint8_t> markers(n, 0);
  markers[n - 1] = 3;
  const Status s = hwDownload(lan(fake.port()), iq, markers, "Edge");
  setProgressReporter(previous);
  ASSERT_EQ(s.code, 0) << s.message;

  const auto m = fake.messages();
  ASSERT_EQ(m.size(), 6u);
  EXPECT_EQ(m[0].text, ":MMEM:DATA \"WFM1:Edge\",#516384");
  EXPECT_EQ(m[0].blocks.at(0).size(), 4 * n);
  const auto w = testing::words(m[0].blocks[0]);
  EXPECT_EQ(w[2 * n - 2], 32767);
  EXPECT_EQ(w[2 * n - 1], -32767);
  EXPECT_EQ(m[1].text, "*OPC?");  // the line feed after the block was not lost
  EXPECT_EQ(m[3].text, ":MMEM:DATA \"MKR1:Edge\",#44096");
  EXPECT_EQ(m[3].blocks.at(0).back(), 3);
  EXPECT_EQ(m[4].text, "*OPC?");

  // Before the first byte, after each of the four I/Q chunks and the marker chunk.
  ASSERT_EQ(reports.size(), 6u);
  EXPECT_EQ(reports.front().bytesSent, 0u);
  EXPECT_EQ(reports[4].bytesSent, 4 * n);
  EXPECT_EQ(reports.back().bytesSent, 5 * n);
  EXPECT_EQ(reports.back().bytesTotal, 5 * n);
  EXPECT_EQ(reports.back().waveformName, "Edge");
}

TEST(LanTransport, ASilentInstrumentFailsWithinTheReplyTimeout) {
  ShortTimeouts t(testing::kShortTimeout);
  FakeInstrument fake;
  fake.change([](auto& b) { b.silent = true; });
  const auto config = lan(fake.port());
  const Status s = hwQuery(config, "*IDN?");
  EXPECT_EQ(s.code, status::kTimeout);
  EXPECT_EQ(s.message, "The signal generator at 127.0.0.1:" + std::to_string(fake.port()) +
                           " did not answer \"*IDN?\" within 0.4 s.");
  // A late reply must not be taken for the next answer: the session was closed.
  fake.change([](auto& b) { b.silent = false; });
  EXPECT_EQ(hwQuery(config, "*IDN?").message, "Kelvane,FakeQ7710K,0,1.0");
  EXPECT_EQ(fake.connections(), 2);
}

TEST(LanTransport, ASessionClosedByAnInstrumentResetIsReopened) {
  ShortTimeouts t;
  FakeInstrument fake;
  const auto config = lan(fake.port());
  ASSERT_EQ(hwQuery(config, "*IDN?").code, 0);
  fake.dropConnection();
  const Status s = hwQuery(config, "*IDN?");
  EXPECT_EQ(s.code, 0) << s.message;
  EXPECT_EQ(fake.connections(), 2);
}

TEST(LanTransport, ASessionDyingUnderACommandIsRetriedOnceOnANewConnection) {
  ShortTimeouts t;
  FakeInstrument fake;
  const auto config = lan(fake.port());
  ASSERT_EQ(hwSend(config, "*CLS").code, 0);
  fake.change([](auto& b) { b.closeOnNextMessage = true; });
  const Status s = hwSend(config, ":output:state on");
  EXPECT_EQ(s.code, 0) << s.message;
  EXPECT_EQ(fake.connections(), 2);
  EXPECT_EQ(fake.commands(),
            (std::vector<std::string>{"*CLS", ":output:state on", ":output:state on"}));

  // On a connection just opened there is no second try.
  closeConnections();
  fake.change([](auto& b) { b.closeOnNextMessage = true; });
  const Status f = hwSend(config, ":output:state off");
  EXPECT_EQ(f.code, status::kConnectionLost);
  EXPECT_TRUE(contains(f.message, "was lost while waiting for the answer to \":SYST:ERR?\""))
      << f.message;
  EXPECT_EQ(fake.connections(), 3);
}

TEST(LanTransport, AConnectionDroppedDuringADownloadFailsAndTheNextOperationReconnects) {
  ShortTimeouts t;
  FakeInstrument fake;
  fake.change([](auto& b) { b.dropAfterBlockBytes = 100000; });
  const std::size_t n = 1000000;
  const std::vector<C> iq(n, C(0.3, 0.1));
  const std::vector<std::uint8_t> markers(n, 1);
  const auto config = lan(fake.port());
  const Status s = hwDownload(config, iq, markers, "Dropped");
  EXPECT_EQ(s.code, status::kConnectionLost) << s.message;
  EXPECT_TRUE(contains(s.message, "was lost")) << s.message;
  EXPECT_TRUE(contains(s.message, "of 5000000 bytes of the download.")) << s.message;

  const Status next = hwQuery(config, "*IDN?");
  EXPECT_EQ(next.code, 0) << next.message;
  EXPECT_EQ(fake.connections(), 2);
}

TEST(LanTransport, DeadAddressesFailWithinTheConnectTimeout) {
  ShortTimeouts t(testing::kShortTimeout, testing::kShortTimeout);
  const auto port = closedPort();
  const Status refused = hwPing(lan(port));
  EXPECT_EQ(refused.code, status::kNoConnection);
  EXPECT_EQ(refused.message, "Could not connect to the signal generator at 127.0.0.1:" +
                                 std::to_string(port) + ": connection refused.");

  // A listener whose queue is full drops connection requests unanswered.
  const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
  ASSERT_EQ(::listen(listener, 0), 0);
  socklen_t len = sizeof a;
  ::getsockname(listener, reinterpret_cast<sockaddr*>(&a), &len);
  const int filler = ::socket(AF_INET, SOCK_STREAM, 0);
  ASSERT_EQ(::connect(filler, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
  const Status hung = hwPing(lan(ntohs(a.sin_port)));
  EXPECT_EQ(hung.code, status::kTimeout);
  EXPECT_EQ(hung.message, "Could not connect to the signal generator at 127.0.0.1:" +
                              std::to_string(ntohs(a.sin_port)) + ": no answer within 0.4 s.");
  ::close(filler);
  ::close(listener);
}

TEST(LanTransport, AddressForms) {
  ShortTimeouts t;
  FakeInstrument fake;
  EXPECT_EQ(hwPing(lan(fake.port(), "localhost")).code, 0);
  EXPECT_EQ(hwPing(lan(fake.port(), "  127.0.0.1")).code, 0);

  Configuration c = lan(0);
  c.TCPIP.address = "127.0.0.2";  // no port: 5025
  EXPECT_EQ(hwPing(c).message,
            "Could not connect to the signal generator at 127.0.0.2:5025: connection refused.");
  c.TCPIP.address = "127.0.0.1:99999";
  EXPECT_EQ(hwPing(c).message,
            "The LAN address \"127.0.0.1:99999\" has an invalid port \"99999\".");
  c.TCPIP.address = "0.0.0.0";  // the unset default, which would reach this computer
  const Status unset = hwPing(c);
  EXPECT_EQ(unset.code, status::kRefused);
  EXPECT_TRUE(contains(unset.message, "No LAN address is set")) << unset.message;
  c.type = "tcpip";  // the kind is compared without regard to case
  c.TCPIP.address = "127.0.0.1:" + std::to_string(fake.port());
  EXPECT_EQ(hwPing(c).code, 0);
}

TEST(LanTransport, ReturnLocalEndsTheSession) {
  ShortTimeouts t;
  FakeInstrument fake;
  const auto config = lan(fake.port());
  ASSERT_EQ(hwSend(config, "*CLS").code, 0);
  EXPECT_EQ(hwReturnLocal(config).code, 0);
  ASSERT_EQ(hwSend(config, "*CLS").code, 0);
  EXPECT_EQ(fake.connections(), 2);
}

}  // namespace
}  // namespace kelvane::instrument
