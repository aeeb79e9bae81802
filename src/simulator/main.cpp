// kelvane-siggen-sim: the simulated signal generator as a program, for the demo and for
// operators' dry runs. Serves until SIGINT or SIGTERM; SIGUSR1 prints the state.
#include <CLI/CLI.hpp>

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

// Reads the command line; --help and --version print and exit, a usage error exits with 2.
Invocation parseArguments(int argc, char** argv) {
  Invocation in;
  in.options.port = 5025;
  CLI::App app{
      "A software vector signal generator that speaks Kelvane's instrument protocol: SCPI over "
      "TCP on 127.0.0.1 (LF-terminated messages, IEEE 488.2 definite-length blocks for waveform "
      "data), and optionally over a pseudo-terminal for the RS-232 path. It stores WFM1 "
      "waveform and MKR1 marker files, sequences and settings, and keeps a SCPI error queue "
      "(:SYST:ERR?).",
      "kelvane-siggen-sim"};
  app.set_version_flag("--version", "kelvane-siggen-sim " KELVANE_VERSION);
  app.footer(
      "Signals: SIGUSR1 prints the state as JSON on one line on standard output; SIGINT and "
      "SIGTERM stop the simulator. A client can read the same JSON with the query "
      ":SYST:KELV:STAT?.");
  app.add_option("--port", in.options.port,
                 "TCP port on 127.0.0.1 (default 5025; 0 picks a free one). Prints "
                 "\"listening on 127.0.0.1:PORT\" when ready")
      ->type_name("N");
  int memory = 32;
  app.add_option("--memory", memory,
                 "ARB memory in Msamples (default 32); a waveform sample takes 4 bytes of it, a "
                 "marker sample 1. A file that does not fit answers -225,\"Out of memory\"")
      ->type_name("8|32")
      ->check(CLI::IsMember({8, 32}));
  app.add_flag("--pty", in.options.pseudoTerminal,
               "also serve a pseudo-terminal (raw, no flow control; the baud rate is ignored). "
               "Prints \"serial on /dev/pts/N\"");
  std::uint64_t dropAfter = 0, dropLimit = 0, delay = 0;
  auto* drop = app.add_option("--drop-after-block-bytes", dropAfter,
                              "fault: close a TCP connection after N bytes of a block")
                   ->type_name("N");
  auto* limit = app.add_option("--drop-limit", dropLimit,
                               "fault: clear the drop fault after K drops (default 0: never)")
                    ->type_name("K");
  auto* replyDelay =
      app.add_option("--reply-delay", delay, "fault: wait MS milliseconds before every reply")
          ->type_name("MS")
          ->check(CLI::Range(std::uint64_t{0}, std::uint64_t{3'600'000}));
  app.add_option("--fail-pattern", in.faults.failPattern,
                 "fault: every message containing TEXT (any case) fails and queues the "
                 "--fail-error entry; :SYST:ERR? and :SYST:KELV:STAT? are never failed")
      ->type_name("TEXT");
  app.add_option("--fail-error", in.faults.failError,
                 "the error entry queued by --fail-pattern (default -222,\"Data out of range\")")
      ->type_name("ENTRY");
  app.add_flag("--dump-on-exit", in.dumpOnExit, "print the state as JSON on one line when exiting");
  app.add_flag("--verbose", in.verbose, "print every message received on standard error");
  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp&) {
    std::cout << app.help();
    std::exit(0);
  } catch (const CLI::CallForVersion& e) {
    std::cout << e.what() << '\n';
    std::exit(0);
  } catch (const CLI::ParseError& e) {
    std::cerr << "kelvane-siggen-sim: " << e.what()
              << "\nusage: kelvane-siggen-sim [--port N] [--memory 8|32] [--pty] [fault options] "
                 "(--help describes them)\n";
    std::exit(2);
  }
  in.options.memorySamples = static_cast<std::size_t>(memory) << 20;
  if (*drop) in.faults.dropAfterBlockBytes = dropAfter;
  if (*limit) in.faults.dropLimit = dropLimit;
  if (*replyDelay) in.faults.replyDelay = std::chrono::milliseconds(delay);
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
