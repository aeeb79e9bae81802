#include "synthesis/samples.hpp"

#include <sys/mman.h>

#include <cstdlib>
#include <mutex>
#include <new>

namespace kelvane::synthesis {

namespace {

constexpr std::size_t kHugePage = std::size_t{2} << 20;
// Freed rows kept for reuse: at most this many, of at most this many bytes in all (the two
// waveforms of the largest case take 252 MB).
constexpr std::size_t kKeptRows = 4;
constexpr std::size_t kKeptBytes = std::size_t{640} << 20;

struct Kept {
  void* p;
  std::size_t bytes;  // rounded to whole huge pages
};

// A plain array in static storage: the kept blocks stay reachable to a leak checker at exit.
std::mutex keptMutex;
Kept kept[kKeptRows];
std::size_t keptCount = 0;

std::size_t rounded(std::size_t bytes) {
  return (bytes + kHugePage - 1) / kHugePage * kHugePage;
}

std::size_t keptBytes() {
  std::size_t total = 0;
  for (std::size_t i = 0; i < keptCount; ++i)
    total += kept[i].bytes;
  return total;
}

}  // namespace

void* allocateLarge(std::size_t bytes) {
  const std::size_t size = rounded(bytes);
  {
    // The smallest kept block that holds the row, if it is not more than twice the row.
    std::lock_guard lock(keptMutex);
    std::size_t best = keptCount;
    for (std::size_t i = 0; i < keptCount; ++i)
      if (kept[i].bytes >= size && kept[i].bytes <= 2 * size &&
          (best == keptCount || kept[i].bytes < kept[best].bytes))
        best = i;
    if (best != keptCount) {
      void* p = kept[best].p;
      kept[best] = kept[--keptCount];
      return p;
    }
  }
  void* p = std::aligned_alloc(kHugePage, size);
  if (!p) throw std::bad_alloc();
  ::madvise(p, size, MADV_HUGEPAGE);  // advice only: without huge pages the row still works
  return p;
}

void deallocateLarge(void* p, std::size_t bytes) noexcept {
  if (!p) return;
  const std::size_t size = rounded(bytes);
  {
    std::lock_guard lock(keptMutex);
    if (keptCount < kKeptRows && keptBytes() + size <= kKeptBytes) {
      kept[keptCount++] = {p, size};
      return;
    }
  }
  std::free(p);
}

void releaseLargeRows() noexcept {
  std::lock_guard lock(keptMutex);
  for (std::size_t i = 0; i < keptCount; ++i)
    std::free(kept[i].p);
  keptCount = 0;
}

}  // namespace kelvane::synthesis
