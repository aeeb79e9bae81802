#include "simulator/crc32.hpp"

#include <array>

namespace kelvane::simulator {

namespace {

using Table = std::array<std::uint32_t, 256>;

// Eight tables for slicing-by-8: table k advances a byte through k further zero bytes, so eight
// input bytes are folded per step instead of one (a download is checked as fast as it arrives).
constexpr std::array<Table, 8> makeTables() {
  std::array<Table, 8> t{};
  for (std::uint32_t i = 0; i < 256; ++i) {
    std::uint32_t c = i;
    for (int b = 0; b < 8; ++b)
      c = (c & 1u) ? (c >> 1) ^ 0xEDB88320u : c >> 1;
    t[0][i] = c;
  }
  for (std::size_t k = 1; k < 8; ++k)
    for (std::size_t i = 0; i < 256; ++i)
      t[k][i] = (t[k - 1][i] >> 8) ^ t[0][t[k - 1][i] & 0xFFu];
  return t;
}

constexpr std::array<Table, 8> kTables = makeTables();

constexpr std::uint32_t load32le(const std::uint8_t* p) {
  return std::uint32_t{p[0]} | std::uint32_t{p[1]} << 8 | std::uint32_t{p[2]} << 16 |
         std::uint32_t{p[3]} << 24;
}

}  // namespace

std::uint32_t crc32Update(std::uint32_t crc, std::span<const std::uint8_t> bytes) {
  const std::uint8_t* p = bytes.data();
  std::size_t n = bytes.size();
  const auto& t = kTables;
  while (n >= 8) {
    const std::uint32_t lo = crc ^ load32le(p);
    const std::uint32_t hi = load32le(p + 4);
    crc = t[7][lo & 0xFFu] ^ t[6][(lo >> 8) & 0xFFu] ^ t[5][(lo >> 16) & 0xFFu] ^ t[4][lo >> 24] ^
          t[3][hi & 0xFFu] ^ t[2][(hi >> 8) & 0xFFu] ^ t[1][(hi >> 16) & 0xFFu] ^ t[0][hi >> 24];
    p += 8;
    n -= 8;
  }
  while (n-- > 0)
    crc = (crc >> 8) ^ t[0][(crc ^ *p++) & 0xFFu];
  return crc;
}

}  // namespace kelvane::simulator
