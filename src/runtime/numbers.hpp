// The one whole-number check: a finite number without a fractional part, optionally within
// inclusive bounds. Validation, the transport, the coding operations and the by-name adapter
// all ask it, so that 2.5, NaN and Inf are refused the same way everywhere. Header-only: the
// computational core uses it without linking the runtime.
#pragma once

#include <cmath>
#include <limits>

namespace kelvane::runtime {

// isWhole(3) and isWhole(-0.0) are true; isWhole(2.5), isWhole(NaN), isWhole(Inf) false.
inline bool isWhole(double x) {
  return std::isfinite(x) && x == std::trunc(x);
}

// A whole number from lo to hi, both included; an infinite bound does not limit.
// isWholeIn(63, 5, 63) is true; isWholeIn(63.5, 5, 63) and isWholeIn(64, 5, 63) are false.
inline bool isWholeIn(double x, double lo, double hi) {
  return isWhole(x) && x >= lo && x <= hi;
}

}  // namespace kelvane::runtime
