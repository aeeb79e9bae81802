// Physical layer packets with their frame check sequence, and the control channel Sync message.
#pragma once

#include <span>

#include "coding/bits.hpp"

namespace kelvane::coding {

// Forward Traffic Channel packet around k = 1..4 MAC payloads of 1002 bits: payloads joined by
// 22-bit zero PADs, then the FCS and 6 zero tail bits (1024 * k bits). `data` has 1002 * k bits;
// any other length raises coding::Error.
Bits Qarn_FwdTrfPhysicalLayerPacket(std::span<const std::uint8_t> data);

// The 1024-bit Control Channel packet carrying the Sync message for `pilotPNOffset` (0..511).
Bits Qarn_FwdSyncMessagePacket(double pilotPNOffset);

}  // namespace kelvane::coding
