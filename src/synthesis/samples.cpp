#include "synthesis/samples.hpp"

#include <sys/mman.h>

#include <cstdint>
#include <mutex>
#include <new>
#include <unordered_map>

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

// The mapped size of every row handed out, which is larger than the row when a kept block
// served it. Never destroyed: rows in static storage may be freed after it would be.
std::unordered_map<void*, std::size_t>& mappedSizes() {
  static auto* sizes = new std::unordered_map<void*, std::size_t>;
  return *sizes;
}

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
  std::lock_guard lock(keptMutex);
  // The smallest kept block that holds the row, if it is not more than twice the row.
  std::size_t best = keptCount;
  for (std::size_t i = 0; i < keptCount; ++i)
    if (kept[i].bytes >= size && kept[i].bytes <= 2 * size &&
        (best == keptCount || kept[i].bytes < kept[best].bytes))
      best = i;
  if (best != keptCount) {
    const Kept k = kept[best];
    mappedSizes().emplace(k.p, k.bytes);
    kept[best] = kept[--keptCount];
    return k.p;
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
  try {
    mappedSizes().emplace(p, size);
  } catch (...) {
    ::munmap(p, size);
    throw;
  }
  ::madvise(p, size, MADV_HUGEPAGE);  // advice only: without huge pages the row still works
  return p;
}

void deallocateLarge(void* p, std::size_t bytes) noexcept {
  if (!p) return;
  std::lock_guard lock(keptMutex);
  std::size_t size = rounded(bytes);
  if (const auto it = mappedSizes().find(p); it != mappedSizes().end()) {
    size = it->second;
    mappedSizes().erase(it);
  }
  // A full store keeps the larger blocks, whose first touch costs the most: smaller kept ones
  // make room for this one.
  const auto full = [&] { return keptCount == kKeptRows || keptBytes() + size > kKeptBytes; };
  while (full() && keptCount > 0) {
    std::size_t smallest = 0;
    for (std::size_t i = 1; i < keptCount; ++i)
      if (kept[i].bytes < kept[smallest].bytes) smallest = i;
    if (kept[smallest].bytes >= size) break;
    ::munmap(kept[smallest].p, kept[smallest].bytes);
    kept[smallest] = kept[--keptCount];
  }
  if (!full()) {
    kept[keptCount++] = {p, size};
    return;
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
