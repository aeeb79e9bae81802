#include "synthesis/sample_summary.hpp"

#include <cfloat>
#include <cmath>

namespace kelvane::synthesis {

void SampleSummary::add(std::span<const std::complex<double>> samples) {
  // Two partial sums and maxima side by side, so that the loop is not one long dependency chain.
  const double* x = reinterpret_cast<const double*>(samples.data());
  const std::size_t n = samples.size();
  double peakAbs[2] = {0, 0}, peakPow[2] = {0, 0}, sum[2] = {0, 0};
  bool finiteAll = true;  // NaN and infinities fail |x| <= DBL_MAX
  std::size_t i = 0;
  for (; i + 2 <= n; i += 2) {
    for (std::size_t k = 0; k < 2; ++k) {
      const double re = x[2 * (i + k)], im = x[2 * (i + k) + 1];
      const double a = std::fabs(re) > std::fabs(im) ? std::fabs(re) : std::fabs(im);
      const double p = re * re + im * im;
      peakAbs[k] = a > peakAbs[k] ? a : peakAbs[k];
      peakPow[k] = p > peakPow[k] ? p : peakPow[k];
      sum[k] += p;
      finiteAll &= (std::fabs(re) <= DBL_MAX) & (std::fabs(im) <= DBL_MAX);
    }
  }
  for (; i < n; ++i) {
    const double re = x[2 * i], im = x[2 * i + 1];
    const double a = std::fabs(re) > std::fabs(im) ? std::fabs(re) : std::fabs(im);
    const double p = re * re + im * im;
    peakAbs[0] = a > peakAbs[0] ? a : peakAbs[0];
    peakPow[0] = p > peakPow[0] ? p : peakPow[0];
    sum[0] += p;
    finiteAll &= (std::fabs(re) <= DBL_MAX) & (std::fabs(im) <= DBL_MAX);
  }
  SampleSummary block;
  block.peakComponent = std::fmax(peakAbs[0], peakAbs[1]);
  block.peakPower = std::fmax(peakPow[0], peakPow[1]);
  block.sumPower = sum[0] + sum[1];
  block.finite = finiteAll;
  merge(block);
}

void SampleSummary::merge(const SampleSummary& later) {
  peakComponent = std::fmax(peakComponent, later.peakComponent);
  peakPower = std::fmax(peakPower, later.peakPower);
  sumPower += later.sumPower;
  finite = finite && later.finite;
}

}  // namespace kelvane::synthesis
