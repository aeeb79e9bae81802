#include "instrument/link_fd.hpp"

#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>

namespace kelvane::instrument::link {

namespace {
// A reply longer than this is not an answer to any query the system sends.
constexpr std::size_t kMaxReplyBytes = 1 << 20;
constexpr std::size_t kReadBytes = 64 * 1024;

bool lostErrno(int e) {
  return e == EPIPE || e == ECONNRESET || e == ECONNABORTED || e == EIO || e == ENOTCONN ||
         e == ENXIO || e == ENODEV;
}
}  // namespace

std::string errorText(int e) {
  std::string s = std::strerror(e);
  if (!s.empty()) s[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(s[0])));
  return s;
}

FdLink::FdLink(int fd, std::string peer) : fd_(fd), peer_(std::move(peer)) {}

FdLink::~FdLink() {
  ::close(fd_);
}

bool FdLink::waitFor(short events, Clock::time_point deadline) {
  for (;;) {
    const auto now = Clock::now();
    if (now >= deadline) return false;
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - now);
    pollfd p{fd_, events, 0};
    const int rc = ::poll(&p, 1, static_cast<int>(std::max<long long>(1, left.count())));
    if (rc > 0) return true;  // ready, or an error condition the next call reports
    if (rc < 0 && errno != EINTR) throw LinkError(Failure::Failed, errorText(errno));
  }
}

void FdLink::write(std::span<const char> bytes, bool /*endOfMessage*/, Clock::time_point deadline) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    const long n = writeSome(bytes.data() + done, bytes.size() - done);
    if (n > 0) {
      done += static_cast<std::size_t>(n);
      if (done < bytes.size()) countPartialWrite();
      continue;
    }
    const int e = n < 0 ? errno : EAGAIN;
    if (e == EINTR) continue;
    if (e == EAGAIN || e == EWOULDBLOCK) {
      if (!waitFor(POLLOUT, deadline)) throw LinkError(Failure::Timeout, "timed out");
      continue;
    }
    throw LinkError(lostErrno(e) ? Failure::Lost : Failure::Failed, errorText(e));
  }
}

std::string FdLink::readLine(Clock::time_point deadline) {
  for (;;) {
    const auto lf = buffer_.find('\n', scanned_);
    if (lf != std::string::npos) {
      std::string line = buffer_.substr(0, lf);
      buffer_.erase(0, lf + 1);
      scanned_ = 0;
      if (!line.empty() && line.back() == '\r') line.pop_back();
      return line;
    }
    scanned_ = buffer_.size();
    if (buffer_.size() > kMaxReplyBytes)
      throw LinkError(Failure::Failed, "reply longer than 1 MiB without a line feed");
    char chunk[kReadBytes];
    const long n = readSome(chunk, sizeof chunk);
    if (n > 0) {
      buffer_.append(chunk, static_cast<std::size_t>(n));
      continue;
    }
    if (n == 0) throw LinkError(Failure::Lost, "the instrument closed the connection");
    const int e = errno;
    if (e == EINTR) continue;
    if (e == EAGAIN || e == EWOULDBLOCK) {
      if (!waitFor(POLLIN, deadline)) throw LinkError(Failure::Timeout, "timed out");
      continue;
    }
    throw LinkError(lostErrno(e) ? Failure::Lost : Failure::Failed, errorText(e));
  }
}

bool FdLink::stale() {
  pollfd p{fd_, POLLIN, 0};
  if (::poll(&p, 1, 0) <= 0) return false;
  if (p.revents & (POLLHUP | POLLERR | POLLNVAL)) return true;
  if (p.revents & POLLIN) {
    // Bytes nobody asked for (a reply that came after its time-out) would be taken for the
    // answer to the next query: drop them. End of file means the instrument closed the session.
    char chunk[kReadBytes];
    for (;;) {
      const long n = readSome(chunk, sizeof chunk);
      if (n == 0) return true;
      if (n < 0) {
        if (errno == EINTR) continue;
        if (errno == EAGAIN || errno == EWOULDBLOCK) break;
        return true;
      }
    }
    buffer_.clear();
    scanned_ = 0;
  }
  return false;
}

}  // namespace kelvane::instrument::link
