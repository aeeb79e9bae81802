#include "synthesis/samples.hpp"

#include <sys/mman.h>

#include <cstdint>
#include <mutex>
#include <new>

namespace kelvane::synthesis {

namespace {

constexpr std::size_t kHugePage = std::size_t{2} << 20;
// Freed rows kept for reuse: at most this many, of at most this many bytes in all. The two
// waveforms of the largest case take 252 MB of samples, 16 MB of markers and 10 MB of chips.
constexpr std::size_t kKeptRows = 8;
constexpr std::size_t kKeptBytes = std::size_t{640} << 20;

struct Kept {
  void* p;
  std::size_t bytes;  // rounded to whole huge pages
};

// The kept blocks, each a mapping of its own, in a plain array in static storage.
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
      const Kept k = kept[best];
      kept[best] = kept[--keptCount];
      // The row's mapping is exactly its rounded size, as deallocateLarge unmaps it.
      if (k.bytes > size) ::munmap(static_cast<char*>(k.p) + size, k.bytes - size);
      return k.p;
    }
  }
  // A mapping of its own, 2 MB aligned (the slack either side is unmapped again), so that the row
  // never sits in the malloc heap and goes back to the system whole.
  void* raw = ::mmap(nullptr, size + kHugePage, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS,
                     -1, 0);
  if (raw == MAP_FAILED) throw std::bad_alloc();
  const auto at = reinterpret_cast<std::uintptr_t>(raw);
  const std::uintptr_t aligned = (at + kHugePage - 1) / kHugePage * kHugePage;
  if (aligned > at) ::munmap(raw, aligned - at);
  ::munmap(reinterpret_cast<void*>(aligned + size), at + kHugePage - aligned);  // never empty
  void* p = reinterpret_cast<void*>(aligned);
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
  ::munmap(p, size);
}

void releaseLargeRows() noexcept {
  std::lock_guard lock(keptMutex);
  for (std::size_t i = 0; i < keptCount; ++i)
    ::munmap(kept[i].p, kept[i].bytes);
  keptCount = 0;
}

}  // namespace kelvane::synthesis
