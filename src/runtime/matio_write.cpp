// The parts of the MAT file work done through libmatio and HDF5, built into the plugin that
// matio_plugin.hpp loads: writing version 5 files, and reading version 7.3 files.
#include <matio.h>

#include <algorithm>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <stdexcept>

#include "runtime/atomic_file.hpp"
#include "runtime/mat73_read.hpp"
#include "runtime/matio_plugin.hpp"

namespace kelvane::runtime {

namespace {

// libmatio reports problems through its log; keep the last message for our error text instead
// of letting it print to the console.
std::mutex logMutex;
std::string lastMatioMessage;
void matioLog(int /*level*/, char* message) {
  std::lock_guard lock(logMutex);
  lastMatioMessage = message ? message : "";
}
void installMatioLog() {
  static std::once_flag once;
  std::call_once(once, [] { Mat_LogInitFunc("kelvane", matioLog); });
}
std::string takeMatioMessage() {
  std::lock_guard lock(logMutex);
  std::string m = std::move(lastMatioMessage);
  lastMatioMessage.clear();
  return m;
}

[[noreturn]] void fail(const std::filesystem::path& path, const std::string& what) {
  std::string msg = what;
  if (std::string detail = takeMatioMessage(); !detail.empty()) msg += " (" + detail + ")";
  throw Error("File " + path.string() + ": " + msg);
}

struct MatCloser {
  void operator()(mat_t* m) const {
    if (m) Mat_Close(m);
  }
};
struct VarFreer {
  void operator()(matvar_t* v) const {
    if (v) Mat_VarFree(v);
  }
};
using MatPtr = std::unique_ptr<mat_t, MatCloser>;
using VarPtr = std::unique_ptr<matvar_t, VarFreer>;

// ---- writing --------------------------------------------------------------------------------

// Buffers that matio's variables point into (created with MAT_F_DONT_COPY_DATA) until written.
struct Arena {
  std::deque<std::vector<double>> doubles;
  std::deque<std::vector<std::int32_t>> ints;
  std::deque<std::vector<std::uint8_t>> bytes;
  std::deque<mat_complex_split_t> splits;
};

matvar_t* toMatVar(const char* name, const Value& v, Arena& arena);

// True when a text anywhere in `v` holds a byte above 127 (an instrument's reply may hold
// any byte). libmatio's compressing writer announces a wrong length for such 8-bit texts.
bool holdsEightBitText(const Value& v) {
  if (v.isText())
    return std::any_of(v.str().begin(), v.str().end(),
                       [](char c) { return static_cast<unsigned char>(c) > 127; });
  if (v.isList()) return std::any_of(v.items().begin(), v.items().end(), holdsEightBitText);
  if (v.isRecord())
    for (std::size_t e = 0; e < v.numel(); ++e)
      for (const auto& name : v.fieldNames())
        if (holdsEightBitText(v.field(name, e))) return true;
  return false;
}

matvar_t* structToMatVar(const char* name, const Value& v, Arena& arena) {
  const auto& names = v.fieldNames();
  std::vector<const char*> fields;
  fields.reserve(names.size());
  for (const auto& n : names)
    fields.push_back(n.c_str());
  size_t rdims[2] = {v.numel() == 0 ? 0u : 1u, v.numel()};
  matvar_t* s =
      Mat_VarCreateStruct(name, 2, rdims, fields.data(), static_cast<unsigned>(fields.size()));
  if (!s) return nullptr;
  for (size_t e = 0; e < v.numel(); ++e) {
    for (size_t f = 0; f < names.size(); ++f) {
      matvar_t* child = toMatVar(names[f].c_str(), v.field(names[f], e), arena);
      if (!child) {
        Mat_VarFree(s);
        return nullptr;
      }
      Mat_VarSetStructFieldByIndex(s, f, e, child);
    }
  }
  return s;
}

matvar_t* cellToMatVar(const char* name, const Value& v, Arena& arena) {
  size_t dims[2] = {v.rows(), v.cols()};
  matvar_t* c = Mat_VarCreate(name, MAT_C_CELL, MAT_T_CELL, 2, dims, nullptr, 0);
  if (!c) return nullptr;
  const auto& items = v.items();
  for (size_t i = 0; i < items.size(); ++i) {
    matvar_t* child = toMatVar("", items[i], arena);
    if (!child) {
      Mat_VarFree(c);
      return nullptr;
    }
    Mat_VarSetCell(c, static_cast<int>(i), child);
  }
  return c;
}

matvar_t* toMatVar(const char* name, const Value& v, Arena& arena) {
  size_t dims[2] = {v.rows(), v.cols()};
  switch (v.kind()) {
    case Kind::Empty: {
      size_t zero[2] = {0, 0};
      return Mat_VarCreate(name, MAT_C_DOUBLE, MAT_T_DOUBLE, 2, zero, nullptr, 0);
    }
    case Kind::Real: {
      if (v.numClass() == NumClass::Int32) {
        auto& buf = arena.ints.emplace_back();
        for (double x : v.realData())
          buf.push_back(static_cast<std::int32_t>(x));
        return Mat_VarCreate(name, MAT_C_INT32, MAT_T_INT32, 2, dims, buf.data(),
                             MAT_F_DONT_COPY_DATA);
      }
      auto& buf = arena.doubles.emplace_back(v.toDoubles());
      return Mat_VarCreate(name, MAT_C_DOUBLE, MAT_T_DOUBLE, 2, dims,
                           buf.empty() ? nullptr : buf.data(), MAT_F_DONT_COPY_DATA);
    }
    case Kind::Complex: {
      auto& re = arena.doubles.emplace_back();
      auto& im = arena.doubles.emplace_back();
      for (auto z : v.complexData())
        re.push_back(z.real()), im.push_back(z.imag());
      auto& split = arena.splits.emplace_back(mat_complex_split_t{re.data(), im.data()});
      return Mat_VarCreate(name, MAT_C_DOUBLE, MAT_T_DOUBLE, 2, dims, &split,
                           MAT_F_COMPLEX | MAT_F_DONT_COPY_DATA);
    }
    case Kind::Text: {
      const std::string& s = v.str();
      auto& buf = arena.bytes.emplace_back(s.begin(), s.end());
      size_t tdims[2] = {s.empty() ? 0u : 1u, s.size()};
      // 8-bit characters, byte for byte. ASCII is tagged as UTF-8: libmatio 1.5 writes
      // MAT_T_UINT8 char data with the same tag but, when compressing, announces 8 bytes more
      // than it writes for texts of 5 characters and more. A text with bytes above 127 (an
      // instrument's reply may hold any byte) is MAT_T_UINT8, which libmatio does not decode,
      // and its variable is written uncompressed (writeMatFile).
      const matio_types type = holdsEightBitText(v) ? MAT_T_UINT8 : MAT_T_UTF8;
      return Mat_VarCreate(name, MAT_C_CHAR, type, 2, tdims, buf.empty() ? nullptr : buf.data(),
                           MAT_F_DONT_COPY_DATA);
    }
    case Kind::Record:
      return structToMatVar(name, v, arena);
    case Kind::List:
      return cellToMatVar(name, v, arena);
    case Kind::Handle: {
      auto& buf = arena.doubles.emplace_back(1, static_cast<double>(v.handleId()));
      size_t one[2] = {1, 1};
      return Mat_VarCreate(name, MAT_C_DOUBLE, MAT_T_DOUBLE, 2, one, buf.data(),
                           MAT_F_DONT_COPY_DATA);
    }
  }
  return nullptr;
}

}  // namespace

namespace detail {

void writeMatFileWithMatio(const std::filesystem::path& path,
                           std::span<const MatVariable> variables, MatWriteOptions options) {
  installMatioLog();
  takeMatioMessage();
  // What could not be read back is not written (and libmatio's writer recurses as deep).
  for (const auto& var : variables)
    if (nestingDepth(var.value) > kMaxNesting)
      fail(path, "variable '" + var.name + "' holds records or lists nested more than " +
                     std::to_string(kMaxNesting) + " deep");
  replaceFileAtomically(path, [&](const std::filesystem::path& tmp) {
    MatPtr mat(Mat_CreateVer(tmp.c_str(), nullptr, MAT_FT_MAT5));
    if (!mat) fail(path, "cannot be created");
    for (const auto& var : variables) {
      Arena arena;
      VarPtr mv(toMatVar(var.name.c_str(), var.value, arena));
      if (!mv) fail(path, "cannot hold variable '" + var.name + "'");
      // Texts are stored byte for byte; a variable holding 8-bit text is written uncompressed.
      const bool compress = options.compress && !holdsEightBitText(var.value);
      if (Mat_VarWrite(mat.get(), mv.get(),
                       compress ? MAT_COMPRESSION_ZLIB : MAT_COMPRESSION_NONE) != 0)
        fail(path, "writing variable '" + var.name + "' failed");
    }
    if (Mat_Close(mat.release()) != 0) fail(path, "cannot be closed");
  });
}

std::vector<MatVariable> readMat73WithMatio(const std::filesystem::path& path,
                                            const MatReadLimits& limits,
                                            std::span<const std::string> names) {
  installMatioLog();
  takeMatioMessage();
  try {
    return readMat73(path, limits, names);
  } catch (const Error&) {
    throw;
  } catch (const std::runtime_error& e) {
    std::string msg = e.what();
    if (std::string detail = takeMatioMessage(); !detail.empty()) msg += " (" + detail + ")";
    throw Error("File " + path.string() + ": " + msg);
  }
}

}  // namespace detail

}  // namespace kelvane::runtime

// The plugin's one entry point.
extern "C" __attribute__((visibility("default"))) const kelvane::runtime::detail::MatioFunctions* kelvane_matio_functions() {
  static const kelvane::runtime::detail::MatioFunctions functions{
      &kelvane::runtime::detail::writeMatFileWithMatio,
      &kelvane::runtime::detail::readMat73WithMatio};
  return &functions;
}
