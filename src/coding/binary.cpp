#include "coding/binary.hpp"

#include <algorithm>
#include <cmath>

#include "coding/checks.hpp"
#include "coding/error.hpp"

namespace kelvane::coding {

namespace {

// Largest digit count accepted: a double's integer part never needs more.
constexpr double kMaxDigits = 1024;

bool leftMsb(std::string_view order) {
  if (order == "left-msb") return true;
  if (order == "right-msb") return false;
  fail("Invalid string flag.");
}

// Base-2 digits of a whole d >= 0, least significant first, exact for every double.
int digitCount(double d) {
  if (d < 1) return 1;
  int exponent = 0;
  std::frexp(d, &exponent);  // d = f * 2^exponent, 0.5 <= f < 1
  return exponent;
}

}  // namespace

Bits de2bi(double d, std::optional<double> n, std::string_view order) {
  const bool msbFirst = leftMsb(order);
  if (!isWhole(d) || d < 0) fail("Input must contain only finite real positive integers.");
  const int needed = digitCount(d);
  int digits = needed;
  if (n) {
    if (!isWhole(*n) || *n < 1 || *n > kMaxDigits)
      fail("n must be a whole number of digits from 1 to 1024, got " + formatNumber(*n));
    digits = static_cast<int>(*n);
    if (digits < needed) fail("Specified number of columns in output matrix is too small.");
  }
  Bits out(static_cast<std::size_t>(digits), 0);
  for (int j = 0; j < needed; ++j)
    out[static_cast<std::size_t>(j)] =
        static_cast<std::uint8_t>(std::fmod(std::floor(std::ldexp(d, -j)), 2.0));
  if (msbFirst) std::reverse(out.begin(), out.end());
  return out;
}

double bi2de(std::span<const double> b, std::string_view order) {
  const bool msbFirst = leftMsb(order);
  for (double digit : b)
    if (digit != 0.0 && digit != 1.0)
      fail("The elements of the matrix are larger than the base can represent.");
  double value = 0;
  // Horner's rule from the most significant digit: exact up to 2^53.
  if (msbFirst) {
    for (double digit : b)
      value = value * 2 + digit;
  } else {
    for (auto it = b.rbegin(); it != b.rend(); ++it)
      value = value * 2 + *it;
  }
  return value;
}

double reverseBits(double n, double len) {
  Bits digits = de2bi(n, len);
  std::vector<double> reversed(digits.rbegin(), digits.rend());
  return bi2de(reversed);
}

}  // namespace kelvane::coding
