#include "frame/parameter_file.hpp"

#include <exception>
#include <system_error>
#include <vector>

#include "runtime/atomic_file.hpp"
#include "runtime/matfile.hpp"

namespace kelvane::frame {

using runtime::Kind;
using runtime::Value;

std::string addFileExtention(std::string_view name, std::string_view ext) {
  if (name.size() >= ext.size() && name.substr(name.size() - ext.size()) == ext)
    return std::string(name);
  return std::string(name) + std::string(ext);
}

namespace {

// Parameter and configuration files hold one small record: a few kilobytes. Anything far beyond
// that is refused before it is read.
constexpr runtime::MatReadLimits kRecordFileLimits{
    .maxElements = std::size_t{1} << 20, .maxDepth = 16, .maxFileBytes = std::size_t{16} << 20};

bool numericLike(const Value& v) {
  return v.isNumeric() || v.isHandle();
}

bool numbersEqual(const Value& a, const Value& b) {
  if (a.rows() != b.rows() || a.cols() != b.cols()) return false;
  if (a.isHandle() || b.isHandle())  // a window handle equals only the same handle
    return a.isHandle() && b.isHandle() && a.handleId() == b.handleId();
  if (a.isReal() && b.isReal()) {
    const auto x = a.realData(), y = b.realData();
    for (std::size_t i = 0; i < x.size(); ++i)
      if (!(x[i] == y[i])) return false;  // NaN equals nothing
    return true;
  }
  const auto x = a.toComplex(), y = b.toComplex();
  for (std::size_t i = 0; i < x.size(); ++i)
    if (!(x[i].real() == y[i].real() && x[i].imag() == y[i].imag())) return false;
  return true;
}

bool valuesEqual(const Value& a, const Value& b);

bool recordsEqual(const Value& a, const Value& b) {
  if (a.fieldNames().size() != b.fieldNames().size()) return false;
  if (a.rows() != b.rows() || a.cols() != b.cols()) return false;
  const auto& na = a.fieldNames();
  const auto& nb = b.fieldNames();
  for (std::size_t f = 0; f < na.size(); ++f)
    if (na[f] != nb[f]) return false;
  for (std::size_t e = 0; e < a.numel(); ++e)
    for (const auto& name : na)
      if (!valuesEqual(a.field(name, e), b.field(name, e))) return false;
  return true;
}

bool valuesEqual(const Value& a, const Value& b) {
  if (a.numel() == 0 && b.numel() == 0) return true;
  if (a.isRecord() && b.isRecord()) return recordsEqual(a, b);
  if (numericLike(a) && numericLike(b)) return numbersEqual(a, b);
  if (a.isText() && b.isText()) return a.str() == b.str();
  return false;
}

// Why `got` cannot stand in for `current` (same kind; a number stays a single number; a record
// has every field of the current one), or nothing when it can.
std::optional<std::string> mismatch(const Value& current, const Value& got,
                                    const std::string& where, std::size_t depth) {
  if (depth > runtime::kMaxNesting) return where + " is nested too deeply";
  switch (current.kind()) {
    case Kind::Empty:
      return std::nullopt;
    case Kind::Text:
      if (got.isText() || (got.numel() == 0 && !got.isRecord() && !got.isList()))
        return std::nullopt;
      return where + " must be a text, not " + got.kindName();
    case Kind::Real:
    case Kind::Complex:
      if (!got.isNumeric()) return where + " must be a number, not " + got.kindName();
      if (current.isReal() && !got.isReal()) return where + " must be a real number";
      if (current.numel() == 1 && got.numel() != 1)
        return where + " must be a single number, not " + std::to_string(got.rows()) + " x " +
               std::to_string(got.cols());
      return std::nullopt;
    case Kind::Record:
      if (!got.isRecord() || got.numel() != current.numel())
        return where + " must be a record, not " + got.kindName();
      for (std::size_t e = 0; e < current.numel(); ++e) {
        for (const auto& name : current.fieldNames()) {
          const std::string inner = where + "." + name;
          if (!got.hasField(name)) return "field '" + inner + "' is missing";
          if (auto m = mismatch(current.field(name, e), got.field(name, e), inner, depth + 1))
            return m;
        }
      }
      return std::nullopt;
    default:
      if (got.kind() != current.kind())
        return where + " must be a " + current.kindName() + ", not " + got.kindName();
      return std::nullopt;
  }
}

// `got` with the fields of `current`, in its order, looked up by name.
Value conform(const Value& current, const Value& got) {
  if (!current.isRecord()) return got;
  Value out = Value::recordArray(current.fieldNames(), current.numel());
  for (std::size_t e = 0; e < current.numel(); ++e)
    for (const auto& name : current.fieldNames())
      out.field(name, e) = conform(current.field(name, e), got.field(name, e));
  return out;
}

ParameterFileResult refuse(const std::filesystem::path& path, const char* message,
                           std::string detail = {}) {
  ParameterFileResult r;
  r.message = path.string() + "\n" + message;
  r.detail = detail.empty() ? message : std::move(detail);
  return r;
}

}  // namespace

bool compareStruct(const Value& a, const Value& b) {
  if (!a.isRecord() || !b.isRecord()) return false;
  // The comparison recurses as deep as both records go: refuse beyond any real record.
  if (runtime::nestingDepth(a) > runtime::kMaxNesting ||
      runtime::nestingDepth(b) > runtime::kMaxNesting)
    throw runtime::Error("compareStruct: records nested more than " +
                         std::to_string(runtime::kMaxNesting) + " deep are not compared");
  return recordsEqual(a, b);
}

void writeParameterFile(const std::filesystem::path& path, const Value& fileParameters) {
  const std::vector<runtime::MatVariable> vars = {
      {"fileParameters", fileParameters},
      {"filename", Value::text(path.string())},
  };
  runtime::writeMatFile(path, vars);
}

ParameterFileResult readParameterFile(const std::filesystem::path& path, const Value& current) {
  std::vector<runtime::MatVariable> vars;
  try {
    const std::string wanted[] = {"fileParameters"};
    vars = runtime::readMatFile(path, kRecordFileLimits, wanted);
  } catch (const std::exception& e) {
    ParameterFileResult r;
    r.message = e.what();
    r.detail = e.what();
    return r;
  }
  const Value* file = runtime::findVariable(vars, "fileParameters");
  if (!file) return refuse(path, kInvalidFormat);
  if (!file->isRecord() || file->numel() != 1 || !file->hasField("ParameterFileFormat_ID"))
    return refuse(path, kInvalidStructure, "fileParameters has no field ParameterFileFormat_ID");

  std::string currentId;
  if (current.isRecord() && current.numel() == 1 && current.hasField("ParameterFileFormat_ID") &&
      current.field("ParameterFileFormat_ID").isText())
    currentId = current.field("ParameterFileFormat_ID").str();
  const Value& id = file->field("ParameterFileFormat_ID");
  if (!id.isText() || id.str() != currentId)
    return refuse(path, kInvalidParameterId,
                  "ParameterFileFormat_ID is " +
                      (id.isText() ? "\"" + id.str() + "\"" : id.kindName()) + ", expected \"" +
                      currentId + "\"");

  if (auto m = mismatch(current, *file, "fileParameters", 0))
    return refuse(path, kInvalidStructure, *m);
  ParameterFileResult ok;
  ok.parameters = conform(current, *file);
  return ok;
}

ConfigRead readConfigFile(const ConfigCheck& usable) {
  ConfigRead r;
  std::error_code ec;
  if (!std::filesystem::exists(kConfigFileName, ec) && !ec) return r;  // none saved yet
  const std::string file = std::string("File ") + kConfigFileName + ": ";
  try {
    const std::string wanted[] = {"fileParameters"};
    const auto vars = runtime::readMatFile(kConfigFileName, kRecordFileLimits, wanted);
    const Value* v = runtime::findVariable(vars, "fileParameters");
    if (!v || !v->isRecord() || v->numel() != 1) {
      r.problem = file + "holds no record fileParameters";
    } else if (auto why = usable ? usable(*v) : std::nullopt) {
      r.problem = file + *why;
    } else {
      r.fileParameters = *v;
    }
  } catch (const std::exception& e) {
    r.problem = e.what();
  }
  return r;
}

runtime::FileLock lockConfigFile() {
  return runtime::FileLock(kConfigFileName);
}

namespace {

// Copies the file "defaults.mat" names, when it cannot be read, to "<it>.damaged" (replacing an
// older copy) and says so; nothing when it reads or is no regular file (a folder of that name
// only makes the write fail).
std::string keepDamagedConfig(const ConfigCheck& usable) {
  const std::filesystem::path target = runtime::linkTarget(kConfigFileName);
  std::error_code ec;
  if (!std::filesystem::is_regular_file(target, ec)) return {};
  const ConfigRead r = readConfigFile(usable);
  if (r.problem.empty()) return {};
  std::filesystem::path kept = target;
  kept += kDamagedSuffix;
  std::filesystem::copy_file(target, kept, std::filesystem::copy_options::overwrite_existing, ec);
  if (ec)
    throw runtime::Error(r.problem + "; it is not replaced, as it cannot be kept as " +
                         kept.string() + ": " + ec.message());
  return std::string(kConfigFileName) + " could not be read, so it is kept as " + kept.string() +
         " (" + r.problem + ")";
}

}  // namespace

std::string writeConfigFile(const Value& fileParameters, const ConfigCheck& usable) {
  const runtime::FileLock lock = lockConfigFile();
  std::string note = keepDamagedConfig(usable);
  const std::vector<runtime::MatVariable> vars = {{"fileParameters", fileParameters}};
  runtime::writeMatFile(kConfigFileName, vars);
  return note;
}

}  // namespace kelvane::frame
