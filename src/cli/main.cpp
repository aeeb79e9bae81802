// kelvane-cli: the library's command-line door for scripted production lines and engineers.
#include <cstring>
#include <iostream>
#include <map>
#include <string>

#include "cli/commands.hpp"
#include "cli/session.hpp"
#include "cli/terminal_text.hpp"
#include "library/binders.hpp"
#include "library/process.hpp"
#include "registry/registry.hpp"

namespace {

struct Command {
  int (*run)(const kelvane::cli::Arguments&);
  const char* summary;
};

const std::map<std::string, Command>& commands() {
  static const std::map<std::string, Command> c = {
      {"ops", {kelvane::cli::commandOps, "list the library's operations by name"}},
      {"call", {kelvane::cli::commandCall, "call an operation by name with JSON arguments"}},
      {"calculate", {kelvane::cli::commandCalculate, "compute both waveforms, write files"}},
      {"download",
       {kelvane::cli::commandDownload,
        "calculate, download both waveforms, build and play the sequence"}},
      {"refresh", {kelvane::cli::commandRefresh, "replay the sequence with the current settings"}},
      {"params", {kelvane::cli::commandParams, "show, save or check parameter files"}},
      {"config", {kelvane::cli::commandConfig, "show or set the saved instrument connection"}},
      {"plot", {kelvane::cli::commandPlot, "write a plot of the waveform as PNG, SVG or PDF"}},
  };
  return c;
}

int usage(std::ostream& os, int code) {
  os << "usage: kelvane-cli COMMAND [ARG ...]\n\nCommands:\n";
  for (const auto& [name, cmd] : commands()) {
    os << "  " << name << std::string(12 - std::min<std::size_t>(name.size(), 11), ' ')
       << cmd.summary << '\n';
  }
  os << "\n'kelvane-cli COMMAND --help' describes a command.\n";
  return code;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return usage(std::cerr, kelvane::cli::kExitUsage);
  const std::string name = argv[1];
  if (name == "--help" || name == "-h" || name == "help") return usage(std::cout, 0);
  auto it = commands().find(name);
  if (it == commands().end()) {
    std::cerr << "kelvane-cli: unknown command '" << name << "'\n";
    return usage(std::cerr, kelvane::cli::kExitUsage);
  }
  kelvane::cli::Arguments args(argv + 2, argv + argc);
  int code = kelvane::cli::kExitFailure;
  try {
    kelvane::library::initializeCore();
    // The one place this program installs its process-wide hooks: download progress on
    // standard error; the dialogs of by-name operations stay the silent ones.
    kelvane::library::installProcessHooks({.progress = kelvane::cli::progressBar()});
    code = it->second.run(args);
    kelvane::registry::terminate();
  } catch (const std::exception& e) {
    std::cerr << "kelvane-cli: " << kelvane::cli::terminalText(e.what()) << '\n';
  }
  return code;
}
