// Data files of named variables in the array runtime's MAT format, version 5, through libmatio.
// GNU Octave and SciPy read what we write.
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
// int32 arrays. Throws runtime::Error naming the file and the cause.
void writeMatFile(const std::filesystem::path& path, std::span<const MatVariable> variables,
                  MatWriteOptions options = {});

// Limits on what a file may ask the reader to allocate; a file beyond them is refused.
struct MatReadLimits {
  std::size_t maxElements = std::size_t{1} << 28;   // per array (2 GiB of doubles)
  std::size_t maxDepth = 32;                        // nesting of records and lists
  std::size_t maxFileBytes = std::size_t{1} << 31;  // the file, and its inflated content
};

// Reads every variable of a MAT version 5 file (compressed or not, either byte order). Numeric
// classes become doubles (int32 keeps its class), logical arrays doubles, char arrays texts,
// structs records, cells lists. The file's structure is checked before libmatio reads it, so a
// damaged or hostile file throws runtime::Error, never crashes, and what is allocated stays
// proportional to the file (maxFileBytes bounds the file and its inflated content alike).
// Versions 4 and 7.3 (HDF5) are refused.
std::vector<MatVariable> readMatFile(const std::filesystem::path& path, MatReadLimits limits = {});

// The variable `name` of a read file, or nullptr.
const Value* findVariable(std::span<const MatVariable> variables, std::string_view name);

}  // namespace kelvane::runtime
