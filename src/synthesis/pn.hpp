// The IS-856 short PN sequences PN_I and PN_Q (period 2^15 chips) and the quadrature spreading
// of the forward-link chip stream by them, delayed by the pilot PN offset.
#pragma once

#include <cmath>
#include <complex>
#include <cstddef>
#include <span>
#include <sstream>
#include <string>
#include <vector>

#include "coding/bits.hpp"
#include "coding/error.hpp"

namespace kelvane::synthesis {

inline constexpr std::size_t kPNPeriodChips = 32768;  // 16 slots
inline constexpr std::size_t kPNOffsetChips = 64;     // one unit of the pilot PN offset

// `input` delayed circularly by `count` (rounded, halves away from zero) positions: element p
// moves to p + count. A count of 0 or less returns the input unchanged; a count above the length
// raises coding::Error. Example: CircularShiftRight({1, 2, 3, 4, 5}, 2) -> 4 5 1 2 3.
template <class T>
std::vector<T> CircularShiftRight(std::span<const T> input, double count) {
  const double c = std::round(count);
  std::vector<T> out(input.begin(), input.end());
  if (!(c > 0)) return out;
  if (!(c <= static_cast<double>(input.size()))) {
    std::ostringstream text;
    text << "CircularShiftRight: shift count " << c << " exceeds the length " << input.size();
    coding::fail(text.str());
  }
  const auto k = static_cast<std::size_t>(c);
  std::copy(input.end() - static_cast<std::ptrdiff_t>(k), input.end(), out.begin());
  std::copy(input.begin(), input.end() - static_cast<std::ptrdiff_t>(k),
            out.begin() + static_cast<std::ptrdiff_t>(k));
  return out;
}

// Zero-offset PN_I (x^15 + x^13 + x^9 + x^8 + x^7 + x^5 + 1) and PN_Q (x^15 + x^12 + x^11 + x^10
// + x^6 + x^5 + x^4 + x^3 + 1) bits, `reps` periods of 32768 chips (reps >= 1; 0 raises
// coding::Error like the 15-chip shift of an empty row). Each period starts with its run of 15
// zeros. Example: Qarn_PNiSequence(1) starts 0000 0000 0000 0001 0000 1011 1100 1101.
coding::Bits Qarn_PNiSequence(std::size_t reps);
coding::Bits Qarn_PNqSequence(std::size_t reps);

// One zero-offset period of each sequence, computed once.
std::span<const std::uint8_t> pnIPeriod();
std::span<const std::uint8_t> pnQPeriod();

// `frames` (any shape, elements in column-major order; a whole number of 32768-chip periods)
// spread by (PN_I + j PN_Q) delayed by 64 * `offsetIndex` chips, bit 0 as +1 and bit 1 as -1:
// (I + jQ)(PN_I + j PN_Q). Chip 1 is spread by chip 1 of the offset sequence. Raises
// coding::Error for a length that is not a whole number of periods or an offset above 512.
// Example: Qarn_FwdQuadSpreading(32768 ones, 0) is the PN chip row itself.
std::vector<std::complex<double>> Qarn_FwdQuadSpreading(
    std::span<const std::complex<double>> frames, double offsetIndex);

// The same spreading in place; with `conjugate` the result is written conjugated (the spectral
// inversion of the synthesis driver, taken at chip rate).
void spreadInPlace(std::span<std::complex<double>> chips, double offsetIndex,
                   bool conjugate = false);

}  // namespace kelvane::synthesis
