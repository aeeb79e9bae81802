#include "coding/lfsr.hpp"

#include <algorithm>
#include <string>
#include <vector>

#include "coding/error.hpp"

namespace kelvane::coding {

Bits lfsr(int order, std::span<const std::uint8_t> taps, std::size_t m,
          std::span<const std::uint8_t> seed) {
  require(order >= 0, "lfsr: order must be 0 or more, got " + std::to_string(order));
  const auto n = static_cast<std::size_t>(order);
  require(taps.size() >= n, "lfsr: " + std::to_string(taps.size()) +
                                " taps are fewer than the order " + std::to_string(order));
  require(seed.size() == n, "lfsr: the seed has " + std::to_string(seed.size()) +
                                " bits, the order is " + std::to_string(order));

  Bits a(std::max(m, n), 0);
  std::copy(seed.begin(), seed.end(), a.begin());
  // Lags of the set taps: taps(k) (0-based k) weights a(i - (order - k)).
  std::vector<std::size_t> lags;
  for (std::size_t k = 0; k < n; ++k)
    if (taps[k] & 1u) lags.push_back(n - k);
  for (std::size_t i = n; i < m; ++i) {
    std::uint8_t bit = 0;
    for (std::size_t lag : lags)
      bit ^= a[i - lag];
    a[i] = bit;
  }
  return a;
}

}  // namespace kelvane::coding
