// The IS-856 forward link turbo encoder: two recursive systematic constituent encoders, the
// second behind the counter-based turbo interleaver, each terminated by three tail periods, with
// puncturing to code rate 1/3 or 1/5.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "coding/bits.hpp"
#include "coding/modparams.hpp"

namespace kelvane::coding {

// Turbo interleaver lookup table, 32 rows (the 5 counter LSBs) x 5 columns (n = 3..7).
inline constexpr std::array<std::array<int, 5>, 32> TurboInterleaverTable{{
    {1, 5, 27, 3, 15},   {1, 15, 3, 27, 127}, {3, 5, 1, 15, 89},   {5, 15, 15, 13, 1},
    {1, 1, 13, 29, 31},  {5, 9, 17, 5, 15},   {1, 9, 23, 1, 61},   {5, 15, 13, 31, 47},
    {3, 13, 9, 3, 127},  {5, 15, 3, 9, 17},   {3, 7, 15, 15, 119}, {5, 11, 3, 31, 15},
    {3, 15, 13, 17, 57}, {5, 3, 1, 5, 123},   {5, 15, 13, 39, 95}, {1, 5, 29, 1, 5},
    {3, 13, 21, 19, 85}, {5, 15, 19, 27, 17}, {3, 9, 1, 15, 55},   {5, 3, 3, 13, 57},
    {3, 1, 29, 45, 15},  {5, 3, 17, 5, 41},   {5, 15, 25, 33, 93}, {5, 1, 29, 15, 87},
    {1, 13, 9, 13, 63},  {5, 1, 13, 9, 15},   {1, 9, 23, 15, 13},  {5, 15, 13, 31, 15},
    {3, 11, 13, 17, 81}, {5, 3, 1, 5, 57},    {5, 15, 13, 15, 31}, {3, 5, 13, 33, 69},
}};
static_assert(
    [] {
      for (const auto& row : TurboInterleaverTable)
        for (int v : row)
          if (v % 2 == 0) return false;
      return true;
    }(),
    "every entry is odd (a missing row would be zeros)");

// The three outputs of a constituent encoder, N data periods then 3 tail periods each.
struct ConstituentOutputs {
  Bits x;   // systematic
  Bits y0;  // parity N0/Q
  Bits y1;  // parity N1/Q
};

// One constituent encoder, Q(D) = 1 + D^2 + D^3, N0(D) = 1 + D + D^3, N1(D) = 1 + D + D^2 + D^3,
// from the zero state, terminated to the zero state by three tail periods: N + 3 symbols each.
// Example: 1 0 0 0 0 0 0 0 gives y0 = 1 1 1 1 0 0 1 0 | 1 0 1.
ConstituentOutputs Qarn_ConstituentEncoder(std::span<const std::uint8_t> input);

// The input addresses (0-based) that the interleaver reads, in output order, for N = 129..4096
// input symbols; coding::Error for another N. Example: N = 1018 starts 27, 515, 257.
std::vector<std::size_t> turboInterleaverAddresses(std::size_t n);

// The interleaved sequence: output k is input(turboInterleaverAddresses(N)[k]).
Bits Qarn_TurboInterleaver(std::span<const std::uint8_t> input);
std::vector<double> Qarn_TurboInterleaver(std::span<const double> input);

// The code symbols at `rate` (exactly 1/3, the double nearest to it, or 0.2; another rate is an
// error) from the outputs of both encoders, N + 3 symbols each (N = length(x) - 3): the data
// periods (X Y0 Y0', or X Y0 Y1 Y0' Y1'), then the tails of the first encoder (X X Y0, or
// X X Y0 Y1 Y1) and of the second (X' X' Y0', or X' X' Y0' Y1' Y1'). N/rate + 6/rate symbols.
Bits Qarn_TurboPuncturing(std::span<const std::uint8_t> x, std::span<const std::uint8_t> y0,
                          std::span<const std::uint8_t> y1, std::span<const std::uint8_t> xp,
                          std::span<const std::uint8_t> y0p, std::span<const std::uint8_t> y1p,
                          double rate);
std::vector<double> Qarn_TurboPuncturing(std::span<const double> x, std::span<const double> y0,
                                         std::span<const double> y1, std::span<const double> xp,
                                         std::span<const double> y0p, std::span<const double> y1p,
                                         double rate);

// Turbo code of `input` (N = 129..4096 bits) at `rate` 1/3 or 0.2: 3N + 18 or 5N + 30 symbols.
Bits Qarn_TurboCoder(std::span<const std::uint8_t> input, double rate);

// The code symbols of a physical layer packet: its last 6 (tail) bits dropped, the rest turbo
// coded at format.codeRate (the only field read). A 1024-bit packet gives 3072 symbols at 1/3.
Bits Qarn_FwdEncoder(std::span<const std::uint8_t> physicalLayerPacket, const ModParams& format);

}  // namespace kelvane::coding
