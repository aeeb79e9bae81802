// The code as it stood before the speed work (commit be7c20c), kept verbatim but for its
// namespace, so that bench_speed measures before and after side by side in one run.
#include <algorithm>
#include <cmath>
#include <stdexcept>

#include "before/before.hpp"

namespace kelvane::before {

std::optional<double> normScale(std::span<const std::complex<double>> iq) {
  // I and Q as one run of doubles (std::complex is laid out as two doubles), in a loop the
  // compiler vectorises.
  const double* x = reinterpret_cast<const double*>(iq.data());
  const std::size_t n = 2 * iq.size();
  double peak = 0;
  double finite = 0;  // becomes NaN when any component is NaN or infinite
  for (std::size_t i = 0; i < n; ++i) {
    const double a = std::fabs(x[i]);
    peak = a > peak ? a : peak;
    finite += x[i] * 0.0;
  }
  if (std::isnan(finite)) return std::nullopt;
  return peak == 0 ? 0.0 : 32767.0 / peak;
}

namespace {
inline void put(char* out, double x, double scale) {
  const double v = x * scale;
  // Half away from zero without a branch: the fraction f = v - trunc(v) is exact, and
  // trunc(2f) is -1, 0 or 1, non-zero exactly when |f| >= 0.5.
  const double t = std::trunc(v);
  const double r = std::clamp(t + std::trunc(2 * (v - t)), -32767.0, 32767.0);
  const auto u = static_cast<std::uint16_t>(static_cast<std::int16_t>(r));
  out[0] = static_cast<char>(u >> 8);
  out[1] = static_cast<char>(u & 0xff);
}
}  // namespace

void encodeIqWords(std::span<const std::complex<double>> iq, double scale, std::span<char> out) {
  if (out.size() != 4 * iq.size()) throw std::invalid_argument("encodeIqWords: output size");
  char* p = out.data();
  for (const auto& z : iq) {
    put(p, z.real(), scale);
    put(p + 2, z.imag(), scale);
    p += 4;
  }
}

}  // namespace kelvane::before
