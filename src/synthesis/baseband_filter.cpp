#include "synthesis/baseband_filter.hpp"

#include <algorithm>
#include <cmath>
#include <map>
#include <mutex>
#include <string>
#include <utility>

#include "coding/error.hpp"
#include "synthesis/filter_design.hpp"

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
std::mutex cacheMutex;
std::map<std::pair<FilterKind, int>, std::vector<double>> cache;

bool cacheable(double oversampleRatio) {
  return oversampleRatio >= 1 && oversampleRatio <= kMaxCachedRatio &&
         oversampleRatio == std::floor(oversampleRatio);
}

std::vector<double> designUncached(FilterKind kind, double oversampleRatio);

const std::vector<double>& cachedDesign(FilterKind kind, int oversampleRatio) {
  const auto key = std::make_pair(kind, oversampleRatio);
  {
    std::lock_guard lock(cacheMutex);
    if (auto it = cache.find(key); it != cache.end()) return it->second;
  }
  std::vector<double> h = designUncached(kind, oversampleRatio);
  std::lock_guard lock(cacheMutex);
  return cache.try_emplace(key, std::move(h)).first->second;
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

// B consecutive phases of C consecutive chips (C = 1 or 2), R the oversampleRatio:
//   dst(c R + b) = sum_t taps(t R + b) w(t + c),
// w the window of chip q (J samples, one more for the second chip). Fully unrolled, the 2 B
// accumulators stay in registers and every tap loaded serves both chips.
template <int B, int C>
inline void phaseBlock(const V2* taps, std::size_t oversampleRatio, std::size_t J, const Complex* w,
                       Complex* dst) {
  V2 acc[C][B];
#pragma GCC unroll 16
  for (int c = 0; c < C; ++c) {
#pragma GCC unroll 16
    for (int b = 0; b < B; ++b)
      acc[c][b] = V2{0, 0};
  }
  V2 next = load(w);
  for (std::size_t t = 0; t < J; ++t) {
    V2 x[C];
    x[0] = next;
    if constexpr (C == 2) {
      next = load(w + t + 1);
      x[1] = next;
    } else if (t + 1 < J) {
      next = load(w + t + 1);
    }
    const V2* row = taps + t * oversampleRatio;
#pragma GCC unroll 16
    for (int b = 0; b < B; ++b) {
      const V2 tap = row[b];
#pragma GCC unroll 2
      for (int c = 0; c < C; ++c)
        acc[c][b] += tap * x[c];
    }
  }
#pragma GCC unroll 2
  for (int c = 0; c < C; ++c) {
#pragma GCC unroll 16
    for (int b = 0; b < B; ++b)
      store(dst + static_cast<std::size_t>(c) * oversampleRatio + b, acc[c][b]);
  }
}

// All R (oversampleRatio) phases of C chips: blocks of B phases (B = 6 for two chips, 8 for one,
// within the 16 SSE registers) and one remainder block.
template <int C>
inline void allPhases(const V2* taps, std::size_t oversampleRatio, std::size_t J, const Complex* w,
                      Complex* dst) {
  constexpr int B = C == 2 ? 6 : 8;
  std::size_t p = 0;
  for (; p + B <= oversampleRatio; p += B)
    phaseBlock<B, C>(taps + p, oversampleRatio, J, w, dst + p);
  switch (oversampleRatio - p) {
    case 7:
      phaseBlock<7, C>(taps + p, oversampleRatio, J, w, dst + p);
      break;
    case 6:
      phaseBlock<6, C>(taps + p, oversampleRatio, J, w, dst + p);
      break;
    case 5:
      phaseBlock<5, C>(taps + p, oversampleRatio, J, w, dst + p);
      break;
    case 4:
      phaseBlock<4, C>(taps + p, oversampleRatio, J, w, dst + p);
      break;
    case 3:
      phaseBlock<3, C>(taps + p, oversampleRatio, J, w, dst + p);
      break;
    case 2:
      phaseBlock<2, C>(taps + p, oversampleRatio, J, w, dst + p);
      break;
    case 1:
      phaseBlock<1, C>(taps + p, oversampleRatio, J, w, dst + p);
      break;
    default:
      break;
  }
}

// The circular filter of the zero-stuffed chip stream u (u(q R) = chips(q), zeros between, R the
// oversampleRatio), advanced by d = floor(L / 2). With s = n + d, p = s mod R and q = floor(s / R),
// output n meets non-zero inputs only at the taps p + j R:
//   out(q R + p - d) = sum_j h(p + j R) chips((q - j) mod M).
// Written over the chip window chips(q - J + 1 .. q), t = J - 1 - j, the taps of all phases of
// one t are contiguous in h, and every output of chip q is one short dot product.
void polyphaseFilter(std::span<const Complex> chips, std::size_t oversampleRatio,
                     const std::vector<double>& h, std::span<Complex> out) {
  const std::size_t M = chips.size();
  const std::size_t N = M * oversampleRatio;
  const std::size_t L = h.size();
  if (N == 0) return;
  if (L == 0) {
    std::fill(out.begin(), out.end(), Complex{});
    return;
  }
  const std::size_t d = L / 2;
  const std::size_t J = (L + oversampleRatio - 1) / oversampleRatio;  // taps per phase

  // taps(t R + p) = h((J - 1 - t) R + p), zero beyond the filter.
  std::vector<V2> taps(J * oversampleRatio);
  for (std::size_t t = 0; t < J; ++t) {
    for (std::size_t p = 0; p < oversampleRatio; ++p) {
      const std::size_t k = (J - 1 - t) * oversampleRatio + p;
      taps[t * oversampleRatio + p] = dup(k < L ? h[k] : 0.0);
    }
  }
  std::vector<Complex> window(J);  // the chip window where it wraps round the frame
  std::vector<Complex> block(
      oversampleRatio);  // the outputs of one chip where they wrap round the frame

  // Chips whose window and outputs need no wrap round the frame, two at a time.
  auto direct = [&](std::size_t q) {
    return q + 1 >= J && q * oversampleRatio >= d && q * oversampleRatio - d + oversampleRatio <= N;
  };
  std::size_t q = 0;
  while (q < M) {
    if (q + 1 < M && direct(q) && direct(q + 1)) {
      allPhases<2>(taps.data(), oversampleRatio, J, &chips[q + 1 - J],
                   &out[q * oversampleRatio - d]);
      q += 2;
      continue;
    }
    const Complex* w;
    if (q + 1 >= J) {
      w = &chips[q + 1 - J];
    } else {
      for (std::size_t t = 0; t < J; ++t) {
        // chips index q - J + 1 + t, taken modulo M (several times round for short frames).
        const std::size_t back = J - 1 - t;  // how far before chip q
        window[t] = chips[(q + M - back % M) % M];
      }
      w = window.data();
    }
    if (direct(q)) {
      allPhases<1>(taps.data(), oversampleRatio, J, w, &out[q * oversampleRatio - d]);
    } else {
      allPhases<1>(taps.data(), oversampleRatio, J, w, block.data());
      for (std::size_t p = 0; p < oversampleRatio; ++p)
        out[(q * oversampleRatio + p + N - d % N) % N] = block[p];
    }
    ++q;
  }
}

}  // namespace

std::vector<Complex> Qarn_BasebandFilter(std::span<const Complex> frame, double oversampleRatio,
                                         FilterKind kind) {
  if (kind == FilterKind::Rectangular) return holdFilter(frame, oversampleRatio);
  std::vector<double> scratch;
  const std::vector<double>& h = design(kind, oversampleRatio, scratch);
  return circularFilter(frame, h);
}

void filterZeroStuffedChips(std::span<const Complex> chips, int oversampleRatio, FilterKind kind,
                            std::span<Complex> out) {
  require(oversampleRatio >= 1, "filterZeroStuffedChips: oversampleRatio must be at least 1, got " +
                                    std::to_string(oversampleRatio));
  const std::size_t samples = chips.size() * static_cast<std::size_t>(oversampleRatio);
  require(out.size() == samples, "filterZeroStuffedChips: the output must hold " +
                                     std::to_string(samples) + " samples, not " +
                                     std::to_string(out.size()));
  if (kind == FilterKind::Rectangular) {
    // The hold of Qarn_BasebandFilter meets exactly one non-zero input per output sample.
    for (std::size_t q = 0; q < chips.size(); ++q) {
      std::fill_n(out.begin() + static_cast<std::ptrdiff_t>(q) * oversampleRatio, oversampleRatio,
                  chips[q]);
    }
    return;
  }
  std::vector<double> scratch;
  const std::vector<double>& h = design(kind, oversampleRatio, scratch);
  polyphaseFilter(chips, static_cast<std::size_t>(oversampleRatio), h, out);
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
