// The baseband lowpass filter: rectangular hold, or the Std / Acp equiripple designs computed at
// run time for the oversampling ratio, applied circularly with the delay removed.
#pragma once

#include <complex>
#include <memory>
#include <span>
#include <string_view>
#include <vector>

#include "synthesis/sample_summary.hpp"

namespace kelvane::synthesis {

enum class FilterKind { Rectangular, Std, Acp };

// The selector as a number: 1 rectangular, 3 Acp, any other number Std.
FilterKind filterKindFor(double filterType);
// The selector as text: "IS95-STD" Std, "IS95-ACP" Acp, any other text rectangular.
FilterKind filterKindFor(std::string_view filterType);

// Coefficients of the designs (12 * oversampleRatio and 26 * oversampleRatio taps).
std::vector<double> FilterCoeff_IS95_Std(double oversampleRatio);
std::vector<double> FilterCoeff_IS95_Acp(double oversampleRatio);

// Filters a sample row of any length (the result has the same length).
std::vector<std::complex<double>> Qarn_BasebandFilter(std::span<const std::complex<double>> frame,
                                                      double oversampleRatio, FilterKind kind);

// The same result as Qarn_BasebandFilter(upsample(chips, oversampleRatio), ...), computed
// directly from the chips (polyphase), without building the zero-stuffed row: the synthesis
// driver's path. Returns chips.size() * oversampleRatio samples.
std::vector<std::complex<double>> filterZeroStuffedChips(
    std::span<const std::complex<double>> chips, int oversampleRatio, FilterKind kind);

// The same filter, its output computed a run of samples at a time for a stage that takes it in
// blocks while they are in cache (the phase equalizer): sample m is the m-th sample of
// filterZeroStuffedChips, bit for bit. The chips must outlive the filter. Safe to use from
// several threads at once, each with its own scratch.
class ZeroStuffedFilter {
 public:
  ZeroStuffedFilter(std::span<const std::complex<double>> chips, int oversampleRatio,
                    FilterKind kind);
  ~ZeroStuffedFilter();
  ZeroStuffedFilter(const ZeroStuffedFilter&) = delete;
  ZeroStuffedFilter& operator=(const ZeroStuffedFilter&) = delete;

  std::size_t size() const;  // chips.size() * oversampleRatio
  // Samples first .. first + count - 1 (first < size(), count >= 1, first + count <= size()),
  // computed into `scratch` (grown as needed); returns a pointer to sample `first` in it.
  const std::complex<double>* samples(std::size_t first, std::size_t count,
                                      std::vector<std::complex<double>>& scratch) const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};
// The same into a caller's row of chips.size() * oversampleRatio samples (a waveform buffer
// that already exists, written but never read, so it may be fresh memory); nothing is allocated
// beyond a few hundred taps. The chips are filtered in fixed ranges on the calculation's threads
// (see parallel.hpp) with the widest kernel the processor has (fir_paths.hpp): the bits are the
// same on every path and with any number of threads. When `summary` is given, the peaks and power
// of the output are added to it.
void filterZeroStuffedChips(std::span<const std::complex<double>> chips, int oversampleRatio,
                            FilterKind kind, std::span<std::complex<double>> out,
                            SampleSummary* summary = nullptr);

}  // namespace kelvane::synthesis
