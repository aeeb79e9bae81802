// The discrete Fourier transform through FFTW: X(k) = sum over n of x(n) e^(-j 2 pi k n / N),
// unnormalised, for any length (FFTW's mixed-radix, Rader and Bluestein algorithms).
#pragma once

#include <complex>
#include <cstddef>
#include <span>
#include <vector>

namespace kelvane::plots {

using Complex = std::complex<double>;

// The transform of `x`, same length: dft({1, 1}) is {2, 0}.
std::vector<Complex> dft(std::span<const Complex> x);
// The transform computed in the caller's buffer.
void dftInPlace(std::span<Complex> x);

// Many transforms of one length `n` (>= 1) with one plan: fill buffer(), call transform(); the
// result replaces the buffer's contents.
class DftPlan {
 public:
  explicit DftPlan(std::size_t n);
  ~DftPlan();
  DftPlan(const DftPlan&) = delete;
  DftPlan& operator=(const DftPlan&) = delete;

  std::span<Complex> buffer() { return {data_, n_}; }
  void transform();

 private:
  std::size_t n_;
  Complex* data_;
  void* plan_;
};

}  // namespace kelvane::plots
