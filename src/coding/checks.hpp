// Argument checks shared by the coding and synthesis operations: whole-number arguments in a
// range, bit rows, and numbers written the shortest way for error texts.
#pragma once

#include <charconv>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "coding/error.hpp"
#include "runtime/numbers.hpp"

namespace kelvane::coding {

// The shortest text that reads back as `x`: 1002, 0.2, 4.5, nan.
inline std::string formatNumber(double x) {
  if (std::isnan(x)) return "NaN";
  if (std::isinf(x)) return x > 0 ? "Inf" : "-Inf";
  char buffer[32];
  auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, x);
  (void)ec;  // 32 characters always hold a double
  return std::string(buffer, end);
}

using runtime::isWhole;

// `value` as a whole number in lo..hi, or coding::Error naming `name` and the value.
inline std::size_t wholeInRange(double value, const char* name, double lo, double hi) {
  if (!runtime::isWholeIn(value, lo, hi))
    fail(std::string(name) + " must be a whole number from " + formatNumber(lo) + " to " +
         formatNumber(hi) + ", got " + formatNumber(value));
  return static_cast<std::size_t>(value);
}

// Every element of `bits` is 0 or 1.
inline void requireBits(std::span<const std::uint8_t> bits, const char* name) {
  std::uint8_t any = 0;  // OR of all elements: one pass the compiler vectorises
  for (std::uint8_t b : bits)
    any |= b;
  if (any <= 1) return;
  for (std::size_t i = 0; i < bits.size(); ++i)
    if (bits[i] > 1)
      fail(std::string(name) + " must hold bits (0 or 1), found " + std::to_string(bits[i]) +
           " at position " + std::to_string(i + 1));
}

}  // namespace kelvane::coding
