// The data modulation of the traffic channel chain: QPSK, 8-PSK and 16-QAM mapping, sequence
// repetition or truncation to the symbols the slots hold, and the 16 Walsh data channels with
// their common gain and summation.
#pragma once

#include <complex>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "coding/matrix.hpp"
#include "coding/modparams.hpp"

namespace kelvane::coding {

using Complex = std::complex<double>;

// The modulation numbered `format` as the record and the by-name operations number it (1 QPSK,
// 2 8-PSK, 3 16-QAM); another number is an error.
Modulation modulationFor(double format);

// Bits per modulation symbol of `format` (QPSK 2, 8-PSK 3, 16-QAM 4); a value outside the three
// is an error.
std::size_t bitsPerSymbol(Modulation format);

// One modulation symbol of unit average power from exactly bitsPerSymbol(format) bits b1, b2, ...
// in transmission order. QPSK: ((1 - 2 b1) + j (1 - 2 b2)) / sqrt 2; 8-PSK: b1 picks the point
// near the I (0) or Q (1) axis, b2 and b3 the signs; 16-QAM: b1, b3 the amplitudes (0 -> 3,
// 1 -> 1), b2, b4 the signs, / sqrt 10. Example: Qarn_IQmap({0, 0, 0, 0}, Modulation::Qam16) ->
// (3 + 3j) / sqrt 10.
Complex Qarn_IQmap(std::span<const std::uint8_t> data, Modulation format);

// The modulation symbols of `input`, bitsPerSymbol(format) bits each (a short last group is
// padded with zeros).
std::vector<Complex> Qarn_FwdTrfModulator(std::span<const std::uint8_t> input, Modulation format);

// Exactly `reqLength` symbols: the first reqLength of `data` when it is longer, otherwise `data`
// written floor(reqLength / L) times and then its first reqLength mod L symbols. `data` may be
// empty only when reqLength is 0.
std::vector<Complex> Qarn_FwdTrfRepSeq(std::span<const Complex> data, std::size_t reqLength);
std::vector<double> Qarn_FwdTrfRepSeq(std::span<const double> data, std::size_t reqLength);

// The symbols spread over the 16 Walsh channels: row r (0-based) holds symbols r, r + 16, ...,
// zeros padding the last column. A 16 x ceil(L / 16) matrix.
Matrix<Complex> Qarn_FwdTrfDemux(std::span<const Complex> data);
Matrix<double> Qarn_FwdTrfDemux(std::span<const double> data);

// Row r of the 16-row `input` covered by W(r) of length 16: a 16 x 16L matrix.
Matrix<Complex> Qarn_FwdTrfWalshCover(const Matrix<Complex>& input);
Matrix<double> Qarn_FwdTrfWalshCover(const Matrix<double>& input);

// The common gain of the 16 channels: every element divided by 4.
Matrix<Complex> Qarn_FwdTrfChnGain(const Matrix<Complex>& input);
Matrix<double> Qarn_FwdTrfChnGain(const Matrix<double>& input);

// The 16 rows added chip by chip: a row of column sums.
std::vector<Complex> Qarn_FwdTrfSummer(const Matrix<Complex>& input);
std::vector<double> Qarn_FwdTrfSummer(const Matrix<double>& input);

// Summer(ChnGain(WalshCover(Demux(symbols)))) by a 16-point fast Walsh-Hadamard transform of
// each block of 16 symbols: chip block t = sum over c of symbol(16 t + c) W(c) / 4.
std::vector<Complex> fwdTrfWalshChips(std::span<const Complex> symbols);

}  // namespace kelvane::coding
