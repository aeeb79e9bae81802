// The MAT file work done through libmatio and HDF5 lives in a plugin, libkelvane-matio.so,
// loaded at its first use: the two libraries and the thirty they pull in (curl, Kerberos, TLS,
// ...) cost every new process 12 ms to load, and most runs of the command-line tool never write
// a MAT file nor read a version 7.3 one.
#pragma once

#include <filesystem>
#include <span>
#include <string>
#include <vector>

#include "runtime/matfile.hpp"

namespace kelvane::runtime::detail {

struct MatioFunctions {
  // writeMatFile (matfile.hpp).
  void (*write)(const std::filesystem::path& path, std::span<const MatVariable> variables,
                MatWriteOptions options);
  // readMatFile for a version 7.3 file; throws runtime::Error naming the file.
  std::vector<MatVariable> (*readMat73)(const std::filesystem::path& path,
                                        const MatReadLimits& limits,
                                        std::span<const std::string> names);
};

// The plugin's functions, loaded on the first call (later calls try again after a failure).
// Throws runtime::Error when the plugin cannot be found or loaded.
const MatioFunctions& matioFunctions();

}  // namespace kelvane::runtime::detail

// What the plugin exports.
extern "C" const kelvane::runtime::detail::MatioFunctions* kelvane_matio_functions();
