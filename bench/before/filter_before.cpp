// The code as it stood before the speed work (commit be7c20c), kept verbatim but for its
// namespace, so that bench_speed measures before and after side by side in one run.
#include <algorithm>
#include <complex>
#include <span>
#include <string>
#include <vector>

#include "before/before.hpp"
#include "synthesis/baseband_filter.hpp"

namespace kelvane::before {

namespace {

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

// filterZeroStuffedChips as it was: a zero-filled row, then the polyphase filter on one thread
// with the SSE kernel. The design comes from today's code (it has not changed).
std::vector<Complex> filterZeroStuffedChips(std::span<const Complex> chips, int oversampleRatio,
                                            synthesis::FilterKind kind) {
  std::vector<Complex> out(chips.size() * static_cast<std::size_t>(oversampleRatio));
  if (kind == synthesis::FilterKind::Rectangular) {
    for (std::size_t q = 0; q < chips.size(); ++q) {
      std::fill_n(out.begin() + static_cast<std::ptrdiff_t>(q) * oversampleRatio, oversampleRatio,
                  chips[q]);
    }
    return out;
  }
  const std::vector<double> h = kind == synthesis::FilterKind::Acp
                                    ? synthesis::FilterCoeff_IS95_Acp(oversampleRatio)
                                    : synthesis::FilterCoeff_IS95_Std(oversampleRatio);
  polyphaseFilter(chips, static_cast<std::size_t>(oversampleRatio), h, out);
  return out;
}

}  // namespace kelvane::before
