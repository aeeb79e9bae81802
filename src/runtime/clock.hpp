// The clock reading of the array runtime: year, month, day, hour, minute and seconds (with their
// fraction), local time; e.g. {2026, 12, 8, 14, 5, 31.25}.
#pragma once

#include <array>

namespace kelvane::runtime {

std::array<double, 6> clockNow();

}  // namespace kelvane::runtime
