// Shared helpers of the instrument tests: short transport time-outs and connection records.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "instrument/records.hpp"
#include "instrument/transport.hpp"

namespace kelvane::testing {

// The short time-out of the tests that expect one to pass.
inline constexpr std::chrono::milliseconds kShortTimeout{400};

// Time-outs for the scope of a test: 2 s by default (the real ones are 5 s and 10 s; a busy
// machine still answers within 2 s), kShortTimeout where a test waits one out. Every connection
// is closed before and after, so that tests do not share sessions.
class ShortTimeouts {
 public:
  explicit ShortTimeouts(std::chrono::milliseconds reply = std::chrono::milliseconds(2000),
                         std::chrono::milliseconds connect = std::chrono::milliseconds(2000))
      : saved_(instrument::transportSettings()) {
    instrument::closeConnections();
    auto s = saved_;
    s.replyTimeout = reply;
    s.connectTimeout = connect;
    instrument::setTransportSettings(s);
  }
  ~ShortTimeouts() {
    instrument::closeConnections();
    instrument::setTransportSettings(saved_);
  }
  ShortTimeouts(const ShortTimeouts&) = delete;
  ShortTimeouts& operator=(const ShortTimeouts&) = delete;

  // Changes one setting for the rest of the scope.
  template <class F>
  void adjust(F f) {
    auto s = instrument::transportSettings();
    f(s);
    instrument::setTransportSettings(s);
  }

 private:
  instrument::TransportSettings saved_;
};

inline instrument::Configuration lan(std::uint16_t port, std::string host = "127.0.0.1") {
  instrument::Configuration c;
  c.type = "TCPIP";
  c.TCPIP.address = host + ":" + std::to_string(port);
  return c;
}

// Big-endian signed 16-bit words of a block.
inline std::vector<std::int16_t> words(const std::string& block) {
  std::vector<std::int16_t> w(block.size() / 2);
  for (std::size_t i = 0; i < w.size(); ++i)
    w[i] = static_cast<std::int16_t>((static_cast<unsigned char>(block[2 * i]) << 8) |
                                     static_cast<unsigned char>(block[2 * i + 1]));
  return w;
}

}  // namespace kelvane::testing
