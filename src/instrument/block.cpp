#include "instrument/block.hpp"

#include <immintrin.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <string_view>

#include "instrument/block_paths.hpp"

namespace kelvane::instrument {

std::optional<double> normScale(std::span<const std::complex<double>> iq) {
  // I and Q as one run of doubles (std::complex is laid out as two doubles), two lanes of
  // maxima and of x * 0, which turns NaN when any component is NaN or infinite (the order of
  // the additions does not matter for that).
  const double* x = reinterpret_cast<const double*>(iq.data());
  const std::size_t n = 2 * iq.size();
  const __m128d magnitude = _mm_castsi128_pd(_mm_set1_epi64x(0x7fffffffffffffff));
  const __m128d zero = _mm_setzero_pd();
  __m128d peak0 = zero, peak1 = zero, finite0 = zero, finite1 = zero;
  std::size_t i = 0;
  for (; i + 4 <= n; i += 4) {
    const __m128d a = _mm_loadu_pd(x + i), b = _mm_loadu_pd(x + i + 2);
    peak0 = _mm_max_pd(_mm_and_pd(a, magnitude), peak0);
    peak1 = _mm_max_pd(_mm_and_pd(b, magnitude), peak1);
    finite0 = _mm_add_pd(finite0, _mm_mul_pd(a, zero));
    finite1 = _mm_add_pd(finite1, _mm_mul_pd(b, zero));
  }
  alignas(16) double lanes[4], checks[4];
  _mm_store_pd(lanes, _mm_max_pd(peak0, peak1));
  _mm_store_pd(checks, _mm_add_pd(finite0, finite1));
  double peak = std::max(lanes[0], lanes[1]);
  double finite = checks[0] + checks[1];
  for (; i < n; ++i) {
    const double a = std::fabs(x[i]);
    peak = a > peak ? a : peak;
    finite += x[i] * 0.0;
  }
  if (std::isnan(finite)) return std::nullopt;
  return normScaleForPeak(peak);
}

double normScaleForPeak(double peak) {
  return peak == 0 ? 0.0 : 32767.0 / peak;
}

namespace {
inline void put(char* out, double x, double scale) {
  const double v = x * scale;
  // Half away from zero without a branch: the fraction f = v - trunc(v) is exact, and
  // trunc(2f) is -1, 0 or 1, non-zero exactly when |f| >= 0.5.
  const double t = std::trunc(v);
  const double r = std::clamp(t + std::trunc(2 * (v - t)), -32767.0, 32767.0);
  const auto u = static_cast<std::uint16_t>(static_cast<std::int16_t>(r));
  out[0] = static_cast<char>(u >> 8);
  out[1] = static_cast<char>(u & 0xff);
}

// The same rounding as put() on two doubles at a time: the same operations in the same order
// (trunc, subtract, double, trunc, add, limit), then the words packed and byte-swapped.
inline __m128i wordsOf(__m128d x, __m128d scale) {
  constexpr int kTrunc = _MM_FROUND_TO_ZERO | _MM_FROUND_NO_EXC;
  const __m128d v = _mm_mul_pd(x, scale);
  const __m128d t = _mm_round_pd(v, kTrunc);
  const __m128d f2 = _mm_mul_pd(_mm_set1_pd(2.0), _mm_sub_pd(v, t));
  const __m128d r = _mm_add_pd(t, _mm_round_pd(f2, kTrunc));
  const __m128d limited = _mm_max_pd(_mm_min_pd(r, _mm_set1_pd(32767.0)), _mm_set1_pd(-32767.0));
  return _mm_cvttpd_epi32(limited);  // two int32 in the low half
}
}  // namespace

namespace {
enum class EncoderPath { Sse, Avx2, Avx512 };

// The widest path the processor has, or the one KELVANE_SIMD names ("sse", "avx2", "avx512")
// when the processor has it. Read at every call, so a test may switch paths.
EncoderPath encoderPath() {
  static const bool avx2 = [] {
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2") != 0;
  }();
  static const bool avx512 = avx2 && __builtin_cpu_supports("avx512f");
  const char* env = std::getenv("KELVANE_SIMD");
  const std::string_view want = env ? env : "";
  if (want == "sse") return EncoderPath::Sse;
  if (want == "avx2" && avx2) return EncoderPath::Avx2;
  return avx512 ? EncoderPath::Avx512 : avx2 ? EncoderPath::Avx2 : EncoderPath::Sse;
}
}  // namespace

void encodeIqWords(std::span<const std::complex<double>> iq, double scale, std::span<char> out) {
  if (out.size() != 4 * iq.size()) throw std::invalid_argument("encodeIqWords: output size");
  const double* x = reinterpret_cast<const double*>(iq.data());
  const std::size_t n = 2 * iq.size();  // components
  char* p = out.data();
  std::size_t i = 0;
  switch (encoderPath()) {
    case EncoderPath::Avx512:
      i = paths::encodeWordsAvx512(x, n, scale, p);
      break;
    case EncoderPath::Avx2:
      i = paths::encodeWordsAvx2(x, n, scale, p);
      break;
    case EncoderPath::Sse:
      break;
  }
  // The rest eight components at a time, then one at a time.
  const __m128d s = _mm_set1_pd(scale);
  // Big-endian: the two bytes of every 16-bit word swapped.
  const __m128i swap = _mm_setr_epi8(1, 0, 3, 2, 5, 4, 7, 6, 9, 8, 11, 10, 13, 12, 15, 14);
  for (; i + 8 <= n; i += 8) {
    const __m128i a = _mm_unpacklo_epi64(wordsOf(_mm_loadu_pd(x + i), s),
                                         wordsOf(_mm_loadu_pd(x + i + 2), s));
    const __m128i b = _mm_unpacklo_epi64(wordsOf(_mm_loadu_pd(x + i + 4), s),
                                         wordsOf(_mm_loadu_pd(x + i + 6), s));
    // The values lie within +-32767, so the saturating pack is exact.
    _mm_storeu_si128(reinterpret_cast<__m128i*>(p + 2 * i),
                     _mm_shuffle_epi8(_mm_packs_epi32(a, b), swap));
  }
  for (; i < n; ++i)
    put(p + 2 * i, x[i], scale);
}

void encodeMarkerBytes(std::span<const std::uint8_t> markers, std::span<char> out) {
  if (out.size() != markers.size()) throw std::invalid_argument("encodeMarkerBytes: output size");
  // Eight bytes at a time.
  constexpr std::uint64_t kMarkerBits = 0x0303030303030303ull;
  std::size_t i = 0;
  for (; i + 8 <= out.size(); i += 8) {
    std::uint64_t w;
    std::memcpy(&w, markers.data() + i, 8);
    w &= kMarkerBits;
    std::memcpy(out.data() + i, &w, 8);
  }
  for (; i < out.size(); ++i)
    out[i] = static_cast<char>(markers[i] & 0x3);
}

std::string definiteLengthHeader(std::uint64_t bytes) {
  const std::string len = std::to_string(bytes);
  if (len.size() > 9) throw std::invalid_argument("block of " + len + " bytes is too long");
  return "#" + std::to_string(len.size()) + len;
}

}  // namespace kelvane::instrument
