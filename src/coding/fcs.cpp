#include "coding/fcs.hpp"

namespace kelvane::coding {

Bits Qarn_PhysicalLayerFCS(std::span<const std::uint8_t> bits) {
  constexpr std::uint16_t kTaps = 0x1021;  // x^12 + x^5 + 1 (x^16 is the shift out)
  std::uint16_t reg = 0;
  for (std::uint8_t b : bits) {
    const bool feedback = ((reg >> 15) != 0) != (b != 0);
    reg = static_cast<std::uint16_t>(reg << 1);
    if (feedback) reg ^= kTaps;
  }
  Bits fcs(16);
  for (int i = 0; i < 16; ++i)
    fcs[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>((reg >> (15 - i)) & 1u);
  return fcs;
}

}  // namespace kelvane::coding
