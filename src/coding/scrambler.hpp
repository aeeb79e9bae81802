// The forward traffic channel scrambler: code symbols XOR a 17-stage PN sequence
// (D^17 + D^14 + 1) whose start state carries the MAC index and the DRC value.
#pragma once

#include <cstdint>
#include <span>

#include "coding/bits.hpp"
#include "coding/modparams.hpp"

namespace kelvane::coding {

// `input` XOR the scrambling sequence started from 1111111, the 6-bit `macIndex` (0..63) and the
// 4-bit format.drcValue (the only field read), each most significant bit first. Scrambling twice
// with the same MAC index and DRC gives the input back.
// Example: zeros at MAC index 0, DRC 1 give 1111111000000000100001110000001001011111...
Bits Qarn_FwdScrambler(std::span<const std::uint8_t> input, const ModParams& format,
                       double macIndex);

}  // namespace kelvane::coding
