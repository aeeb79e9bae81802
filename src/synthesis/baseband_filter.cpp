#include "synthesis/baseband_filter.hpp"

#include <algorithm>
#include <cmath>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <utility>

#include "coding/error.hpp"
#include "synthesis/filter_design.hpp"
#include "synthesis/fir_paths.hpp"
#include "synthesis/parallel.hpp"

namespace kelvane::synthesis {

using coding::require;

FilterKind filterKindFor(double filterType) {
  if (filterType == 1) return FilterKind::Rectangular;
  if (filterType == 3) return FilterKind::Acp;
  return FilterKind::Std;
}

FilterKind filterKindFor(std::string_view filterType) {
  if (filterType == "IS95-STD") return FilterKind::Std;
  if (filterType == "IS95-ACP") return FilterKind::Acp;
  return FilterKind::Rectangular;
}

// --- designs -------------------------------------------------------------------------------------

namespace {

constexpr double kChipRate = 1228800;
constexpr double kPassbandEdge = 590000;  // Hz
constexpr double kStopbandEdge = 740000;  // Hz

// The band edges normalised to half the sample rate, computed as written:
// [0, 590000, 740000, fs/2] * 2 / oversampleRatio / 1228800.
std::vector<double> bandEdges(double oversampleRatio) {
  std::vector<double> f{0, kPassbandEdge, kStopbandEdge, oversampleRatio * kChipRate / 2};
  for (double& v : f)
    v = v * 2 / oversampleRatio / kChipRate;
  return f;
}

std::vector<double> designStd(double oversampleRatio) {
  const std::vector<double> f = bandEdges(oversampleRatio);
  const std::vector<double> aa{1, 1, 0, 0};
  return remez2(12 * oversampleRatio - 1, f, aa, {.weights = std::vector<double>{1, 20}}).h;
}

// The second Acp stage, normalised to unit gain at DC.
std::vector<double> designAcpStage(double oversampleRatio) {
  const std::vector<double> f = bandEdges(oversampleRatio);
  const std::vector<double> aa{1, 1, 0.005, 0.001};
  std::vector<double> h =
      remez2(14 * oversampleRatio, f, aa, {.weights = std::vector<double>{1, 2}}).h;
  double sum = 0;
  for (double v : h)
    sum += v;
  for (double& v : h)
    v /= sum;
  return h;
}

std::vector<double> convolve(const std::vector<double>& a, const std::vector<double>& b) {
  if (a.empty() || b.empty()) return {};
  std::vector<double> c(a.size() + b.size() - 1, 0.0);
  for (std::size_t i = 0; i < a.size(); ++i) {
    for (std::size_t j = 0; j < b.size(); ++j)
      c[i + j] += a[i] * b[j];
  }
  return c;
}

// Designed coefficients by (kind, samples per chip). The designs are deterministic, so a cached
// vector is identical to a fresh design; only whole ratios a window could ask for are kept.
constexpr double kMaxCachedRatio = 64;
// Held while a design is computed, so that the two waveforms of a calculation, filtered at the
// same time, design once (recursive: the Acp design takes the Std one from the cache).
std::recursive_mutex cacheMutex;
std::map<std::pair<FilterKind, int>, std::vector<double>> cache;

bool cacheable(double oversampleRatio) {
  return oversampleRatio >= 1 && oversampleRatio <= kMaxCachedRatio &&
         oversampleRatio == std::floor(oversampleRatio);
}

std::vector<double> designUncached(FilterKind kind, double oversampleRatio);

const std::vector<double>& cachedDesign(FilterKind kind, int oversampleRatio) {
  const auto key = std::make_pair(kind, oversampleRatio);
  std::lock_guard lock(cacheMutex);
  if (auto it = cache.find(key); it != cache.end()) return it->second;
  return cache.try_emplace(key, designUncached(kind, oversampleRatio)).first->second;
}

std::vector<double> designUncached(FilterKind kind, double oversampleRatio) {
  if (kind == FilterKind::Std) return designStd(oversampleRatio);
  const std::vector<double> first =
      cacheable(oversampleRatio) ? cachedDesign(FilterKind::Std, static_cast<int>(oversampleRatio))
                                 : designStd(oversampleRatio);
  return convolve(first, designAcpStage(oversampleRatio));
}

// The design of `kind` (Std or Acp), from the cache where it can be kept. Copies are avoided by
// handing out the cached vector; an uncached design is kept in `scratch`.
const std::vector<double>& design(FilterKind kind, double oversampleRatio,
                                  std::vector<double>& scratch) {
  if (cacheable(oversampleRatio)) return cachedDesign(kind, static_cast<int>(oversampleRatio));
  scratch = designUncached(kind, oversampleRatio);
  return scratch;
}

}  // namespace

std::vector<double> FilterCoeff_IS95_Std(double oversampleRatio) {
  std::vector<double> scratch;
  return design(FilterKind::Std, oversampleRatio, scratch);
}

std::vector<double> FilterCoeff_IS95_Acp(double oversampleRatio) {
  std::vector<double> scratch;
  return design(FilterKind::Acp, oversampleRatio, scratch);
}

// --- filtering -----------------------------------------------------------------------------------

namespace {

using Complex = std::complex<double>;
// One complex sample (re, im) or a duplicated real tap (h, h) in one SSE register: a tap times a
// sample is one multiply, a multiply-accumulate one multiply and one add.
typedef double V2 __attribute__((vector_size(16)));

inline V2 load(const Complex* p) {
  V2 v;
  __builtin_memcpy(&v, p, sizeof v);
  return v;
}

inline void store(Complex* p, V2 v) {
  __builtin_memcpy(reinterpret_cast<double*>(p), &v, sizeof v);
}

inline V2 dup(double h) {
  return V2{h, h};
}

// Rectangular hold: the linear convolution of `taps` ones with the frame, cut to its length.
std::vector<Complex> holdFilter(std::span<const Complex> frame, double oversampleRatio) {
  require(
      std::isfinite(oversampleRatio) && oversampleRatio >= 1,
      "Qarn_BasebandFilter: oversamplingRate must be at least 1 for the rectangular hold, got " +
          std::to_string(oversampleRatio));
  const std::size_t n = frame.size();
  const std::size_t taps =
      static_cast<std::size_t>(std::min(std::floor(oversampleRatio), static_cast<double>(n)));
  std::vector<Complex> out(n);
  for (std::size_t i = 0; i < n; ++i) {
    V2 acc{0, 0};
    const std::size_t count = std::min(taps, i + 1);
    for (std::size_t k = 0; k < count; ++k)
      acc += load(&frame[i - k]);
    store(&out[i], acc);
  }
  return out;
}

// One output of the circular filter whose window wraps round the frame: s may be negative and
// the window may wrap several times when the frame is short.
void wrappedOutput(std::span<const Complex> frame, const std::vector<V2>& hr, std::size_t d,
                   std::size_t i, Complex* out) {
  const std::size_t n = frame.size();
  const std::size_t L = hr.size();
  const long long N = static_cast<long long>(n);
  long long s =
      static_cast<long long>(i) + static_cast<long long>(d) - static_cast<long long>(L - 1);
  s %= N;
  if (s < 0) s += N;
  std::size_t idx = static_cast<std::size_t>(s);
  V2 acc{0, 0};
  for (std::size_t k = 0; k < L; ++k) {
    acc += hr[k] * load(&frame[idx]);
    if (++idx == n) idx = 0;
  }
  store(out, acc);
}

// Outputs lo .. hi, whose windows frame(i + d - (L - 1) ...) do not wrap. Four outputs at a time
// share each tap and a sliding window of samples.
void bulkOutputs(std::span<const Complex> frame, const std::vector<V2>& hr, std::size_t d,
                 std::size_t lo, std::size_t hi, Complex* out) {
  const std::size_t L = hr.size();
  std::size_t i = lo;
  for (; i + 3 <= hi; i += 4) {
    const Complex* x = &frame[i + d - (L - 1)];
    V2 a0{0, 0}, a1{0, 0}, a2{0, 0}, a3{0, 0};
    V2 x0 = load(x), x1 = load(x + 1), x2 = load(x + 2);
    for (std::size_t k = 0; k < L; ++k) {
      const V2 x3 = load(x + k + 3);
      const V2 t = hr[k];
      a0 += t * x0;
      a1 += t * x1;
      a2 += t * x2;
      a3 += t * x3;
      x0 = x1;
      x1 = x2;
      x2 = x3;
    }
    store(&out[i], a0);
    store(&out[i + 1], a1);
    store(&out[i + 2], a2);
    store(&out[i + 3], a3);
  }
  for (; i <= hi; ++i) {
    const Complex* x = &frame[i + d - (L - 1)];
    V2 acc{0, 0};
    for (std::size_t k = 0; k < L; ++k)
      acc += hr[k] * load(x + k);
    store(&out[i], acc);
  }
}

// out(n) = sum_k h(k) frame((n + d - k) mod N): the circular convolution advanced by d samples.
std::vector<Complex> circularFilter(std::span<const Complex> frame, const std::vector<double>& h) {
  const std::size_t n = frame.size();
  const std::size_t L = h.size();
  std::vector<Complex> out(n);
  if (n == 0 || L == 0) return out;
  const std::size_t d = L / 2;
  // Reversed duplicated taps: out(n) = sum_i hr(i) frame(s + i), s = n + d - (L - 1).
  std::vector<V2> hr(L);
  for (std::size_t i = 0; i < L; ++i)
    hr[i] = dup(h[L - 1 - i]);

  if (n < L) {
    for (std::size_t i = 0; i < n; ++i)
      wrappedOutput(frame, hr, d, i, &out[i]);
    return out;
  }
  // Outputs whose window does not wrap: lo <= i <= hi.
  const std::size_t lo = L - 1 - d;
  const std::size_t hi = n - 1 - d;
  for (std::size_t i = 0; i < lo; ++i)
    wrappedOutput(frame, hr, d, i, &out[i]);
  bulkOutputs(frame, hr, d, lo, hi, out.data());
  for (std::size_t i = hi + 1; i < n; ++i)
    wrappedOutput(frame, hr, d, i, &out[i]);
  return out;
}

// The circular filter of the zero-stuffed chip stream u (u(q R) = chips(q), zeros between, R the
// oversampleRatio), advanced by d = floor(L / 2). With s = n + d, p = s mod R and q = floor(s / R),
// output n meets non-zero inputs only at the taps p + j R:
//   out(q R + p - d) = sum_j h(p + j R) chips((q - j) mod M).
// Written over the chip window chips(q - J + 1 .. q), t = J - 1 - j, the taps of all phases of
// one t are contiguous in h, and every output of chip q is one short dot product.
class Polyphase {
 public:
  Polyphase(std::span<const Complex> chips, std::size_t oversampleRatio,
            const std::vector<double>& h, std::span<Complex> out)
      : chips_(chips),
        out_(out),
        R_(oversampleRatio),
        M_(chips.size()),
        N_(chips.size() * oversampleRatio),
        d_(h.size() / 2),
        J_((h.size() + oversampleRatio - 1) / oversampleRatio),
        taps_(2 * J_ * R_),
        kernel_(firKernel(currentFirPath())) {
    // taps(t R + p) = h((J - 1 - t) R + p), zero beyond the filter, duplicated for I and Q.
    for (std::size_t t = 0; t < J_; ++t) {
      for (std::size_t p = 0; p < R_; ++p) {
        const std::size_t k = (J_ - 1 - t) * R_ + p;
        taps_[2 * (t * R_ + p)] = taps_[2 * (t * R_ + p) + 1] = k < h.size() ? h[k] : 0.0;
      }
    }
  }

  // The R outputs of the virtual chips qv0 .. qv1 - 1 one after the other into dst: chip q's
  // outputs are the samples q R - d .. q R - d + R - 1, and q may pass the last chip (its window
  // then wraps round the frame), so any run of samples is the outputs of a run of virtual chips.
  void virtualChips(std::size_t qv0, std::size_t qv1, Complex* dst) const {
    std::vector<Complex> window(J_);
    std::size_t q = qv0;
    while (q < qv1) {
      Complex* to = dst + (q - qv0) * R_;
      if (q + 1 < qv1 && q + 1 >= J_ && q + 1 < M_) {
        kernel_(taps_.data(), R_, J_, asDoubles(&chips_[q + 1 - J_]), asDoubles(to), 2);
        q += 2;
        continue;
      }
      const Complex* w;
      if (q + 1 >= J_ && q < M_) {
        w = &chips_[q + 1 - J_];
      } else {
        for (std::size_t t = 0; t < J_; ++t) {
          const std::size_t back = J_ - 1 - t;  // chips index q - back, modulo M
          window[t] = chips_[(q % M_ + M_ - back % M_) % M_];
        }
        w = window.data();
      }
      kernel_(taps_.data(), R_, J_, asDoubles(w), asDoubles(to), 1);
      ++q;
    }
  }

  // Samples first .. first + count - 1 (first + count - 1 + d within the virtual chips) into
  // scratch; returns where sample `first` is.
  const Complex* samples(std::size_t first, std::size_t count, std::vector<Complex>& scratch) const {
    const std::size_t qv0 = (first + d_) / R_;
    const std::size_t qv1 = (first + count - 1 + d_) / R_ + 1;
    if (scratch.size() < (qv1 - qv0) * R_) scratch.resize((qv1 - qv0) * R_);
    virtualChips(qv0, qv1, scratch.data());
    return scratch.data() + (first + d_) % R_;
  }

  // The outputs of chips qa .. qb - 1 (out(q R - d .. q R - d + R - 1), modulo N).
  void chipRange(std::size_t qa, std::size_t qb) const {
    std::vector<Complex> window(J_);  // the chip window where it wraps round the frame
    std::vector<Complex> block(R_);   // the outputs of one chip where they wrap round the frame
    std::size_t q = qa;
    while (q < qb) {
      // Chips whose window and outputs need no wrap round the frame, two at a time.
      if (q + 1 < qb && direct(q) && direct(q + 1)) {
        kernel_(taps_.data(), R_, J_, asDoubles(&chips_[q + 1 - J_]),
                asDoubles(&out_[q * R_ - d_]), 2);
        q += 2;
        continue;
      }
      const Complex* w;
      if (q + 1 >= J_) {
        w = &chips_[q + 1 - J_];
      } else {
        for (std::size_t t = 0; t < J_; ++t) {
          // chips index q - J + 1 + t, taken modulo M (several times round for short frames).
          const std::size_t back = J_ - 1 - t;  // how far before chip q
          window[t] = chips_[(q + M_ - back % M_) % M_];
        }
        w = window.data();
      }
      if (direct(q)) {
        kernel_(taps_.data(), R_, J_, asDoubles(w), asDoubles(&out_[q * R_ - d_]), 1);
      } else {
        kernel_(taps_.data(), R_, J_, asDoubles(w), asDoubles(block.data()), 1);
        for (std::size_t p = 0; p < R_; ++p)
          out_[(q * R_ + p + N_ - d_ % N_) % N_] = block[p];
      }
      ++q;
    }
  }

 private:
  std::span<const Complex> chips_;
  std::span<Complex> out_;
  std::size_t R_, M_, N_, d_, J_;
  std::vector<double> taps_;
  FirKernel kernel_;

  bool direct(std::size_t q) const {
    return q + 1 >= J_ && q * R_ >= d_ && q * R_ - d_ + R_ <= N_;
  }
  static const double* asDoubles(const Complex* p) { return reinterpret_cast<const double*>(p); }
  static double* asDoubles(Complex* p) { return reinterpret_cast<double*>(p); }
};

// Chips filtered by one task: the work is split at fixed chip counts, whatever the number of
// threads, and one task's outputs (about 400 kB at 24 samples a chip) stay in cache while they
// are summarised.
constexpr std::size_t kChipsPerTask = 1024;

// Adds the outputs first .. first + count - 1, taken modulo the row length, to `summary`.
void summarizeCircular(std::span<const Complex> out, std::size_t first, std::size_t count,
                       SampleSummary& summary) {
  const std::size_t n = out.size();
  first %= n;
  const std::size_t head = std::min(count, n - first);
  summary.add(out.subspan(first, head));
  if (count > head) summary.add(out.subspan(0, count - head));
}

// Runs fill(qa, qb) over the fixed chip ranges on the calculation's threads and, when asked,
// summarises each range's outputs (chip q's R outputs start `delay` samples before q R).
template <class Fill>
void chipTasks(std::size_t chips, std::size_t oversampleRatio, std::size_t delay,
               std::span<const Complex> out, SampleSummary* summary, const Fill& fill) {
  const std::size_t tasks = (chips + kChipsPerTask - 1) / kChipsPerTask;
  std::vector<SampleSummary> parts(summary ? tasks : 0);
  parallelFor(tasks, [&](std::size_t k) {
    const std::size_t qa = k * kChipsPerTask, qb = std::min(chips, qa + kChipsPerTask);
    fill(qa, qb);
    if (summary)
      summarizeCircular(out, qa * oversampleRatio + out.size() - delay % out.size(),
                        (qb - qa) * oversampleRatio, parts[k]);
  });
  for (const SampleSummary& part : parts)
    summary->merge(part);
}

}  // namespace

struct ZeroStuffedFilter::Impl {
  std::span<const Complex> chips;
  std::size_t R;
  FilterKind kind;
  std::vector<double> scratch;  // an uncached design
  const std::vector<double>* h = nullptr;
  std::optional<Polyphase> polyphase;
};

ZeroStuffedFilter::ZeroStuffedFilter(std::span<const Complex> chips, int oversampleRatio,
                                     FilterKind kind)
    : impl_(std::make_unique<Impl>()) {
  require(oversampleRatio >= 1, "filterZeroStuffedChips: oversampleRatio must be at least 1, got " +
                                    std::to_string(oversampleRatio));
  impl_->chips = chips;
  impl_->R = static_cast<std::size_t>(oversampleRatio);
  impl_->kind = kind;
  if (kind == FilterKind::Rectangular) return;
  impl_->h = &design(kind, oversampleRatio, impl_->scratch);
  if (!impl_->h->empty() && !chips.empty())
    impl_->polyphase.emplace(chips, impl_->R, *impl_->h, std::span<Complex>{});
}

ZeroStuffedFilter::~ZeroStuffedFilter() = default;

std::size_t ZeroStuffedFilter::size() const {
  return impl_->chips.size() * impl_->R;
}

const Complex* ZeroStuffedFilter::samples(std::size_t first, std::size_t count,
                                          std::vector<Complex>& scratch) const {
  if (impl_->polyphase) return impl_->polyphase->samples(first, count, scratch);
  if (scratch.size() < count) scratch.resize(count);
  for (std::size_t i = 0; i < count; ++i) {
    // The hold meets one chip per sample; an empty design gives zeros.
    const std::size_t m = (first + i) % size();
    scratch[i] = impl_->kind == FilterKind::Rectangular ? impl_->chips[m / impl_->R] : Complex{};
  }
  return scratch.data();
}

std::vector<Complex> Qarn_BasebandFilter(std::span<const Complex> frame, double oversampleRatio,
                                         FilterKind kind) {
  if (kind == FilterKind::Rectangular) return holdFilter(frame, oversampleRatio);
  std::vector<double> scratch;
  const std::vector<double>& h = design(kind, oversampleRatio, scratch);
  return circularFilter(frame, h);
}

void filterZeroStuffedChips(std::span<const Complex> chips, int oversampleRatio, FilterKind kind,
                            std::span<Complex> out, SampleSummary* summary) {
  require(oversampleRatio >= 1, "filterZeroStuffedChips: oversampleRatio must be at least 1, got " +
                                    std::to_string(oversampleRatio));
  const auto R = static_cast<std::size_t>(oversampleRatio);
  const std::size_t samples = chips.size() * R;
  require(out.size() == samples, "filterZeroStuffedChips: the output must hold " +
                                     std::to_string(samples) + " samples, not " +
                                     std::to_string(out.size()));
  if (samples == 0) return;
  if (kind == FilterKind::Rectangular) {
    // The hold of Qarn_BasebandFilter meets exactly one non-zero input per output sample.
    chipTasks(chips.size(), R, 0, out, summary, [&](std::size_t qa, std::size_t qb) {
      for (std::size_t q = qa; q < qb; ++q)
        std::fill_n(out.begin() + static_cast<std::ptrdiff_t>(q * R), R, chips[q]);
    });
    return;
  }
  std::vector<double> scratch;
  const std::vector<double>& h = design(kind, oversampleRatio, scratch);
  if (h.empty()) {
    chipTasks(chips.size(), R, 0, out, summary, [&](std::size_t qa, std::size_t qb) {
      std::fill(out.begin() + static_cast<std::ptrdiff_t>(qa * R),
                out.begin() + static_cast<std::ptrdiff_t>(qb * R), Complex{});
    });
    return;
  }
  const Polyphase filter(chips, R, h, out);
  chipTasks(chips.size(), R, h.size() / 2, out, summary,
            [&](std::size_t qa, std::size_t qb) { filter.chipRange(qa, qb); });
}

std::vector<Complex> filterZeroStuffedChips(std::span<const Complex> chips, int oversampleRatio,
                                            FilterKind kind) {
  require(oversampleRatio >= 1, "filterZeroStuffedChips: oversampleRatio must be at least 1, got " +
                                    std::to_string(oversampleRatio));
  std::vector<Complex> out(chips.size() * static_cast<std::size_t>(oversampleRatio));
  filterZeroStuffedChips(chips, oversampleRatio, kind, out);
  return out;
}

}  // namespace kelvane::synthesis
