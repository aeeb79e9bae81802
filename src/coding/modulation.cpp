#include "coding/modulation.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <string>

#include "coding/checks.hpp"
#include "coding/error.hpp"
#include "coding/modparams.hpp"
#include "coding/sequences.hpp"

namespace kelvane::coding {

namespace {

constexpr std::size_t kChannels = 16;
constexpr double kPiOver8 = 0.39269908169872414;

// All 2^q points of a format, indexed by the bits b1..bq read as a number, b1 most significant.
struct Constellation {
  std::size_t bitsPerSymbol;
  std::vector<Complex> points;
};

Constellation makeConstellation(Modulation format) {
  const std::size_t q = bitsPerSymbol(format);
  Constellation c{q, std::vector<Complex>(std::size_t{1} << q)};
  std::array<std::uint8_t, 4> bits{};
  for (std::size_t index = 0; index < c.points.size(); ++index) {
    for (std::size_t b = 0; b < q; ++b)
      bits[b] = static_cast<std::uint8_t>((index >> (q - 1 - b)) & 1u);
    c.points[index] = Qarn_IQmap(std::span(bits).first(q), format);
  }
  return c;
}

const Constellation& constellation(Modulation format) {
  static const std::array<Constellation, 3> all{makeConstellation(Modulation::Qpsk),
                                                makeConstellation(Modulation::Psk8),
                                                makeConstellation(Modulation::Qam16)};
  bitsPerSymbol(format);  // refuses an unknown format
  return all[static_cast<std::size_t>(format) - 1];
}

template <class T>
std::vector<T> repSeq(std::span<const T> data, std::size_t reqLength) {
  if (reqLength == 0) return {};
  if (data.empty())
    fail("data is empty, it cannot fill reqLength = " + std::to_string(reqLength) + " symbols");
  std::vector<T> out;
  out.reserve(reqLength);
  while (out.size() + data.size() <= reqLength)
    out.insert(out.end(), data.begin(), data.end());
  out.insert(out.end(), data.begin(), data.begin() + (reqLength - out.size()));
  return out;
}

template <class T>
Matrix<T> demux(std::span<const T> data) {
  // Column-major 16-row layout: element (r, c) is symbol 16c + r, the sequence itself.
  const std::size_t cols = (data.size() + kChannels - 1) / kChannels;
  std::vector<T> columnMajor(data.begin(), data.end());
  columnMajor.resize(cols * kChannels, T{});
  return Matrix<T>(kChannels, cols, std::move(columnMajor));
}

template <class T>
void requireSixteenRows(const Matrix<T>& m) {
  if (m.rows != kChannels)
    fail("input must have 16 rows (one a Walsh channel), got " + std::to_string(m.rows) + " x " +
         std::to_string(m.cols));
}

template <class T>
Matrix<T> walshCover(const Matrix<T>& input) {
  requireSixteenRows(input);
  const Matrix<double> w = Qarn_WalshMatrix(kChannels);
  Matrix<T> out(kChannels, kChannels * input.cols);
  for (std::size_t r = 0; r < kChannels; ++r) {
    const std::vector<T> symbols = input.row(r);
    const std::vector<double> code = w.row(r);
    const std::vector<T> chips = Qarn_WalshCover(std::span<const T>(symbols), code);
    for (std::size_t c = 0; c < chips.size(); ++c)
      out(r, c) = chips[c];
  }
  return out;
}

template <class T>
Matrix<T> gain(const Matrix<T>& input) {
  Matrix<T> out = input;
  for (T& x : out.data)
    x /= 4.0;
  return out;
}

template <class T>
std::vector<T> summer(const Matrix<T>& input) {
  requireSixteenRows(input);
  std::vector<T> out(input.cols);
  for (std::size_t c = 0; c < input.cols; ++c) {
    T sum{};
    for (std::size_t r = 0; r < kChannels; ++r)
      sum += input(r, c);
    out[c] = sum;
  }
  return out;
}

}  // namespace

namespace {

[[noreturn]] void unknownFormat(const std::string& format) {
  fail("format must be 1 (QPSK), 2 (8-PSK) or 3 (16-QAM), got " + format);
}

std::string numberOf(Modulation format) {
  return std::to_string(static_cast<int>(format));
}

}  // namespace

Modulation modulationFor(double format) {
  if (format == 1) return Modulation::Qpsk;
  if (format == 2) return Modulation::Psk8;
  if (format == 3) return Modulation::Qam16;
  unknownFormat(formatNumber(format));
}

std::size_t bitsPerSymbol(Modulation format) {
  switch (format) {
    case Modulation::Qpsk:
      return 2;
    case Modulation::Psk8:
      return 3;
    case Modulation::Qam16:
      return 4;
  }
  unknownFormat(numberOf(format));  // a value cast from outside the three
}

Complex Qarn_IQmap(std::span<const std::uint8_t> data, Modulation format) {
  const std::size_t q = bitsPerSymbol(format);
  if (data.size() != q)
    fail("data must hold " + std::to_string(q) + " bits for format " + numberOf(format) + ", got " +
         std::to_string(data.size()));
  requireBits(data, "data");
  auto sign = [](std::uint8_t b) { return 1.0 - 2.0 * b; };
  if (format == Modulation::Qpsk) {
    const double scale = std::sqrt(2.0);
    return {sign(data[0]) / scale, sign(data[1]) / scale};
  }
  if (format == Modulation::Psk8) {
    const double near = std::cos(kPiOver8), far = std::sin(kPiOver8);
    const bool qAxis = data[0] != 0;
    return {sign(data[1]) * (qAxis ? far : near), sign(data[2]) * (qAxis ? near : far)};
  }
  const double scale = std::sqrt(10.0);
  return {sign(data[1]) * (3.0 - 2.0 * data[0]) / scale,
          sign(data[3]) * (3.0 - 2.0 * data[2]) / scale};
}

std::vector<Complex> Qarn_FwdTrfModulator(std::span<const std::uint8_t> input, Modulation format) {
  const Constellation& c = constellation(format);
  requireBits(input, "input");
  const std::size_t q = c.bitsPerSymbol;
  const std::size_t whole = input.size() / q;
  std::vector<Complex> out((input.size() + q - 1) / q);
  const std::uint8_t* bits = input.data();
  for (std::size_t i = 0; i < whole; ++i, bits += q) {
    std::size_t index = 0;
    for (std::size_t b = 0; b < q; ++b)
      index = (index << 1) | bits[b];
    out[i] = c.points[index];
  }
  if (whole < out.size()) {
    // The short last group, padded with zeros.
    std::size_t index = 0;
    for (std::size_t b = 0; b < q; ++b)
      index = (index << 1) | (whole * q + b < input.size() ? bits[b] : 0u);
    out[whole] = c.points[index];
  }
  return out;
}

std::vector<Complex> Qarn_FwdTrfRepSeq(std::span<const Complex> data, std::size_t reqLength) {
  return repSeq(data, reqLength);
}

std::vector<double> Qarn_FwdTrfRepSeq(std::span<const double> data, std::size_t reqLength) {
  return repSeq(data, reqLength);
}

Matrix<Complex> Qarn_FwdTrfDemux(std::span<const Complex> data) {
  return demux(data);
}

Matrix<double> Qarn_FwdTrfDemux(std::span<const double> data) {
  return demux(data);
}

Matrix<Complex> Qarn_FwdTrfWalshCover(const Matrix<Complex>& input) {
  return walshCover(input);
}

Matrix<double> Qarn_FwdTrfWalshCover(const Matrix<double>& input) {
  return walshCover(input);
}

Matrix<Complex> Qarn_FwdTrfChnGain(const Matrix<Complex>& input) {
  return gain(input);
}

Matrix<double> Qarn_FwdTrfChnGain(const Matrix<double>& input) {
  return gain(input);
}

std::vector<Complex> Qarn_FwdTrfSummer(const Matrix<Complex>& input) {
  return summer(input);
}

std::vector<double> Qarn_FwdTrfSummer(const Matrix<double>& input) {
  return summer(input);
}

std::vector<Complex> fwdTrfWalshChips(std::span<const Complex> symbols) {
  const std::size_t blocks = (symbols.size() + kChannels - 1) / kChannels;
  std::vector<Complex> out(blocks * kChannels);
  std::copy(symbols.begin(), symbols.end(), out.begin());  // zeros pad the last block
  for (std::size_t t = 0; t < blocks; ++t) {
    Complex* x = out.data() + t * kChannels;
    // In-place butterflies: x(j) becomes sum over c of symbol(c) W(c)(j), W symmetric.
    for (std::size_t h = 1; h < kChannels; h *= 2)
      for (std::size_t i = 0; i < kChannels; i += 2 * h)
        for (std::size_t j = i; j < i + h; ++j) {
          const Complex a = x[j], b = x[j + h];
          x[j] = a + b;
          x[j + h] = a - b;
        }
    for (std::size_t j = 0; j < kChannels; ++j)
      x[j] *= 0.25;
  }
  return out;
}

}  // namespace kelvane::coding
