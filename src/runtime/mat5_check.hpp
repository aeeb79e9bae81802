// The structural check a MAT version 5 file passes before libmatio reads it. libmatio trusts
// the sizes and counts a file announces (a 367-byte file can make it allocate millions of
// records); walking every data element first, with each count bounded by the bytes that are
// really there, keeps what it allocates proportional to the file.
#pragma once

#include <cstdint>
#include <span>
#include <stdexcept>

#include "runtime/matfile.hpp"

namespace kelvane::runtime::detail {

// Throws std::runtime_error with what is wrong ("record 'x' announces 8873076 fields but holds
// 6", "compressed data is damaged") unless `file` is a MAT version 5 file whose every element
// lies inside its parent, whose compressed variables inflate completely within
// limits.maxFileBytes in total, whose arrays are of the classes the reader converts (numeric,
// logical, char, struct, cell) with no more than limits.maxElements elements each and data for
// all of them, nested at most limits.maxDepth deep.
void checkMat5Structure(std::span<const std::uint8_t> file, const MatReadLimits& limits);

}  // namespace kelvane::runtime::detail
