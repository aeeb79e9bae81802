#include "simulator/crc32.hpp"

#include <zlib.h>

#include <algorithm>
#include <limits>

namespace kelvane::simulator {

std::uint32_t crc32Update(std::uint32_t crc, std::span<const std::uint8_t> bytes) {
  // zlib's crc32() takes and returns the finished value (the register inverted), so the running
  // register is inverted around it. Pieces are fed in lengths its unsigned length can hold.
  uLong value = ~crc & 0xFFFFFFFFu;
  while (!bytes.empty()) {
    const std::size_t n = std::min<std::size_t>(bytes.size(), std::numeric_limits<uInt>::max());
    value = ::crc32(value, bytes.data(), static_cast<uInt>(n));
    bytes = bytes.subspan(n);
  }
  return ~static_cast<std::uint32_t>(value);
}

}  // namespace kelvane::simulator
