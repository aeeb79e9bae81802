// Splitting a fuzz input into the pieces a connection would receive: the first bytes of the
// input choose the piece lengths, so that the fuzzer varies where reads end (inside a block
// header, a block, a quoted string or between a CR and its LF) as well as what arrives.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace kelvane::fuzzing {

// The input after its chunking prefix, and the pieces it arrives in.
struct Chunked {
  std::span<const char> bytes;               // the whole stream, as one read would deliver it
  std::vector<std::span<const char>> parts;  // the same bytes in the chosen pieces
};

// Takes up to 8 prefix bytes as a cycle of piece lengths (1 to 256 bytes each; a prefix byte b
// gives a piece of b + 1 bytes, so 0 feeds byte by byte). An input shorter than the prefix is
// all prefix and an empty stream.
inline Chunked chunk(const std::uint8_t* data, std::size_t size) {
  constexpr std::size_t kPrefix = 8;
  const std::size_t prefix = size < kPrefix ? size : kPrefix;
  Chunked c;
  c.bytes = {reinterpret_cast<const char*>(data) + prefix, size - prefix};
  std::size_t at = 0;
  for (std::size_t k = 0; at < c.bytes.size(); ++k) {
    const std::size_t want = prefix == 0 ? c.bytes.size() : std::size_t{data[k % prefix]} + 1;
    const std::size_t n = want < c.bytes.size() - at ? want : c.bytes.size() - at;
    c.parts.push_back(c.bytes.subspan(at, n));
    at += n;
  }
  return c;
}

}  // namespace kelvane::fuzzing
