// The download encoder four doubles at a time: the operations of the SSE path in the same order
// (scale, trunc, subtract, double, trunc, add, limit, convert), so the same words.
#include <immintrin.h>

#include "instrument/block_paths.hpp"

namespace kelvane::instrument::paths {

namespace {
inline __m128i wordsOf(const double* x, __m256d scale) {
  constexpr int kTrunc = _MM_FROUND_TO_ZERO | _MM_FROUND_NO_EXC;
  const __m256d v = _mm256_mul_pd(_mm256_loadu_pd(x), scale);
  const __m256d t = _mm256_round_pd(v, kTrunc);
  const __m256d f2 = _mm256_mul_pd(_mm256_set1_pd(2.0), _mm256_sub_pd(v, t));
  const __m256d r = _mm256_add_pd(t, _mm256_round_pd(f2, kTrunc));
  const __m256d limited =
      _mm256_max_pd(_mm256_min_pd(r, _mm256_set1_pd(32767.0)), _mm256_set1_pd(-32767.0));
  return _mm256_cvttpd_epi32(limited);  // four int32
}
}  // namespace

std::size_t encodeWordsAvx2(const double* x, std::size_t n, double scale, char* out) {
  const __m256d s = _mm256_set1_pd(scale);
  const __m256i swap = _mm256_setr_epi8(1, 0, 3, 2, 5, 4, 7, 6, 9, 8, 11, 10, 13, 12, 15, 14,  //
                                        1, 0, 3, 2, 5, 4, 7, 6, 9, 8, 11, 10, 13, 12, 15, 14);
  std::size_t i = 0;
  for (; i + 16 <= n; i += 16) {
    // The values lie within +-32767, so the saturating packs are exact.
    const __m128i a = _mm_packs_epi32(wordsOf(x + i, s), wordsOf(x + i + 4, s));
    const __m128i b = _mm_packs_epi32(wordsOf(x + i + 8, s), wordsOf(x + i + 12, s));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + 2 * i),
                        _mm256_shuffle_epi8(_mm256_set_m128i(b, a), swap));
  }
  return i;
}

}  // namespace kelvane::instrument::paths
