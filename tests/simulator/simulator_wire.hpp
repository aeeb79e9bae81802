// Raw-socket and raw-byte helpers of the simulator tests: they talk to the simulated signal
// generator at the wire, without the instrument transport.
#pragma once

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace kelvane::simulator::wire {

using namespace std::chrono_literals;

// Guards every wait of a test against a hang; never a measured time.
inline constexpr std::chrono::milliseconds kGuard = 5s;

// "#<d><len>" followed by the bytes: an IEEE 488.2 definite-length block.
inline std::string block(std::string_view bytes) {
  const std::string len = std::to_string(bytes.size());
  return "#" + std::to_string(len.size()) + len + std::string(bytes);
}

// Words I1 Q1 I2 Q2 ... as big-endian bytes, the download's sample format.
inline std::string bigEndian(const std::vector<std::int16_t>& words) {
  std::string out;
  out.reserve(2 * words.size());
  for (std::int16_t w : words) {
    const auto u = static_cast<std::uint16_t>(w);
    out.push_back(static_cast<char>(u >> 8));
    out.push_back(static_cast<char>(u & 0xFF));
  }
  return out;
}

// Words whose bytes include line feeds, XON (0x11), XOFF (0x13), CR, NUL and '#'.
inline std::vector<std::int16_t> awkwardWords(std::size_t samples) {
  static constexpr std::int16_t pattern[] = {0x0A0A, 0x1113, 0x000A, 0x0D0A, 0x2331,
                                             -32767, 32767,  0,      0x0A00, -2};
  std::vector<std::int16_t> w(2 * samples);
  for (std::size_t i = 0; i < w.size(); ++i)
    w[i] = static_cast<std::int16_t>(pattern[i % 10] ^ static_cast<std::int16_t>((i / 10) & 0x7));
  return w;
}

// A byte-stream client over a file descriptor: a TCP socket or a terminal.
class FdClient {
 public:
  explicit FdClient(int fd) : fd_(fd) {}
  ~FdClient() {
    if (fd_ >= 0) ::close(fd_);
  }
  FdClient(const FdClient&) = delete;
  FdClient& operator=(const FdClient&) = delete;

  int fd() const { return fd_; }

  // Writes every byte (a partial write is continued); false when the peer is gone.
  bool trySend(std::string_view bytes) {
    while (!bytes.empty()) {
      long n = ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
      if (n < 0 && errno == ENOTSOCK) n = ::write(fd_, bytes.data(), bytes.size());
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) return false;
      bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
  }
  void send(std::string_view bytes) {
    if (!trySend(bytes)) throw std::runtime_error("write failed: " + std::to_string(errno));
  }
  void command(std::string_view text) { send(std::string(text) + "\n"); }

  // One reply line without its line feed; empty with a test failure when none comes.
  std::string readLine(std::chrono::milliseconds guard = kGuard) {
    const auto deadline = std::chrono::steady_clock::now() + guard;
    for (;;) {
      if (const auto lf = buffer_.find('\n'); lf != std::string::npos) {
        std::string line = buffer_.substr(0, lf);
        buffer_.erase(0, lf + 1);
        return line;
      }
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
          deadline - std::chrono::steady_clock::now());
      if (left.count() <= 0 || !readSome(static_cast<int>(left.count()))) {
        ADD_FAILURE() << "no reply line; received so far: " << buffer_;
        return {};
      }
    }
  }

  std::string query(std::string_view text) {
    command(text);
    return readLine();
  }

  // True when a byte can be read within `waitMs` milliseconds (or the peer closed).
  bool readable(int waitMs) {
    if (!buffer_.empty()) return true;
    pollfd p{fd_, POLLIN, 0};
    return ::poll(&p, 1, waitMs) > 0;
  }

  // True when the peer closes the connection (end of file or reset) within the guard.
  bool closedByPeer() {
    const auto deadline = std::chrono::steady_clock::now() + kGuard;
    char buf[4096];
    while (std::chrono::steady_clock::now() < deadline) {
      pollfd p{fd_, POLLIN, 0};
      if (::poll(&p, 1, 100) <= 0) continue;
      const long n = ::read(fd_, buf, sizeof buf);
      if (n == 0 || (n < 0 && errno != EINTR && errno != EAGAIN)) return true;
    }
    return false;
  }

  // Every queued error, asked for with :SYST:ERR? until it answers 0.
  std::vector<std::string> errors() {
    std::vector<std::string> out;
    for (int i = 0; i < 40; ++i) {
      const std::string e = query(":SYST:ERR?");
      if (e.empty() || e.starts_with("+0") || e.starts_with("0")) return out;
      out.push_back(e);
    }
    ADD_FAILURE() << "the error queue never answered 0";
    return out;
  }

 protected:
  bool readSome(int waitMs) {
    pollfd p{fd_, POLLIN, 0};
    if (::poll(&p, 1, waitMs) <= 0) return false;
    char buf[65536];
    const long n = ::read(fd_, buf, sizeof buf);
    if (n <= 0) return false;
    buffer_.append(buf, static_cast<std::size_t>(n));
    return true;
  }

  int fd_;
  std::string buffer_;
};

inline int connectLoopback(std::uint16_t port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) throw std::runtime_error("socket failed");
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(port);
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) < 0) {
    ::close(fd);
    throw std::runtime_error("connect to 127.0.0.1:" + std::to_string(port) + " failed");
  }
  const int one = 1;
  ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
  return fd;
}

class TcpClient : public FdClient {
 public:
  explicit TcpClient(std::uint16_t port) : FdClient(connectLoopback(port)) {}
};

}  // namespace kelvane::simulator::wire
