#include "synthesis/phase_eq.hpp"

#include <algorithm>
#include <array>
#include <limits>
#include <numbers>

#include <xmmintrin.h>

#include "synthesis/parallel.hpp"

namespace kelvane::synthesis {

namespace {

using cd = std::complex<double>;

// Cyclic prefix and circular advance of the equalizer, in samples.
std::size_t prefixLength(int oversampleRatio) {
  return 25 * static_cast<std::size_t>(oversampleRatio) - 1;
}
std::size_t advance(int oversampleRatio) {
  return 2 * static_cast<std::size_t>(oversampleRatio) - 1;
}

// p(z^-1) * q(z^-1), coefficient rows in ascending powers of z^-1.
std::vector<double> multiply(const std::vector<double>& p, const std::vector<double>& q) {
  std::vector<double> r(p.size() + q.size() - 1, 0.0);
  for (std::size_t i = 0; i < p.size(); ++i)
    for (std::size_t j = 0; j < q.size(); ++j)
      r[i + j] += p[i] * q[j];
  return r;
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

TransferFunction bilinear(std::span<const double> num, std::span<const double> den, double fs,
                          double fp) {
  coding::require(num.size() <= den.size(), kBilinearOrderMessage);
  coding::require(!den.empty(), "bilinear: the denominator is empty");
  const std::size_t n = den.size() - 1;  // order
  const double wp = 2 * std::numbers::pi * fp;
  const double K = wp / std::tan(wp / (2 * fs));

  // Coefficient c of s^(n-j) becomes c K^(n-j) (1 - z^-1)^(n-j) (1 + z^-1)^j.
  std::vector<std::vector<double>> basis(n + 1);
  for (std::size_t j = 0; j <= n; ++j) {
    std::vector<double> t{1.0};
    for (std::size_t k = 0; k < n - j; ++k)
      t = multiply(t, {1.0, -1.0});
    for (std::size_t k = 0; k < j; ++k)
      t = multiply(t, {1.0, 1.0});
    basis[j] = std::move(t);
  }
  std::vector<double> Kpow(n + 1, 1.0);  // Kpow[j] = K^(n-j)
  for (std::size_t j = n; j-- > 0;)
    Kpow[j] = Kpow[j + 1] * K;
  auto transform = [&](std::span<const double> poly) {
    const std::size_t pad = n + 1 - poly.size();  // a lower-order numerator, zero-padded
    std::vector<double> out(n + 1, 0.0);
    for (std::size_t j = pad; j <= n; ++j) {
      const double c = poly[j - pad] * Kpow[j];
      for (std::size_t i = 0; i <= n; ++i)
        out[i] += c * basis[j][i];
    }
    return out;
  };
  TransferFunction tf{transform(num), transform(den)};
  const double a0 = tf.a[0];
  for (double& x : tf.b)
    x /= a0;
  for (double& x : tf.a)
    x /= a0;
  return tf;
}

TransferFunction eqlrfilt(double Fs) {
  const double w0 = kPhaseEqW0, alpha = kPhaseEqAlpha;
  const std::vector<double> num{1, -alpha * w0, w0 * w0};
  const std::vector<double> den{1, alpha * w0, w0 * w0};
  return bilinear(num, den, Fs, kPhaseEqPrewarpHz);
}

namespace {

// Flush-to-zero and denormals-are-zero for a scope, restored on exit. In idle slots the filter
// output is exactly zero and the section's state decays into subnormal numbers, which the
// processor handles a hundred times slower; flushed, they become zero. Only values below 2.2e-308
// change, far below anything the 16-bit words sent to the instrument can show.
class FlushSubnormals {
 public:
  FlushSubnormals() : saved_(_mm_getcsr()) { _mm_setcsr(saved_ | kFlushToZero | kDenormalsAreZero); }
  ~FlushSubnormals() { _mm_setcsr(saved_); }
  FlushSubnormals(const FlushSubnormals&) = delete;
  FlushSubnormals& operator=(const FlushSubnormals&) = delete;

 private:
  static constexpr unsigned kFlushToZero = 0x8000;
  static constexpr unsigned kDenormalsAreZero = 0x0040;
  unsigned saved_;
};

// Stretches filtered side by side by one task (a fixed split of the eight stretches, whatever the
// number of threads): four independent recursions, with the gathering of peaks and power
// between their steps, keep the arithmetic units busy.
constexpr std::size_t kChainsPerTask = 4;
// The peaks and power of one stretch's outputs, taken as they are computed: the stretches'
// recursions leave the arithmetic units idle between steps, and these few operations fill them.
struct Peaks {
  V2 peakAbs{};  // lane by lane, the largest |I| and |Q|
  double peakPow = 0, sum = 0;
  V2 check{};  // y * 0 summed: NaN once an output is NaN or infinite

  void add(V2 y) {
    const V2 a = {std::fabs(y[0]), std::fabs(y[1])};
    peakAbs = a > peakAbs ? a : peakAbs;
    const V2 sq = y * y;
    const double p = sq[0] + sq[1];
    peakPow = p > peakPow ? p : peakPow;
    sum += p;
    check += y * 0.0;
  }
  SampleSummary summary() const {
    SampleSummary s;
    s.peakComponent = std::max(peakAbs[0], peakAbs[1]);
    s.peakPower = peakPow;
    s.sumPower = sum;
    s.finite = !std::isnan(check[0] + check[1]);
    return s;
  }
};

// The waveform cut into stretches: stretch c covers start[c] .. start[c] + length[c] - 1 and
// writes its outputs D samples earlier (circularly).
struct Stretches {
  Stretches(std::span<cd> x, const Section& filter, std::size_t size, std::size_t delay)
      : samples(x), section(filter), N(size), D(delay) {}

  std::span<cd> samples;
  Section section;
  std::size_t N, D, L = 0, chains = 1;
  std::array<std::size_t, kChains> start{}, length{};
  std::array<SectionState, kChains> state{};
  std::vector<cd> tails;  // the last D inputs of every stretch, overwritten before they are read
  std::array<Peaks, kChains> peaks{};

  cd& target(std::size_t j) const { return samples[(j + N - D) % N]; }

  // Output n of stretch c (from its own input or from its kept tail).
  void step(std::size_t c, std::size_t n) {
    const std::size_t tailStart = length[c] - D;
    const cd& x = n < tailStart ? samples[start[c] + n] : tails[c * D + n - tailStart];
    const V2 y = state[c].process(section, load(x));
    store(target(start[c] + n), y);
    peaks[c].add(y);
  }

  // The bulk of kChainsPerTask stretches from c0 on, in step: outputs D .. L - D - 1.
  void bulk(std::size_t c0) {
    constexpr std::size_t G = kChainsPerTask;
    SectionState st[G];
    Peaks pk[G];
    const cd* in[G];
    for (std::size_t g = 0; g < G; ++g) {
      st[g] = state[c0 + g];
      pk[g] = peaks[c0 + g];
      in[g] = &samples[start[c0 + g]];
    }
    for (std::size_t k = D; k + D < L; ++k) {
#pragma GCC unroll 4
      for (std::size_t g = 0; g < G; ++g) {
        const V2 y = st[g].process(section, load(in[g][k]));
        store(samples[start[c0 + g] + k - D], y);
        pk[g].add(y);
      }
    }
    for (std::size_t g = 0; g < G; ++g) {
      state[c0 + g] = st[g];
      peaks[c0 + g] = pk[g];
    }
  }

  // Stretches c0 .. c1 - 1 (every stretch is at least L long).
  void run(std::size_t c0, std::size_t c1) {
    for (std::size_t c = c0; c < c1; ++c)
      for (std::size_t n = 0; n < D; ++n)
        step(c, n);
    std::size_t n = D;
    if (chains == kChains && c1 - c0 == kChainsPerTask) {
      bulk(c0);
      n = std::max(L - D, D);
    }
    for (std::size_t c = c0; c < c1; ++c)
      for (std::size_t k = n; k < length[c]; ++k)
        step(c, k);
  }
};

}  // namespace

void phaseEqualizeInPlace(std::span<cd> samples, int oversampleRatio, SampleSummary* summary) {
  coding::require(oversampleRatio >= 1,
                  "Qarn_FwdPhaseEq: the oversampling rate must be 1 or "
                  "more, got " +
                      std::to_string(oversampleRatio));
  const std::size_t N = samples.size();
  const std::size_t P = prefixLength(oversampleRatio);
  const std::size_t D = advance(oversampleRatio);
  coding::require(N >= P, "Qarn_FwdPhaseEq: " + std::to_string(N) +
                              " samples are fewer than the cyclic prefix of " + std::to_string(P));
  Stretches s(samples, Section(eqlrfilt(static_cast<double>(oversampleRatio) * kChipRate)), N, D);
  const std::size_t settle = std::max(settlingSamples(s.section), P);

  // The waveform in `chains` stretches; the last takes the remainder. Stretch 0 starts from the
  // cyclic prefix (the last P samples) as the definition has it; a later stretch starts from its
  // `settle` preceding samples, which gives the same state to far below rounding.
  s.chains = settle <= N / (kChains * 4) ? kChains : 1;
  s.L = N / s.chains;
  const std::size_t tasks = (s.chains + kChainsPerTask - 1) / kChainsPerTask;
  auto chainsOf = [&](std::size_t k) {
    return std::pair{k * kChainsPerTask, std::min(s.chains, (k + 1) * kChainsPerTask)};
  };
  for (std::size_t c = 0; c < s.chains; ++c) {
    s.start[c] = c * s.L;
    s.length[c] = c + 1 < s.chains ? s.L : N - c * s.L;
  }
  // Output k is y(k + D), circularly: y(j) lands at j - D. The last D inputs of every stretch are
  // overwritten by the first D outputs of the next one (of the first, for the last) before they
  // are read, so they are kept aside; and every stretch takes its starting state before any
  // output is written.
  s.tails.resize(s.chains * D);
  parallelFor(tasks, [&](std::size_t k) {
    const FlushSubnormals flush;
    const auto [c0, c1] = chainsOf(k);
    for (std::size_t c = c0; c < c1; ++c) {
      std::copy_n(samples.begin() + static_cast<std::ptrdiff_t>(s.start[c] + s.length[c] - D), D,
                  s.tails.begin() + static_cast<std::ptrdiff_t>(c * D));
      const std::size_t from = c == 0 ? N - P : s.start[c] - settle;
      const std::size_t to = c == 0 ? N : s.start[c];
      for (std::size_t n = from; n < to; ++n)
        s.state[c].process(s.section, load(samples[n]));
    }
  });
  // The stretches write disjoint ranges and read only their own inputs and tails.
  parallelFor(tasks, [&](std::size_t k) {
    const FlushSubnormals flush;
    const auto [c0, c1] = chainsOf(k);
    s.run(c0, c1);
  });
  if (summary)
    for (std::size_t c = 0; c < s.chains; ++c)
      summary->merge(s.peaks[c].summary());
}

namespace {

// Samples of every stretch filtered and equalised per block, while the block is in cache.
constexpr std::size_t kFusedBlock = 4096;

// The equalizer fed by the filter block by block: stretch c's inputs are computed from the chips
// as they are needed (its starting state from the samples before it, then its own), never read
// back from the waveform, which is written once.
struct FusedStretches {
  const ZeroStuffedFilter& filter;
  std::span<cd> out;
  Section section;
  std::size_t N, D, P, settle, L = 0, chains = 1;
  std::array<std::size_t, kChains> start{}, length{};
  std::array<Peaks, kChains> peaks{};

  FusedStretches(const ZeroStuffedFilter& f, std::span<cd> o, const Section& s, std::size_t p,
                 std::size_t d)
      : filter(f), out(o), section(s), N(o.size()), D(d), P(p), settle(0) {}

  // Runs the state of stretch c over its inputs from .. to - 1.
  void preroll(std::size_t c, SectionState& st, std::vector<cd>& scratch) const {
    const std::size_t from = c == 0 ? N - P : start[c] - settle;
    const std::size_t to = c == 0 ? N : start[c];
    for (std::size_t n = from; n < to; n += kFusedBlock) {
      const std::size_t count = std::min(kFusedBlock, to - n);
      const cd* x = filter.samples(n, count, scratch);
      for (std::size_t i = 0; i < count; ++i)
        st.process(section, load(x[i]));
    }
  }

  // Outputs n0 .. n0 + count - 1 of stretch c from inputs x, written D samples earlier.
  void block(std::size_t c, std::size_t n0, std::size_t count, const cd* x, SectionState& st,
             Peaks& pk) const {
    const std::size_t first = (start[c] + n0 + N - D) % N;
    if (first + count <= N) {
      cd* y = &out[first];
      for (std::size_t i = 0; i < count; ++i) {
        const V2 v = st.process(section, load(x[i]));
        store(y[i], v);
        pk.add(v);
      }
      return;
    }
    for (std::size_t i = 0; i < count; ++i) {
      const V2 v = st.process(section, load(x[i]));
      store(out[(first + i) % N], v);
      pk.add(v);
    }
  }

  // Stretches c0 .. c1 - 1: blocks of kChainsPerTask stretches in step while all have samples
  // left and none wraps, the rest stretch by stretch.
  void run(std::size_t c0, std::size_t c1) {
    constexpr std::size_t G = kChainsPerTask;
    std::array<SectionState, G> st{};
    std::array<Peaks, G> pk{};
    std::array<std::vector<cd>, G> scratch;
    const std::size_t g1 = c1 - c0;
    for (std::size_t g = 0; g < g1; ++g)
      preroll(c0 + g, st[g], scratch[g]);
    std::size_t n0 = 0;
    if (g1 == G) {
      for (; n0 + kFusedBlock <= L; n0 += kFusedBlock) {
        std::array<const cd*, G> x{};
        std::array<cd*, G> y{};
        bool direct = true;
        for (std::size_t g = 0; g < G; ++g) {
          const std::size_t c = c0 + g;
          x[g] = filter.samples(start[c] + n0, kFusedBlock, scratch[g]);
          const std::size_t first = (start[c] + n0 + N - D) % N;
          direct = direct && first + kFusedBlock <= N;
          y[g] = &out[first];
        }
        if (!direct) {
          for (std::size_t g = 0; g < G; ++g)
            block(c0 + g, n0, kFusedBlock, x[g], st[g], pk[g]);
          continue;
        }
        for (std::size_t i = 0; i < kFusedBlock; ++i) {
#pragma GCC unroll 4
          for (std::size_t g = 0; g < G; ++g) {
            const V2 v = st[g].process(section, load(x[g][i]));
            store(y[g][i], v);
            pk[g].add(v);
          }
        }
      }
    }
    for (std::size_t g = 0; g < g1; ++g) {
      const std::size_t c = c0 + g;
      for (std::size_t n = n0; n < length[c]; n += kFusedBlock) {
        const std::size_t count = std::min(kFusedBlock, length[c] - n);
        block(c, n, count, filter.samples(start[c] + n, count, scratch[g]), st[g], pk[g]);
      }
      peaks[c] = pk[g];
    }
  }
};

}  // namespace

void filterAndEqualize(const ZeroStuffedFilter& filter, std::span<cd> out, int oversampleRatio,
                       SampleSummary* summary) {
  coding::require(oversampleRatio >= 1,
                  "Qarn_FwdPhaseEq: the oversampling rate must be 1 or "
                  "more, got " +
                      std::to_string(oversampleRatio));
  coding::require(out.size() == filter.size(), "filterAndEqualize: the output must hold " +
                                                   std::to_string(filter.size()) + " samples");
  const std::size_t N = out.size();
  const std::size_t P = prefixLength(oversampleRatio);
  coding::require(N >= P, "Qarn_FwdPhaseEq: " + std::to_string(N) +
                              " samples are fewer than the cyclic prefix of " + std::to_string(P));
  FusedStretches s(filter, out,
                   Section(eqlrfilt(static_cast<double>(oversampleRatio) * kChipRate)), P,
                   advance(oversampleRatio));
  // The same stretches as phaseEqualizeInPlace: same split points, same starting states.
  s.settle = std::max(settlingSamples(s.section), P);
  s.chains = s.settle <= N / (kChains * 4) ? kChains : 1;
  s.L = N / s.chains;
  for (std::size_t c = 0; c < s.chains; ++c) {
    s.start[c] = c * s.L;
    s.length[c] = c + 1 < s.chains ? s.L : N - c * s.L;
  }
  const std::size_t tasks = (s.chains + kChainsPerTask - 1) / kChainsPerTask;
  parallelFor(tasks, [&](std::size_t k) {
    const FlushSubnormals flush;
    s.run(k * kChainsPerTask, std::min(s.chains, (k + 1) * kChainsPerTask));
  });
  if (summary)
    for (std::size_t c = 0; c < s.chains; ++c)
      summary->merge(s.peaks[c].summary());
}

std::vector<cd> Qarn_FwdPhaseEq(std::span<const cd> input, double oversampleRatio) {
  coding::require(oversampleRatio >= 1 && oversampleRatio == std::floor(oversampleRatio) &&
                      oversampleRatio <= 1e6,
                  "Qarn_FwdPhaseEq: the oversampling rate must be a whole number 1 or more");
  std::vector<cd> out(input.begin(), input.end());
  phaseEqualizeInPlace(out, static_cast<int>(oversampleRatio));
  return out;
}

}  // namespace kelvane::synthesis
