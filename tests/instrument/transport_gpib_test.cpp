// The GPIB transport over a fake linux-gpib library that the tests build and load by path.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstdlib>

#include "instrument/io.hpp"
#include "instrument/playback.hpp"
#include "instrument/transport.hpp"
#include "test_support.hpp"

namespace kelvane::instrument {
namespace {

using testing::ShortTimeouts;

// The fake's controls, from the same loaded instance the transport uses.
struct FakeGpib {
  void (*reset)();
  int (*messageCount)();
  const char* (*message)(int, long*);
  int (*writes)(int);
  const int* (*ibdevArgs)();
  void (*failIbdev)(int);
  int (*iblocCalls)();
  int (*ibonlCalls)();
  void (*setArbState)(const char*);
  void (*setFailPattern)(const char*);
  void (*setSilent)(int);

  static FakeGpib& get() {
    static FakeGpib f = [] {
      void* lib = ::dlopen(KELVANE_FAKE_GPIB, RTLD_NOW | RTLD_LOCAL);
      if (!lib) throw std::runtime_error(::dlerror());
      FakeGpib g{};
      auto sym = [&](const char* name, auto& fn) {
        fn = reinterpret_cast<std::remove_reference_t<decltype(fn)>>(::dlsym(lib, name));
        if (!fn) throw std::runtime_error(name);
      };
      sym("fake_gpib_reset", g.reset);
      sym("fake_gpib_message_count", g.messageCount);
      sym("fake_gpib_message", g.message);
      sym("fake_gpib_writes", g.writes);
      sym("fake_gpib_ibdev_args", g.ibdevArgs);
      sym("fake_gpib_fail_ibdev", g.failIbdev);
      sym("fake_gpib_ibloc_calls", g.iblocCalls);
      sym("fake_gpib_ibonl_calls", g.ibonlCalls);
      sym("fake_gpib_set_arb_state", g.setArbState);
      sym("fake_gpib_set_fail_pattern", g.setFailPattern);
      sym("fake_gpib_set_silent", g.setSilent);
      return g;
    }();
    return f;
  }

  std::vector<std::string> messages() const {
    std::vector<std::string> out;
    for (int i = 0; i < messageCount(); ++i) {
      long n = 0;
      const char* p = message(i, &n);
      out.emplace_back(p, static_cast<std::size_t>(n));
    }
    return out;
  }
};

class GpibTransport : public ::testing::Test {
 protected:
  void SetUp() override {
    ::setenv("KELVANE_GPIB_LIBRARY", KELVANE_FAKE_GPIB, 1);
    fake().reset();
  }
  void TearDown() override { ::unsetenv("KELVANE_GPIB_LIBRARY"); }
  static FakeGpib& fake() { return FakeGpib::get(); }
  ShortTimeouts timeouts_;
  Configuration config_;  // the defaults: GPIB board 0, primary 19, no secondary
};

TEST_F(GpibTransport, OpensTheDeviceWithItsAddressesAndEndsEachMessageWithEoi) {
  ASSERT_EQ(hwSend(config_, ":output:state on").code, 0);
  const Status q = hwQuery(config_, "*IDN?");
  EXPECT_EQ(q.message, "Kelvane,FakeGPIB,0,1.0");
  const int* a = fake().ibdevArgs();
  EXPECT_EQ(a[0], 0);   // board
  EXPECT_EQ(a[1], 19);  // primary address
  EXPECT_EQ(a[2], 0);   // no secondary address
  EXPECT_EQ(a[3], 12);  // T3s: the shortest bus time-out of at least the 2 s reply time-out
  EXPECT_EQ(a[4], 1);   // EOI at the end of a write
  EXPECT_EQ(fake().messages(),
            (std::vector<std::string>{":output:state on\n", ":SYST:ERR?\n", "*IDN?\n"}));

  closeConnections();
  EXPECT_EQ(fake().ibonlCalls(), 1);  // taken offline when closed
  config_.GPIB = {2, 7, 5};
  ASSERT_EQ(hwPing(config_).code, 0);
  EXPECT_EQ(fake().ibdevArgs()[0], 2);
  EXPECT_EQ(fake().ibdevArgs()[1], 7);
  EXPECT_EQ(fake().ibdevArgs()[2], 0x65);  // secondary 5 in linux-gpib's numbering
}

TEST_F(GpibTransport, ABlockIsOneMessageWrittenInChunksWithEoiOnlyAtItsEnd) {
  timeouts_.adjust([](auto& s) { s.chunkBytes = 4096; });
  const std::size_t n = 3500;  // 14000 I/Q bytes: three chunks of 4096 and a part
  std::vector<std::complex<double>> iq(n, {0.25, -0.5});
  iq[0] = {1, 0};
  const std::vector<std::uint8_t> markers(n, 2);
  const Status s = hwDownload(config_, iq, markers, "Gpib");
  ASSERT_EQ(s.code, 0) << s.message;
  const auto m = fake().messages();
  ASSERT_EQ(m.size(), 6u);
  const std::string head = ":MMEM:DATA \"WFM1:Gpib\",#514000";
  ASSERT_EQ(m[0].size(), head.size() + 4 * n + 1);
  EXPECT_EQ(m[0].substr(0, head.size()), head);
  EXPECT_EQ(m[0].back(), '\n');
  const auto w = testing::words(m[0].substr(head.size(), 4 * n));
  EXPECT_EQ(w[0], 32767);
  EXPECT_EQ(w[2], 8192);
  EXPECT_EQ(w[3], -16384);
  EXPECT_EQ(fake().writes(0), 6);  // header, four chunks, line feed
  // Each block is followed by *OPC? and the error queue.
  EXPECT_EQ(m[1], "*OPC?\n");
  EXPECT_EQ(m[2], ":SYST:ERR?\n");
  EXPECT_EQ(m[3], ":MMEM:DATA \"MKR1:Gpib\",#43500" + std::string(n, '\x02') + "\n");
  EXPECT_EQ(m[4], "*OPC?\n");
  EXPECT_EQ(m[5], ":SYST:ERR?\n");
}

TEST_F(GpibTransport, InstrumentErrorsAndSilenceAreReported) {
  fake().setFailPattern("freq");
  const Status e = hwSend(config_, ":source:freq:fix 1Hz");
  EXPECT_EQ(e.code, status::kInstrumentError);
  EXPECT_EQ(e.message, "-222,\"Data out of range\"");

  fake().setSilent(1);
  timeouts_.adjust([](auto& s) { s.replyTimeout = testing::kShortTimeout; });
  const Status t = hwQuery(config_, "*IDN?");
  EXPECT_EQ(t.code, status::kTimeout);
  EXPECT_EQ(t.message, "The signal generator at GPIB0::19 did not answer \"*IDN?\" within 0.4 s.");
}

TEST_F(GpibTransport, ReturnLocalIsGoToLocalOnceAfterAPlayEvenWhenCommandsFail) {
  fake().setFailPattern(":freq:");
  const Status s = VelPlay_c("Traffic", SigGenSettings{}, config_);
  EXPECT_EQ(s.code, status::kInstrumentError);
  EXPECT_EQ(s.message,
            "The command \" :source:freq:fix 1955000000Hz\" failed: -222,\"Data out of range\"");
  EXPECT_EQ(fake().iblocCalls(), 1);
  // All 15 commands went out, each followed by the error query (twice for the failed one).
  EXPECT_EQ(fake().messageCount(), 31);
}

TEST_F(GpibTransport, AMissingBoardIsReported) {
  fake().failIbdev(7);
  const Status s = hwPing(config_);
  EXPECT_EQ(s.code, status::kNoConnection);
  EXPECT_EQ(s.message,
            "Could not connect to the signal generator at GPIB0::19: no GPIB board at this index.");
}

TEST(GpibLibrary, WithoutLinuxGpibEveryOperationSaysSo) {
  ShortTimeouts t;
  ::setenv("KELVANE_GPIB_LIBRARY", "/nonexistent/libgpib.so.0", 1);
  const Configuration gpib;
  for (const Status& s :
       {hwPing(gpib), hwSend(gpib, "*CLS"), hwQuery(gpib, "*IDN?"), hwReturnLocal(gpib)}) {
    EXPECT_EQ(s.code, status::kUnavailable);
    EXPECT_EQ(s.message.rfind("GPIB needs linux-gpib", 0), 0u) << s.message;
  }
  ::unsetenv("KELVANE_GPIB_LIBRARY");
  // The default is the real soname, which this machine may lack.
  if (void* real = ::dlopen("libgpib.so.0", RTLD_NOW)) {
    ::dlclose(real);
    GTEST_SKIP() << "linux-gpib is installed";
  }
  const Status s = hwPing(gpib);
  EXPECT_EQ(s.code, status::kUnavailable);
  EXPECT_NE(s.message.find("libgpib.so.0"), std::string::npos) << s.message;
}

}  // namespace
}  // namespace kelvane::instrument
