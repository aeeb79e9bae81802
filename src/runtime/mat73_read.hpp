// The reader of MAT version 7.3 files, which are HDF5 files. libmatio reads them, but only after
// the program has walked the file through HDF5 itself as libmatio would (groups, and the object
// references of lists and record arrays) and checked what it declares: every array within
// limits.maxElements, all of them together within limits.maxFileBytes, each with storage for the
// data it declares (compressed at most as far as zlib can), nesting within limits.maxDepth and
// kMaxNesting (a reference cycle counts as too deep), and only links inside the file.
#pragma once

#include <filesystem>
#include <span>
#include <string>
#include <vector>

#include "runtime/matfile.hpp"

namespace kelvane::runtime::detail {

// The variables of the MAT version 7.3 file `path`: all of them when `names` is empty, else only
// those named. Throws std::runtime_error saying what is wrong ("array 'x' declares 4294967296
// elements, more than 268435456", "array 'x' declares 2147483648 bytes but stores 96") before
// libmatio reads any data, or when libmatio cannot read a variable or it is of a kind the
// program does not convert. Conversions as for version 5 files (matfile.hpp).
std::vector<MatVariable> readMat73(const std::filesystem::path& path, const MatReadLimits& limits,
                                   std::span<const std::string> names);

}  // namespace kelvane::runtime::detail
