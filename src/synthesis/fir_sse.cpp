// The polyphase kernel for the baseline (SSE2, two doubles a vector).
// No header with inline functions of its own is included: a unit compiled for a wider
// instruction set must not provide the copy of a shared inline function the linker keeps.
#include <cstddef>

namespace kelvane::synthesis::fir_sse {
#define KELVANE_FIR_LANES 1
#include "synthesis/fir_kernel.hpp"
#undef KELVANE_FIR_LANES
}  // namespace kelvane::synthesis::fir_sse

namespace kelvane::synthesis {
void firPhasesSse(const double* taps, std::size_t R, std::size_t J, const double* w,
                   double* dst, int chips) {
  fir_sse::firPhases(taps, R, J, w, dst, chips);
}
}  // namespace kelvane::synthesis
