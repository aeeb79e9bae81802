// Bit rows written as text ("1100 1010"; spaces and bars are ignored) for the standard vectors.
#pragma once

#include <string>
#include <string_view>

#include "coding/bits.hpp"

namespace kelvane::coding::testing {

inline Bits bitsOf(std::string_view text) {
  Bits bits;
  for (char c : text)
    if (c == '0' || c == '1') bits.push_back(static_cast<std::uint8_t>(c - '0'));
  return bits;
}

inline std::string textOf(const Bits& bits) {
  std::string s;
  for (auto b : bits)
    s.push_back(static_cast<char>('0' + b));
  return s;
}

// The bits of `text`'s bytes, each byte most significant bit first.
inline Bits bitsOfBytes(std::string_view text) {
  Bits bits;
  for (unsigned char c : text)
    for (int i = 7; i >= 0; --i)
      bits.push_back(static_cast<std::uint8_t>((c >> i) & 1));
  return bits;
}

}  // namespace kelvane::coding::testing
