#include "synthesis/upsample.hpp"

#include <algorithm>
#include <cstddef>
#include <string>

#include "coding/error.hpp"

namespace kelvane::synthesis {

namespace {

// The ratio as a sample count a chip, refused below 1.
std::size_t samplesPerChip(int oversampleRatio, const char* operation) {
  coding::require(oversampleRatio >= 1, std::string(operation) + ": the factor must be 1 or more");
  return static_cast<std::size_t>(oversampleRatio);
}

template <class T>
std::vector<T> zeroStuffed(std::span<const T> x, int oversampleRatio) {
  const std::size_t n = samplesPerChip(oversampleRatio, "upsample");
  std::vector<T> out(x.size() * n, T{});
  for (std::size_t k = 0; k < x.size(); ++k)
    out[k * n] = x[k];
  return out;
}

template <class T>
std::vector<T> held(std::span<const T> in, int oversampleRatio) {
  const std::size_t n = samplesPerChip(oversampleRatio, "upsampleMarker");
  std::vector<T> out(in.size() * n);
  for (std::size_t k = 0; k < in.size(); ++k)
    std::fill_n(out.begin() + static_cast<std::ptrdiff_t>(k * n), n, in[k]);
  return out;
}

}  // namespace

std::vector<double> upsample(std::span<const double> x, int oversampleRatio) {
  return zeroStuffed(x, oversampleRatio);
}

std::vector<std::complex<double>> upsample(std::span<const std::complex<double>> x,
                                           int oversampleRatio) {
  return zeroStuffed(x, oversampleRatio);
}

std::vector<double> upsampleMarker(std::span<const double> in, int oversampleRatio) {
  return held(in, oversampleRatio);
}

std::vector<std::uint8_t> upsampleMarker(std::span<const std::uint8_t> in, int oversampleRatio) {
  return held(in, oversampleRatio);
}

}  // namespace kelvane::synthesis
