// The polyphase filter's inner kernel, written once for any vector width and compiled in one
// translation unit per instruction set (fir_sse.cpp, fir_avx2.cpp, fir_avx512.cpp), each inside
// its own namespace. Every output sample is the same sum in the same order on every width:
//   acc = 0; for t = 0 .. J - 1: acc += tap(t) * x(t)
// with a separate multiply and add (the units are compiled with -ffp-contract=off), so the bits do
// not depend on the width. Only the number of outputs computed side by side changes.
//
// Include after defining KELVANE_FIR_LANES (complex samples per vector: 1, 2 or 4) inside the
// namespace of the unit, with <cstddef> included before it.

// K complex samples (re, im pairs) in one vector; a duplicated real tap (h, h) per sample.
typedef double Vec __attribute__((vector_size(16 * KELVANE_FIR_LANES)));
typedef double Vec1 __attribute__((vector_size(16)));

template <class V>
inline V loadVec(const double* p) {
  V v;
  __builtin_memcpy(&v, p, sizeof v);
  return v;
}

template <class V>
inline void storeVec(double* p, V v) {
  __builtin_memcpy(p, &v, sizeof v);
}

// The complex sample z repeated in every lane pair of V.
template <class V>
inline V broadcast(const double* z) {
  V v;
  for (std::size_t i = 0; i < sizeof(V) / sizeof(double); i += 2) {
    v[i] = z[0];
    v[i + 1] = z[1];
  }
  return v;
}

// B vectors of consecutive phases (B * lanes phases) of C consecutive chips, R the oversampleRatio:
//   dst(c R + b) = sum_t taps(t R + b) w(t + c).
// taps and dst are counted in doubles (two a sample), w holds the chip window (J + C - 1 chips).
template <class V, int B, int C>
inline void phaseBlock(const double* taps, std::size_t R, std::size_t J, const double* w,
                       double* dst) {
  constexpr std::size_t kStride = sizeof(V) / sizeof(double);
  V acc[C][B];
#pragma GCC unroll 16
  for (int c = 0; c < C; ++c) {
#pragma GCC unroll 16
    for (int b = 0; b < B; ++b)
      acc[c][b] = V{};
  }
  for (std::size_t t = 0; t < J; ++t) {
    V x[C];
#pragma GCC unroll 2
    for (int c = 0; c < C; ++c)
      x[c] = broadcast<V>(w + 2 * (t + static_cast<std::size_t>(c)));
    const double* row = taps + 2 * t * R;
#pragma GCC unroll 16
    for (int b = 0; b < B; ++b) {
      const V tap = loadVec<V>(row + static_cast<std::size_t>(b) * kStride);
#pragma GCC unroll 2
      for (int c = 0; c < C; ++c)
        acc[c][b] += tap * x[c];
    }
  }
#pragma GCC unroll 2
  for (int c = 0; c < C; ++c) {
#pragma GCC unroll 16
    for (int b = 0; b < B; ++b)
      storeVec<V>(dst + 2 * static_cast<std::size_t>(c) * R + static_cast<std::size_t>(b) * kStride,
                  acc[c][b]);
  }
}

// phaseBlock<V, n, C> for a run-time n in 1 .. Max (n vectors of phases).
template <class V, int C, int Max>
inline void phaseBlockOf(int n, const double* taps, std::size_t R, std::size_t J, const double* w,
                         double* dst) {
  if constexpr (Max >= 1) {
    if (n == Max) {
      phaseBlock<V, Max, C>(taps, R, J, w, dst);
    } else {
      phaseBlockOf<V, C, Max - 1>(n, taps, R, J, w, dst);
    }
  }
}

// Accumulator vectors per chip for one block: 12 (two chips) or 16 (one chip) within 16
// registers of SSE and AVX2, twice that within the 32 of AVX-512.
template <int C>
constexpr int blockVectors() {
  constexpr int base = C == 2 ? 6 : 8;
  return KELVANE_FIR_LANES >= 4 ? 2 * base : base;
}

// All R phases of C chips: whole blocks, then the remaining whole vectors, then the remaining
// phases one sample wide.
template <int C>
inline void allPhases(const double* taps, std::size_t R, std::size_t J, const double* w,
                      double* dst) {
  constexpr int kLanes = KELVANE_FIR_LANES;
  constexpr int B = blockVectors<C>();
  constexpr std::size_t kBlock = static_cast<std::size_t>(B) * kLanes;
  std::size_t p = 0;
  for (; p + kBlock <= R; p += kBlock)
    phaseBlock<Vec, B, C>(taps + 2 * p, R, J, w, dst + 2 * p);
  if (const auto whole = static_cast<int>((R - p) / kLanes); whole > 0) {
    phaseBlockOf<Vec, C, B - 1>(whole, taps + 2 * p, R, J, w, dst + 2 * p);
    p += static_cast<std::size_t>(whole) * kLanes;
  }
  if constexpr (kLanes > 1) {
    if (const auto rest = static_cast<int>(R - p); rest > 0)
      phaseBlockOf<Vec1, C, kLanes - 1>(rest, taps + 2 * p, R, J, w, dst + 2 * p);
  }
}

// The exported kernel: all phases of `chips` (1 or 2) consecutive chips.
inline void firPhases(const double* taps, std::size_t R, std::size_t J, const double* w,
                      double* dst, int chips) {
  if (chips == 2) {
    allPhases<2>(taps, R, J, w, dst);
  } else {
    allPhases<1>(taps, R, J, w, dst);
  }
}
