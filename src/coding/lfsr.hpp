// The Fibonacci linear-feedback shift register, written as a recursion over its output sequence:
// the generator behind the short PN sequences and the PN test patterns.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "coding/bits.hpp"

namespace kelvane::coding {

// The output a of a register of `order` stages (order >= 0): a(1..order) = `seed`, then for
// i > order a(i) = XOR over k = 1..order of taps(k) * a(i - order + k - 1), taps(1) weighting the
// oldest bit. `taps` holds at least `order` bits (entries past `order` are not used), `seed`
// exactly `order`. The result has max(m, order) bits: with m < order it is the seed itself.
// Example: lfsr(3, {1, 1, 0, 1}, 7, {0, 0, 1}) -> 0 0 1 0 1 1 1 (a(i) = a(i-3) ^ a(i-2)).
Bits lfsr(int order, std::span<const std::uint8_t> taps, std::size_t m,
          std::span<const std::uint8_t> seed);

}  // namespace kelvane::coding
