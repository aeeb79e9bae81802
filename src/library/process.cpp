#include "library/process.hpp"

#include <malloc.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <utility>

namespace kelvane::library {

void installProcessHooks(ProcessHooks hooks) {
  toolkit::setDialogs(hooks.dialogs);
  instrument::setProgressReporter(std::move(hooks.progress));
  registry::setConsole(std::move(hooks.console));
  if (!hooks.warnings)
    hooks.warnings = [](std::string_view text) {
      registry::printToConsole("Warning: " + std::string(text));
    };
  synthesis::setWarningSink(std::move(hooks.warnings));
  instrument::setTransportSettings(hooks.transport.value_or(instrument::TransportSettings{}));
}

void keepFreedMemoryForReuse() {
  // Fixed thresholds also stop glibc from adjusting them as blocks come and go.
  ::mallopt(M_MMAP_THRESHOLD, 4 << 20);
  ::mallopt(M_TRIM_THRESHOLD, 32 << 20);
}

void restartWithHugePages(char** argv) {
  constexpr const char* kHugePages = "glibc.malloc.hugetlb=1";
  const char* now = std::getenv("GLIBC_TUNABLES");
  std::string tunables = now ? now : "";
  if (tunables.find("glibc.malloc.hugetlb") != std::string::npos) return;
  tunables += tunables.empty() ? kHugePages : std::string(":") + kHugePages;
  if (::setenv("GLIBC_TUNABLES", tunables.c_str(), 1) != 0) return;
  ::execv("/proc/self/exe", argv);
  // Not run again (no /proc): go on with ordinary pages, and do not try again in a child.
}

}  // namespace kelvane::library
