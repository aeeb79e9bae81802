// Chip rate to sample rate: zero insertion for the chip stream (the baseband filter then acts as
// the interpolator) and sample-and-hold for the marker streams.
#pragma once

#include <complex>
#include <cstdint>
#include <span>
#include <vector>

namespace kelvane::synthesis {

// Each element of `x` followed by oversampleRatio - 1 zeros (oversampleRatio >= 1; less raises
// coding::Error), values neither scaled nor conjugated. Example: upsample({1, 2, 3}, 2) ->
// 1 0 2 0 3 0.
std::vector<double> upsample(std::span<const double> x, int oversampleRatio);
std::vector<std::complex<double>> upsample(std::span<const std::complex<double>> x,
                                           int oversampleRatio);

// Each element of `in` held for `oversampleRatio` samples (oversampleRatio >= 1; less raises
// coding::Error). Example: upsampleMarker({1, 0, 0, 1}, 3) -> 1 1 1 0 0 0 0 0 0 1 1 1.
std::vector<double> upsampleMarker(std::span<const double> in, int oversampleRatio);
std::vector<std::uint8_t> upsampleMarker(std::span<const std::uint8_t> in, int oversampleRatio);

}  // namespace kelvane::synthesis
