// The traffic channel chain: a physical layer packet to the data chips of its slots.
#pragma once

#include <complex>
#include <span>
#include <vector>

#include "coding/modparams.hpp"

namespace kelvane::coding {

// Turbo encoding, scrambling and channel interleaving (each stage runs when its switch is set),
// then modulation, repetition/truncation to modulationSymbolsRequired, 16 Walsh channels, gain
// 1/4 and summation. `packet` must hold exactly `format.bits` bits; `macIndex` is 0..63.
// Returns exactly format.dataTDMChips complex chips.
std::vector<std::complex<double>> Qarn_FwdTrfChn(std::span<const std::uint8_t> packet,
                                                 const ModParams& format, double macIndex,
                                                 bool encoderActive = true,
                                                 bool scramblerActive = true,
                                                 bool interleaverActive = true);

}  // namespace kelvane::coding
