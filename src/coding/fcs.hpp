// The 16-bit frame check sequence that ends every physical layer packet.
#pragma once

#include <cstdint>
#include <span>

#include "coding/bits.hpp"

namespace kelvane::coding {

// CRC with generator x^16 + x^12 + x^5 + 1, register starting at zero, input first bit first, no
// final inversion (CRC-16/XMODEM); any non-zero element counts as 1. Returns the 16 register bits,
// the x^15 stage first; an empty input gives 16 zeros.
// Example: the 72 bits of the ASCII digits "123456789" give 0x31C3.
Bits Qarn_PhysicalLayerFCS(std::span<const std::uint8_t> bits);

}  // namespace kelvane::coding
