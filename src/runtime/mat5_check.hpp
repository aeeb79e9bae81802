// The reader of MAT version 5 files. The program reads them itself rather than through libmatio:
// libmatio trusts the sizes and counts a file announces and parses compressed variables its own
// way, so that a 1.3 KB file that passed a structural check made it ask for 3 GB. Here every
// element is checked against the bytes that are really there before anything is allocated for
// it, compressed variables inflate into a buffer bounded by what is left of maxFileBytes, and
// the values built are charged to a budget of a fixed part plus a multiple of the bytes read
// (file and inflated), whatever limits a caller passes.
#pragma once

#include <cstdint>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

#include "runtime/matfile.hpp"

namespace kelvane::runtime::detail {

// Memory the values read from one file may take beyond kReadBytesFactor times the bytes read.
inline constexpr std::size_t kReadFixedBudget = std::size_t{64} << 20;
inline constexpr std::size_t kReadBytesFactor = 16;

// The variables of the MAT version 5 file `file`: all of them when `names` is empty, else only
// those named (the others are checked as thoroughly, but not converted). Throws
// std::runtime_error saying what is wrong ("record 'x' announces 8873076 elements but holds at
// most 6", "compressed data is damaged or truncated", "is a MAT version 4 file, which is not
// supported") unless every element lies inside its parent, compressed variables inflate
// completely within limits.maxFileBytes in total, arrays are 2-D, of the classes the reader
// converts (numeric, logical, char, struct, cell), with no more than limits.maxElements
// elements each and data for all of them, nested at most min(limits.maxDepth, kMaxNesting)
// deep, and the values fit the memory budget. E.g. decodeMat5(bytes, {}, {}) reads everything.
std::vector<MatVariable> decodeMat5(std::span<const std::uint8_t> file, const MatReadLimits& limits,
                                    std::span<const std::string> names);

}  // namespace kelvane::runtime::detail
