// SCPI over GPIB through linux-gpib's user library, loaded at run time so that the program runs
// without it on machines that reach the instrument another way.
#include <dlfcn.h>

#include <array>
#include <cstring>
#include <map>
#include <mutex>

#include "instrument/link.hpp"

namespace kelvane::instrument::link {

namespace {

// ibsta bits.
constexpr int kErr = 0x8000;
constexpr int kTimo = 0x4000;
constexpr int kEnd = 0x2000;

// The bus time-out codes of ibdev: {code, seconds}.
constexpr std::array<std::pair<int, double>, 17> kTimeouts = {{
    {1, 10e-6},
    {2, 30e-6},
    {3, 100e-6},
    {4, 300e-6},
    {5, 1e-3},
    {6, 3e-3},
    {7, 10e-3},
    {8, 30e-3},
    {9, 100e-3},
    {10, 300e-3},
    {11, 1},
    {12, 3},
    {13, 10},
    {14, 30},
    {15, 100},
    {16, 300},
    {17, 1000},
}};

int timeoutCode(std::chrono::milliseconds t) {
  const double s = t.count() / 1000.0;
  for (const auto& [code, limit] : kTimeouts)
    if (limit >= s) return code;
  return 17;
}

// iberr texts for the errors an operator can act on.
std::string errorName(int iberr) {
  switch (iberr) {
    case 0:
      return "system error (is the GPIB driver loaded?)";
    case 1:
      return "the board is not the controller in charge";
    case 2:
      return "no listener on the bus (is the instrument on and at this address?)";
    case 3:
      return "the board is not addressed correctly";
    case 4:
      return "invalid argument";
    case 6:
      return "the transfer was aborted (time-out)";
    case 7:
      return "no GPIB board at this index";
    case 14:
      return "bus error";
    default:
      return "GPIB error " + std::to_string(iberr);
  }
}

struct Api {
  int (*ibdev)(int, int, int, int, int, int) = nullptr;
  int (*ibwrt)(int, const void*, long) = nullptr;
  int (*ibrd)(int, void*, long) = nullptr;
  int (*ibloc)(int) = nullptr;
  int (*ibonl)(int, int) = nullptr;
  int (*ibeot)(int, int) = nullptr;  // optional
  long (*threadIbcntl)() = nullptr;  // optional: the thread's count, else the global
  int (*threadIberr)() = nullptr;
  volatile long* ibcntl = nullptr;
  volatile int* iberr = nullptr;

  long count() const { return threadIbcntl ? threadIbcntl() : *ibcntl; }
  int error() const { return threadIberr ? threadIberr() : *iberr; }
};

template <class T>
void symbol(void* lib, const char* name, T& out) {
  out = reinterpret_cast<T>(::dlsym(lib, name));
}

// One loaded library per path, kept for the life of the process (open devices refer to it).
const Api& load(const std::string& path) {
  static std::mutex m;
  static std::map<std::string, Api> loaded;
  std::lock_guard lock(m);
  if (auto it = loaded.find(path); it != loaded.end()) return it->second;
  void* lib = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!lib)
    throw LinkError(Failure::Unavailable, "GPIB needs linux-gpib, whose library " + path +
                                              " could not be loaded (" + ::dlerror() + ")");
  Api api;
  symbol(lib, "ibdev", api.ibdev);
  symbol(lib, "ibwrt", api.ibwrt);
  symbol(lib, "ibrd", api.ibrd);
  symbol(lib, "ibloc", api.ibloc);
  symbol(lib, "ibonl", api.ibonl);
  symbol(lib, "ibeot", api.ibeot);
  symbol(lib, "ThreadIbcntl", api.threadIbcntl);
  symbol(lib, "ThreadIberr", api.threadIberr);
  symbol(lib, "ibcntl", api.ibcntl);
  symbol(lib, "iberr", api.iberr);
  if (!api.ibdev || !api.ibwrt || !api.ibrd || !api.ibloc || !api.ibonl ||
      (!api.threadIbcntl && !api.ibcntl) || (!api.threadIberr && !api.iberr)) {
    ::dlclose(lib);
    throw LinkError(
        Failure::Unavailable,
        "GPIB needs linux-gpib: " + path + " lacks the functions ibdev, ibwrt, ibrd, ibloc, ibonl");
  }
  return loaded.emplace(path, api).first->second;
}

class GpibLink : public Link {
 public:
  GpibLink(const Api& api, int ud, std::string peer, double rate)
      : api_(api), ud_(ud), peer_(std::move(peer)), rate_(rate) {}
  ~GpibLink() override { api_.ibonl(ud_, 0); }

  void write(std::span<const char> bytes, bool endOfMessage, Clock::time_point deadline) override {
    if (api_.ibeot) api_.ibeot(ud_, endOfMessage ? 1 : 0);
    std::size_t done = 0;
    while (done < bytes.size()) {
      const int sta = api_.ibwrt(ud_, bytes.data() + done, static_cast<long>(bytes.size() - done));
      const long n = api_.count();
      if (n > 0) done += static_cast<std::size_t>(n);
      if (done < bytes.size() && n > 0) countPartialWrite();
      if (sta & kErr) {
        if (!(sta & kTimo) || Clock::now() >= deadline) fail(sta);
      } else if (n <= 0 && done < bytes.size()) {
        throw LinkError(Failure::Failed, "the GPIB write made no progress");
      }
    }
  }

  std::string readLine(Clock::time_point deadline) override {
    std::string line;
    char chunk[4096];
    for (;;) {
      const int sta = api_.ibrd(ud_, chunk, sizeof chunk);
      const long n = api_.count();
      if (n > 0) line.append(chunk, static_cast<std::size_t>(std::min<long>(n, sizeof chunk)));
      if (sta & kErr) {
        // A bus time-out with nothing read is waited out until the operation's deadline (the
        // instrument may still be storing a waveform).
        if ((sta & kTimo) && Clock::now() < deadline) continue;
        fail(sta);
      }
      const bool lf = !line.empty() && line.back() == '\n';
      if ((sta & kEnd) || lf) break;
      if (line.size() > (1u << 20))
        throw LinkError(Failure::Failed, "reply longer than 1 MiB without an end");
    }
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r'))
      line.pop_back();
    return line;
  }

  void goToLocal() override { api_.ibloc(ud_); }
  double minimumBytesPerSecond() const override { return rate_; }
  const std::string& peer() const override { return peer_; }

 private:
  const Api& api_;
  int ud_;
  std::string peer_;
  double rate_;

  [[noreturn]] void fail(int sta) const {
    if (sta & kTimo) throw LinkError(Failure::Timeout, "timed out");
    throw LinkError(Failure::Failed, errorName(api_.error()));
  }
};

}  // namespace

std::unique_ptr<Link> openGpib(const std::string& library, int board, int primary, int secondary,
                               std::chrono::milliseconds replyTimeout,
                               double minimumBytesPerSecond) {
  const Api& api = load(library);
  // linux-gpib numbers secondary addresses from 0x60; 0 is none.
  const int sad = secondary < 0 ? 0 : 0x60 + secondary;
  const int ud = api.ibdev(board, primary, sad, timeoutCode(replyTimeout), api.ibeot ? 1 : 0, 0);
  std::string peer = "GPIB" + std::to_string(board) + "::" + std::to_string(primary);
  if (secondary >= 0) peer += "::" + std::to_string(secondary);
  if (ud < 0) throw LinkError(Failure::Failed, errorName(api.error()));
  return std::make_unique<GpibLink>(api, ud, std::move(peer), minimumBytesPerSecond);
}

}  // namespace kelvane::instrument::link
