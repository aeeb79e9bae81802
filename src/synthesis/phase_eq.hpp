// The transmitter phase equalizer of the IS-95/cdma2000 family: a second-order allpass section
// (resonance 315 kHz, damping 1.36) brought to the sampled domain by the prewarped bilinear
// transform, applied circularly so that the looped waveform has no transient, with its delay
// removed by a circular advance.
#pragma once

#include <cmath>
#include <complex>
#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "coding/error.hpp"
#include "coding/matrix.hpp"
#include "synthesis/baseband_filter.hpp"
#include "synthesis/sample_summary.hpp"

namespace kelvane::synthesis {

inline constexpr double kChipRate = 1228800.0;            // chips per second
inline constexpr double kPhaseEqW0 = 1979203.3717615698;  // rad/s, 2 pi * 315 kHz
inline constexpr double kPhaseEqAlpha = 1.36;
inline constexpr double kPhaseEqPrewarpHz = 500000.0;

// A digital transfer function b(z) / a(z) in powers of z^-1, a[0] == 1.
struct TransferFunction {
  std::vector<double> b;
  std::vector<double> a;
};

inline constexpr const char* kBilinearOrderMessage =
    "Numerator cannot be higher order than denominator.";

// The bilinear transform with prewarping at `fp` Hz of the analog num(s) / den(s) (descending
// powers of s) for sample rate `fs` Hz: s = K (1 - z^-1) / (1 + z^-1), K = wp / tan(wp / (2 fs)),
// wp = 2 pi fp, numerator and denominator multiplied by (1 + z^-1)^n, n the denominator order,
// then normalised to a[0] = 1. A numerator longer than the denominator raises coding::Error with
// kBilinearOrderMessage. Example: bilinear({1, -2.69e6, 3.9e12}, {1, 2.69e6, 3.9e12}, 6.144e6,
// 5e5) -> the allpass b = {0.642, -1.555, 1}, a = {1, -1.555, 0.642}.
TransferFunction bilinear(std::span<const double> num, std::span<const double> den, double fs,
                          double fp);

// The equalizer section for the sample rate `Fs` (Hz): bilinear of (s^2 - alpha w0 s + w0^2) /
// (s^2 + alpha w0 s + w0^2) prewarped at 500 kHz.
TransferFunction eqlrfilt(double Fs);

// The equalised `input` (at least 25 * oversampleRatio - 1 samples): circular filtering through
// a cyclic prefix of 25 * oversampleRatio - 1 samples, then advanced by 2 * oversampleRatio - 1
// samples. `oversampleRatio` as it comes by name: a whole number >= 1, anything else raises
// coding::Error. Same length as the input.
std::vector<std::complex<double>> Qarn_FwdPhaseEq(std::span<const std::complex<double>> input,
                                                  double oversampleRatio);

// Qarn_FwdPhaseEq in place, with O(oversampleRatio) extra memory (the synthesis driver's path).
// The eight stretches of a long waveform run on the calculation's threads (parallel.hpp), four
// to a task, with subnormal numbers flushed to zero (only values below 2.2e-308 differ). When
// `summary` is given, the peaks and power of the output are added to it.
void phaseEqualizeInPlace(std::span<std::complex<double>> samples, int oversampleRatio,
                          SampleSummary* summary = nullptr);

// Filter and equalizer in one pass: out becomes phaseEqualizeInPlace of the filter's output, bit
// for bit, with the same stretches and threads, but the filter's samples are computed block by
// block as each stretch needs them and are never stored, so the waveform is written once (and
// may be fresh memory). out.size() == filter.size(). When `summary` is given, the peaks and
// power of the output are added to it.
void filterAndEqualize(const ZeroStuffedFilter& filter, std::span<std::complex<double>> out,
                       int oversampleRatio, SampleSummary* summary = nullptr);

inline constexpr const char* kCircularShiftUsage =
    "Usage: circularShift(matrix, [amount], [position], [ 'r' | 'c' ] ";

// `matrix` with one row (byRow) or column rotated right / down by `amount` (taken modulo the row
// or column length, so a negative amount is the equivalent right shift); `position` is 1-based.
// A position beyond the matrix raises coding::Error "Row does not exist" / "Column does not
// exist". Example: circularShift of the row [1 2 3 4 5] by -2 -> [3 4 5 1 2].
template <class T>
coding::Matrix<T> circularShift(coding::Matrix<T> matrix, double amount = 1, double position = 1,
                                bool byRow = true) {
  const std::size_t count = byRow ? matrix.rows : matrix.cols;
  if (!(position >= 1 && position <= static_cast<double>(count) &&
        position == std::floor(position)))
    coding::fail(byRow ? "Row does not exist" : "Column does not exist");
  coding::require(amount == std::floor(amount) && std::abs(amount) < 9.0e15,
                  "circularShift: the amount must be a whole number");
  const std::size_t length = byRow ? matrix.cols : matrix.rows;
  if (length == 0) return matrix;
  const auto m = static_cast<long long>(length);
  const auto k = static_cast<std::size_t>(((static_cast<long long>(amount) % m) + m) % m);
  const auto p = static_cast<std::size_t>(position) - 1;
  std::vector<T> line(length);
  for (std::size_t i = 0; i < length; ++i)
    line[(i + k) % length] = byRow ? matrix(p, i) : matrix(i, p);
  for (std::size_t i = 0; i < length; ++i)
    (byRow ? matrix(p, i) : matrix(i, p)) = line[i];
  return matrix;
}

}  // namespace kelvane::synthesis
