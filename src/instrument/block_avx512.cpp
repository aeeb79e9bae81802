// The download encoder eight doubles at a time: the operations of the SSE path in the same order
// (scale, trunc, subtract, double, trunc, add, limit, convert), so the same words.
#include <immintrin.h>

#include "instrument/block_paths.hpp"

namespace kelvane::instrument::paths {

namespace {
inline __m256i wordsOf(const double* x, __m512d scale) {
  constexpr int kTrunc = _MM_FROUND_TO_ZERO | _MM_FROUND_NO_EXC;
  const __m512d v = _mm512_mul_pd(_mm512_loadu_pd(x), scale);
  const __m512d t = _mm512_maskz_roundscale_pd(0xFF, v, kTrunc);
  const __m512d f2 = _mm512_mul_pd(_mm512_set1_pd(2.0), _mm512_sub_pd(v, t));
  const __m512d r = _mm512_add_pd(t, _mm512_maskz_roundscale_pd(0xFF, f2, kTrunc));
  const __m512d limited =
      _mm512_maskz_max_pd(
          0xFF, _mm512_maskz_min_pd(0xFF, r, _mm512_set1_pd(32767.0)), _mm512_set1_pd(-32767.0));
  return _mm512_maskz_cvttpd_epi32(0xFF, limited);  // eight int32
}

// Sixteen doubles as sixteen big-endian words (32 bytes).
inline void put16(const double* x, __m512d scale, __m256i swap, char* out) {
  // The values lie within +-32767, so the saturating pack is exact. It interleaves the 128-bit
  // halves (a0-3 b0-3 a4-7 b4-7); the permutation puts them in order.
  const __m256i packed = _mm256_packs_epi32(wordsOf(x, scale), wordsOf(x + 8, scale));
  const __m256i words = _mm256_permute4x64_epi64(packed, 0xD8);
  _mm256_storeu_si256(reinterpret_cast<__m256i*>(out), _mm256_shuffle_epi8(words, swap));
}
}  // namespace

std::size_t encodeWordsAvx512(const double* x, std::size_t n, double scale, char* out) {
  const __m512d s = _mm512_set1_pd(scale);
  const __m256i swap = _mm256_setr_epi8(1, 0, 3, 2, 5, 4, 7, 6, 9, 8, 11, 10, 13, 12, 15, 14,  //
                                        1, 0, 3, 2, 5, 4, 7, 6, 9, 8, 11, 10, 13, 12, 15, 14);
  std::size_t i = 0;
  for (; i + 32 <= n; i += 32) {
    put16(x + i, s, swap, out + 2 * i);
    put16(x + i + 16, s, swap, out + 2 * i + 32);
  }
  return i;
}

}  // namespace kelvane::instrument::paths
