// Sequence helpers shared by the slot bursts, the quadrature spreader and the traffic channel
// Walsh cover: repetition, bit-to-antipodal mapping, Walsh covering and the Walsh matrix.
#pragma once

#include <complex>
#include <cstddef>
#include <span>
#include <vector>

#include "coding/matrix.hpp"

namespace kelvane::coding {

// The whole of `input` written `factor` times in a row (not each element repeated); factor 0
// gives an empty row. Example: Qarn_Repeat({1, 2, 3}, 2) -> 1 2 3 1 2 3.
std::vector<double> Qarn_Repeat(std::span<const double> input, std::size_t factor);
std::vector<std::complex<double>> Qarn_Repeat(std::span<const std::complex<double>> input,
                                              std::size_t factor);

// 1 - 2 * input elementwise: bit 0 -> +1, bit 1 -> -1. Example: {0, 1, 1, 0} -> 1 -1 -1 1.
std::vector<double> Qarn_SignalMap(std::span<const double> input);
std::vector<std::complex<double>> Qarn_SignalMap(std::span<const std::complex<double>> input);

// Each symbol of `signal` times the whole `code` (n chips), symbol after symbol: L * n chips.
// Example: Qarn_WalshCover({2, -1}, {1, -1}) -> 2 -2 -1 1.
std::vector<double> Qarn_WalshCover(std::span<const double> signal, std::span<const double> code);
std::vector<std::complex<double>> Qarn_WalshCover(std::span<const std::complex<double>> signal,
                                                  std::span<const double> code);

// The 2^k x 2^k Sylvester-Hadamard matrix, k = floor(log2(index)), of +1/-1: row r + 1 is the
// Walsh function W(r), row 1 all ones. `index` from 1 to below 8192 (up to 4096 x 4096); one that
// is not a power of two rounds down (48 gives 32 x 32).
Matrix<double> Qarn_WalshMatrix(double index);

}  // namespace kelvane::coding
