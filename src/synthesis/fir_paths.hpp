// The instruction-set paths of the polyphase filter's kernel. The widest the processor has is
// taken unless KELVANE_SIMD names another ("sse", "avx2" or "avx512"); every path gives the same
// bits, only the speed differs.
#pragma once

#include <cstddef>
#include <string_view>
#include <vector>

namespace kelvane::synthesis {

enum class FirPath { Sse, Avx2, Avx512 };

// All R phases of `chips` (1 or 2) consecutive chips: dst(c R + p) = sum_t taps(t R + p) w(t + c),
// taps as duplicated pairs (h, h) of J * R rows, w the chip window of J + chips - 1 samples, dst
// 2 * R * chips doubles (complex samples as re, im).
using FirKernel = void (*)(const double* taps, std::size_t R, std::size_t J, const double* w,
                           double* dst, int chips);

void firPhasesSse(const double* taps, std::size_t R, std::size_t J, const double* w, double* dst,
                  int chips);
void firPhasesAvx2(const double* taps, std::size_t R, std::size_t J, const double* w, double* dst,
                   int chips);
void firPhasesAvx512(const double* taps, std::size_t R, std::size_t J, const double* w,
                     double* dst, int chips);

// The paths this processor can run, narrowest first (Sse always).
std::vector<FirPath> availableFirPaths();
// The path a filter uses now: KELVANE_SIMD when it names an available path, else the widest
// available. Read at every filtering, so a test may switch paths between calculations.
FirPath currentFirPath();
std::string_view firPathName(FirPath path);  // "sse", "avx2", "avx512"
FirKernel firKernel(FirPath path);

}  // namespace kelvane::synthesis
