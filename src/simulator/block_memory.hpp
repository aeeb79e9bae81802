// Memory for received blocks. A waveform block is tens of megabytes: placed on transparent huge
// pages it takes a few dozen page faults instead of fifteen thousand, and left unwritten until
// the socket reads into it, it is touched once.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <type_traits>
#include <utility>
#include <vector>

namespace kelvane::simulator {

// Blocks of at least this many bytes go on huge pages.
inline constexpr std::size_t kLargeBlockBytes = std::size_t{4} << 20;

void* allocateBlockMemory(std::size_t bytes);
void freeBlockMemory(void* p) noexcept;

// std::allocator, except that resize(n) leaves new bytes as the memory holds them (the reader
// writes every one) and large blocks come from allocateBlockMemory.
template <class T>
struct BlockAllocator {
  static_assert(std::is_trivially_copyable_v<T> && std::is_trivially_destructible_v<T>);
  using value_type = T;

  BlockAllocator() = default;
  template <class U>
  explicit BlockAllocator(const BlockAllocator<U>&) noexcept {}

  T* allocate(std::size_t n) {
    if (n >= kLargeBlockBytes / sizeof(T)) return static_cast<T*>(allocateBlockMemory(n * sizeof(T)));
    return std::allocator<T>{}.allocate(n);
  }
  void deallocate(T* p, std::size_t n) noexcept {
    if (n >= kLargeBlockBytes / sizeof(T)) {
      freeBlockMemory(p);
    } else {
      std::allocator<T>{}.deallocate(p, n);
    }
  }

  template <class U>
  void construct(U* /*p*/) noexcept {}
  template <class U, class... A>
  void construct(U* p, A&&... args) {
    ::new (static_cast<void*>(p)) U(std::forward<A>(args)...);
  }

  friend bool operator==(const BlockAllocator&, const BlockAllocator&) { return true; }
};

// The bytes of a block or of a stored file.
using Bytes = std::vector<std::uint8_t, BlockAllocator<std::uint8_t>>;

}  // namespace kelvane::simulator
