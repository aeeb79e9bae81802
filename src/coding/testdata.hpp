// Payload test data: zeros, ones, alternating bits, PN9, PN15 or a repeated user pattern.
#pragma once

#include <span>

#include "coding/bits.hpp"

namespace kelvane::coding {

// A row of `len` bits of payload type `type` (1 zeros, 2 ones, 3 0101..., 4 1010..., 5 PN9,
// 6 PN15, 7 `pattern` repeated). A type outside 1..7, or 7 without a pattern, raises
// coding::Error.
Bits GenerateBitStream(double type, double len, std::span<const double> pattern = {});

}  // namespace kelvane::coding
