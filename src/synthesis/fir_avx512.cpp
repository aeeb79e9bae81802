// The polyphase kernel for AVX-512 (eight doubles a vector), chosen at run time.
// No header with inline functions of its own is included: a unit compiled for a wider
// instruction set must not provide the copy of a shared inline function the linker keeps.
#include <cstddef>

namespace kelvane::synthesis::fir_avx512 {
#define KELVANE_FIR_LANES 4
#include "synthesis/fir_kernel.hpp"
#undef KELVANE_FIR_LANES
}  // namespace kelvane::synthesis::fir_avx512

namespace kelvane::synthesis {
void firPhasesAvx512(const double* taps, std::size_t R, std::size_t J, const double* w,
                   double* dst, int chips) {
  fir_avx512::firPhases(taps, R, J, w, dst, chips);
}
}  // namespace kelvane::synthesis
