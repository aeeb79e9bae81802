#include "plots/fft.hpp"

#include <fftw3.h>

#include <cstdint>
#include <new>
#include <string>

#include "plots/error.hpp"

namespace kelvane::plots {

namespace {

fftw_complex* raw(Complex* z) {
  return reinterpret_cast<fftw_complex*>(z);  // std::complex<double> is laid out as double[2]
}

int lengthOf(std::size_t n) {
  require(n <= static_cast<std::size_t>(INT32_MAX),
          "dft: the length " + std::to_string(n) + " exceeds what the transform can take");
  return static_cast<int>(n);
}

}  // namespace

std::vector<Complex> dft(std::span<const Complex> x) {
  std::vector<Complex> out(x.begin(), x.end());
  dftInPlace(out);
  return out;
}

void dftInPlace(std::span<Complex> x) {
  if (x.empty()) return;
  // FFTW_ESTIMATE plans without touching the data, so the buffer can be planned in place.
  fftw_plan plan = fftw_plan_dft_1d(lengthOf(x.size()), raw(x.data()), raw(x.data()), FFTW_FORWARD,
                                    FFTW_ESTIMATE);
  if (!plan) throw std::bad_alloc();
  fftw_execute(plan);
  fftw_destroy_plan(plan);
}

DftPlan::DftPlan(std::size_t n) : n_(n), data_(nullptr), plan_(nullptr) {
  require(n >= 1, "dft: the length must be at least 1");
  data_ = reinterpret_cast<Complex*>(fftw_malloc(sizeof(Complex) * n));
  if (!data_) throw std::bad_alloc();
  for (std::size_t i = 0; i < n; ++i)
    new (data_ + i) Complex();
  plan_ = fftw_plan_dft_1d(lengthOf(n), raw(data_), raw(data_), FFTW_FORWARD, FFTW_ESTIMATE);
  if (!plan_) {
    fftw_free(data_);
    throw std::bad_alloc();
  }
}

DftPlan::~DftPlan() {
  fftw_destroy_plan(static_cast<fftw_plan>(plan_));
  fftw_free(data_);
}

void DftPlan::transform() {
  fftw_execute(static_cast<fftw_plan>(plan_));
}

}  // namespace kelvane::plots
