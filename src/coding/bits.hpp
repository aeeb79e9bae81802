#pragma once

#include <cstdint>
#include <vector>

namespace kelvane::coding {

// A bit row: one bit (0 or 1) a byte, first transmitted bit first.
using Bits = std::vector<std::uint8_t>;

}  // namespace kelvane::coding
