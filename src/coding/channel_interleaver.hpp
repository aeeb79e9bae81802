// The IS-856 forward link channel interleaver: the code symbols split into the systematic stream
// U and the parity pairs V0/V0' (and V1/V1' at rate 1/5), each block-permuted by row write,
// per-column cyclic rotation and bit-reversed column order.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "coding/bits.hpp"
#include "coding/modparams.hpp"

namespace kelvane::coding {

// `inputBlock` (k * m symbols, m a power of two) written row by row into k rows, column i
// rotated down by i mod k ("U") or floor(i / 4) mod k ("V"; `type` is case-insensitive, other
// text is an error), column i moved to column reverseBits(i, log2 m), read out column by column.
Bits Qarn_FwdSymbolPermuter(std::span<const std::uint8_t> inputBlock, std::size_t k, std::size_t m,
                            std::string_view type);
std::vector<double> Qarn_FwdSymbolPermuter(std::span<const double> inputBlock, std::size_t k,
                                           std::size_t m, std::string_view type);

// The interleaved code symbols of a packet of format.bits (1024, 2048, 3072 or 4096) bits at
// format.codeRate (1/3 or 0.2): `input` must hold bits / codeRate symbols. Output: U permuted,
// then [V0 V0'] permuted, then at rate 1/5 [V1 V1'] permuted. Reads codeRate and bits only.
Bits Qarn_FwdChannelInterleaver(std::span<const std::uint8_t> input, const ModParams& format);
std::vector<double> Qarn_FwdChannelInterleaver(std::span<const double> input,
                                               const ModParams& format);

}  // namespace kelvane::coding
