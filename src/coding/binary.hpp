// Numbers as rows of base-2 digits and back (the conversions every bit field of the packets and
// registers goes through), and bit reversal.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

#include "coding/bits.hpp"

namespace kelvane::coding {

// `d` (a non-negative whole number) as `n` base-2 digits, n = 1..1024; absent n gives the fewest
// digits that hold d (one for 0). `order` "right-msb" (the default) puts the least significant
// digit first, "left-msb" the most significant. Errors, with these texts: a d needing more than n
// digits "Specified number of columns in output matrix is too small."; a negative, fractional or
// non-finite d "Input must contain only finite real positive integers."; another order
// "Invalid string flag.". Example: de2bi(6, 4, "left-msb") -> 0 1 1 0.
Bits de2bi(double d, std::optional<double> n = std::nullopt, std::string_view order = "right-msb");

// The inverse of de2bi: a row of base-2 digits as one number, digit order as for de2bi. A digit
// other than 0 or 1 raises "The elements of the matrix are larger than the base can represent.";
// an empty row gives 0. Example: bi2de({0, 1, 1, 0}, "left-msb") -> 6.
double bi2de(std::span<const double> b, std::string_view order = "right-msb");

// The number whose `len`-digit base-2 form is that of `n` read backwards: de2bi(n, len)
// reversed, then bi2de; errors as de2bi's. Example: reverseBits(1, 5) -> 16.
double reverseBits(double n, double len);

// The same on machine integers for the interleavers: the low `width` bits of `value` reversed
// (width 0..32). Example: reverseLowBits(0b00011, 5) -> 0b11000.
constexpr std::uint32_t reverseLowBits(std::uint32_t value, int width) {
  if (width == 0) return 0;
  // Reverse all 32 bits by swapping halves, bytes, nibbles, pairs and neighbours.
  value = (value >> 16) | (value << 16);
  value = ((value & 0xFF00FF00u) >> 8) | ((value & 0x00FF00FFu) << 8);
  value = ((value & 0xF0F0F0F0u) >> 4) | ((value & 0x0F0F0F0Fu) << 4);
  value = ((value & 0xCCCCCCCCu) >> 2) | ((value & 0x33333333u) << 2);
  value = ((value & 0xAAAAAAAAu) >> 1) | ((value & 0x55555555u) << 1);
  return value >> (32 - width);
}

}  // namespace kelvane::coding
