// Data files of named variables in the array runtime's MAT format, version 5: written through
// libmatio, read by the program's own bounded reader (mat5_check.hpp). GNU Octave and SciPy
// read what we write.
#pragma once

#include <filesystem>
#include <span>
#include <string>
#include <vector>

#include "runtime/value.hpp"

namespace kelvane::runtime {

struct MatVariable {
  std::string name;
  Value value;
};

struct MatWriteOptions {
  bool compress = true;  // zlib-compressed variables, as version 5 files allow
};

// Writes the variables to `path`, replacing an existing file atomically: the data goes to a
// temporary file in the same folder, is flushed to disk and renamed over the old file, and the
// folder is synced, so that a failed or interrupted write leaves the previous file intact.
// Records become structs, lists cells, texts char arrays of 8-bit characters, int32 matrices
// int32 arrays. Throws runtime::Error naming the file and the cause, also for a value nested
// more than kMaxNesting deep (which could not be read back).
void writeMatFile(const std::filesystem::path& path, std::span<const MatVariable> variables,
                  MatWriteOptions options = {});

// Limits on what a file may ask the reader to allocate; a file beyond them is refused. The
// reader keeps limits of its own beyond these: nesting never deeper than kMaxNesting, and values
// taking no more memory than a fixed 64 MiB plus 16 times the bytes read (file and inflated).
struct MatReadLimits {
  std::size_t maxElements = std::size_t{1} << 28;   // per array (2 GiB of doubles)
  std::size_t maxDepth = 32;                        // nesting of records and lists
  std::size_t maxFileBytes = std::size_t{1} << 31;  // the file, and its inflated content
};

// Reads the variables of a MAT version 5 file (compressed or not, either byte order): every one,
// or when `names` is not empty only those it names (the others are checked all the same but
// not converted). Numeric classes become doubles (int32 keeps its class), logical arrays
// doubles, char arrays texts, structs records, cells lists. A damaged or hostile file throws
// runtime::Error naming the file and what is wrong, never crashes, and what is allocated stays
// bounded by the file's bytes (maxFileBytes bounds the file and its inflated content alike).
// Versions 4 and 7.3 (HDF5) are refused. E.g. readMatFile("run.mat", {}, names) with
// `const std::string names[] = {"fileParameters"}`.
std::vector<MatVariable> readMatFile(const std::filesystem::path& path, MatReadLimits limits = {},
                                     std::span<const std::string> names = {});

// The variable `name` of a read file, or nullptr.
const Value* findVariable(std::span<const MatVariable> variables, std::string_view name);

}  // namespace kelvane::runtime
