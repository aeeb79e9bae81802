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
#include <cstdlib>
#include <string>
#include <vector>

#include "cli/commands.hpp"

extern char** environ;

namespace kelvane::cli {

namespace {

namespace fs = std::filesystem;

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
    printError("cannot run " + program.string() + ": " + std::strerror(err));
    return kExitFailure;
  }
  int status = 0;
  while (waitpid(pid, &status, 0) < 0)
    if (errno != EINTR) return kExitFailure;
  if (WIFEXITED(status)) return WEXITSTATUS(status);
  printError(program.string() + " stopped by signal " + std::to_string(WTERMSIG(status)));
  return kExitFailure;
}

}  // namespace

int commandPlot(const PlotOptions& plot, const SessionOptions& options) {
  const fs::path desktop = desktopProgram();
  if (desktop.empty()) {
    printError("the desktop program kelvane, which draws the plots, is not installed beside "
               "kelvane-cli (set KELVANE_DESKTOP to its path)");
    return kExitFailure;
  }
  std::vector<std::string> forward = {"-platform", "offscreen", "--plot", plot.kind,
                                      "--out",     plot.out,    "--waveform", plot.waveform};
  if (!options.paramsFile.empty()) forward.insert(forward.end(), {"--params", options.paramsFile});
  for (const std::string& set : options.sets)
    forward.insert(forward.end(), {"--set", set});
  return runAndWait(desktop, std::move(forward));
}

}  // namespace kelvane::cli
