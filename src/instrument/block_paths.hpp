// The instruction-set paths of the download encoder. The widest the processor has is taken
// unless KELVANE_SIMD names another ("sse", "avx2" or "avx512"), as for the filter; every path
// gives the same words, only the speed differs.
#pragma once

#include <cstddef>

namespace kelvane::instrument::paths {

// Encodes the leading whole vectors of the `n` components at `x` (I, Q, I, Q, ...) into
// big-endian words at `out`, with exactly the rounding of encodeIqWords; returns how many
// components it did (the caller does the rest).
std::size_t encodeWordsAvx2(const double* x, std::size_t n, double scale, char* out);
std::size_t encodeWordsAvx512(const double* x, std::size_t n, double scale, char* out);

}  // namespace kelvane::instrument::paths
