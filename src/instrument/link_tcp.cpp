// SCPI over a raw TCP socket (the instrument's LAN port).
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <thread>
#include <vector>

#include "instrument/link_fd.hpp"

namespace kelvane::instrument::link {

namespace {

class TcpLink : public FdLink {
 public:
  TcpLink(int fd, std::string peer, double rate) : FdLink(fd, std::move(peer)), rate_(rate) {}
  double minimumBytesPerSecond() const override { return rate_; }

 protected:
  long writeSome(const char* data, std::size_t size) override {
    return ::send(fd(), data, size, MSG_NOSIGNAL | MSG_DONTWAIT);
  }
  long readSome(char* data, std::size_t size) override {
    return ::recv(fd(), data, size, MSG_DONTWAIT);
  }

 private:
  double rate_;
};

struct Address {
  int family;
  int socktype;
  int protocol;
  sockaddr_storage addr;
  socklen_t len;
};

std::vector<Address> collect(addrinfo* res) {
  std::vector<Address> out;
  for (addrinfo* a = res; a; a = a->ai_next) {
    Address x{a->ai_family, a->ai_socktype, a->ai_protocol, {}, 0};
    std::memcpy(&x.addr, a->ai_addr, a->ai_addrlen);
    x.len = a->ai_addrlen;
    out.push_back(x);
  }
  return out;
}

// Name resolution bounded by `deadline`: the resolver has no time-out of its own, so a host
// name is looked up on a helper thread that is abandoned when the deadline passes.
std::vector<Address> resolve(const std::string& host, std::uint16_t port,
                             Clock::time_point deadline) {
  addrinfo hints{};
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_family = AF_UNSPEC;
  const std::string service = std::to_string(port);

  hints.ai_flags = AI_NUMERICHOST | AI_NUMERICSERV;
  addrinfo* res = nullptr;
  if (::getaddrinfo(host.c_str(), service.c_str(), &hints, &res) == 0) {
    auto out = collect(res);
    ::freeaddrinfo(res);
    return out;
  }

  struct Lookup {
    std::mutex m;
    std::condition_variable cv;
    bool done = false;
    int rc = 0;
    std::vector<Address> addresses;
  };
  auto lookup = std::make_shared<Lookup>();
  hints.ai_flags = AI_NUMERICSERV | AI_ADDRCONFIG;
  std::thread([lookup, host, service, hints] {
    addrinfo* r = nullptr;
    const int rc = ::getaddrinfo(host.c_str(), service.c_str(), &hints, &r);
    std::vector<Address> found;
    if (rc == 0) {
      found = collect(r);
      ::freeaddrinfo(r);
    }
    std::lock_guard lock(lookup->m);
    lookup->rc = rc;
    lookup->addresses = std::move(found);
    lookup->done = true;
    lookup->cv.notify_all();
  }).detach();
  std::unique_lock lock(lookup->m);
  if (!lookup->cv.wait_until(lock, deadline, [&] { return lookup->done; }))
    throw LinkError(Failure::Timeout,
                    "the host name \"" + host + "\" could not be resolved in time");
  if (lookup->rc != 0)
    throw LinkError(Failure::Failed,
                    "unknown host \"" + host + "\" (" + ::gai_strerror(lookup->rc) + ")");
  return lookup->addresses;
}

// One connection attempt; returns the socket, or -1 with `error` set (0 for the deadline).
int connectOnce(const Address& a, Clock::time_point deadline, int& error) {
  const int fd = ::socket(a.family, a.socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, a.protocol);
  if (fd < 0) {
    error = errno;
    return -1;
  }
  if (::connect(fd, reinterpret_cast<const sockaddr*>(&a.addr), a.len) == 0) return fd;
  if (errno != EINPROGRESS) {
    error = errno;
    ::close(fd);
    return -1;
  }
  for (;;) {
    const auto now = Clock::now();
    if (now >= deadline) break;
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - now);
    pollfd p{fd, POLLOUT, 0};
    const int rc = ::poll(&p, 1, static_cast<int>(std::max<long long>(1, left.count())));
    if (rc < 0 && errno == EINTR) continue;
    if (rc <= 0) break;
    int soError = 0;
    socklen_t len = sizeof soError;
    ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &soError, &len);
    if (soError == 0) return fd;
    error = soError;
    ::close(fd);
    return -1;
  }
  error = 0;
  ::close(fd);
  return -1;
}

}  // namespace

std::unique_ptr<Link> openTcp(const std::string& host, std::uint16_t port,
                              std::chrono::milliseconds connectTimeout, int attempts,
                              double minimumBytesPerSecond) {
  const auto deadline = Clock::now() + connectTimeout;
  const auto addresses = resolve(host, port, deadline);
  const std::string peer =
      (host.find(':') != std::string::npos ? "[" + host + "]" : host) + ":" + std::to_string(port);
  int lastError = ECONNREFUSED;
  for (int attempt = 1; attempt <= std::max(1, attempts); ++attempt) {
    for (const auto& a : addresses) {
      int error = 0;
      const int fd = connectOnce(a, deadline, error);
      if (fd >= 0) {
        const int one = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        ::setsockopt(fd, SOL_SOCKET, SO_KEEPALIVE, &one, sizeof one);
        return std::make_unique<TcpLink>(fd, peer, minimumBytesPerSecond);
      }
      if (error == 0)
        throw LinkError(Failure::Timeout, "no answer within " + seconds(connectTimeout));
      lastError = error;
    }
    // A refused connection is retried after a short pause: an instrument that is resetting
    // listens again within a moment.
    const auto pause = std::chrono::milliseconds(100 * attempt);
    if (attempt == attempts || Clock::now() + pause >= deadline) break;
    std::this_thread::sleep_for(pause);
  }
  throw LinkError(Failure::Failed, errorText(lastError));
}

}  // namespace kelvane::instrument::link
