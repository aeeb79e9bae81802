// The code as it stood before the speed work (commit be7c20c), kept verbatim but for its
// namespace, so that bench_speed measures before and after side by side in one run.
#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "before/before.hpp"
#include "coding/error.hpp"
#include "synthesis/phase_eq.hpp"

namespace kelvane::before {

using synthesis::TransferFunction;
using synthesis::eqlrfilt;
using synthesis::kChipRate;

namespace {

using cd = std::complex<double>;

// Cyclic prefix and circular advance of the equalizer, in samples.
std::size_t prefixLength(int oversampleRatio) {
  return 25 * static_cast<std::size_t>(oversampleRatio) - 1;
}
std::size_t advance(int oversampleRatio) {
  return 2 * static_cast<std::size_t>(oversampleRatio) - 1;
}

// Two samples' worth of doubles: the I and Q of one complex sample, filtered together.
typedef double V2 __attribute__((vector_size(16)));

// std::complex<double> is laid out as double[2] (real, imaginary).
V2 load(const cd& z) {
  const double* p = reinterpret_cast<const double*>(&z);
  return V2{p[0], p[1]};
}
void store(cd& z, V2 v) {
  double* p = reinterpret_cast<double*>(&z);
  p[0] = v[0];
  p[1] = v[1];
}

// The second-order section (a0 = 1) in transposed direct form: two state values, and a short
// dependency chain from one output to the next.
struct Section {
  double b0, b1, b2, a1, a2;
  explicit Section(const TransferFunction& tf)
      : b0(tf.b[0]), b1(tf.b[1]), b2(tf.b[2]), a1(tf.a[1]), a2(tf.a[2]) {}
};

struct SectionState {
  V2 z1{}, z2{};
  V2 process(const Section& s, V2 x) {
    const V2 y = s.b0 * x + z1;
    z1 = s.b1 * x - s.a1 * y + z2;
    z2 = s.b2 * x - s.a2 * y;
    return y;
  }
};

// Independent stretches of the waveform filtered side by side: the recursion of one stretch is
// sequential, several of them keep the arithmetic units busy.
constexpr std::size_t kChains = 8;

// Samples after which the section's response to its state has decayed below 1e-25: the pole
// radius is sqrt(a2). A stretch starting there takes its state from that many samples before it.
// A section that does not decay (no sample rate gives one) is never split.
std::size_t settlingSamples(const Section& s) {
  if (!(s.a2 > 0 && s.a2 < 1)) return std::numeric_limits<std::size_t>::max();
  return static_cast<std::size_t>(std::ceil(std::log(1e-25) / (0.5 * std::log(s.a2))));
}

}  // namespace

void phaseEqualizeInPlace(std::span<cd> samples, int oversampleRatio) {
  coding::require(oversampleRatio >= 1,
                  "Qarn_FwdPhaseEq: the oversampling rate must be 1 or "
                  "more, got " +
                      std::to_string(oversampleRatio));
  const std::size_t N = samples.size();
  const std::size_t P = prefixLength(oversampleRatio);
  const std::size_t D = advance(oversampleRatio);
  coding::require(N >= P, "Qarn_FwdPhaseEq: " + std::to_string(N) +
                              " samples are fewer than the cyclic prefix of " + std::to_string(P));
  const Section section(eqlrfilt(static_cast<double>(oversampleRatio) * kChipRate));
  const std::size_t settle = std::max(settlingSamples(section), P);

  // The waveform in `chains` stretches; the last takes the remainder. Stretch 0 starts from the
  // cyclic prefix (the last P samples) as the definition has it; a later stretch starts from its
  // `settle` preceding samples, which gives the same state to far below rounding.
  const std::size_t chains = settle <= N / (kChains * 4) ? kChains : 1;
  const std::size_t L = N / chains;
  std::array<std::size_t, kChains> start{}, length{};
  std::array<SectionState, kChains> state{};
  for (std::size_t c = 0; c < chains; ++c) {
    start[c] = c * L;
    length[c] = c + 1 < chains ? L : N - c * L;
    const std::size_t from = c == 0 ? N - P : start[c] - settle;
    const std::size_t to = c == 0 ? N : start[c];
    for (std::size_t n = from; n < to; ++n)
      state[c].process(section, load(samples[n]));
  }

  // Output k is y(k + D), circularly: y(j) lands at j - D. The last D inputs of every stretch are
  // overwritten by the first D outputs of the next one (of the first, for the last) before they
  // are read, so they are kept aside.
  std::vector<cd> tails(chains * D);
  for (std::size_t c = 0; c < chains; ++c)
    std::copy_n(samples.begin() + static_cast<std::ptrdiff_t>(start[c] + length[c] - D), D,
                tails.begin() + static_cast<std::ptrdiff_t>(c * D));
  auto target = [&](std::size_t j) -> cd& { return samples[(j + N - D) % N]; };

  for (std::size_t c = 0; c < chains; ++c)
    for (std::size_t n = 0; n < D; ++n)
      store(target(start[c] + n), state[c].process(section, load(samples[start[c] + n])));
  // The bulk, all stretches in step (every stretch is at least L long).
  if (chains == kChains) {
    for (std::size_t n = D; n + D < L; ++n) {
      for (std::size_t c = 0; c < kChains; ++c) {
        const std::size_t j = start[c] + n;
        store(samples[j - D], state[c].process(section, load(samples[j])));
      }
    }
  }
  for (std::size_t c = 0; c < chains; ++c) {
    const std::size_t bulkEnd = chains == kChains ? std::max(L - D, D) : D;
    const std::size_t tailStart = length[c] - D;
    for (std::size_t n = bulkEnd; n < tailStart; ++n)
      store(target(start[c] + n), state[c].process(section, load(samples[start[c] + n])));
    for (std::size_t n = tailStart; n < length[c]; ++n)
      store(target(start[c] + n), state[c].process(section, load(tails[c * D + n - tailStart])));
  }
}

}  // namespace kelvane::before
