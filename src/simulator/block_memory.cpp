#include "simulator/block_memory.hpp"

#include <sys/mman.h>

#include <cstdlib>
#include <new>

namespace kelvane::simulator {

namespace {
constexpr std::size_t kHugePage = std::size_t{2} << 20;
}

void* allocateBlockMemory(std::size_t bytes) {
  const std::size_t size = (bytes + kHugePage - 1) / kHugePage * kHugePage;
  void* p = std::aligned_alloc(kHugePage, size);
  if (!p) throw std::bad_alloc();
  ::madvise(p, size, MADV_HUGEPAGE);  // advice only: on small pages the block works the same
  return p;
}

void freeBlockMemory(void* p) noexcept {
  std::free(p);
}

}  // namespace kelvane::simulator
