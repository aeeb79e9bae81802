// One instrument operation at a time: an operation started while a download is in progress, from
// its progress reporter or from another thread, is refused at once with kBusy instead of
// blocking, and the download completes. The reporter may still replace itself, change the
// settings and close the connections.
#include <gtest/gtest.h>

#include <thread>

#include "fake_instrument.hpp"
#include "instrument/transport.hpp"
#include "test_support.hpp"

namespace kelvane::instrument {
namespace {

using testing::FakeInstrument;
using testing::lan;
using testing::ShortTimeouts;
using C = std::complex<double>;

const std::string kBusyMessage = "The signal generator is busy with another operation.";

// Installs a progress reporter for the scope of a test.
class ScopedReporter {
 public:
  explicit ScopedReporter(ProgressReporter r) : previous_(setProgressReporter(std::move(r))) {}
  ~ScopedReporter() { setProgressReporter(previous_); }
  ScopedReporter(const ScopedReporter&) = delete;
  ScopedReporter& operator=(const ScopedReporter&) = delete;

 private:
  ProgressReporter previous_;
};

// 4096 samples in 4096-byte chunks: a report before the first byte and after each of the four
// I/Q chunks and the marker chunk.
struct SmallDownload {
  std::vector<C> iq = std::vector<C>(4096, C(0.5, -0.25));
  std::vector<std::uint8_t> markers = std::vector<std::uint8_t>(4096, 1);
};

TEST(TransportBusy, OperationsStartedFromTheProgressReporterAreRefusedAndTheDownloadCompletes) {
  ShortTimeouts t;
  t.adjust([](auto& s) { s.chunkBytes = 4096; });
  FakeInstrument fake;
  const auto config = lan(fake.port());
  const SmallDownload w;
  std::vector<Status> inner;
  int reports = 0;
  ScopedReporter reporter([&](const DownloadProgress&) {
    ++reports;
    inner.push_back(hwio::ping(config));
    inner.push_back(hwio::send(config, ":output:state on"));
    inner.push_back(hwio::query(config, "*IDN?"));
    inner.push_back(hwio::download(config, w.iq, w.markers, "Inner"));
    inner.push_back(hwio::returnLocal(config));
  });

  const Status s = hwio::download(config, w.iq, w.markers, "Outer");
  ASSERT_EQ(s.code, status::kOk) << s.message;
  EXPECT_EQ(s.message, "Waveform \"Outer\" stored (4096 samples).");
  EXPECT_EQ(reports, 6);
  ASSERT_EQ(inner.size(), 30u);
  for (const Status& r : inner) {
    EXPECT_EQ(r.code, status::kBusy);
    EXPECT_EQ(r.message, kBusyMessage);
  }
  // Only the download reached the instrument, on its one connection.
  EXPECT_EQ(fake.commands(),
            (std::vector<std::string>{":MMEM:DATA \"WFM1:Outer\",#516384", "*OPC?",
                                      ":MMEM:DATA \"MKR1:Outer\",#44096", "*OPC?"}));
  EXPECT_EQ(fake.connections(), 1);

  // The transport is free again once the download has returned.
  setProgressReporter({});
  EXPECT_EQ(hwio::ping(config).code, status::kOk);
}

TEST(TransportBusy, AnOperationFromAnotherThreadDuringADownloadIsRefused) {
  ShortTimeouts t;
  FakeInstrument fake;
  const auto config = lan(fake.port());
  const SmallDownload w;
  std::optional<Status> other;
  ScopedReporter reporter([&](const DownloadProgress& p) {
    if (p.bytesSent != 0) return;
    // The download holds the transport until it returns: the other thread must not wait for it.
    std::thread([&] { other = hwio::query(config, "*IDN?"); }).join();
  });

  const Status s = hwio::download(config, w.iq, w.markers, "Outer");
  ASSERT_EQ(s.code, status::kOk) << s.message;
  ASSERT_TRUE(other.has_value());
  EXPECT_EQ(other->code, status::kBusy);
  EXPECT_EQ(other->message, kBusyMessage);
  EXPECT_EQ(fake.commands().size(), 4u);  // each block and its *OPC?
}

TEST(TransportBusy, TheReporterMayReplaceItselfChangeSettingsAndCloseConnections) {
  ShortTimeouts t;
  t.adjust([](auto& s) { s.chunkBytes = 4096; });
  FakeInstrument fake;
  const auto config = lan(fake.port());
  const SmallDownload w;
  std::vector<std::uint64_t> second;
  ProgressReporter follower = [&](const DownloadProgress& p) { second.push_back(p.bytesSent); };
  int first = 0;
  ScopedReporter reporter([&](const DownloadProgress&) {
    ++first;
    closeConnections();
    setTransportSettings(transportSettings());
    setProgressReporter(follower);  // replaces this reporter while it runs
  });

  const Status s = hwio::download(config, w.iq, w.markers, "Outer");
  ASSERT_EQ(s.code, status::kOk) << s.message;
  EXPECT_EQ(first, 1);
  EXPECT_EQ(second, (std::vector<std::uint64_t>{4096, 8192, 12288, 16384, 20480}));
  // The closed session served the download to its end; the next operation opens a new one.
  EXPECT_EQ(fake.connections(), 1);
  EXPECT_EQ(hwio::ping(config).code, status::kOk);
  EXPECT_EQ(fake.connections(), 2);
}

}  // namespace
}  // namespace kelvane::instrument
