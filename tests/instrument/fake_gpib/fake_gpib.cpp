// A stand-in for linux-gpib's user library: the entry points the transport loads, with one
// scripted instrument behind every device, and fake_gpib_* functions through which tests read
// what was written and steer the replies. The tests load it by path, so the process holds one
// instance shared by the transport and the test.
#include <chrono>
#include <cstring>
#include <deque>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr int kErr = 0x8000;
constexpr int kTimo = 0x4000;
constexpr int kEnd = 0x2000;
constexpr int kCmpl = 0x0100;

struct Fake {
  std::vector<std::string> messages;  // bytes between EOIs
  std::vector<int> writesPerMessage;
  std::string current;
  int currentWrites = 0;
  std::string reply;
  std::deque<std::string> errors;
  std::string arbState = "0";
  std::string failPattern;
  int ibdevArgs[6] = {};
  int ibdevFailure = -1;
  int iblocCalls = 0;
  int ibonlCalls = 0;
  int nextUd = 1;
  bool eot = true;
  bool silent = false;
};

Fake& fake() {
  static Fake f;
  return f;
}

void answer(const std::string& message) {
  Fake& f = fake();
  std::string text = message;
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r'))
    text.pop_back();
  if (!f.failPattern.empty() && text.find(f.failPattern) != std::string::npos)
    f.errors.push_back("-222,\"Data out of range\"");
  if (text.empty() || text.back() != '?' || f.silent) return;
  if (text == ":SYST:ERR?") {
    f.reply = f.errors.empty() ? "+0,\"No error\"" : f.errors.front();
    if (!f.errors.empty()) f.errors.pop_front();
  } else if (text == "*IDN?") {
    f.reply = "Kelvane,FakeGPIB,0,1.0";
  } else if (text == "*OPC?") {
    f.reply = "1";
  } else if (text == ":SOUR:RAD:ARB:STATe?") {
    f.reply = f.arbState;
  } else {
    f.reply = "0";
  }
  f.reply += '\n';
}

}  // namespace

extern "C" {

volatile int ibsta = 0;
volatile int iberr = 0;
volatile int ibcnt = 0;
volatile long ibcntl = 0;

int ibdev(int board, int pad, int sad, int tmo, int eot, int eos) {
  Fake& f = fake();
  const int args[6] = {board, pad, sad, tmo, eot, eos};
  std::memcpy(f.ibdevArgs, args, sizeof args);
  if (f.ibdevFailure >= 0) {
    iberr = f.ibdevFailure;
    ibsta = kErr;
    return -1;
  }
  f.eot = eot != 0;
  return f.nextUd++;
}

int ibeot(int /*ud*/, int v) {
  fake().eot = v != 0;
  return kCmpl;
}

int ibwrt(int /*ud*/, const void* buf, long count) {
  Fake& f = fake();
  f.current.append(static_cast<const char*>(buf), static_cast<std::size_t>(count));
  ++f.currentWrites;
  ibcntl = count;
  ibcnt = static_cast<int>(count);
  if (f.eot) {
    f.messages.push_back(f.current);
    f.writesPerMessage.push_back(f.currentWrites);
    answer(f.current);
    f.current.clear();
    f.currentWrites = 0;
  }
  ibsta = kCmpl;
  return kCmpl;
}

int ibrd(int /*ud*/, void* buf, long count) {
  Fake& f = fake();
  if (f.reply.empty()) {
    // The real library waits out its bus time-out here.
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
    ibcntl = 0;
    iberr = 6;  // EABO: the bus time-out
    ibsta = kErr | kTimo;
    return kErr | kTimo;
  }
  const auto n = std::min<std::size_t>(f.reply.size(), static_cast<std::size_t>(count));
  std::memcpy(buf, f.reply.data(), n);
  f.reply.erase(0, n);
  ibcntl = static_cast<long>(n);
  ibsta = kCmpl | (f.reply.empty() ? kEnd : 0);
  return kCmpl | (f.reply.empty() ? kEnd : 0);
}

int ibloc(int /*ud*/) {
  ++fake().iblocCalls;
  ibsta = kCmpl;
  return kCmpl;
}

int ibonl(int /*ud*/, int /*online*/) {
  ++fake().ibonlCalls;
  ibsta = kCmpl;
  return kCmpl;
}

// --- test controls ----------------------------------------------------------------------------

void fake_gpib_reset() {
  fake() = Fake{};
}
int fake_gpib_message_count() {
  return static_cast<int>(fake().messages.size());
}
const char* fake_gpib_message(int i, long* length) {
  const auto& m = fake().messages.at(static_cast<std::size_t>(i));
  *length = static_cast<long>(m.size());
  return m.data();
}
int fake_gpib_writes(int i) {
  return fake().writesPerMessage.at(static_cast<std::size_t>(i));
}
long fake_gpib_pending_bytes() {
  return static_cast<long>(fake().current.size());
}
const int* fake_gpib_ibdev_args() {
  return fake().ibdevArgs;
}
void fake_gpib_fail_ibdev(int error) {
  fake().ibdevFailure = error;
}
int fake_gpib_ibloc_calls() {
  return fake().iblocCalls;
}
int fake_gpib_ibonl_calls() {
  return fake().ibonlCalls;
}
void fake_gpib_set_arb_state(const char* reply) {
  fake().arbState = reply;
}
void fake_gpib_set_silent(int silent) {
  fake().silent = silent != 0;
}
void fake_gpib_set_fail_pattern(const char* pattern) {
  fake().failPattern = pattern;
}

}  // extern "C"
