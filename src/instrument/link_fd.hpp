// A link over a non-blocking file descriptor (a TCP socket or a serial port): line-buffered
// replies, writes that loop until every byte is out, every wait bounded by poll.
#pragma once

#include <string>

#include "instrument/link.hpp"

namespace kelvane::instrument::link {

class FdLink : public Link {
 public:
  FdLink(int fd, std::string peer);
  ~FdLink() override;
  FdLink(const FdLink&) = delete;
  FdLink& operator=(const FdLink&) = delete;

  void write(std::span<const char> bytes, bool endOfMessage, Clock::time_point deadline) override;
  std::string readLine(Clock::time_point deadline) override;
  bool stale() override;
  const std::string& peer() const override { return peer_; }

 protected:
  int fd() const { return fd_; }
  // One non-blocking write or read; -1 with errno as the system call sets it.
  virtual long writeSome(const char* data, std::size_t size) = 0;
  virtual long readSome(char* data, std::size_t size) = 0;

 private:
  int fd_;
  std::string peer_;
  std::string buffer_;       // bytes received and not yet returned
  std::size_t scanned_ = 0;  // buffer_[0, scanned_) holds no LF

  // Waits for `events` until `deadline`; false when the deadline passed.
  bool waitFor(short events, Clock::time_point deadline);
};

// The text of errno `e`, in lower case: "connection refused".
std::string errorText(int e);

}  // namespace kelvane::instrument::link
