// The dynamic value that crosses the by-name boundaries of the library: operation inputs and
// outputs, process-wide variables, data files and the command-line tool. Typed subsystems never
// see it; adapters in the registry convert at the boundary.
#pragma once

#include <complex>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <iosfwd>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

namespace kelvane::runtime {

// Raised for a value of the wrong kind or shape, a missing field, a bad index.
class Error : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

enum class Kind { Empty, Real, Complex, Text, Record, List, Handle };

// The deepest nesting of records and lists that files, arguments and conversions accept: far
// beyond any real record (the parameters are one level deep, the configuration two), and far
// below what would exhaust the stack of a recursive conversion.
inline constexpr std::size_t kMaxNesting = 64;

// Storage class of a real matrix. Int32 marks the instrument address fields that the I/O layer
// hands to the transport as 32-bit integers; values are still held as doubles.
enum class NumClass { Double, Int32 };

class Value {
 public:
  // Empty value, the 0 x 0 double matrix.
  Value() = default;

  // Numeric constructors. Matrices are column-major, rows x cols.
  static Value scalar(double x);
  static Value int32(std::int32_t x);
  static Value complexScalar(std::complex<double> z);
  static Value row(std::vector<double> data);
  static Value row(std::initializer_list<double> data) { return row(std::vector<double>(data)); }
  static Value column(std::vector<double> data);
  static Value matrix(std::size_t rows, std::size_t cols, std::vector<double> columnMajor);
  static Value complexRow(std::vector<std::complex<double>> data);
  static Value complexColumn(std::vector<std::complex<double>> data);
  static Value complexMatrix(std::size_t rows, std::size_t cols,
                             std::vector<std::complex<double>> columnMajor);
  // A matrix with zero rows or columns of the given shape (an empty row is 1 x 0).
  static Value emptyMatrix(std::size_t rows, std::size_t cols);

  static Value text(std::string s);
  static Value text(const char* s) { return text(std::string(s)); }

  // A 1 x 1 record without fields; add them with setField in their stored order.
  static Value record();
  static Value record(std::vector<std::pair<std::string, Value>> fields);
  // A 1 x n record array whose elements all carry `fieldNames`, every value empty.
  static Value recordArray(std::vector<std::string> fieldNames, std::size_t count);
  // A 1 x n record array of the given elements: elements[i][f] is field f of element i, each
  // element holding one value per name, e.g. recordArray({"a"}, {{Value::scalar(1)}}).
  static Value recordArray(std::vector<std::string> fieldNames,
                           std::vector<std::vector<Value>> elements);
  static Value list(std::vector<Value> items);
  static Value handle(std::uint64_t id);

  Kind kind() const;
  NumClass numClass() const;
  bool isEmpty() const { return numel() == 0; }
  bool isNumeric() const { return kind() == Kind::Real || kind() == Kind::Complex; }
  bool isReal() const { return kind() == Kind::Real; }
  bool isComplex() const { return kind() == Kind::Complex; }
  bool isText() const { return kind() == Kind::Text; }
  bool isRecord() const { return kind() == Kind::Record; }
  bool isList() const { return kind() == Kind::List; }
  bool isHandle() const { return kind() == Kind::Handle; }
  bool isScalar() const { return numel() == 1; }

  std::size_t rows() const;
  std::size_t cols() const;
  std::size_t numel() const { return rows() * cols(); }
  bool isVector() const { return rows() == 1 || cols() == 1; }

  // --- numbers ---------------------------------------------------------------------------------
  // The one real number of a 1 x 1 real matrix (a complex value with zero imaginary part too).
  double toDouble() const;
  // Real elements in column-major order; a complex value is refused.
  std::span<const double> realData() const;
  std::vector<double> toDoubles() const;
  // Complex elements in column-major order; a real value is widened.
  std::vector<std::complex<double>> toComplex() const;
  std::span<const std::complex<double>> complexData() const;
  // Changes the storage class of a real matrix (values are kept).
  Value withNumClass(NumClass c) const;
  // Same elements, new shape (rows * cols must equal numel).
  Value reshaped(std::size_t rows, std::size_t cols) const;

  // --- text ------------------------------------------------------------------------------------
  const std::string& str() const;

  // --- records ---------------------------------------------------------------------------------
  const std::vector<std::string>& fieldNames() const;
  bool hasField(std::string_view name) const;
  // Field `name` of element `index` (0-based) of a record array.
  const Value& field(std::string_view name, std::size_t index = 0) const;
  Value& field(std::string_view name, std::size_t index = 0);
  // Sets field `name` of element `index`; a new name is appended to every element (empty there).
  void setField(std::string_view name, Value v, std::size_t index = 0);
  void removeField(std::string_view name);
  // Element `index` of a record array as a 1 x 1 record, or item `index` of a list.
  Value element(std::size_t index) const;
  // Appends a 1 x 1 record to a record array with the same field names in the same order.
  void appendRecord(const Value& rec);

  // --- lists -----------------------------------------------------------------------------------
  const std::vector<Value>& items() const;
  std::vector<Value>& items();

  std::uint64_t handleId() const;

  // Structural equality: same kind, class, shape, field names in order and elements; NaN never
  // equals anything, as in the array runtime.
  bool operator==(const Value& other) const;

  // A readable one-line form: [1 2 3], "text", {a: 1, b: "x"}, {list: ...}. Records and lists
  // nested more than kMaxNesting deep print as "{... nested more than 64 deep}" there.
  std::string toString() const;

  // Kind name for messages: "empty", "double", "complex", "text", "record", "list", "handle".
  std::string kindName() const;

 private:
  struct RealData {
    std::size_t rows = 0, cols = 0;
    std::vector<double> data;
    NumClass cls = NumClass::Double;
  };
  struct ComplexData {
    std::size_t rows = 0, cols = 0;
    std::vector<std::complex<double>> data;
  };
  struct TextData {
    std::string s;
  };
  struct RecordData {
    std::vector<std::string> names;
    std::vector<std::vector<Value>> elements;  // elements[i][f]: field f of element i
  };
  struct ListData {
    std::size_t rows = 0, cols = 0;
    std::vector<Value> items;
  };
  struct HandleData {
    std::uint64_t id = 0;
  };
  using Storage = std::variant<std::monostate, RealData, ComplexData, TextData, RecordData,
                               ListData, HandleData>;
  Storage s_;

  const RecordData& rec(const char* what) const;
  RecordData& rec(const char* what);
  std::size_t fieldIndex(std::string_view name) const;  // npos when absent
  std::string describe(std::size_t depth) const;        // toString at nesting `depth`
};

std::ostream& operator<<(std::ostream& os, const Value& v);

// How deeply `v` nests records and lists: 0 for a number, text or empty value, 1 for a record
// of numbers, and so on. Counts no further than `limit` + 1, so that the count stays a bounded
// recursion however deep `v` is: nestingDepth(v) > kMaxNesting tells a value to refuse.
std::size_t nestingDepth(const Value& v, std::size_t limit = kMaxNesting);

}  // namespace kelvane::runtime
