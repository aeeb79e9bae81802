// An instrument that stays silent: after one operation waited out its reply time-out, the next
// operations on the same instrument ask *OPC? once with the short time-out and send nothing else
// while it stays silent; a reply, the end of the memory or closing the connections forgets it.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "fake_instrument.hpp"
#include "instrument/io.hpp"
#include "instrument/transport.hpp"
#include "test_support.hpp"

namespace kelvane::instrument {
namespace {

using namespace std::chrono_literals;
using testing::FakeInstrument;
using testing::lan;
using testing::ShortTimeouts;
using Clock = std::chrono::steady_clock;
using C = std::complex<double>;

// The status of `op` and how long it took.
template <class Op>
std::pair<Status, Clock::duration> timed(Op op) {
  const auto start = Clock::now();
  Status s = op();
  return {s, Clock::now() - start};
}

TEST(SilentInstrument, TheNextOperationsTryOnceBrieflyAndSendNothingElse) {
  ShortTimeouts t(1500ms);
  t.adjust([](auto& s) { s.silentTimeout = 100ms; });
  FakeInstrument fake;
  fake.change([](auto& b) { b.silent = true; });
  const auto config = lan(fake.port());
  const std::string peer = "The signal generator at 127.0.0.1:" + std::to_string(fake.port());

  // The first operation waits its whole reply time-out.
  const auto [first, firstTook] = timed([&] { return hwQuery(config, ":SOUR:RAD:ARB:STATe?"); });
  EXPECT_EQ(first.code, status::kTimeout);
  EXPECT_GE(firstTook, 1500ms);
  EXPECT_EQ(first.message, peer + " did not answer \":SOUR:RAD:ARB:STATe?\" within 1.5 s.");

  // The next ones ask *OPC? with the short time-out, and nothing else goes out.
  fake.clear();
  const auto [off, offTook] = timed([&] { return hwSend(config, ":SOUR:RAD:ARB:STATe OFF"); });
  EXPECT_EQ(off.code, status::kTimeout);
  EXPECT_LT(offTook, 1000ms);
  EXPECT_EQ(off.message, peer +
                             " did not answer \"*OPC?\" within 0.1 s; it had stayed silent "
                             "before, so \":SOUR:RAD:ARB:STATe OFF\" was not sent.");
  const std::vector<C> iq(1000, C(0.5, -0.5));
  const std::vector<std::uint8_t> markers(1000, 1);
  const auto [down, downTook] = timed([&] { return hwDownload(config, iq, markers, "Traffic"); });
  EXPECT_EQ(down.code, status::kTimeout);
  EXPECT_LT(downTook, 1000ms);
  EXPECT_EQ(down.message, peer +
                              " did not answer \"*OPC?\" within 0.1 s; it had stayed silent "
                              "before, so the waveform \"Traffic\" was not sent.");
  EXPECT_EQ(fake.commands(), (std::vector<std::string>{"*OPC?", "*OPC?"}));

  // A reply ends the silence: the probe is answered, the operation goes on with the full
  // time-outs, and the operation after it is sent without a probe.
  fake.change([](auto& b) { b.silent = false; });
  fake.clear();
  EXPECT_EQ(hwQuery(config, "*IDN?").message, "Kelvane,FakeQ7710K,0,1.0");
  EXPECT_EQ(hwQuery(config, "*IDN?").message, "Kelvane,FakeQ7710K,0,1.0");
  EXPECT_EQ(fake.commands(), (std::vector<std::string>{"*OPC?", "*IDN?", "*IDN?"}));
}

TEST(SilentInstrument, ASilenceIsForgottenAfterItsMemoryAndWhenTheConnectionsClose) {
  ShortTimeouts t(testing::kShortTimeout);
  t.adjust([](auto& s) {
    s.silentTimeout = 100ms;
    s.silentMemory = 300ms;
  });
  FakeInstrument fake;
  fake.change([](auto& b) { b.silent = true; });
  const auto config = lan(fake.port());
  const std::string fullWait = "The signal generator at 127.0.0.1:" + std::to_string(fake.port()) +
                               " did not answer \"*IDN?\" within 0.4 s.";
  ASSERT_EQ(hwQuery(config, "*IDN?").message, fullWait);
  std::this_thread::sleep_for(400ms);
  fake.clear();
  EXPECT_EQ(hwQuery(config, "*IDN?").message, fullWait);  // the memory ended: no probe
  EXPECT_EQ(fake.commands(), std::vector<std::string>{"*IDN?"});

  closeConnections();
  fake.clear();
  EXPECT_EQ(hwQuery(config, "*IDN?").message, fullWait);
  EXPECT_EQ(fake.commands(), std::vector<std::string>{"*IDN?"});
}

TEST(SilentInstrument, AConnectionThatTimesOutCountsAsSilence) {
  ShortTimeouts t(1500ms, 1500ms);
  t.adjust([](auto& s) { s.silentTimeout = 100ms; });
  // A listener whose queue is full leaves connection requests unanswered.
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
  const auto config = lan(ntohs(a.sin_port));

  const auto [first, firstTook] = timed([&] { return hwPing(config); });
  EXPECT_EQ(first.code, status::kTimeout);
  EXPECT_GE(firstTook, 1500ms);
  const auto [next, nextTook] = timed([&] { return hwPing(config); });
  EXPECT_EQ(next.code, status::kTimeout);
  EXPECT_LT(nextTook, 1000ms);
  EXPECT_EQ(next.message, "Could not connect to the signal generator at 127.0.0.1:" +
                              std::to_string(ntohs(a.sin_port)) + ": no answer within 0.1 s.");
  ::close(filler);
  ::close(listener);
}

}  // namespace
}  // namespace kelvane::instrument
