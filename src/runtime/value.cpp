#include "runtime/value.hpp"

#include <algorithm>
#include <cmath>
#include <ostream>
#include <sstream>

#include "runtime/text.hpp"

namespace kelvane::runtime {

namespace {
constexpr std::size_t npos = static_cast<std::size_t>(-1);

[[noreturn]] void fail(const std::string& msg) {
  throw Error(msg);
}

void checkShape(std::size_t rows, std::size_t cols, std::size_t n) {
  if (rows * cols != n)
    fail("matrix of " + std::to_string(rows) + " x " + std::to_string(cols) + " given " +
         std::to_string(n) + " elements");
}
}  // namespace

// --- construction ----------------------------------------------------------------------------

Value Value::scalar(double x) {
  Value v;
  v.s_ = RealData{1, 1, {x}, NumClass::Double};
  return v;
}

Value Value::int32(std::int32_t x) {
  Value v;
  v.s_ = RealData{1, 1, {static_cast<double>(x)}, NumClass::Int32};
  return v;
}

Value Value::complexScalar(std::complex<double> z) {
  Value v;
  v.s_ = ComplexData{1, 1, {z}};
  return v;
}

Value Value::row(std::vector<double> data) {
  Value v;
  const std::size_t n = data.size();
  v.s_ = RealData{1, n, std::move(data), NumClass::Double};
  return v;
}

Value Value::column(std::vector<double> data) {
  Value v;
  const std::size_t n = data.size();
  v.s_ = RealData{n, 1, std::move(data), NumClass::Double};
  return v;
}

Value Value::matrix(std::size_t rows, std::size_t cols, std::vector<double> columnMajor) {
  checkShape(rows, cols, columnMajor.size());
  Value v;
  v.s_ = RealData{rows, cols, std::move(columnMajor), NumClass::Double};
  return v;
}

Value Value::complexRow(std::vector<std::complex<double>> data) {
  Value v;
  const std::size_t n = data.size();
  v.s_ = ComplexData{1, n, std::move(data)};
  return v;
}

Value Value::complexColumn(std::vector<std::complex<double>> data) {
  Value v;
  const std::size_t n = data.size();
  v.s_ = ComplexData{n, 1, std::move(data)};
  return v;
}

Value Value::complexMatrix(std::size_t rows, std::size_t cols,
                           std::vector<std::complex<double>> columnMajor) {
  checkShape(rows, cols, columnMajor.size());
  Value v;
  v.s_ = ComplexData{rows, cols, std::move(columnMajor)};
  return v;
}

Value Value::emptyMatrix(std::size_t rows, std::size_t cols) {
  if (rows * cols != 0) fail("emptyMatrix needs a zero dimension");
  Value v;
  if (rows == 0 && cols == 0) return v;  // the 0 x 0 double is the empty value
  v.s_ = RealData{rows, cols, {}, NumClass::Double};
  return v;
}

Value Value::text(std::string s) {
  Value v;
  v.s_ = TextData{std::move(s)};
  return v;
}

Value Value::record() {
  Value v;
  v.s_ = RecordData{{}, {std::vector<Value>{}}};
  return v;
}

Value Value::record(std::vector<std::pair<std::string, Value>> fields) {
  Value v = record();
  for (auto& [name, value] : fields)
    v.setField(name, std::move(value));
  return v;
}

Value Value::recordArray(std::vector<std::string> fieldNames, std::size_t count) {
  Value v;
  RecordData r;
  r.elements.assign(count, std::vector<Value>(fieldNames.size()));
  r.names = std::move(fieldNames);
  v.s_ = std::move(r);
  return v;
}

Value Value::recordArray(std::vector<std::string> fieldNames,
                         std::vector<std::vector<Value>> elements) {
  for (const auto& e : elements)
    if (e.size() != fieldNames.size())
      fail("a record of " + std::to_string(fieldNames.size()) + " fields given " +
           std::to_string(e.size()) + " values");
  Value v;
  v.s_ = RecordData{std::move(fieldNames), std::move(elements)};
  return v;
}

Value Value::list(std::vector<Value> items) {
  Value v;
  const std::size_t n = items.size();
  v.s_ = ListData{n == 0 ? 0u : 1u, n, std::move(items)};
  return v;
}

Value Value::handle(std::uint64_t id) {
  Value v;
  v.s_ = HandleData{id};
  return v;
}

// --- shape -----------------------------------------------------------------------------------

Kind Value::kind() const {
  switch (s_.index()) {
    case 0:
      return Kind::Empty;
    case 1:
      return Kind::Real;
    case 2:
      return Kind::Complex;
    case 3:
      return Kind::Text;
    case 4:
      return Kind::Record;
    case 5:
      return Kind::List;
    default:
      return Kind::Handle;
  }
}

NumClass Value::numClass() const {
  if (auto* r = std::get_if<RealData>(&s_)) return r->cls;
  return NumClass::Double;
}

std::size_t Value::rows() const {
  switch (s_.index()) {
    case 0:
      return 0;
    case 1:
      return std::get<RealData>(s_).rows;
    case 2:
      return std::get<ComplexData>(s_).rows;
    case 3:
      return std::get<TextData>(s_).s.empty() ? 0 : 1;
    case 4:
      return std::get<RecordData>(s_).elements.empty() ? 0 : 1;
    case 5:
      return std::get<ListData>(s_).rows;
    default:
      return 1;
  }
}

std::size_t Value::cols() const {
  switch (s_.index()) {
    case 0:
      return 0;
    case 1:
      return std::get<RealData>(s_).cols;
    case 2:
      return std::get<ComplexData>(s_).cols;
    case 3:
      return std::get<TextData>(s_).s.size();
    case 4:
      return std::get<RecordData>(s_).elements.size();
    case 5:
      return std::get<ListData>(s_).cols;
    default:
      return 1;
  }
}

std::string Value::kindName() const {
  switch (kind()) {
    case Kind::Empty:
      return "empty";
    case Kind::Real:
      return numClass() == NumClass::Int32 ? "int32" : "double";
    case Kind::Complex:
      return "complex";
    case Kind::Text:
      return "text";
    case Kind::Record:
      return "record";
    case Kind::List:
      return "list";
    case Kind::Handle:
      return "handle";
  }
  return "unknown";
}

// --- numbers ---------------------------------------------------------------------------------

double Value::toDouble() const {
  if (auto* r = std::get_if<RealData>(&s_)) {
    if (r->data.size() == 1) return r->data[0];
  } else if (auto* c = std::get_if<ComplexData>(&s_)) {
    if (c->data.size() == 1 && c->data[0].imag() == 0.0) return c->data[0].real();
  }
  fail("expected a real scalar, got " + kindName() + " of " + std::to_string(rows()) + " x " +
       std::to_string(cols()));
}

std::span<const double> Value::realData() const {
  if (auto* r = std::get_if<RealData>(&s_)) return r->data;
  if (std::holds_alternative<std::monostate>(s_)) return {};
  fail("expected a real array, got " + kindName());
}

std::vector<double> Value::toDoubles() const {
  auto d = realData();
  return {d.begin(), d.end()};
}

std::vector<std::complex<double>> Value::toComplex() const {
  if (auto* c = std::get_if<ComplexData>(&s_)) return c->data;
  auto d = realData();
  return {d.begin(), d.end()};
}

std::span<const std::complex<double>> Value::complexData() const {
  if (auto* c = std::get_if<ComplexData>(&s_)) return c->data;
  fail("expected a complex array, got " + kindName());
}

Value Value::withNumClass(NumClass c) const {
  Value v = *this;
  if (auto* r = std::get_if<RealData>(&v.s_)) {
    r->cls = c;
    return v;
  }
  fail("only a real array has a numeric class, got " + kindName());
}

Value Value::reshaped(std::size_t rows, std::size_t cols) const {
  Value v = *this;
  checkShape(rows, cols, numel());
  if (auto* r = std::get_if<RealData>(&v.s_)) {
    r->rows = rows, r->cols = cols;
  } else if (auto* c = std::get_if<ComplexData>(&v.s_)) {
    c->rows = rows, c->cols = cols;
  } else if (auto* l = std::get_if<ListData>(&v.s_)) {
    l->rows = rows, l->cols = cols;
  } else if (!std::holds_alternative<std::monostate>(v.s_)) {
    fail("cannot reshape a " + kindName());
  }
  return v;
}

// --- text ------------------------------------------------------------------------------------

const std::string& Value::str() const {
  if (auto* t = std::get_if<TextData>(&s_)) return t->s;
  fail("expected text, got " + kindName());
}

// --- records ---------------------------------------------------------------------------------

const Value::RecordData& Value::rec(const char* what) const {
  if (auto* r = std::get_if<RecordData>(&s_)) return *r;
  fail(std::string(what) + ": expected a record, got " + kindName());
}

Value::RecordData& Value::rec(const char* what) {
  if (auto* r = std::get_if<RecordData>(&s_)) return *r;
  fail(std::string(what) + ": expected a record, got " + kindName());
}

std::size_t Value::fieldIndex(std::string_view name) const {
  const auto& names = rec("field").names;
  for (std::size_t i = 0; i < names.size(); ++i)
    if (names[i] == name) return i;
  return npos;
}

const std::vector<std::string>& Value::fieldNames() const {
  return rec("fieldNames").names;
}

bool Value::hasField(std::string_view name) const {
  return isRecord() && fieldIndex(name) != npos;
}

const Value& Value::field(std::string_view name, std::size_t index) const {
  const auto& r = rec("field");
  const std::size_t f = fieldIndex(name);
  if (f == npos) fail("Reference to non-existent field '" + std::string(name) + "'.");
  if (index >= r.elements.size())
    fail("record index " + std::to_string(index + 1) + " exceeds the " +
         std::to_string(r.elements.size()) + " elements");
  return r.elements[index][f];
}

Value& Value::field(std::string_view name, std::size_t index) {
  return const_cast<Value&>(std::as_const(*this).field(name, index));
}

void Value::setField(std::string_view name, Value v, std::size_t index) {
  if (std::holds_alternative<std::monostate>(s_)) s_ = RecordData{{}, {std::vector<Value>{}}};
  auto& r = rec("setField");
  if (index >= r.elements.size()) r.elements.resize(index + 1, std::vector<Value>(r.names.size()));
  std::size_t f = fieldIndex(name);
  if (f == npos) {
    r.names.emplace_back(name);
    for (auto& e : r.elements)
      e.emplace_back();
    f = r.names.size() - 1;
  }
  r.elements[index][f] = std::move(v);
}

void Value::removeField(std::string_view name) {
  auto& r = rec("removeField");
  const std::size_t f = fieldIndex(name);
  if (f == npos) return;
  r.names.erase(r.names.begin() + static_cast<std::ptrdiff_t>(f));
  for (auto& e : r.elements)
    e.erase(e.begin() + static_cast<std::ptrdiff_t>(f));
}

Value Value::element(std::size_t index) const {
  if (auto* l = std::get_if<ListData>(&s_)) {
    if (index >= l->items.size()) fail("list index " + std::to_string(index + 1) + " out of range");
    return l->items[index];
  }
  const auto& r = rec("element");
  if (index >= r.elements.size())
    fail("record index " + std::to_string(index + 1) + " exceeds the " +
         std::to_string(r.elements.size()) + " elements");
  Value v;
  v.s_ = RecordData{r.names, {r.elements[index]}};
  return v;
}

void Value::appendRecord(const Value& one) {
  const auto& o = one.rec("appendRecord");
  if (o.elements.size() != 1) fail("appendRecord takes a 1 x 1 record");
  if (std::holds_alternative<std::monostate>(s_)) {
    s_ = o;
    return;
  }
  auto& r = rec("appendRecord");
  if (r.elements.empty() && r.names.empty()) {
    r = o;
    return;
  }
  if (r.names != o.names) fail("appendRecord: the field names of the two records differ");
  r.elements.push_back(o.elements[0]);
}

// --- lists -----------------------------------------------------------------------------------

const std::vector<Value>& Value::items() const {
  if (auto* l = std::get_if<ListData>(&s_)) return l->items;
  fail("expected a list, got " + kindName());
}

std::vector<Value>& Value::items() {
  if (std::holds_alternative<std::monostate>(s_)) s_ = ListData{};
  if (auto* l = std::get_if<ListData>(&s_)) return l->items;
  fail("expected a list, got " + kindName());
}

std::uint64_t Value::handleId() const {
  if (auto* h = std::get_if<HandleData>(&s_)) return h->id;
  fail("expected a window handle, got " + kindName());
}

// --- equality and printing -------------------------------------------------------------------

bool Value::operator==(const Value& o) const {
  if (s_.index() != o.s_.index()) return false;
  switch (s_.index()) {
    case 0:
      return true;
    case 1: {
      const auto &a = std::get<RealData>(s_), &b = std::get<RealData>(o.s_);
      return a.cls == b.cls && a.rows == b.rows && a.cols == b.cols && a.data == b.data;
    }
    case 2: {
      const auto &a = std::get<ComplexData>(s_), &b = std::get<ComplexData>(o.s_);
      return a.rows == b.rows && a.cols == b.cols && a.data == b.data;
    }
    case 3:
      return std::get<TextData>(s_).s == std::get<TextData>(o.s_).s;
    case 4: {
      const auto &a = std::get<RecordData>(s_), &b = std::get<RecordData>(o.s_);
      return a.names == b.names && a.elements == b.elements;
    }
    case 5: {
      const auto &a = std::get<ListData>(s_), &b = std::get<ListData>(o.s_);
      return a.rows == b.rows && a.cols == b.cols && a.items == b.items;
    }
    default:
      return std::get<HandleData>(s_).id == std::get<HandleData>(o.s_).id;
  }
}

namespace {
std::string complexText(std::complex<double> z) {
  std::string s = numToText(z.real());
  const double im = z.imag();
  s += (im < 0 || (im == 0 && std::signbit(im))) ? " - " : " + ";
  s += numToText(std::abs(im)) + "i";
  return s;
}

template <class T, class F>
std::string matrixText(std::size_t rows, std::size_t cols, const std::vector<T>& d, F fmt) {
  if (rows * cols == 0) return "[]";
  if (rows * cols == 1) return fmt(d[0]);
  std::string s = "[";
  for (std::size_t r = 0; r < rows; ++r) {
    if (r) s += "; ";
    for (std::size_t c = 0; c < cols; ++c) {
      if (c) s += ", ";
      s += fmt(d[c * rows + r]);
    }
  }
  return s + "]";
}

std::string tooDeepText() {
  return "{... nested more than " + std::to_string(kMaxNesting) + " deep}";
}

std::string quoted(const std::string& s) {
  std::string q = "\"";
  for (char ch : s) {
    if (ch == '"' || ch == '\\') q += '\\';
    q += ch;
  }
  return q + "\"";
}
}  // namespace

std::string Value::toString() const {
  return describe(0);
}

std::string Value::describe(std::size_t depth) const {
  switch (s_.index()) {
    case 0:
      return "[]";
    case 1: {
      const auto& r = std::get<RealData>(s_);
      std::string s = matrixText(r.rows, r.cols, r.data, [](double x) { return numToText(x); });
      return r.cls == NumClass::Int32 ? "int32(" + s + ")" : s;
    }
    case 2: {
      const auto& c = std::get<ComplexData>(s_);
      return matrixText(c.rows, c.cols, c.data, complexText);
    }
    case 3:
      return quoted(std::get<TextData>(s_).s);
    case 4: {
      if (depth >= kMaxNesting) return tooDeepText();
      const auto& r = std::get<RecordData>(s_);
      std::string s;
      for (std::size_t e = 0; e < r.elements.size(); ++e) {
        if (e) s += ", ";
        s += "{";
        for (std::size_t f = 0; f < r.names.size(); ++f) {
          if (f) s += ", ";
          s += r.names[f] + ": " + r.elements[e][f].describe(depth + 1);
        }
        s += "}";
      }
      return r.elements.size() == 1 ? s : "[" + s + "]";
    }
    case 5: {
      if (depth >= kMaxNesting) return tooDeepText();
      const auto& l = std::get<ListData>(s_);
      std::string s = "{list: ";
      for (std::size_t i = 0; i < l.items.size(); ++i)
        s += (i ? ", " : "") + l.items[i].describe(depth + 1);
      return s + "}";
    }
    default:
      return "handle(" + std::to_string(std::get<HandleData>(s_).id) + ")";
  }
}

std::ostream& operator<<(std::ostream& os, const Value& v) {
  return os << v.toString();
}

std::size_t nestingDepth(const Value& v, std::size_t limit) {
  if (!v.isRecord() && !v.isList()) return 0;
  if (limit == 0) return 1;  // deeper than allowed: stop counting
  std::size_t deepest = 0;
  if (v.isList()) {
    for (const Value& item : v.items())
      deepest = std::max(deepest, nestingDepth(item, limit - 1));
  } else {
    for (std::size_t e = 0; e < v.numel(); ++e)
      for (const auto& name : v.fieldNames())
        deepest = std::max(deepest, nestingDepth(v.field(name, e), limit - 1));
  }
  return 1 + deepest;
}

}  // namespace kelvane::runtime
