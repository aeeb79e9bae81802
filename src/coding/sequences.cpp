#include "coding/sequences.hpp"

#include <bit>
#include <cmath>

#include "coding/checks.hpp"
#include "coding/error.hpp"

namespace kelvane::coding {

namespace {

template <class T>
std::vector<T> repeat(std::span<const T> input, std::size_t factor) {
  if (factor != 0 && input.size() > std::vector<T>().max_size() / factor)
    fail("factor " + std::to_string(factor) + " gives too long a sequence");
  std::vector<T> out;
  out.reserve(input.size() * factor);
  for (std::size_t i = 0; i < factor; ++i)
    out.insert(out.end(), input.begin(), input.end());
  return out;
}

template <class T>
std::vector<T> signalMap(std::span<const T> input) {
  std::vector<T> out(input.size());
  for (std::size_t i = 0; i < input.size(); ++i)
    out[i] = T(1) - T(2) * input[i];
  return out;
}

template <class T>
std::vector<T> walshCover(std::span<const T> signal, std::span<const double> code) {
  std::vector<T> out;
  out.reserve(signal.size() * code.size());
  for (const T& s : signal)
    for (double chip : code)
      out.push_back(chip * s);
  return out;
}

}  // namespace

std::vector<double> Qarn_Repeat(std::span<const double> input, std::size_t factor) {
  return repeat(input, factor);
}

std::vector<std::complex<double>> Qarn_Repeat(std::span<const std::complex<double>> input,
                                              std::size_t factor) {
  return repeat(input, factor);
}

std::vector<double> Qarn_SignalMap(std::span<const double> input) {
  return signalMap(input);
}

std::vector<std::complex<double>> Qarn_SignalMap(std::span<const std::complex<double>> input) {
  return signalMap(input);
}

std::vector<double> Qarn_WalshCover(std::span<const double> signal, std::span<const double> code) {
  return walshCover(signal, code);
}

std::vector<std::complex<double>> Qarn_WalshCover(std::span<const std::complex<double>> signal,
                                                  std::span<const double> code) {
  return walshCover(signal, code);
}

Matrix<double> Qarn_WalshMatrix(double index) {
  // The cap keeps the matrix at 128 MB; the slot bursts and data channels use 16, 32 and 64.
  if (!(index >= 1 && index < 8192))
    fail("index must be from 1 to below 8192 (at most a 4096 x 4096 matrix), got " +
         formatNumber(index));
  int exponent = 0;
  std::frexp(index, &exponent);  // index = f * 2^exponent, 0.5 <= f < 1: floor(log2) = exponent-1
  const std::size_t n = std::size_t{1} << (exponent - 1);
  // [W W; W -W] applied k times puts (-1)^popcount(r & c) at (r, c).
  Matrix<double> w(n, n);
  for (std::size_t c = 0; c < n; ++c)
    for (std::size_t r = 0; r < n; ++r)
      w(r, c) = (std::popcount(r & c) & 1) ? -1.0 : 1.0;
  return w;
}

}  // namespace kelvane::coding
