// `kelvane-cli plot`: one plot of the calculated waveform written as a PNG, SVG or PDF file for
// production reports. The plotting code needs Qt, which this program does not link: the command
// runs the desktop program in its headless plotting mode (kelvane -platform offscreen --plot
// ...), found beside this program, in the build tree or in the install prefix, or named by the
// environment variable KELVANE_DESKTOP. The other commands never load anything of it.
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

#include "cli/commands.hpp"

extern char** environ;

namespace kelvane::cli {

namespace {

namespace fs = std::filesystem;

const char* kPlotHelp =
    "usage: kelvane-cli plot KIND [--params FILE.mat] [--set FIELD=VALUE ...]\n"
    "                        [--waveform traffic|control] --out FILE.png|.svg|.pdf\n"
    "Computes the waveform as calculate does and writes one plot of it (of the samples as the\n"
    "14-bit DAC plays them) without a display:\n"
    "  spectrum     magnitude spectrum, dB below the peak over -fs/2 ... +fs/2\n"
    "  waterfall    the spectrum over time in 200 snapshots (3-D projection)\n"
    "  ccdf         CCDF of the power above average with the Gaussian noise reference\n"
    "  iq           I(t) and Q(t) in two axes; iq-overlay: in one\n"
    "  eye          eye diagram of I and Q, one chip a trace\n"
    "  scatter      constellation at the chip instants with the trajectory between them\n"
    "  filter       magnitude response of the baseband filter in use (freqz) against the\n"
    "               IS-95 mask: passband 0-590 kHz within +-1.5 dB, stopband from 740 kHz\n"
    "               at least 40 dB down; the title says whether the mask is met\n"
    "  --params FILE.mat   start from a parameter file (else the start-up parameters)\n"
    "  --set FIELD=VALUE   change one parameter (repeatable)\n"
    "  --waveform W        traffic (default) or control\n"
    "  --out FILE          the picture: .png, .svg or .pdf\n"
    "The plotting runs in the desktop program kelvane (found beside kelvane-cli, in the build\n"
    "tree or the install prefix; KELVANE_DESKTOP names another).\n"
    "Exit codes: 0 written, 1 the calculation, the plot or the file failed, 2 usage error,\n"
    "3 a parameter file or value was refused.\n";

bool executable(const fs::path& p) {
  return !p.empty() && ::access(p.c_str(), X_OK) == 0 && fs::is_regular_file(p);
}

// The desktop program: $KELVANE_DESKTOP, beside this program, the build tree, the prefix.
fs::path desktopProgram() {
  if (const char* named = std::getenv("KELVANE_DESKTOP")) return named;
  std::error_code ec;
  const fs::path self = fs::read_symlink("/proc/self/exe", ec);
  const fs::path candidates[] = {ec ? fs::path() : self.parent_path() / "kelvane",
                                 KELVANE_BUILD_DESKTOP, fs::path(KELVANE_INSTALL_BINDIR) / "kelvane"};
  for (const fs::path& p : candidates)
    if (executable(p)) return p;
  return {};
}

int runAndWait(const fs::path& program, std::vector<std::string> args) {
  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(program.c_str()));
  for (std::string& a : args)
    argv.push_back(a.data());
  argv.push_back(nullptr);
  pid_t pid = 0;
  if (const int err = posix_spawn(&pid, program.c_str(), nullptr, nullptr, argv.data(), environ)) {
    std::cerr << "kelvane-cli plot: cannot run " << program.string() << ": " << std::strerror(err)
              << '\n';
    return kExitFailure;
  }
  int status = 0;
  while (waitpid(pid, &status, 0) < 0)
    if (errno != EINTR) return kExitFailure;
  if (WIFEXITED(status)) return WEXITSTATUS(status);
  std::cerr << "kelvane-cli plot: " << program.string() << " stopped by signal "
            << WTERMSIG(status) << '\n';
  return kExitFailure;
}

}  // namespace

int commandPlot(const Arguments& args) {
  for (const auto& a : args)
    if (a == "--help" || a == "-h") {
      std::cout << kPlotHelp;
      return kExitOk;
    }
  if (args.empty()) {
    std::cerr << kPlotHelp;
    return kExitUsage;
  }
  const fs::path desktop = desktopProgram();
  if (desktop.empty()) {
    std::cerr << "kelvane-cli plot: the desktop program kelvane, which draws the plots, is not "
                 "installed beside kelvane-cli (set KELVANE_DESKTOP to its path)\n";
    return kExitFailure;
  }
  std::vector<std::string> forward = {"-platform", "offscreen", "--plot"};
  forward.insert(forward.end(), args.begin(), args.end());
  return runAndWait(desktop, std::move(forward));
}

}  // namespace kelvane::cli
