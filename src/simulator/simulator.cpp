#include "simulator/simulator.hpp"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <pty.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <list>
#include <mutex>
#include <stdexcept>
#include <system_error>
#include <thread>

#include "simulator/instrument_model.hpp"
#include "simulator/message_reader.hpp"

namespace kelvane::simulator {

namespace {

// Large reads: a 15-million-sample download is 63 MB of block data.
constexpr std::size_t kReadBuffer = 1u << 20;

[[noreturn]] void throwErrno(const std::string& what) {
  throw std::system_error(errno, std::generic_category(), what);
}

void setNonBlocking(int fd) {
  const int flags = ::fcntl(fd, F_GETFL);
  if (flags < 0 || ::fcntl(fd, F_SETFL, flags | O_NONBLOCK) < 0) throwErrno("fcntl");
}

void closeFd(int& fd) {
  if (fd >= 0) ::close(fd);
  fd = -1;
}

}  // namespace

struct Simulator::Impl {
  struct Connection {
    int fd = -1;
    std::thread thread;
    std::atomic<bool> done{false};
  };

  SimulatorOptions options;
  Instrument instrument;
  int listenFd = -1;
  int wakeFd = -1;  // an eventfd that becomes readable when the simulator stops
  int ptyMaster = -1;
  int ptySlave = -1;  // held open so the master never sees a hang-up between clients
  std::string ptyPath;
  std::uint16_t port = 0;
  bool running = false;
  std::thread acceptThread;
  std::thread ptyThread;
  std::mutex connectionsMutex;
  std::list<std::unique_ptr<Connection>> connections;

  explicit Impl(SimulatorOptions o)
      : options(std::move(o)), instrument(options.memorySamples, options.onMessage) {}

  // Waits for `events` on `fd` (or an error or hang-up there); false when stopping.
  bool wait(int fd, short events) {
    pollfd p[2] = {{fd, events, 0}, {wakeFd, POLLIN, 0}};
    int r;
    do
      r = ::poll(p, 2, -1);
    while (r < 0 && errno == EINTR);
    return r > 0 && p[1].revents == 0;
  }

  bool pause(std::chrono::milliseconds delay) {
    if (delay.count() <= 0) return true;
    pollfd p{wakeFd, POLLIN, 0};
    int r;
    do
      r = ::poll(&p, 1, static_cast<int>(delay.count()));
    while (r < 0 && errno == EINTR);
    return r == 0;
  }

  bool writeAll(int fd, std::string_view data, bool socket) {
    while (!data.empty()) {
      const long n = socket ? ::send(fd, data.data(), data.size(), MSG_NOSIGNAL)
                            : ::write(fd, data.data(), data.size());
      if (n > 0) {
        data.remove_prefix(static_cast<std::size_t>(n));
      } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) {
        if (!wait(fd, POLLOUT)) return false;
      } else {
        return false;
      }
    }
    return true;
  }

  // One client's session: reads messages, carries them out, writes the replies.
  void serve(int fd, bool socket) {
    MessageReader reader(instrument.keepLimit());
    std::vector<char> buffer(kReadBuffer);
    bool alive = true;
    const auto onMessage = [&](Message&& m) {
      if (!alive) return;
      const std::string reply = instrument.execute(std::move(m));
      if (reply.empty()) return;
      alive = pause(instrument.replyDelay()) && writeAll(fd, reply, socket);
    };
    while (alive) {
      if (!wait(fd, POLLIN)) break;
      // Only a network connection can be dropped; the pty is always there.
      const auto cut = socket ? instrument.cutAfter() : std::nullopt;
      // The bulk of a block goes straight into its place; the rest through the buffer.
      const std::span<char> room = cut ? std::span<char>() : reader.blockRoom();
      const bool direct = room.size() >= kReadBuffer / 4;
      char* const into = direct ? room.data() : buffer.data();
      const std::size_t size = direct ? room.size() : buffer.size();
      const long n = socket ? ::recv(fd, into, size, 0) : ::read(fd, into, size);
      if (n == 0) break;
      if (n < 0) {
        if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) continue;
        if (!socket && errno == EIO) {
          // No slave side open at the moment (cannot happen while we hold one): wait.
          if (!pause(std::chrono::milliseconds(50))) break;
          continue;
        }
        break;
      }
      if (direct) {
        reader.blockFilled(static_cast<std::size_t>(n));
        continue;
      }
      if (reader.feed({buffer.data(), static_cast<std::size_t>(n)}, onMessage, cut) ==
          MessageReader::Result::Cut) {
        instrument.noteCut();
        break;
      }
    }
  }

  void reap(bool all) {
    std::list<std::unique_ptr<Connection>> finished;
    {
      std::lock_guard lock(connectionsMutex);
      for (auto it = connections.begin(); it != connections.end();) {
        if (all || (*it)->done) {
          finished.push_back(std::move(*it));
          it = connections.erase(it);
        } else {
          ++it;
        }
      }
    }
    for (auto& c : finished)
      c->thread.join();
  }

  void acceptLoop() {
    while (wait(listenFd, POLLIN)) {
      reap(false);
      const int fd = ::accept4(listenFd, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
      if (fd < 0) continue;
      const int one = 1;
      ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
      auto c = std::make_unique<Connection>();
      c->fd = fd;
      Connection* raw = c.get();
      instrument.noteConnectionOpened();
      raw->thread = std::thread([this, raw] {
        serve(raw->fd, true);
        ::close(raw->fd);
        instrument.noteConnectionClosed();
        raw->done = true;
      });
      std::lock_guard lock(connectionsMutex);
      connections.push_back(std::move(c));
    }
  }

  void openListener() {
    listenFd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (listenFd < 0) throwErrno("socket");
    const int one = 1;
    ::setsockopt(listenFd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(options.port);
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::bind(listenFd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) < 0)
      throwErrno("bind 127.0.0.1:" + std::to_string(options.port));
    if (::listen(listenFd, 16) < 0) throwErrno("listen");
    socklen_t len = sizeof addr;
    if (::getsockname(listenFd, reinterpret_cast<sockaddr*>(&addr), &len) < 0)
      throwErrno("getsockname");
    port = ntohs(addr.sin_port);
  }

  void openPseudoTerminal() {
    termios raw{};
    ::cfmakeraw(&raw);
    raw.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY);
    raw.c_cflag |= CREAD | CLOCAL;
    raw.c_cc[VMIN] = 1;
    raw.c_cc[VTIME] = 0;
    char name[256] = {};
    if (::openpty(&ptyMaster, &ptySlave, name, &raw, nullptr) < 0) throwErrno("openpty");
    ::fcntl(ptyMaster, F_SETFD, FD_CLOEXEC);
    ::fcntl(ptySlave, F_SETFD, FD_CLOEXEC);
    setNonBlocking(ptyMaster);
    ptyPath = name;
  }

  void closeAll() {
    closeFd(listenFd);
    closeFd(ptyMaster);
    closeFd(ptySlave);
    closeFd(wakeFd);
  }
};

Simulator::Simulator(SimulatorOptions options)
    : impl_(std::make_unique<Impl>(std::move(options))) {}

Simulator::~Simulator() {
  stop();
}

void Simulator::start() {
  Impl& s = *impl_;
  if (s.running) throw std::logic_error("the simulator is already running");
  try {
    s.wakeFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (s.wakeFd < 0) throwErrno("eventfd");
    s.openListener();
    if (s.options.pseudoTerminal) s.openPseudoTerminal();
  } catch (...) {
    s.closeAll();
    throw;
  }
  s.running = true;
  s.acceptThread = std::thread([&s] { s.acceptLoop(); });
  if (s.ptyMaster >= 0) s.ptyThread = std::thread([&s] { s.serve(s.ptyMaster, false); });
}

void Simulator::stop() {
  Impl& s = *impl_;
  if (!s.running) return;
  const std::uint64_t one = 1;
  while (::write(s.wakeFd, &one, sizeof one) < 0 && errno == EINTR) {
  }
  s.acceptThread.join();
  if (s.ptyThread.joinable()) s.ptyThread.join();
  s.reap(true);
  s.closeAll();
  s.running = false;
}

std::uint16_t Simulator::port() const {
  return impl_->port;
}

std::string Simulator::pseudoTerminalPath() const {
  return impl_->ptyPath;
}

void Simulator::setFaults(Faults faults) {
  impl_->instrument.setFaults(std::move(faults));
}

Faults Simulator::faults() const {
  return impl_->instrument.faults();
}

nlohmann::json Simulator::state() const {
  return impl_->instrument.state();
}

std::optional<std::vector<std::int16_t>> Simulator::waveformWords(const std::string& name) const {
  return impl_->instrument.waveformWords(name);
}

std::optional<std::vector<std::uint8_t>> Simulator::markerBytes(const std::string& name) const {
  return impl_->instrument.markerBytes(name);
}

}  // namespace kelvane::simulator
