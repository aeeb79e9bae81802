// Plain reference models of the baseband filter for the tests: the direct-form FIR with the cyclic
// prefix and circular advance exactly as defined, the rectangular hold as a cut linear
// convolution, zero-stuffing, and the amplitude response of linear-phase taps.
#pragma once

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstddef>
#include <numbers>
#include <span>
#include <vector>

namespace kelvane::synthesis::reference {

using Complex = std::complex<double>;

// y = filter(h, 1, x): direct form, zero initial state.
inline std::vector<Complex> fir(std::span<const double> h, std::span<const Complex> x) {
  std::vector<Complex> y(x.size());
  for (std::size_t n = 0; n < x.size(); ++n) {
    Complex acc = 0;
    for (std::size_t k = 0; k < h.size() && k <= n; ++k)
      acc += h[k] * x[n - k];
    y[n] = acc;
  }
  return y;
}

// The designed-filter path: x = [last L - 1 samples, frame], y = filter(h, 1, x), drop the first
// L - 1 outputs, advance circularly by floor(L / 2). A frame shorter than L - 1 samples takes its
// prefix from the periodic continuation.
inline std::vector<Complex> circularDirectForm(std::span<const Complex> frame,
                                               std::span<const double> h) {
  const std::size_t N = frame.size(), L = h.size();
  if (N == 0) return {};
  std::vector<Complex> x;
  for (std::size_t i = 0; i < L - 1; ++i) {
    const std::size_t back = L - 1 - i;  // samples before the frame's start
    x.push_back(frame[(N - back % N) % N]);
  }
  x.insert(x.end(), frame.begin(), frame.end());
  const std::vector<Complex> yFull = fir(h, x);
  const std::vector<Complex> y(yFull.begin() + static_cast<std::ptrdiff_t>(L - 1), yFull.end());
  const std::size_t d = L / 2;
  std::vector<Complex> out(N);
  for (std::size_t n = 0; n < N; ++n)
    out[n] = y[(n + d) % N];
  return out;
}

// The rectangular path: conv(ones(1, taps), frame) cut to the frame's length.
inline std::vector<Complex> holdDirectForm(std::span<const Complex> frame, std::size_t taps) {
  const std::vector<double> ones(taps, 1.0);
  return fir(ones, frame);
}

inline std::vector<Complex> upsample(std::span<const Complex> chips, int oversampleRatio) {
  const auto step = static_cast<std::size_t>(oversampleRatio);
  std::vector<Complex> u(chips.size() * step);
  for (std::size_t q = 0; q < chips.size(); ++q)
    u[q * step] = chips[q];
  return u;
}

inline double peak(std::span<const Complex> x) {
  double m = 0;
  for (const Complex& z : x)
    m = std::max(m, std::abs(z));
  return m;
}

// Largest difference relative to the reference's peak.
inline double relativeError(std::span<const Complex> got, std::span<const Complex> want) {
  double m = 0;
  for (std::size_t i = 0; i < want.size(); ++i)
    m = std::max(m, std::abs(got[i] - want[i]));
  const double p = peak(want);
  return p > 0 ? m / p : m;
}

// |H(f)| of taps h at frequency f (Hz) for sample rate fs, by Horner's rule in exp(-j 2 pi f/fs).
inline double magnitude(std::span<const double> h, double f, double fs) {
  const Complex z = std::polar(1.0, -2 * std::numbers::pi * f / fs);
  Complex acc = 0;
  for (std::size_t k = h.size(); k-- > 0;)
    acc = acc * z + h[k];
  return std::abs(acc);
}

// Amplitude response A(f) (1 = fs/2) of linear-phase taps, c = (N - 1) / 2:
// symmetric A = sum h(n) cos(pi f (n - c)); antisymmetric A = sum h(n) sin(pi f (n - c)).
inline double amplitude(std::span<const double> h, double f, bool antisymmetric) {
  const double c = (static_cast<double>(h.size()) - 1) / 2;
  double a = 0;
  for (std::size_t n = 0; n < h.size(); ++n) {
    const double arg = std::numbers::pi * f * (static_cast<double>(n) - c);
    a += h[n] * (antisymmetric ? std::sin(arg) : std::cos(arg));
  }
  return a;
}

}  // namespace kelvane::synthesis::reference
