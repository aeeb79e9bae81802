// The byte links under the SCPI transport: a TCP socket, a serial port and a GPIB device. Each
// carries LF-terminated messages and binary blocks, bounds every wait by a deadline and reports
// failures as LinkError. Internal to the instrument library.
#pragma once

#include <chrono>
#include <memory>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>

namespace kelvane::instrument::link {

using Clock = std::chrono::steady_clock;

enum class Failure {
  Timeout,      // the deadline passed
  Lost,         // the peer closed or reset the connection
  Failed,       // anything else (bad address, device error)
  Unavailable,  // the bus library is not installed; the detail is the whole message
};

// `what()` is a short detail ("connection refused", "no reply within 10 s"); the transport puts
// it into a message fit for an error box.
class LinkError : public std::runtime_error {
 public:
  LinkError(Failure kind, const std::string& detail) : std::runtime_error(detail), kind_(kind) {}
  Failure kind() const { return kind_; }

 private:
  Failure kind_;
};

class Link {
 public:
  virtual ~Link() = default;

  // Writes every byte by `deadline`. `endOfMessage` false tells a message bus that more of the
  // same message follows (GPIB asserts EOI only on the last byte of a message).
  virtual void write(std::span<const char> bytes, bool endOfMessage,
                     Clock::time_point deadline) = 0;
  // One reply line without its terminator (LF, and a CR before it), by `deadline`.
  virtual std::string readLine(Clock::time_point deadline) = 0;
  // True when the link is known dead before it is used (the peer closed it after a reset).
  virtual bool stale() { return false; }
  // Puts the instrument back under front-panel control where the bus has a way to.
  virtual void goToLocal() {}
  // The slowest rate a healthy link carries bulk data at, for scaling download time-outs.
  virtual double minimumBytesPerSecond() const = 0;
  // The largest piece of a block written at once, so progress is reported about once a second.
  virtual std::size_t preferredChunkBytes(std::size_t configured) const { return configured; }
  // The peer, for messages: "192.168.0.20:5025", "/dev/ttyS0", "GPIB0::19".
  virtual const std::string& peer() const = 0;
};

// Counters shared by the links, for diagnostics and tests.
void countPartialWrite();

// A TCP connection to host:port. Tries up to `attempts` times within `connectTimeout`.
std::unique_ptr<Link> openTcp(const std::string& host, std::uint16_t port,
                              std::chrono::milliseconds connectTimeout, int attempts,
                              double minimumBytesPerSecond);

// A serial port at `baudrate`, 8N1, handshake "Xon/Xoff" (IXON), "RTS/CTS" (CRTSCTS) or none.
std::unique_ptr<Link> openSerial(const std::string& device, int baudrate,
                                 std::string_view handshake);

// A GPIB device through linux-gpib loaded from `library` (board, primary address, secondary
// address or -1 for none). `replyTimeout` chooses the bus time-out of each transfer.
std::unique_ptr<Link> openGpib(const std::string& library, int board, int primary, int secondary,
                               std::chrono::milliseconds replyTimeout,
                               double minimumBytesPerSecond);

// "2.5 s", "10 s", "0.2 s".
std::string seconds(std::chrono::milliseconds ms);

}  // namespace kelvane::instrument::link
