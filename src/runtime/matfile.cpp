#include "runtime/matfile.hpp"

#include "runtime/atomic_file.hpp"

#include "runtime/mat5_check.hpp"

#include <fcntl.h>
#include <matio.h>
#include <unistd.h>

#include <atomic>
#include <cstdint>
#include <cstring>
#include <deque>
#include <fstream>
#include <memory>
#include <mutex>
#include <random>

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
      // 8-bit characters tagged as UTF-8 (ASCII for every text the program writes). libmatio
      // 1.5 writes MAT_T_UINT8 char data with the same tag but, when compressing, announces 8
      // bytes more than it writes for texts of 5 characters and more, which misplaces every
      // later field of a record on reading; MAT_T_UTF8 is sized correctly.
      return Mat_VarCreate(name, MAT_C_CHAR, MAT_T_UTF8, 2, tdims,
                           buf.empty() ? nullptr : buf.data(), MAT_F_DONT_COPY_DATA);
    }
    case Kind::Record: {
      const auto& names = v.fieldNames();
      std::vector<const char*> fields;
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
    case Kind::List: {
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
    case Kind::Handle: {
      auto& buf = arena.doubles.emplace_back(1, static_cast<double>(v.handleId()));
      size_t one[2] = {1, 1};
      return Mat_VarCreate(name, MAT_C_DOUBLE, MAT_T_DOUBLE, 2, one, buf.data(),
                           MAT_F_DONT_COPY_DATA);
    }
  }
  return nullptr;
}

// ---- reading --------------------------------------------------------------------------------

template <class T>
std::vector<double> widen(const void* data, size_t n) {
  std::vector<double> out(n);
  const T* p = static_cast<const T*>(data);
  for (size_t i = 0; i < n; ++i)
    out[i] = static_cast<double>(p[i]);
  return out;
}

std::vector<double> numericData(const void* data, matio_classes cls, size_t n, bool& ok) {
  ok = true;
  switch (cls) {
    case MAT_C_DOUBLE:
      return widen<double>(data, n);
    case MAT_C_SINGLE:
      return widen<float>(data, n);
    case MAT_C_INT8:
      return widen<std::int8_t>(data, n);
    case MAT_C_UINT8:
      return widen<std::uint8_t>(data, n);
    case MAT_C_INT16:
      return widen<std::int16_t>(data, n);
    case MAT_C_UINT16:
      return widen<std::uint16_t>(data, n);
    case MAT_C_INT32:
      return widen<std::int32_t>(data, n);
    case MAT_C_UINT32:
      return widen<std::uint32_t>(data, n);
    case MAT_C_INT64:
      return widen<std::int64_t>(data, n);
    case MAT_C_UINT64:
      return widen<std::uint64_t>(data, n);
    default:
      ok = false;
      return {};
  }
}

struct Reader {
  const std::filesystem::path& path;
  const MatReadLimits& limits;

  [[noreturn]] void bad(const std::string& what) const { fail(path, what); }

  Value convert(matvar_t* v, size_t depth) const {
    if (!v) bad("a variable is missing its data");
    if (depth > limits.maxDepth) bad("records nested too deeply");
    if (v->rank < 0 || v->rank > 2 || (v->rank > 0 && !v->dims))
      bad("variable '" + std::string(v->name ? v->name : "") + "' is not a 2-D array");
    const size_t rows = v->rank >= 1 ? v->dims[0] : 0;
    const size_t cols = v->rank >= 2 ? v->dims[1] : (v->rank == 1 ? 1 : 0);
    if (cols != 0 && rows > limits.maxElements / cols) bad("array too large");
    const size_t n = rows * cols;
    const std::string vname = v->name ? v->name : "";

    switch (v->class_type) {
      case MAT_C_EMPTY:
        return Value();
      case MAT_C_CHAR: {
        if (n == 0) return Value::text("");
        if (!v->data) bad("text '" + vname + "' has no data");
        // Characters are code units of 1, 2 or 4 bytes; UTF-8 data is kept byte for byte.
        const bool utf8 = v->data_type == MAT_T_UTF8;
        const size_t width = utf8 ? 1 : (v->data_size > 0 ? static_cast<size_t>(v->data_size) : 1);
        if (width != 1 && width != 2 && width != 4)
          bad("text '" + vname + "' has characters of an unknown width");
        const size_t have = v->nbytes / width;
        // A one-line UTF-8 text may hold fewer bytes than characters announced; a character
        // matrix is indexed by position and needs every one.
        if (have < n && !(utf8 && rows <= 1)) bad("text '" + vname + "' is truncated");
        auto unit = [&](size_t i) -> std::uint32_t {
          if (width == 1) return static_cast<const std::uint8_t*>(v->data)[i];
          if (width == 2) return static_cast<const std::uint16_t*>(v->data)[i];
          return static_cast<const std::uint32_t*>(v->data)[i];
        };
        auto append = [&](std::string& s, std::uint32_t code) {
          if (code < 0x80 || width == 1) {
            s += static_cast<char>(code);
          } else if (code < 0x800) {  // re-encode wider characters as UTF-8
            s += static_cast<char>(0xC0 | (code >> 6));
            s += static_cast<char>(0x80 | (code & 0x3F));
          } else if (code < 0x10000) {
            s += static_cast<char>(0xE0 | (code >> 12));
            s += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
            s += static_cast<char>(0x80 | (code & 0x3F));
          } else if (code < 0x110000) {
            s += static_cast<char>(0xF0 | (code >> 18));
            s += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
            s += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
            s += static_cast<char>(0x80 | (code & 0x3F));
          } else {
            s += '?';
          }
        };
        if (rows <= 1) {
          std::string s;
          for (size_t i = 0; i < std::min(have, n); ++i)
            append(s, unit(i));
          return Value::text(s);
        }
        // A char matrix: one text per row (stored column-major).
        std::vector<Value> lines;
        for (size_t r = 0; r < rows; ++r) {
          std::string line;
          for (size_t c = 0; c < cols; ++c)
            append(line, unit(c * rows + r));
          lines.push_back(Value::text(line));
        }
        return Value::list(std::move(lines)).reshaped(rows, 1);
      }
      case MAT_C_STRUCT: {
        const unsigned nf = Mat_VarGetNumberOfFields(v);
        char* const* names = Mat_VarGetStructFieldnames(v);
        if (nf > 0 && !names) bad("record '" + vname + "' has no field names");
        if (rows > 1 && cols > 1) bad("record array '" + vname + "' is not a row");
        std::vector<std::string> fieldNames;
        for (unsigned f = 0; f < nf; ++f) {
          if (!names[f]) bad("record '" + vname + "' has an unnamed field");
          fieldNames.emplace_back(names[f]);
        }
        Value out = Value::recordArray(fieldNames, n);
        if (n == 0) return out;
        if (nf > 0 && (!v->data || v->nbytes / sizeof(matvar_t*) < n * nf))
          bad("record '" + vname + "' is truncated");
        for (size_t e = 0; e < n; ++e)
          for (unsigned f = 0; f < nf; ++f)
            out.field(fieldNames[f], e) = convert(Mat_VarGetStructFieldByIndex(v, f, e), depth + 1);
        return out;
      }
      case MAT_C_CELL: {
        std::vector<Value> items;
        if (n > 0 && (!v->data || v->nbytes / sizeof(matvar_t*) < n))
          bad("list '" + vname + "' is truncated");
        for (size_t i = 0; i < n; ++i)
          items.push_back(convert(Mat_VarGetCell(v, static_cast<int>(i)), depth + 1));
        Value l = Value::list(std::move(items));
        return n == 0 ? l : l.reshaped(rows, cols);
      }
      case MAT_C_DOUBLE:
      case MAT_C_SINGLE:
      case MAT_C_INT8:
      case MAT_C_UINT8:
      case MAT_C_INT16:
      case MAT_C_UINT16:
      case MAT_C_INT32:
      case MAT_C_UINT32:
      case MAT_C_INT64:
      case MAT_C_UINT64: {
        if (n == 0) return Value::emptyMatrix(rows, cols);
        const size_t width = Mat_SizeOfClass(v->class_type);
        if (!v->data || width == 0) bad("array '" + vname + "' has no data");
        bool ok = false;
        if (v->isComplex) {
          auto* split = static_cast<mat_complex_split_t*>(v->data);
          if (!split->Re || !split->Im) bad("complex array '" + vname + "' has no data");
          if (v->nbytes < n * width) bad("array '" + vname + "' is truncated");
          auto re = numericData(split->Re, v->class_type, n, ok);
          auto im = numericData(split->Im, v->class_type, n, ok);
          std::vector<std::complex<double>> z(n);
          for (size_t i = 0; i < n; ++i)
            z[i] = {re[i], im[i]};
          return Value::complexMatrix(rows, cols, std::move(z));
        }
        if (v->nbytes < n * width) bad("array '" + vname + "' is truncated");
        auto d = numericData(v->data, v->class_type, n, ok);
        if (!ok) bad("array '" + vname + "' has an unknown class");
        Value out = Value::matrix(rows, cols, std::move(d));
        return v->class_type == MAT_C_INT32 ? out.withNumClass(NumClass::Int32) : out;
      }
      default:
        bad("variable '" + vname + "' is of a kind this program does not read");
    }
  }
};

}  // namespace

void writeMatFile(const std::filesystem::path& path, std::span<const MatVariable> variables,
                  MatWriteOptions options) {
  installMatioLog();
  takeMatioMessage();
  replaceFileAtomically(path, [&](const std::filesystem::path& tmp) {
    MatPtr mat(Mat_CreateVer(tmp.c_str(), nullptr, MAT_FT_MAT5));
    if (!mat) fail(path, "cannot be created");
    for (const auto& var : variables) {
      Arena arena;
      VarPtr mv(toMatVar(var.name.c_str(), var.value, arena));
      if (!mv) fail(path, "cannot hold variable '" + var.name + "'");
      if (Mat_VarWrite(mat.get(), mv.get(),
                       options.compress ? MAT_COMPRESSION_ZLIB : MAT_COMPRESSION_NONE) != 0)
        fail(path, "writing variable '" + var.name + "' failed");
    }
    if (Mat_Close(mat.release()) != 0) fail(path, "cannot be closed");
  });
}

std::vector<MatVariable> readMatFile(const std::filesystem::path& path, MatReadLimits limits) {
  installMatioLog();
  takeMatioMessage();
  std::error_code ec;
  const auto size = std::filesystem::file_size(path, ec);
  if (ec) fail(path, "cannot be read: " + ec.message());
  if (size > limits.maxFileBytes) fail(path, "is too large");
  {
    std::vector<std::uint8_t> bytes(size);
    std::ifstream in(path, std::ios::binary);
    if (!in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(size)))
      fail(path, "cannot be read");
    try {
      detail::checkMat5Structure(bytes, limits);
    } catch (const std::runtime_error& e) {
      fail(path, e.what());
    }
  }
  MatPtr mat(Mat_Open(path.c_str(), MAT_ACC_RDONLY));
  if (!mat) fail(path, "is not a MAT file or cannot be opened");
  std::vector<MatVariable> out;
  Reader reader{path, limits};
  // Read the headers first, so that an array announcing more elements than allowed is refused
  // before libmatio allocates it.
  while (true) {
    VarPtr info(Mat_VarReadNextInfo(mat.get()));
    if (!info) break;
    if (!info->name) fail(path, "holds a variable without a name");
    if (info->rank > 0 && info->dims) {
      size_t n = 1;
      for (int d = 0; d < info->rank; ++d) {
        if (info->dims[d] != 0 && n > limits.maxElements / info->dims[d])
          fail(path, "variable '" + std::string(info->name) + "' is too large");
        n *= info->dims[d];
      }
    }
    out.push_back({info->name, Value()});
  }
  Mat_Rewind(mat.get());
  for (auto& var : out) {
    VarPtr v(Mat_VarRead(mat.get(), var.name.c_str()));
    if (!v) fail(path, "variable '" + var.name + "' cannot be read");
    var.value = reader.convert(v.get(), 0);
  }
  return out;
}

const Value* findVariable(std::span<const MatVariable> variables, std::string_view name) {
  for (const auto& v : variables)
    if (v.name == name) return &v.value;
  return nullptr;
}

}  // namespace kelvane::runtime
