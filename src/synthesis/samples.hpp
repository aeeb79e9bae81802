// The sample row of a waveform: a vector whose new elements are left unwritten, because the
// filter writes every sample anyway. Zero-filling 250 MB first would cost a pass over memory and
// make one thread touch every fresh page; this way each page is first touched by the thread that
// computes its samples.
#pragma once

#include <complex>
#include <cstdint>
#include <cstddef>
#include <memory>
#include <type_traits>
#include <utility>
#include <vector>

namespace kelvane::synthesis {

// Rows of at least this many bytes are placed on transparent huge pages, and freed ones are kept
// for the next rows (see allocateLarge).
inline constexpr std::size_t kLargeRowBytes = std::size_t{1} << 20;

// Memory for a large row: 2 MB aligned and advised for huge pages, so that first touching 250 MB
// takes a hundred page faults instead of sixty thousand. A block freed by deallocateLarge serves
// a later request of the same or a somewhat smaller size (a recalculation) without any fault.
void* allocateLarge(std::size_t bytes);
void deallocateLarge(void* p, std::size_t bytes) noexcept;
// Returns the kept blocks to the system.
void releaseLargeRows() noexcept;

// std::allocator, except that value-initialisation (resize(n), a vector of n) leaves the element
// as the memory holds it, and large rows come from allocateLarge. Only for trivially copyable
// elements that a producer overwrites.
template <class T>
struct UninitializedAllocator {
  static_assert(std::is_trivially_copyable_v<T> && std::is_trivially_destructible_v<T>);
  using value_type = T;

  UninitializedAllocator() = default;
  template <class U>
  explicit UninitializedAllocator(const UninitializedAllocator<U>&) noexcept {}

  T* allocate(std::size_t n) {
    if (n >= kLargeRowBytes / sizeof(T) && n <= SIZE_MAX / sizeof(T))
      return static_cast<T*>(allocateLarge(n * sizeof(T)));
    return std::allocator<T>{}.allocate(n);
  }
  void deallocate(T* p, std::size_t n) noexcept {
    if (n >= kLargeRowBytes / sizeof(T)) {
      deallocateLarge(p, n * sizeof(T));
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

  friend bool operator==(const UninitializedAllocator&, const UninitializedAllocator&) {
    return true;
  }
};

using Samples = std::vector<std::complex<double>, UninitializedAllocator<std::complex<double>>>;
// The marker row of a waveform, one byte a sample, on the same terms.
using MarkerBytes = std::vector<std::uint8_t, UninitializedAllocator<std::uint8_t>>;

}  // namespace kelvane::synthesis
