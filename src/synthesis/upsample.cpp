#include "synthesis/upsample.hpp"

#include <algorithm>
#include <string>

#include "coding/error.hpp"

namespace kelvane::synthesis {

namespace {

void requireFactor(std::size_t factor, const char* operation) {
  coding::require(factor >= 1, std::string(operation) + ": the factor must be 1 or more");
}

template <class T>
std::vector<T> zeroStuffed(std::span<const T> x, std::size_t N) {
  requireFactor(N, "upsample");
  std::vector<T> out(x.size() * N, T{});
  for (std::size_t k = 0; k < x.size(); ++k)
    out[k * N] = x[k];
  return out;
}

template <class T>
std::vector<T> held(std::span<const T> in, std::size_t ratio) {
  requireFactor(ratio, "upsampleMarker");
  std::vector<T> out(in.size() * ratio);
  for (std::size_t k = 0; k < in.size(); ++k)
    std::fill_n(out.begin() + static_cast<std::ptrdiff_t>(k * ratio), ratio, in[k]);
  return out;
}

}  // namespace

std::vector<double> upsample(std::span<const double> x, std::size_t N) {
  return zeroStuffed(x, N);
}

std::vector<std::complex<double>> upsample(std::span<const std::complex<double>> x, std::size_t N) {
  return zeroStuffed(x, N);
}

std::vector<double> upsampleMarker(std::span<const double> in, std::size_t ratio) {
  return held(in, ratio);
}

std::vector<std::uint8_t> upsampleMarker(std::span<const std::uint8_t> in, std::size_t ratio) {
  return held(in, ratio);
}

}  // namespace kelvane::synthesis
