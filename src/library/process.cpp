#include "library/process.hpp"

#include <malloc.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
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

namespace {
// The heap below its first whole huge page, held for the life of the process.
void* beforeHugePages = nullptr;
}  // namespace

void keepFreedMemoryForReuse() {
  constexpr std::size_t kKeptHeap = 32 << 20;
  constexpr std::uintptr_t kHugePage = 2 << 20;
  // Fixed thresholds also stop glibc from adjusting them as blocks come and go.
  ::mallopt(M_MMAP_THRESHOLD, 4 << 20);
  ::mallopt(M_TRIM_THRESHOLD, static_cast<int>(kKeptHeap));
  // One heap for every thread, so that the calculation's threads also take their blocks from
  // the huge pages below; the threads allocate per packet, not per sample.
  ::mallopt(M_ARENA_MAX, 1);
  if (beforeHugePages) return;  // done once
  // The heap grows by 32 MiB at once, now, and its part not yet written is given huge pages: a new
  // process would otherwise fault in its first megabytes of heap 4 KiB at a time. The heap up to
  // the first whole huge page cannot have one; it is taken by a block that is never written nor
  // freed (address space only), so that the allocations start on huge pages.
  ::mallopt(M_TOP_PAD, static_cast<int>(kKeptHeap));
  // A block larger than the heap glibc starts with makes it grow. glibc writes the free heap's
  // header just past the block, so the huge pages start after that.
  constexpr std::size_t kProbe = 512 << 10;
  void* block = std::malloc(kProbe);
  if (!block) return;
  const auto start = reinterpret_cast<std::uintptr_t>(block);
  const auto from = (start + kProbe + 64 + kHugePage - 1) & ~(kHugePage - 1);
  std::free(block);
  const auto to = reinterpret_cast<std::uintptr_t>(::sbrk(0)) & ~(kHugePage - 1);
  if (to <= from) return;
  // Asked before anything there is written: a huge page is given only where no 4 KiB page is.
  ::madvise(reinterpret_cast<void*>(from), to - from, MADV_HUGEPAGE);  // a hint: no error to act on
  // A block of `from - start` bytes in all (glibc's 8-byte size field included) ends where the
  // free heap's own header goes, just below `from`.
  beforeHugePages = std::malloc(from - start - sizeof(std::size_t));
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
