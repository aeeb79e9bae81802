// Plain references the plot tests compare against: the transform written out as its sum, and
// test signals.
#pragma once

#include <cmath>
#include <complex>
#include <numbers>
#include <vector>

namespace kelvane::plots::testing {

using Complex = std::complex<double>;

// X(k) = sum over n of x(n) e^(-j 2 pi k n / N), term by term.
inline std::vector<Complex> directDft(const std::vector<Complex>& x) {
  const std::size_t n = x.size();
  std::vector<Complex> out(n);
  for (std::size_t k = 0; k < n; ++k)
    for (std::size_t m = 0; m < n; ++m)
      out[k] += x[m] * std::polar(1.0, -2 * std::numbers::pi * static_cast<double>(k * m % n) /
                                           static_cast<double>(n));
  return out;
}

// A deterministic waveform with no zero samples.
inline std::vector<Complex> wobble(std::size_t n) {
  std::vector<Complex> x(n);
  for (std::size_t i = 0; i < n; ++i)
    x[i] = {std::cos(0.7 * static_cast<double>(i)) + 0.3,
            std::sin(1.3 * static_cast<double>(i * i % 17)) - 0.2};
  return x;
}

inline std::vector<Complex> tone(std::size_t n, double cyclesPerSample) {
  std::vector<Complex> x(n);
  for (std::size_t i = 0; i < n; ++i)
    x[i] = std::polar(1.0, 2 * std::numbers::pi * cyclesPerSample * static_cast<double>(i));
  return x;
}

}  // namespace kelvane::plots::testing
