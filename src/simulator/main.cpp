// kelvane-siggen-sim: the simulated signal generator as a program, for the demo and for
// operators' dry runs. Serves until SIGINT or SIGTERM; SIGUSR1 prints the state.
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <functional>
#include <iostream>
#include <string>
#include <string_view>

#include "simulator/simulator.hpp"

namespace {

using kelvane::simulator::Faults;
using kelvane::simulator::Simulator;
using kelvane::simulator::SimulatorOptions;

constexpr const char* kUsage = R"(Usage: kelvane-siggen-sim [options]

A software vector signal generator that speaks Kelvane's instrument protocol: SCPI over TCP on
127.0.0.1 (LF-terminated messages, IEEE 488.2 definite-length blocks for waveform data), and
optionally over a pseudo-terminal for the RS-232 path. It stores WFM1 waveform and MKR1 marker
files, sequences and settings, and keeps a SCPI error queue (:SYST:ERR?).

Options:
  --port N                    TCP port on 127.0.0.1 (default 5025; 0 picks a free one).
                              Prints "listening on 127.0.0.1:PORT" when ready.
  --memory 8|32               ARB memory in Msamples (default 32); a waveform sample takes
                              4 bytes of it, a marker sample 1. A waveform or marker file
                              that does not fit answers -225,"Out of memory".
  --pty                       Also serve a pseudo-terminal (raw, no flow control; the baud
                              rate is ignored). Prints "serial on /dev/pts/N".
  --drop-after-block-bytes N  Fault: close a TCP connection after N bytes of a block.
  --drop-limit K              Fault: clear the drop fault after K drops (default 0: never).
  --reply-delay MS            Fault: wait MS milliseconds before every reply.
  --fail-pattern TEXT         Fault: every message containing TEXT (any case) fails and
                              queues the --fail-error entry; :SYST:ERR? and
                              :SYST:KELV:STAT? are never failed.
  --fail-error ENTRY          The error entry queued by --fail-pattern
                              (default -222,"Data out of range").
  --dump-on-exit              Print the state as JSON on one line when exiting.
  --verbose                   Print every message received on standard error.
  --help                      Print this text and exit.

Signals: SIGUSR1 prints the state as JSON on one line on standard output; SIGINT and SIGTERM
stop the simulator. A client can read the same JSON with the query :SYST:KELV:STAT?.
)";

[[noreturn]] void usageError(const std::string& message) {
  std::cerr << "kelvane-siggen-sim: " << message << "\n(see --help)\n";
  std::exit(2);
}

unsigned long long number(std::string_view option, const std::string& text,
                          unsigned long long max) {
  char* end = nullptr;
  errno = 0;
  const unsigned long long v = std::strtoull(text.c_str(), &end, 10);
  if (text.empty() || text[0] == '-' || *end != '\0' || errno != 0 || v > max)
    usageError(std::string(option) + ": not a number in range: " + text);
  return v;
}

void dump(const Simulator& sim) {
  std::cout << sim.state().dump(-1, ' ', false, nlohmann::json::error_handler_t::replace)
            << std::endl;
}

// What the command line asks for.
struct Invocation {
  SimulatorOptions options;
  Faults faults;
  bool dumpOnExit = false;
  bool verbose = false;
};

// Applies option `arg` (its value from `next`); false for an unknown option.
bool applyOption(const std::string& arg, const std::function<std::string()>& next, Invocation& in) {
  if (arg == "--port") {
    in.options.port = static_cast<std::uint16_t>(number(arg, next(), 65535));
  } else if (arg == "--memory") {
    const std::string m = next();
    if (m != "8" && m != "32") usageError("--memory takes 8 or 32, not " + m);
    in.options.memorySamples = static_cast<std::size_t>(std::stoul(m)) << 20;
  } else if (arg == "--pty") {
    in.options.pseudoTerminal = true;
  } else if (arg == "--drop-after-block-bytes") {
    in.faults.dropAfterBlockBytes = number(arg, next(), ~0ull);
  } else if (arg == "--drop-limit") {
    in.faults.dropLimit = number(arg, next(), ~0ull);
  } else if (arg == "--reply-delay") {
    in.faults.replyDelay = std::chrono::milliseconds(number(arg, next(), 3'600'000));
  } else if (arg == "--fail-pattern") {
    in.faults.failPattern = next();
  } else if (arg == "--fail-error") {
    in.faults.failError = next();
  } else if (arg == "--dump-on-exit") {
    in.dumpOnExit = true;
  } else if (arg == "--verbose") {
    in.verbose = true;
  } else {
    return false;
  }
  return true;
}

// Reads the command line; --help prints the usage and exits.
Invocation parseArguments(int argc, char** argv) {
  Invocation in;
  in.options.port = 5025;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    std::string value;
    bool hasValue = false;
    if (const auto eq = arg.find('='); arg.starts_with("--") && eq != std::string::npos) {
      value = arg.substr(eq + 1);
      arg.resize(eq);
      hasValue = true;
    }
    auto next = [&]() -> std::string {
      if (hasValue) return value;
      if (i + 1 >= argc) usageError(arg + " needs a value");
      return argv[++i];
    };
    if (arg == "--help" || arg == "-h") {
      std::cout << kUsage;
      std::exit(0);
    }
    if (!applyOption(arg, next, in)) usageError("unknown option " + arg);
  }
  if (in.verbose)
    in.options.onMessage = [](const std::string& text) { std::cerr << "> " << text << std::endl; };
  return in;
}

// Serves until SIGINT, SIGTERM or SIGHUP; SIGUSR1 prints the state.
void serveUntilSignalled(Simulator& sim, const sigset_t& signals) {
  for (;;) {
    int sig = 0;
    if (sigwait(&signals, &sig) != 0) continue;
    if (sig != SIGUSR1) return;
    dump(sim);
  }
}

}  // namespace

int main(int argc, char** argv) {
  const Invocation in = parseArguments(argc, argv);

  // The signals are taken by sigwait; the serving threads inherit the blocked mask.
  sigset_t signals;
  sigemptyset(&signals);
  for (int s : {SIGINT, SIGTERM, SIGHUP, SIGUSR1})
    sigaddset(&signals, s);
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);

  Simulator sim(in.options);
  sim.setFaults(in.faults);
  try {
    sim.start();
  } catch (const std::exception& e) {
    std::cerr << "kelvane-siggen-sim: " << e.what() << '\n';
    return 1;
  }
  std::cout << "listening on 127.0.0.1:" << sim.port() << '\n';
  if (in.options.pseudoTerminal) std::cout << "serial on " << sim.pseudoTerminalPath() << '\n';
  std::cout << std::flush;

  serveUntilSignalled(sim, signals);
  sim.stop();
  if (in.dumpOnExit) dump(sim);
  return 0;
}
