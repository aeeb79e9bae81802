#include "instrument/transport.hpp"

#include <strings.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdlib>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "instrument/block.hpp"
#include "instrument/lan_address.hpp"
#include "instrument/link.hpp"
#include "runtime/numbers.hpp"
#include "runtime/text.hpp"

namespace kelvane::instrument {

using link::Clock;
using link::Failure;
using link::Link;
using link::LinkError;

namespace {

std::atomic<std::uint64_t> gConnections{0};
std::atomic<std::uint64_t> gPartialWrites{0};

// The operator cancelled a download part way: the connection is dropped.
struct Cancelled {};

// A failure that ends the operation with this status; the connection stays usable.
struct OpFailure {
  int code;
  std::string message;
};

// The connection failed during the operation: it is dropped, and retried once when it was a
// reused session that turned out dead.
struct LinkDown {
  Failure kind;
  std::string message;
};

struct Target {
  std::string key;        // one session per key: the instrument's address
  std::string signature;  // link parameters; a change reopens the session
  std::string label;      // the address for messages
  bool gpib = false;
  std::function<std::unique_ptr<Link>(const TransportSettings&)> open;
};

struct Session {
  std::string signature;
  std::shared_ptr<Link> link;  // shared with the operation using it, which may outlive the entry
};

using Sessions = std::map<std::string, Session>;

// `busy` is held for the whole of one operation: a second one, from another thread or from the
// progress reporter, is refused at once instead of waiting. `mutex` guards the other fields for
// short accesses only, never while the reporter runs or while I/O waits.
struct State {
  std::atomic<bool> busy{false};
  std::atomic<bool> cancel{false};  // the operator asked the running download to stop
  std::mutex mutex;
  TransportSettings settings;
  std::shared_ptr<const ProgressReporter> progress;
  Sessions sessions;
  // Targets whose instrument stayed silent past a time-out, with the time of the last one.
  std::map<std::string, Clock::time_point> silent;
};

State& state() {
  static State s;
  return s;
}

// Holds the transport for one operation when no other operation holds it.
class BusyGuard {
 public:
  explicit BusyGuard(State& st) : st_(st), held_(!st.busy.exchange(true)) {}
  ~BusyGuard() {
    if (held_) st_.busy.store(false);
  }
  BusyGuard(const BusyGuard&) = delete;
  BusyGuard& operator=(const BusyGuard&) = delete;
  bool held() const { return held_; }

 private:
  State& st_;
  bool held_;
};

TransportSettings currentSettings(State& st) {
  std::lock_guard lock(st.mutex);
  return st.settings;
}

// Calls the progress reporter in force, outside the lock, so that it may replace itself.
void reportProgress(State& st, const DownloadProgress& progress) {
  std::shared_ptr<const ProgressReporter> reporter;
  {
    std::lock_guard lock(st.mutex);
    reporter = st.progress;
  }
  if (reporter && *reporter) (*reporter)(progress);
}

// Forgets the session of `key`; an operation still holding its link closes it when done.
void dropSession(State& st, const std::string& key) {
  std::shared_ptr<Link> closing;  // closed outside the lock
  std::lock_guard lock(st.mutex);
  if (auto it = st.sessions.find(key); it != st.sessions.end()) {
    closing = std::move(it->second.link);
    st.sessions.erase(it);
  }
}

// Remembers that the instrument of `key` stayed silent past a time-out.
void noteSilence(State& st, const std::string& key) {
  std::lock_guard lock(st.mutex);
  st.silent[key] = Clock::now();
}

// The instrument of `key` answered: it is no longer taken for silent.
void forgetSilence(State& st, const std::string& key) {
  std::lock_guard lock(st.mutex);
  st.silent.erase(key);
}

// True when the instrument of `key` stayed silent within the last `memory`.
bool silentRecently(State& st, const std::string& key, std::chrono::milliseconds memory) {
  std::lock_guard lock(st.mutex);
  const auto it = st.silent.find(key);
  if (it == st.silent.end()) return false;
  if (Clock::now() - it->second < memory) return true;
  st.silent.erase(it);
  return false;
}

// The settings of an operation on an instrument that stayed silent: one connection attempt and
// the short time-out for connecting and for the probe's reply.
TransportSettings briefSettings(const TransportSettings& s) {
  TransportSettings brief = s;
  brief.replyTimeout = std::min(s.replyTimeout, s.silentTimeout);
  brief.connectTimeout = std::min(s.connectTimeout, s.silentTimeout);
  brief.connectAttempts = 1;
  return brief;
}

bool iequals(std::string_view a, const char* b) {
  return ::strcasecmp(std::string(a).c_str(), b) == 0;
}

std::string quoted(std::string_view text) {
  constexpr std::size_t kMax = 80;
  if (text.size() <= kMax) return "\"" + std::string(text) + "\"";
  return "\"" + std::string(text.substr(0, kMax)) + "...\"";
}

// A whole number of a configuration field, or a refusal naming it.
int wholeField(double x, const char* name, double lo, double hi) {
  if (!runtime::isWholeIn(x, lo, hi))
    throw OpFailure{status::kRefused, std::string("The configuration field ") + name +
                                          " must be a whole number from " + runtime::numToText(lo) +
                                          " to " + runtime::numToText(hi) + ", not " +
                                          runtime::numToText(x) + "."};
  return static_cast<int>(x);
}

Target tcpTarget(const Configuration& c) {
  LanAddressParse parsed = parseLanAddress(c.TCPIP.address);
  if (!parsed.address) throw OpFailure{status::kRefused, std::move(parsed.error)};
  const LanAddress address = std::move(*parsed.address);
  Target t;
  t.key = "TCPIP|" + address.host + "|" + std::to_string(address.port);
  t.label = lanLabel(address);
  t.open = [address](const TransportSettings& s) {
    return link::openTcp(address.host, address.port, s.connectTimeout, s.connectAttempts,
                         s.minimumBytesPerSecond);
  };
  return t;
}

Target serialTarget(const Configuration& c) {
  const int port = wholeField(c.RS232.port, "RS232.port", 1, 99);
  const int baud = wholeField(c.RS232.baudrate, "RS232.baudrate", 1, 4000000);
  const std::string device = c.RS232.device.empty() ? serialDevice(port) : c.RS232.device;
  Target t;
  t.key = "RS232|" + device;
  t.signature = std::to_string(baud) + "|" + c.RS232.handshake;
  t.label = device;
  const std::string handshake = c.RS232.handshake;
  t.open = [device, baud, handshake](const TransportSettings&) {
    return link::openSerial(device, baud, handshake);
  };
  return t;
}

Target gpibTarget(const Configuration& c) {
  const int board = wholeField(c.GPIB.board, "GPIB.board", 0, 15);
  const int primary = wholeField(c.GPIB.primary, "GPIB.primary", 0, 30);
  const int secondary = wholeField(c.GPIB.secondary, "GPIB.secondary", -1, 31);
  std::string library = "libgpib.so.0";
  if (const char* env = std::getenv("KELVANE_GPIB_LIBRARY"); env && *env) library = env;
  Target t;
  t.key = "GPIB|" + std::to_string(board) + "|" + std::to_string(primary) + "|" +
          std::to_string(secondary);
  t.signature = library;
  t.label = "GPIB" + std::to_string(board) + "::" + std::to_string(primary);
  if (secondary >= 0) t.label += "::" + std::to_string(secondary);
  t.gpib = true;
  t.open = [library, board, primary, secondary](const TransportSettings& s) {
    return link::openGpib(library, board, primary, secondary, s.replyTimeout,
                          s.minimumBytesPerSecond);
  };
  return t;
}

Target target(const Configuration& c) {
  if (iequals(c.type, "TCPIP")) return tcpTarget(c);
  if (iequals(c.type, "RS232")) return serialTarget(c);
  if (iequals(c.type, "GPIB")) return gpibTarget(c);
  throw OpFailure{status::kRefused,
                  "Unknown connection type \"" + c.type + "\": expected GPIB, RS232 or TCPIP."};
}

// A new link to `t`, or the failure to reach it.
std::shared_ptr<Link> openLink(const Target& t, const TransportSettings& settings) {
  try {
    return t.open(settings);
  } catch (const LinkError& e) {
    switch (e.kind()) {
      case Failure::Unavailable:
        throw OpFailure{status::kUnavailable, e.what()};
      case Failure::Timeout:
        throw OpFailure{status::kTimeout, "Could not connect to the signal generator at " +
                                              t.label + ": " + e.what() + "."};
      default:
        throw OpFailure{status::kNoConnection, "Could not connect to the signal generator at " +
                                                   t.label + ": " + e.what() + "."};
    }
  }
}

// The session of `t`, opened when there is none or the one kept is dead. The dead-session check
// and the connect run outside the lock.
std::shared_ptr<Link> acquire(State& st, const Target& t, const TransportSettings& settings,
                              bool& fresh) {
  std::shared_ptr<Link> kept;
  {
    std::lock_guard lock(st.mutex);
    const auto it = st.sessions.find(t.key);
    if (it != st.sessions.end() && it->second.signature == t.signature) kept = it->second.link;
  }
  if (kept && !kept->stale()) {
    fresh = false;
    return kept;
  }
  // Only the session of the configuration in use stays open: after a change of address the old
  // one would hold the instrument's (often single) remote session or the serial port.
  Sessions dropped;
  {
    std::lock_guard lock(st.mutex);
    dropped.swap(st.sessions);
  }
  kept.reset();
  dropped.clear();
  std::shared_ptr<Link> l = openLink(t, settings);
  ++gConnections;
  fresh = true;
  std::lock_guard lock(st.mutex);
  st.sessions[t.key] = Session{t.signature, l};
  return l;
}

// --- SCPI over a link ---------------------------------------------------------------------------

class Scpi {
 public:
  // `answered` is called after every reply received.
  Scpi(Link& l, const TransportSettings& s, std::function<void()> answered = {})
      : link_(l), s_(s), answered_(std::move(answered)) {}

  const TransportSettings& settings() const { return s_; }

  void write(std::span<const char> bytes, bool endOfMessage, Clock::time_point deadline,
             const std::string& what) {
    try {
      link_.write(bytes, endOfMessage, deadline);
    } catch (const LinkError& e) {
      throw down(e, "while sending " + what,
                 "did not accept " + what + " within " + link::seconds(budget(bytes.size())));
    }
  }

  void sendLine(std::string_view text) {
    std::string line(text);
    line += '\n';
    write(line, true, Clock::now() + budget(line.size()), quoted(text));
  }

  std::string readReply(std::string_view query, std::chrono::milliseconds timeout) {
    try {
      std::string reply = link_.readLine(Clock::now() + timeout);
      if (answered_) answered_();
      return reply;
    } catch (const LinkError& e) {
      throw down(e, "while waiting for the answer to " + quoted(query),
                 "did not answer " + quoted(query) + " within " + link::seconds(timeout));
    }
  }

  std::string ask(std::string_view query, std::chrono::milliseconds timeout) {
    sendLine(query);
    return readReply(query, timeout);
  }
  std::string ask(std::string_view query) { return ask(query, s_.replyTimeout); }

  // Empties the instrument's error queue; its errors make the operation fail with their texts.
  void checkErrors() {
    const std::vector<std::string> errors = readErrors();
    if (errors.empty()) return;
    std::string message;
    for (const auto& e : errors)
      message += (message.empty() ? "" : "\n") + e;
    throw OpFailure{status::kInstrumentError, message};
  }

  // Reads the error queue until it answers 0, at most maxErrorReads times; returns its entries.
  std::vector<std::string> readErrors() {
    std::vector<std::string> errors;
    for (int i = 0; i < s_.maxErrorReads; ++i) {
      const std::string reply = ask(":SYST:ERR?");
      const auto comma = reply.find(',');
      const auto code = runtime::parseNumber(reply.substr(0, comma));
      if (!code)
        throw OpFailure{status::kInstrumentError,
                        "Unexpected answer to :SYST:ERR?: " + quoted(reply) + "."};
      if (*code == 0) break;
      errors.push_back(reply);
      if (i + 1 == s_.maxErrorReads) errors.push_back("(further errors not read)");
    }
    return errors;
  }

  // The time a write of `bytes` may take.
  std::chrono::milliseconds budget(std::size_t bytes) const {
    const double extra = 1000.0 * static_cast<double>(bytes) / link_.minimumBytesPerSecond();
    return s_.replyTimeout + std::chrono::milliseconds(static_cast<long long>(std::ceil(extra)));
  }

  Link& link() { return link_; }

 private:
  Link& link_;
  const TransportSettings& s_;
  std::function<void()> answered_;

  LinkDown down(const LinkError& e, const std::string& during, const std::string& timedOut) {
    const std::string& peer = link_.peer();
    switch (e.kind()) {
      case Failure::Timeout:
        return {e.kind(), "The signal generator at " + peer + " " + timedOut + "."};
      case Failure::Lost:
        return {e.kind(), "The connection to the signal generator at " + peer + " was lost " +
                              during + " (" + e.what() + ")."};
      default:
        return {e.kind(), "Communication with the signal generator at " + peer + " failed " +
                              during + ": " + e.what() + "."};
    }
  }
};

int codeOf(Failure kind) {
  switch (kind) {
    case Failure::Timeout:
      return status::kTimeout;
    case Failure::Lost:
      return status::kConnectionLost;
    case Failure::Unavailable:
      return status::kUnavailable;
    default:
      return status::kNoConnection;
  }
}

// Runs `body` holding the transport, with every failure turned into a status. Another
// operation in progress (on another thread, or the caller's own from its progress reporter)
// makes it return kBusy at once.
template <class Body>
Status exclusive(Body body) {
  State& st = state();
  const BusyGuard busy(st);
  if (!busy.held()) return {status::kBusy, "The signal generator is busy with another operation."};
  try {
    return body(st);
  } catch (const OpFailure& f) {
    return {f.code, f.message};
  } catch (const std::exception& e) {
    return {status::kNoConnection, std::string("Instrument transport failure: ") + e.what()};
  } catch (...) {
    return {status::kNoConnection, "Instrument transport failure."};
  }
}

// The session of `t`; a connection that timed out marks the instrument as silent.
std::shared_ptr<Link> connect(State& st, const Target& t, const TransportSettings& settings,
                              bool& fresh) {
  try {
    return acquire(st, t, settings, fresh);
  } catch (const OpFailure& f) {
    if (f.code == status::kTimeout) noteSilence(st, t.key);
    throw;
  }
}

// Asks *OPC? of an instrument that stayed silent, with the short time-out; its silence ends the
// operation before `what` is sent.
void probe(Scpi& scpi, std::string_view what) {
  try {
    (void)scpi.ask("*OPC?");
  } catch (LinkDown& d) {
    if (d.kind != Failure::Timeout) throw;
    d.message.pop_back();  // the full stop
    d.message += "; it had stayed silent before, so " + std::string(what) + " was not sent.";
    throw;
  }
}

// Runs `op` (which sends `what`, for messages) on the session of `config` with every failure
// turned into a status. A reused session found dead during the operation is reopened and the
// operation tried once more when `retry` allows it (commands and queries; never a download,
// which may be half stored). A time-out marks the instrument as silent; while it is, the
// operation connects once and runs only after a brief probe is answered.
template <class Op>
Status run(const Configuration& config, bool retry, std::string_view what, Op op) {
  return exclusive([&](State& st) -> Status {
    const TransportSettings settings = currentSettings(st);
    const TransportSettings brief = briefSettings(settings);
    const Target t = target(config);
    const bool suspect = silentRecently(st, t.key, settings.silentMemory);
    const auto answered = [&st, &t] { forgetSilence(st, t.key); };
    for (int attempt = 0;; ++attempt) {
      bool fresh = false;
      const std::shared_ptr<Link> l = connect(st, t, suspect ? brief : settings, fresh);
      try {
        if (suspect) {
          Scpi probing(*l, brief, answered);
          probe(probing, what);
        }
        Scpi scpi(*l, settings, answered);
        return op(scpi, t);
      } catch (const LinkDown& d) {
        dropSession(st, t.key);
        if (d.kind == Failure::Timeout) noteSilence(st, t.key);
        if (d.kind == Failure::Lost && !fresh && retry && attempt == 0 && !suspect) continue;
        return {codeOf(d.kind), d.message};
      } catch (const Cancelled&) {
        dropSession(st, t.key);
        return {status::kCancelled, "download cancelled"};
      }
    }
  });
}

std::optional<std::string> badLine(std::string_view text, const char* what) {
  if (text.find_first_of("\r\n") != std::string_view::npos)
    return std::string("The ") + what + " holds a line break and was not sent.";
  if (text.empty()) return std::string("The ") + what + " is empty and was not sent.";
  return std::nullopt;
}

// Why a download cannot be sent, checked before anything is: no name, a name that would break
// the command, no samples, a marker count unlike the sample count, a block too long to size.
std::optional<std::string> badDownload(std::span<const std::complex<double>> iq,
                                       std::span<const std::uint8_t> markers,
                                       std::string_view name) {
  if (name.empty()) return "The waveform has no name; nothing was sent.";
  if (std::any_of(name.begin(), name.end(), [](char ch) {
        const auto u = static_cast<unsigned char>(ch);
        return ch == '"' || u < 0x20 || u == 0x7f;
      }))
    return "The waveform name holds a double quote or a control character; nothing was sent.";
  const std::string quotedName = "The waveform \"" + std::string(name) + "\"";
  if (iq.empty()) return quotedName + " has no samples.";
  if (markers.size() != iq.size())
    return quotedName + " has " + std::to_string(iq.size()) + " samples but " +
           std::to_string(markers.size()) + " marker samples.";
  if (4 * static_cast<std::uint64_t>(iq.size()) >= 1000000000ull)
    return quotedName + " is too long to download.";
  return std::nullopt;
}

// A checked download: samples, one marker byte a sample, the name in ARB memory and the "norm"
// scale of the samples.
struct DownloadData {
  std::span<const std::complex<double>> iq;
  std::span<const std::uint8_t> markers;
  std::string_view name;
  double scale;
};

// Fills `out` with the bytes of a block from `offset` on.
using BlockFill = std::function<void(std::uint64_t offset, std::span<char> out)>;

// Writes the blocks of one download, reporting progress over both and counting the bytes sent
// for the message of a failure.
class DownloadWriter {
 public:
  // `samples` I/Q samples: 4 bytes each in the waveform block, 1 in the marker block.
  DownloadWriter(Scpi& scpi, std::string_view name, std::uint64_t samples)
      : scpi_(scpi),
        name_(name),
        what_("the waveform \"" + std::string(name) + "\""),
        total_(5 * samples) {
    // Chunks of a multiple of 4 bytes, so that I/Q chunks hold whole samples.
    const std::size_t chunk = std::max<std::size_t>(
        4, scpi.link().preferredChunkBytes(scpi.settings().chunkBytes) / 4 * 4);
    buffer_.resize(std::min<std::uint64_t>(chunk, 4 * samples));
  }

  std::uint64_t total() const { return total_; }

  void report() const { reportProgress(state(), DownloadProgress{name_, sent_, total_}); }

  // One definite-length block: `command` with the block header, then `bytes` bytes in chunks
  // filled by `fill` with a progress report after each, then the line feed ending the message.
  void writeBlock(const std::string& command, std::uint64_t bytes, const BlockFill& fill) {
    write(command + definiteLengthHeader(bytes), false);
    for (std::uint64_t offset = 0; offset < bytes; offset += buffer_.size()) {
      const std::span<char> out(buffer_.data(),
                                std::min<std::uint64_t>(buffer_.size(), bytes - offset));
      fill(offset, out);
      write(out, false);
      sent_ += out.size();
      report();
      if (state().cancel.exchange(false)) throw Cancelled{};
    }
    write(std::string_view("\n"), true);
  }

  // `d` with the bytes sent before it failed.
  LinkDown counted(LinkDown d) const {
    d.message.pop_back();  // the full stop: the byte count follows
    d.message += " after " + std::to_string(sent_) + " of " + std::to_string(total_) +
                 " bytes of the download.";
    return d;
  }

 private:
  Scpi& scpi_;
  std::string_view name_;
  std::string what_;
  std::uint64_t total_;
  std::uint64_t sent_ = 0;
  std::vector<char> buffer_;

  void write(std::span<const char> bytes, bool endOfMessage) {
    scpi_.write(bytes, endOfMessage, Clock::now() + scpi_.budget(bytes.size()), what_);
  }
};

// Waits for the instrument to finish `command` (what it stores: `what`), `bytes` long, then reads
// its error queue; errors end the download with a message naming both.
void confirmBlock(Scpi& scpi, const std::string& command, const std::string& what,
                  std::uint64_t bytes) {
  // The instrument answers *OPC? once the block is stored. A connection reset after the last
  // byte shows here, when the block still fitted into the socket buffers.
  const std::string done = scpi.ask("*OPC?", scpi.budget(bytes));
  if (runtime::parseNumber(done) != 1.0)
    throw OpFailure{status::kInstrumentError,
                    "Unexpected answer to *OPC? after " + command + ": " + quoted(done) + "."};
  const std::vector<std::string> errors = scpi.readErrors();
  if (errors.empty()) return;
  std::string message = "The signal generator refused " + what + " (" + command + "): ";
  for (std::size_t i = 0; i < errors.size(); ++i)
    message += (i ? "\n" : "") + errors[i];
  throw OpFailure{status::kInstrumentError, message};
}

// Stores `d` in ARB memory: the I/Q block, *OPC? and the error queue, then the marker block,
// *OPC? and the error queue. A refused I/Q block ends it before the markers.
Status storeWaveform(Scpi& scpi, const DownloadData& d) {
  const std::string name(d.name);
  const std::uint64_t n = d.iq.size();
  const std::string waveform = ":MMEM:DATA \"WFM1:" + name + "\"";
  const std::string markers = ":MMEM:DATA \"MKR1:" + name + "\"";
  DownloadWriter writer(scpi, d.name, n);
  state().cancel.store(false);
  writer.report();
  try {
    writer.writeBlock(waveform + ",", 4 * n, [&](std::uint64_t offset, std::span<char> out) {
      encodeIqWords(d.iq.subspan(offset / 4, out.size() / 4), d.scale, out);
    });
    confirmBlock(scpi, waveform, "the waveform \"" + name + "\"", 4 * n);
    writer.writeBlock(markers + ",", n, [&](std::uint64_t offset, std::span<char> out) {
      encodeMarkerBytes(d.markers.subspan(offset, out.size()), out);
    });
    confirmBlock(scpi, markers, "the markers of the waveform \"" + name + "\"", n);
  } catch (const LinkDown& down) {
    throw writer.counted(down);
  }
  return Status{status::kOk,
                "Waveform \"" + name + "\" stored (" + std::to_string(n) + " samples)."};
}

}  // namespace

namespace link {
void countPartialWrite() {
  ++gPartialWrites;
}

std::string seconds(std::chrono::milliseconds ms) {
  return runtime::formatG(static_cast<double>(ms.count()) / 1000.0) + " s";
}
}  // namespace link

TransportSettings transportSettings() {
  std::lock_guard lock(state().mutex);
  return state().settings;
}

void setTransportSettings(const TransportSettings& settings) {
  std::lock_guard lock(state().mutex);
  state().settings = settings;
  state().settings.chunkBytes = std::max<std::size_t>(settings.chunkBytes, 4);
  state().settings.minimumBytesPerSecond = std::max(settings.minimumBytesPerSecond, 1.0);
}

ProgressReporter setProgressReporter(ProgressReporter reporter) {
  auto installed = std::make_shared<const ProgressReporter>(std::move(reporter));
  std::shared_ptr<const ProgressReporter> previous;
  {
    std::lock_guard lock(state().mutex);
    previous = std::exchange(state().progress, std::move(installed));
  }
  return previous ? *previous : ProgressReporter{};
}

std::string serialDevice(int port) {
  if (const char* env = std::getenv(("KELVANE_RS232_PORT" + std::to_string(port)).c_str());
      env && *env)
    return env;
  return "/dev/ttyS" + std::to_string(port - 1);
}

void cancelDownload() {
  state().cancel.store(true);
}

TransportStatistics transportStatistics() {
  return {gConnections.load(), gPartialWrites.load()};
}

void closeConnections() {
  Sessions dropped;  // closed outside the lock; a link in use stays open until its operation ends
  std::lock_guard lock(state().mutex);
  dropped.swap(state().sessions);
  state().silent.clear();
}

namespace hwio {

Status ping(const Configuration& config) {
  return run(config, true, "\"*IDN?\"", [](Scpi& scpi, const Target&) {
    return Status{status::kOk, "Connected to " + scpi.ask("*IDN?")};
  });
}

Status send(const Configuration& config, std::string_view command) {
  if (auto bad = badLine(command, "command")) return {status::kRefused, *bad};
  return run(config, true, quoted(command), [command](Scpi& scpi, const Target&) {
    scpi.sendLine(command);
    scpi.checkErrors();
    return Status{};
  });
}

Status query(const Configuration& config, std::string_view query) {
  if (auto bad = badLine(query, "query")) return {status::kRefused, *bad};
  return run(config, true, quoted(query), [query](Scpi& scpi, const Target&) {
    return Status{status::kOk, scpi.ask(query)};
  });
}

Status download(const Configuration& config, std::span<const std::complex<double>> iq,
                std::span<const std::uint8_t> markers, std::string_view name,
                std::optional<double> peak) {
  const auto refuse = [](std::string m) { return Status{status::kRefused, std::move(m)}; };
  if (auto bad = badDownload(iq, markers, name)) return refuse(std::move(*bad));
  const auto scale = peak ? std::optional<double>(normScaleForPeak(*peak)) : normScale(iq);
  if (!scale)
    return refuse("The waveform \"" + std::string(name) +
                  "\" holds a sample that is not a finite number; nothing was sent.");
  const DownloadData data{iq, markers, name, *scale};
  const std::string what = "the waveform \"" + std::string(name) + "\"";
  return run(config, false, what,
             [&](Scpi& scpi, const Target&) { return storeWaveform(scpi, data); });
}

Status returnLocal(const Configuration& config) {
  return exclusive([&](State& st) {
    const Target t = target(config);
    if (!t.gpib) {
      dropSession(st, t.key);
      return Status{};
    }
    bool fresh = false;
    acquire(st, t, currentSettings(st), fresh)->goToLocal();
    return Status{};
  });
}

}  // namespace hwio

}  // namespace kelvane::instrument
