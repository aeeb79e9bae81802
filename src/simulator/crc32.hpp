// CRC-32 (IEEE 802.3, the polynomial of zlib and PNG, computed by zlib) over the bytes of a stored
// file, so that a test or an operator can compare a download against the waveform it came from.
#pragma once

#include <cstdint>
#include <span>

namespace kelvane::simulator {

// Running CRC-32: start with crc32Begin(), feed pieces in order, finish with crc32End().
// Example: crc32End(crc32Update(crc32Begin(), bytes of "123456789")) == 0xCBF43926.
inline constexpr std::uint32_t crc32Begin() {
  return 0xFFFFFFFFu;
}
std::uint32_t crc32Update(std::uint32_t crc, std::span<const std::uint8_t> bytes);
inline constexpr std::uint32_t crc32End(std::uint32_t crc) {
  return crc ^ 0xFFFFFFFFu;
}

}  // namespace kelvane::simulator
