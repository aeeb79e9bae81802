// Parameter files and the configuration file: MAT version 5 data files (compressed) holding the
// `parameters` record with its format identifier, or the `configuration` record in
// "defaults.mat" in the working directory; the file-name helper addFileExtention and the record
// comparison compareStruct.
#pragma once

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "runtime/atomic_file.hpp"
#include "runtime/value.hpp"

namespace kelvane::frame {

inline constexpr const char* kConfigFileName = "defaults.mat";
// Appended to the name of a configuration file that could not be read when it is kept aside.
inline constexpr const char* kDamagedSuffix = ".damaged";
inline constexpr const char* kLoadErrorTitle = "Error Loading File";
inline constexpr const char* kInvalidFormat = "has an Invalid File Format.";
inline constexpr const char* kInvalidStructure = "has an Invalid File Structure.";
inline constexpr const char* kInvalidParameterId = "has an Invalid File Parameter ID.";

// `name` ending in `ext`: appended unless `name` already ends in exactly `ext` (case-sensitive).
// addFileExtention("run", ".mat") is "run.mat"; "run.MAT" gives "run.MAT.mat".
std::string addFileExtention(std::string_view name, std::string_view ext);

// True when `a` and `b` are records with the same fields in the same order and equal values:
// both empty, records compared recursively, numbers of the same size and equal elements (NaN
// equals nothing), texts equal case-sensitively; any other pairing (text against number, lists)
// differs. Records nested more than runtime::kMaxNesting deep throw runtime::Error.
bool compareStruct(const runtime::Value& a, const runtime::Value& b);

// ---- typed core (no dialogs, no named variables) ---------------------------------------------

// Writes the variables `fileParameters` and `filename` (the path as text) to `path`, replacing
// an existing file atomically. Throws runtime::Error naming the file and the cause.
void writeParameterFile(const std::filesystem::path& path, const runtime::Value& fileParameters);

// The outcome of reading a parameter file against the record it would replace.
struct ParameterFileResult {
  std::optional<runtime::Value> parameters;  // the record to install, on success
  std::string message;                       // the error box text, on failure
  std::string detail;  // what exactly was wrong ("field 'Amplitude' is missing"), for tools
};

// Reads `path` and checks it in this order: readable MAT file (else the read error's text), a
// variable `fileParameters` (else "<path>\nhas an Invalid File Format."), a record with a field
// `ParameterFileFormat_ID` (else "...Invalid File Structure."), that field equal to the one of
// `current` (else "...Invalid File Parameter ID."), then every field of `current` present with
// a value of the same kind (else "...Invalid File Structure."). The installed record has the
// fields of `current` in their order, looked up by name in the file; fields the file holds
// beyond them are dropped. A damaged or hostile file gives a message, never a crash.
ParameterFileResult readParameterFile(const std::filesystem::path& path,
                                      const runtime::Value& current);

// Why a record read from "defaults.mat" cannot serve the program (e.g. the instrument
// connection's conversion refuses it), or nothing when it can.
using ConfigCheck = std::function<std::optional<std::string>(const runtime::Value&)>;

// What reading "defaults.mat" in the working folder gave.
struct ConfigRead {
  runtime::Value fileParameters;  // its 1 x 1 record `fileParameters`; empty on any problem
  // Why a file that exists could not be read, naming it ("File defaults.mat: a variable
  // announces 290 bytes but 282 remain", "File defaults.mat: holds no record fileParameters");
  // empty when it was read or there is none.
  std::string problem;
};

// Reads "defaults.mat"; `usable`, when given, judges the record read (its refusal is a problem).
ConfigRead readConfigFile(const ConfigCheck& usable = {});

// Locks "defaults.mat" for a read-change-write (runtime::FileLock): take it before reading the
// file and keep it until writeConfigFile has returned. Throws runtime::Error after
// runtime::kLockTimeout.
runtime::FileLock lockConfigFile();

// Writes the configuration file "defaults.mat" in the working folder with the variable
// `fileParameters`, replacing it atomically, under its lock. A file there that cannot be read
// (readConfigFile(usable) reports a problem) is first copied to "defaults.mat.damaged",
// replacing an older copy, so that the settings it may still hold are not lost; the returned
// note then says so ("defaults.mat could not be read, so it is kept as defaults.mat.damaged
// (File defaults.mat: ...)"), else it is empty. Throws runtime::Error naming the file and the
// cause, also when the damaged file cannot be kept (it is then not replaced either).
std::string writeConfigFile(const runtime::Value& fileParameters, const ConfigCheck& usable = {});

// ---- the operations ----------------------------------------------------------------------------

// Writes the parameter file; on an error an error box with its text, titled "Error Saving " +
// filename, waited for.
void saveParameters(const std::string& filename, const runtime::Value& fileParameters);

// Reads a parameter file against the named variable `parameters` and installs it; then the
// application's "redraw" runs with `handles`. On a failure an error box titled "Error Loading
// File" and false; `parameters` is then unchanged.
bool loadParameters(const std::string& filename, const runtime::Value& handles);

// Writes "defaults.mat" in the working directory with the variable `fileParameters`; errors are
// ignored (a failed write leaves the previous file as it was). A file there that could not be
// read, or whose record `usable` refuses, is kept as "defaults.mat.damaged" first, and the
// console says so.
void saveConfig(const runtime::Value& fileParameters, const ConfigCheck& usable = {});

// The record stored in "defaults.mat", or an empty value when the file is missing, unreadable
// or holds no record `fileParameters`; for a file that exists but cannot be read the console
// says why.
runtime::Value loadConfig();

// Runs "redraw" of the module named by appInfo.ApplicationFunction through its dispatcher, when
// that module and operation exist (headless there is nothing to redraw).
void redrawApplication(const runtime::Value& handles);

}  // namespace kelvane::frame
