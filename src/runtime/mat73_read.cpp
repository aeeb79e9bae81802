#include "runtime/mat73_read.hpp"

#include <hdf5.h>
#include <matio.h>

#include <algorithm>
#include <complex>
#include <cstdint>
#include <memory>
#include <stdexcept>

namespace kelvane::runtime::detail {

namespace {

[[noreturn]] void bad(const std::string& what) {
  throw std::runtime_error(what);
}

// The most zlib (HDF5's deflate filter) can compress: about 1032 to 1; with room for small
// datasets whose storage is rounded.
constexpr std::uint64_t kMaxInflation = 1032;
constexpr std::uint64_t kSmallData = 4096;
// Objects visited in the walk (a shared object counts at every reference, as libmatio reads it
// at each).
constexpr std::size_t kMaxVisits = std::size_t{1} << 20;

// An HDF5 identifier closed at the end of its scope.
class Id {
 public:
  Id(hid_t id, herr_t (*close)(hid_t)) : id_(id), close_(close) {}
  ~Id() {
    if (id_ >= 0) close_(id_);
  }
  Id(const Id&) = delete;
  Id& operator=(const Id&) = delete;
  hid_t get() const { return id_; }
  bool ok() const { return id_ >= 0; }

 private:
  hid_t id_;
  herr_t (*close_)(hid_t);
};

// Walks the file as libmatio reads it and checks what each object declares.
class Walk {
 public:
  explicit Walk(const MatReadLimits& limits)
      : limits_(limits), maxDepth_(std::min(limits.maxDepth, kMaxNesting)) {}

  void object(hid_t obj, const std::string& label, std::size_t depth) {
    // The root group sits one above the variables, which count from 0 as in version 5 files.
    if (depth > maxDepth_ + 1)
      bad("'" + label + "' is nested more than " + std::to_string(maxDepth_) +
          " deep (or refers to itself)");
    if (++visits_ > kMaxVisits) bad("holds too many objects");
    switch (H5Iget_type(obj)) {
      case H5I_GROUP:
        return group(obj, label, depth);
      case H5I_DATASET:
        return dataset(obj, label, depth);
      default:
        return;  // named datatypes hold no data
    }
  }

 private:
  struct Member {
    Walk* walk;
    std::string label;
    std::size_t depth;
    std::string error;
  };

  static herr_t visitLink(hid_t group, const char* name, const H5L_info_t* info, void* data) {
    auto* m = static_cast<Member*>(data);
    try {
      if (info->type != H5L_TYPE_HARD)
        bad("'" + m->label + "/" + name + "' links elsewhere (soft or external links are refused)");
      Id child(H5Oopen(group, name, H5P_DEFAULT), H5Oclose);
      if (!child.ok()) bad("'" + m->label + "/" + name + "' cannot be opened");
      m->walk->object(child.get(), m->label.empty() ? name : m->label + "." + name, m->depth + 1);
      return 0;
    } catch (const std::exception& e) {
      m->error = e.what();
      return -1;
    }
  }

  void group(hid_t g, const std::string& label, std::size_t depth) {
    Member m{this, label, depth, {}};
    hsize_t index = 0;
    const herr_t rc = H5Literate(g, H5_INDEX_NAME, H5_ITER_NATIVE, &index, visitLink, &m);
    if (!m.error.empty()) bad(m.error);
    if (rc < 0) bad("'" + label + "' cannot be listed");
  }

  void dataset(hid_t d, const std::string& label, std::size_t depth) {
    Id space(H5Dget_space(d), H5Sclose);
    Id type(H5Dget_type(d), H5Tclose);
    if (!space.ok() || !type.ok()) bad("array '" + label + "' is damaged");
    const int rank = H5Sget_simple_extent_ndims(space.get());
    if (rank < 0 || rank > 32) bad("array '" + label + "' has no usable dimensions");
    hsize_t dims[32] = {};
    H5Sget_simple_extent_dims(space.get(), dims, nullptr);
    std::uint64_t numel = 1;
    for (int i = 0; i < rank; ++i) {
      if (dims[i] != 0 && numel > limits_.maxElements / dims[i])
        bad("array '" + label + "' declares more than " + std::to_string(limits_.maxElements) +
            " elements");
      numel *= dims[i];
    }
    const std::uint64_t width = H5Tget_size(type.get());
    if (width == 0 || width > 4096) bad("array '" + label + "' has elements of no usable size");
    const std::uint64_t bytes = numel * width;
    if (bytes > limits_.maxFileBytes - std::min(total_, limits_.maxFileBytes))
      bad("the arrays declare more than " + std::to_string(limits_.maxFileBytes) + " bytes");
    total_ += bytes;
    const std::uint64_t stored = H5Dget_storage_size(d);
    if (bytes > kSmallData && bytes / kMaxInflation > stored)
      bad("array '" + label + "' declares " + std::to_string(bytes) + " bytes but stores " +
          std::to_string(stored));
    if (H5Tget_class(type.get()) == H5T_REFERENCE) references(d, label, numel, depth);
  }

  // A list or record array: its elements are objects the dataset refers to.
  void references(hid_t d, const std::string& label, std::uint64_t numel, std::size_t depth) {
    if (numel == 0) return;
    std::vector<hobj_ref_t> refs(numel);
    if (H5Dread(d, H5T_STD_REF_OBJ, H5S_ALL, H5S_ALL, H5P_DEFAULT, refs.data()) < 0)
      bad("the references of '" + label + "' cannot be read");
    for (std::size_t i = 0; i < refs.size(); ++i) {
      Id target(H5Rdereference2(d, H5P_DEFAULT, H5R_OBJECT, &refs[i]), H5Oclose);
      if (!target.ok()) bad("element " + std::to_string(i + 1) + " of '" + label + "' is missing");
      object(target.get(), label + "{" + std::to_string(i + 1) + "}", depth + 1);
    }
  }

  const MatReadLimits& limits_;
  std::size_t maxDepth_;
  std::uint64_t total_ = 0;
  std::size_t visits_ = 0;
};

void checkDeclaredSizes(const std::filesystem::path& path, const MatReadLimits& limits) {
  // Errors are reported by the walk; HDF5's own error stack is not printed.
  H5Eset_auto2(H5E_DEFAULT, nullptr, nullptr);
  Id file(H5Fopen(path.c_str(), H5F_ACC_RDONLY, H5P_DEFAULT), H5Fclose);
  if (!file.ok()) bad("is a damaged MAT version 7.3 (HDF5) file");
  Id root(H5Gopen2(file.get(), "/", H5P_DEFAULT), H5Gclose);
  if (!root.ok()) bad("is a damaged MAT version 7.3 (HDF5) file");
  Walk(limits).object(root.get(), "", 0);
}

// ---- conversion of what libmatio read ------------------------------------------------------

struct VarFreer {
  void operator()(matvar_t* v) const {
    if (v) Mat_VarFree(v);
  }
};
using VarPtr = std::unique_ptr<matvar_t, VarFreer>;
struct MatCloser {
  void operator()(mat_t* m) const {
    if (m) Mat_Close(m);
  }
};

template <class T>
void widen(const void* data, std::size_t n, std::vector<double>& out) {
  const T* p = static_cast<const T*>(data);
  out.resize(n);
  for (std::size_t i = 0; i < n; ++i)
    out[i] = static_cast<double>(p[i]);
}

bool numericData(const void* data, matio_classes cls, std::size_t n, std::vector<double>& out) {
  switch (cls) {
    case MAT_C_DOUBLE:
      widen<double>(data, n, out);
      return true;
    case MAT_C_SINGLE:
      widen<float>(data, n, out);
      return true;
    case MAT_C_INT8:
      widen<std::int8_t>(data, n, out);
      return true;
    case MAT_C_UINT8:
      widen<std::uint8_t>(data, n, out);
      return true;
    case MAT_C_INT16:
      widen<std::int16_t>(data, n, out);
      return true;
    case MAT_C_UINT16:
      widen<std::uint16_t>(data, n, out);
      return true;
    case MAT_C_INT32:
      widen<std::int32_t>(data, n, out);
      return true;
    case MAT_C_UINT32:
      widen<std::uint32_t>(data, n, out);
      return true;
    case MAT_C_INT64:
      widen<std::int64_t>(data, n, out);
      return true;
    case MAT_C_UINT64:
      widen<std::uint64_t>(data, n, out);
      return true;
    default:
      return false;
  }
}

void appendUtf8(std::string& s, std::uint32_t code) {
  if (code < 0x80) {
    s += static_cast<char>(code);
  } else if (code < 0x800) {
    s += static_cast<char>(0xC0 | (code >> 6));
    s += static_cast<char>(0x80 | (code & 0x3F));
  } else if (code < 0x10000) {
    s += static_cast<char>(0xE0 | (code >> 12));
    s += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    s += static_cast<char>(0x80 | (code & 0x3F));
  } else {
    s += '?';
  }
}

Value convert(const matvar_t* v, std::size_t depth);

Value convertText(const matvar_t* v, const std::string& name, std::size_t rows, std::size_t cols) {
  const std::size_t n = rows * cols;
  if (n == 0) return Value::text("");
  // Version 7.3 keeps characters as 16-bit code units; 8-bit ones are kept byte for byte.
  const std::size_t width = v->data_size == 1 ? 1 : 2;
  if (!v->data || v->nbytes < n * width) bad("text '" + name + "' is truncated");
  auto unit = [&](std::size_t i) -> std::uint32_t {
    return width == 1 ? static_cast<const std::uint8_t*>(v->data)[i]
                      : static_cast<const std::uint16_t*>(v->data)[i];
  };
  auto line = [&](std::size_t r) {
    std::string s;
    for (std::size_t c = 0; c < cols; ++c) {
      const std::uint32_t code = unit(c * rows + r);
      if (width == 1)
        s += static_cast<char>(code);
      else
        appendUtf8(s, code);
    }
    return s;
  };
  if (rows == 1) return Value::text(line(0));
  std::vector<Value> lines;
  for (std::size_t r = 0; r < rows; ++r)
    lines.push_back(Value::text(line(r)));
  return Value::list(std::move(lines)).reshaped(rows, 1);
}

Value convertRecord(const matvar_t* v, const std::string& name, std::size_t n, std::size_t depth) {
  const unsigned nf = Mat_VarGetNumberOfFields(const_cast<matvar_t*>(v));
  char* const* names = Mat_VarGetStructFieldnames(v);
  if (nf > 0 && !names) bad("record '" + name + "' has no field names");
  std::vector<std::string> fieldNames;
  for (unsigned f = 0; f < nf; ++f) {
    if (!names[f]) bad("record '" + name + "' has an unnamed field");
    fieldNames.emplace_back(names[f]);
  }
  Value out = Value::recordArray(fieldNames, n);
  if (n == 0 || nf == 0) return out;
  if (!v->data || v->nbytes / sizeof(matvar_t*) < n * nf) bad("record '" + name + "' is truncated");
  for (std::size_t e = 0; e < n; ++e)
    for (unsigned f = 0; f < nf; ++f)
      out.field(fieldNames[f], e) =
          convert(Mat_VarGetStructFieldByIndex(const_cast<matvar_t*>(v), f, e), depth + 1);
  return out;
}

Value convertNumbers(const matvar_t* v, const std::string& name, std::size_t rows,
                     std::size_t cols) {
  const std::size_t n = rows * cols;
  if (n == 0) return Value::emptyMatrix(rows, cols);
  const std::size_t width = Mat_SizeOfClass(v->class_type);
  if (!v->data || width == 0 || v->nbytes < n * width) bad("array '" + name + "' is truncated");
  std::vector<double> re, im;
  if (v->isComplex) {
    const auto* split = static_cast<const mat_complex_split_t*>(v->data);
    if (!split->Re || !split->Im) bad("complex array '" + name + "' has no data");
    numericData(split->Re, v->class_type, n, re);
    numericData(split->Im, v->class_type, n, im);
    std::vector<std::complex<double>> z(n);
    for (std::size_t i = 0; i < n; ++i)
      z[i] = {re[i], im[i]};
    return Value::complexMatrix(rows, cols, std::move(z));
  }
  if (!numericData(v->data, v->class_type, n, re)) bad("array '" + name + "' has an unknown class");
  Value out = Value::matrix(rows, cols, std::move(re));
  return v->class_type == MAT_C_INT32 ? out.withNumClass(NumClass::Int32) : out;
}

Value convert(const matvar_t* v, std::size_t depth) {
  if (!v) bad("a variable is missing its data");
  if (depth > kMaxNesting) bad("values nested too deeply");
  const std::string name = v->name ? v->name : "";
  if (v->rank < 0 || v->rank > 2 || (v->rank > 0 && !v->dims))
    bad("variable '" + name + "' is not a 2-D array");
  const std::size_t rows = v->rank >= 1 ? v->dims[0] : 0;
  const std::size_t cols = v->rank >= 2 ? v->dims[1] : (v->rank == 1 ? 1 : 0);
  switch (v->class_type) {
    case MAT_C_EMPTY:
      return Value();
    case MAT_C_CHAR:
      return convertText(v, name, rows, cols);
    case MAT_C_STRUCT:
      if (rows > 1 && cols > 1) bad("record array '" + name + "' is not a row");
      return convertRecord(v, name, rows * cols, depth);
    case MAT_C_CELL: {
      const std::size_t n = rows * cols;
      if (n > 0 && (!v->data || v->nbytes / sizeof(matvar_t*) < n))
        bad("list '" + name + "' is truncated");
      std::vector<Value> items;
      for (std::size_t i = 0; i < n; ++i)
        items.push_back(
            convert(Mat_VarGetCell(const_cast<matvar_t*>(v), static_cast<int>(i)), depth + 1));
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
    case MAT_C_UINT64:
      return convertNumbers(v, name, rows, cols);
    default:
      bad("variable '" + name + "' is of a kind this program does not read");
  }
}

}  // namespace

std::vector<MatVariable> readMat73(const std::filesystem::path& path, const MatReadLimits& limits,
                                   std::span<const std::string> names) {
  checkDeclaredSizes(path, limits);
  std::unique_ptr<mat_t, MatCloser> mat(Mat_Open(path.c_str(), MAT_ACC_RDONLY));
  if (!mat) bad("is a MAT version 7.3 file libmatio cannot open");
  std::vector<std::string> wanted;
  while (true) {
    VarPtr info(Mat_VarReadNextInfo(mat.get()));
    if (!info) break;
    if (!info->name) bad("holds a variable without a name");
    if (names.empty() || std::find(names.begin(), names.end(), info->name) != names.end())
      wanted.emplace_back(info->name);
  }
  std::vector<MatVariable> out;
  for (const auto& name : wanted) {
    VarPtr v(Mat_VarRead(mat.get(), name.c_str()));
    if (!v) bad("variable '" + name + "' cannot be read");
    out.push_back({name, convert(v.get(), 0)});
  }
  return out;
}

}  // namespace kelvane::runtime::detail
