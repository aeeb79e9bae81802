// The sample row of a waveform: a vector whose new elements are left unwritten, because the
// filter writes every sample anyway. Zero-filling 250 MB first would cost a pass over memory and
// make one thread touch every fresh page; this way each page is first touched by the thread that
// computes its samples.
#pragma once

#include <complex>
#include <cstddef>
#include <memory>
#include <type_traits>
#include <utility>
#include <vector>

namespace kelvane::synthesis {

// std::allocator, except that value-initialisation (resize(n), a vector of n) leaves the element
// as the memory holds it. Only for trivially copyable elements that a producer overwrites.
template <class T>
struct UninitializedAllocator {
  static_assert(std::is_trivially_copyable_v<T> && std::is_trivially_destructible_v<T>);
  using value_type = T;

  UninitializedAllocator() = default;
  template <class U>
  explicit UninitializedAllocator(const UninitializedAllocator<U>&) noexcept {}

  T* allocate(std::size_t n) { return std::allocator<T>{}.allocate(n); }
  void deallocate(T* p, std::size_t n) noexcept { std::allocator<T>{}.deallocate(p, n); }

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

}  // namespace kelvane::synthesis
