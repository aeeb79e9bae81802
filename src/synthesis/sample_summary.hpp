// What the download and the calculation summary need of a waveform, gathered while its samples
// are produced (each block while it is still in cache) instead of in passes of their own.
#pragma once

#include <complex>
#include <span>

namespace kelvane::synthesis {

struct SampleSummary {
  double peakComponent = 0;  // the largest |I| or |Q| (the "norm" scale divides 32767 by it)
  double peakPower = 0;      // the largest |I + jQ|^2
  double sumPower = 0;       // the sum of |I + jQ|^2, block by block in sample order
  bool finite = true;        // no sample is NaN or infinite

  // Takes in the samples of one block.
  void add(std::span<const std::complex<double>> samples);
  // Takes in the summary of the blocks that follow.
  void merge(const SampleSummary& later);
};

}  // namespace kelvane::synthesis
