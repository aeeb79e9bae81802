// SCPI over a serial port (POSIX termios): raw 8N1 at the configured speed with XON/XOFF
// output pacing or RTS/CTS hardware pacing.
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <strings.h>
#include <algorithm>
#include <array>
#include <cerrno>
#include <utility>

#include "instrument/link_fd.hpp"

namespace kelvane::instrument::link {

namespace {

// {bit/s, termios speed}
constexpr std::array<std::pair<int, speed_t>, 24> kSpeeds = {{
    {50, B50},         {75, B75},         {110, B110},         {134, B134},
    {150, B150},       {200, B200},       {300, B300},         {600, B600},
    {1200, B1200},     {1800, B1800},     {2400, B2400},       {4800, B4800},
    {9600, B9600},     {19200, B19200},   {38400, B38400},     {57600, B57600},
    {115200, B115200}, {230400, B230400}, {460800, B460800},   {500000, B500000},
    {576000, B576000}, {921600, B921600}, {1000000, B1000000}, {2000000, B2000000},
}};

class SerialLink : public FdLink {
 public:
  SerialLink(int fd, std::string device, int baudrate)
      : FdLink(fd, std::move(device)), baudrate_(baudrate) {}

  // Ten bit times a byte (start, 8 data, stop), halved for pacing pauses.
  double minimumBytesPerSecond() const override { return baudrate_ / 10.0 / 2.0; }
  std::size_t preferredChunkBytes(std::size_t configured) const override {
    return std::clamp<std::size_t>(static_cast<std::size_t>(baudrate_ / 10), 64, configured);
  }

 protected:
  long writeSome(const char* data, std::size_t size) override { return ::write(fd(), data, size); }
  long readSome(char* data, std::size_t size) override { return ::read(fd(), data, size); }

 private:
  int baudrate_;
};

}  // namespace

std::unique_ptr<Link> openSerial(const std::string& device, int baudrate,
                                 std::string_view handshake) {
  const auto speed = std::find_if(kSpeeds.begin(), kSpeeds.end(),
                                  [&](const auto& s) { return s.first == baudrate; });
  if (speed == kSpeeds.end())
    throw LinkError(Failure::Failed, std::to_string(baudrate) + " bit/s is not a serial speed");

  const int fd = ::open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) throw LinkError(Failure::Failed, errorText(errno));
  auto fail = [&](const std::string& what) {
    const int e = errno;
    ::close(fd);
    throw LinkError(Failure::Failed, what + errorText(e));
  };
  if (!::isatty(fd)) {
    ::close(fd);
    throw LinkError(Failure::Failed, "not a serial device");
  }

  termios t{};
  if (::tcgetattr(fd, &t) != 0) fail("");
  ::cfmakeraw(&t);
  t.c_cflag &= ~(CSIZE | PARENB | CSTOPB | CRTSCTS);
  t.c_cflag |= CS8 | CREAD | CLOCAL;
  // The instrument paces our output with XON/XOFF; we never send pacing characters ourselves
  // (no IXOFF), so a reply is read whole and binary block bytes are never taken for pacing.
  t.c_iflag &= ~(IXON | IXOFF | IXANY);
  const auto hs = std::string(handshake);
  if (::strcasecmp(hs.c_str(), "Xon/Xoff") == 0) {
    t.c_iflag |= IXON;
  } else if (::strcasecmp(hs.c_str(), "RTS/CTS") == 0) {
    t.c_cflag |= CRTSCTS;
  }
  // VMIN 1 makes a read without data fail with EAGAIN (the descriptor is non-blocking), so
  // that a read of 0 bytes means a hang-up, as on a socket.
  t.c_cc[VMIN] = 1;
  t.c_cc[VTIME] = 0;
  if (::cfsetispeed(&t, speed->second) != 0 || ::cfsetospeed(&t, speed->second) != 0) fail("");
  if (::tcsetattr(fd, TCSANOW, &t) != 0) fail("");
  // tcsetattr succeeds when any one change took: read back what the driver accepted.
  termios check{};
  if (::tcgetattr(fd, &check) != 0) fail("");
  if (::cfgetospeed(&check) != speed->second) {
    ::close(fd);
    throw LinkError(Failure::Failed,
                    "the port does not support " + std::to_string(baudrate) + " bit/s");
  }
  ::tcflush(fd, TCIOFLUSH);  // stale bytes of an earlier session
  return std::make_unique<SerialLink>(fd, device, baudrate);
}

}  // namespace kelvane::instrument::link
