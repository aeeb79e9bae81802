// A small scripted SCPI instrument for transport tests: serves one TCP connection at a time on
// 127.0.0.1 (or a pseudo-terminal master), records every message with its definite-length
// blocks, answers the queries the transport sends, and injects the faults the transport must
// survive. Header-only so that the by-name tests can use it too.
#pragma once

#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <map>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace kelvane::testing {

struct FakeMessage {
  std::string text;                 // the message with each block's bytes left out (not its header)
  std::vector<std::string> blocks;  // the bytes of each definite-length block
};

class FakeInstrument {
 public:
  struct Behaviour {
    std::string idn = "Kelvane,FakeQ7710K,0,1.0";
    std::string arbState = "0";                  // reply to :SOUR:RAD:ARB:STATe?
    std::map<std::string, std::string> replies;  // further queries
    std::string failPattern;                     // a message containing it queues failError
    std::string failError = "-222,\"Data out of range\"";
    bool silent = false;                             // never answer
    std::optional<std::size_t> dropAfterBlockBytes;  // close after N bytes of a block
    bool closeOnNextMessage = false;                 // close after the next message, unanswered
    std::size_t readBytes = 256 * 1024;              // largest read
    int receiveBuffer = 0;                           // SO_RCVBUF of accepted sockets (0: system)
    // A pause once the first block's header is in, before any of its bytes are read: whatever
    // came before (queries and their replies), the client's buffers then fill with the block.
    std::chrono::milliseconds firstBlockPause{0};
  };

  // Listens on 127.0.0.1 with a free port.
  FakeInstrument() {
    listen_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const int one = 1;
    ::setsockopt(listen_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::bind(listen_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || ::listen(listen_, 4))
      throw std::runtime_error("fake instrument: cannot listen");
    socklen_t len = sizeof a;
    ::getsockname(listen_, reinterpret_cast<sockaddr*>(&a), &len);
    port_ = ntohs(a.sin_port);
    start();
  }

  // Serves the master side `fd` of a pseudo-terminal (not owned).
  explicit FakeInstrument(int ptyMaster) : ptyMaster_(ptyMaster) { start(); }

  ~FakeInstrument() {
    stop_ = true;
    wake();
    thread_.join();
    if (listen_ >= 0) ::close(listen_);
    if (conn_ >= 0 && conn_ != ptyMaster_) ::close(conn_);
    ::close(wake_[0]);
    ::close(wake_[1]);
  }

  std::uint16_t port() const { return port_; }

  void setBehaviour(Behaviour b) {
    std::lock_guard lock(m_);
    b_ = std::move(b);
  }
  template <class F>
  void change(F f) {
    std::lock_guard lock(m_);
    f(b_);
  }

  std::vector<FakeMessage> messages() const {
    std::lock_guard lock(m_);
    return messages_;
  }
  // The message texts without the error queries the transport adds after each command.
  std::vector<std::string> commands() const {
    std::vector<std::string> out;
    for (const auto& m : messages())
      if (m.text != ":SYST:ERR?") out.push_back(m.text);
    return out;
  }
  void clear() {
    std::lock_guard lock(m_);
    messages_.clear();
  }
  int connections() const { return connections_; }

  // Closes the open connection as an instrument reset does, and returns once it is closed.
  void dropConnection() {
    std::unique_lock lock(m_);
    dropRequested_ = true;
    wake();
    cv_.wait(lock, [&] { return !dropRequested_; });
  }

 private:
  mutable std::mutex m_;
  std::condition_variable cv_;
  Behaviour b_;
  std::vector<FakeMessage> messages_;
  std::deque<std::string> errors_;
  std::atomic<int> connections_{0};
  std::atomic<bool> stop_{false};
  bool dropRequested_ = false;
  int listen_ = -1;
  int ptyMaster_ = -1;
  int conn_ = -1;
  int wake_[2] = {-1, -1};
  std::uint16_t port_ = 0;
  std::thread thread_;

  // Parser state of the current connection.
  enum class In { Text, Digits, Length, Block };
  In in_ = In::Text;
  bool quoted_ = false;
  std::size_t digits_ = 0;
  std::string lengthText_;
  std::size_t blockLeft_ = 0;
  bool blockPaused_ = false;  // the first block's pause was taken
  FakeMessage current_;

  void start() {
    if (::pipe2(wake_, O_CLOEXEC | O_NONBLOCK) != 0) throw std::runtime_error("pipe");
    if (ptyMaster_ >= 0) conn_ = ptyMaster_;
    thread_ = std::thread([this] { serve(); });
  }

  void wake() {
    const char c = 1;
    [[maybe_unused]] auto n = ::write(wake_[1], &c, 1);
  }

  void closeConnection() {
    if (conn_ >= 0 && conn_ != ptyMaster_) ::close(conn_);
    conn_ = ptyMaster_ >= 0 ? ptyMaster_ : -1;
    in_ = In::Text;
    quoted_ = false;
    current_ = {};
  }

  void serve() {
    std::vector<char> buf;
    while (!stop_) {
      pollfd p[2] = {{wake_[0], POLLIN, 0}, {conn_ >= 0 ? conn_ : listen_, POLLIN, 0}};
      if (::poll(p, 2, 1000) <= 0) continue;
      if (p[0].revents & POLLIN) {
        char drain[64];
        while (::read(wake_[0], drain, sizeof drain) > 0) {
        }
        std::lock_guard lock(m_);
        if (dropRequested_) {
          if (ptyMaster_ < 0) closeConnection();
          dropRequested_ = false;
          cv_.notify_all();
        }
        continue;
      }
      if (conn_ < 0) {
        conn_ = ::accept4(listen_, nullptr, nullptr, SOCK_CLOEXEC);
        if (conn_ >= 0) {
          ++connections_;
          std::lock_guard lock(m_);
          if (b_.receiveBuffer > 0)
            ::setsockopt(conn_, SOL_SOCKET, SO_RCVBUF, &b_.receiveBuffer, sizeof b_.receiveBuffer);
        }
        continue;
      }
      std::size_t want;
      {
        std::lock_guard lock(m_);
        want = b_.readBytes;
      }
      buf.resize(want);
      const long n = ::read(conn_, buf.data(), buf.size());
      if (n <= 0) {
        if (ptyMaster_ >= 0) {
          std::this_thread::sleep_for(std::chrono::milliseconds(5));
          continue;
        }
        closeConnection();
        continue;
      }
      for (long i = 0; i < n && conn_ >= 0;) {
        if (in_ == In::Block) {
          if (!blockPaused_) {
            blockPaused_ = true;
            std::chrono::milliseconds pause;
            {
              std::lock_guard lock(m_);
              pause = b_.firstBlockPause;
            }
            std::this_thread::sleep_for(pause);
          }
          i += static_cast<long>(takeBlock(buf.data() + i, static_cast<std::size_t>(n - i)));
        } else {
          consume(buf[i++]);
        }
      }
    }
  }

  void consume(char c) {
    switch (in_) {
      case In::Text:
        if (c == '\n' && !quoted_) {
          finish();
          return;
        }
        if (c == '"') quoted_ = !quoted_;
        if (c == '#' && !quoted_) {
          in_ = In::Digits;
          return;
        }
        current_.text += c;
        return;
      case In::Digits:
        digits_ = static_cast<std::size_t>(c - '0');
        lengthText_.clear();
        in_ = In::Length;
        return;
      case In::Length:
        lengthText_ += c;
        if (lengthText_.size() == digits_) {
          blockLeft_ = std::stoul(lengthText_);
          current_.text += "#" + std::to_string(digits_) + lengthText_;
          current_.blocks.emplace_back();
          in_ = blockLeft_ ? In::Block : In::Text;
        }
        return;
      case In::Block:
        return;
    }
  }

  // Takes block bytes in bulk; returns how many were taken.
  std::size_t takeBlock(const char* p, std::size_t n) {
    std::size_t take = std::min(n, blockLeft_);
    std::lock_guard lock(m_);
    auto& block = current_.blocks.back();
    if (b_.dropAfterBlockBytes) take = std::min(take, *b_.dropAfterBlockBytes - block.size());
    block.append(p, take);
    blockLeft_ -= take;
    if (b_.dropAfterBlockBytes && block.size() >= *b_.dropAfterBlockBytes) {
      b_.dropAfterBlockBytes.reset();
      messages_.push_back(current_);
      closeConnection();
      return take;
    }
    if (blockLeft_ == 0) in_ = In::Text;
    return take;
  }

  void finish() {
    FakeMessage msg = std::move(current_);
    current_ = {};
    quoted_ = false;
    std::string reply;
    bool answer = false;
    {
      std::lock_guard lock(m_);
      messages_.push_back(msg);
      if (b_.closeOnNextMessage) {
        b_.closeOnNextMessage = false;
        closeConnection();
        return;
      }
      if (!b_.failPattern.empty() && msg.text.find(b_.failPattern) != std::string::npos)
        errors_.push_back(b_.failError);
      const std::string& t = msg.text;
      if (!t.empty() && t.back() == '?') {
        answer = !b_.silent;
        if (t == ":SYST:ERR?") {
          reply = errors_.empty() ? "+0,\"No error\"" : errors_.front();
          if (!errors_.empty()) errors_.pop_front();
        } else if (t == "*IDN?") {
          reply = b_.idn;
        } else if (t == "*OPC?") {
          reply = "1";
        } else if (t == ":SOUR:RAD:ARB:STATe?") {
          reply = b_.arbState;
        } else if (auto it = b_.replies.find(t); it != b_.replies.end()) {
          reply = it->second;
        } else {
          reply = "0";
        }
      }
    }
    if (answer) {
      reply += '\n';
      std::size_t done = 0;
      while (done < reply.size()) {
        const long n = ::write(conn_, reply.data() + done, reply.size() - done);
        if (n <= 0) break;
        done += static_cast<std::size_t>(n);
      }
    }
  }
};

}  // namespace kelvane::testing
