#include "cli/json_value.hpp"

#include <cmath>
#include <limits>

namespace kelvane::cli {

using json = Json;
using runtime::Value;

namespace {

bool isSpecialNumber(const json& j) {
  return j.is_string() && (j == "NaN" || j == "Inf" || j == "-Inf");
}

bool isNumberLike(const json& j) {
  return j.is_number() || j.is_boolean() || isSpecialNumber(j);
}

double toNumber(const json& j) {
  if (j.is_boolean()) return j.get<bool>() ? 1.0 : 0.0;
  if (j.is_string()) {
    if (j == "NaN") return std::numeric_limits<double>::quiet_NaN();
    return j == "Inf" ? std::numeric_limits<double>::infinity()
                      : -std::numeric_limits<double>::infinity();
  }
  return j.get<double>();
}

json numberToJson(double x) {
  if (std::isnan(x)) return "NaN";
  if (std::isinf(x)) return x > 0 ? "Inf" : "-Inf";
  if (x == std::trunc(x) && std::fabs(x) < 9.0e15) return static_cast<long long>(x);
  return x;
}

bool isComplexObject(const json& j) {
  return j.is_object() && j.size() == 2 && j.contains("re") && j.contains("im");
}

// Row-major nested arrays of numbers: returns rows x cols and the column-major data.
bool numericMatrix(const json& j, std::size_t& rows, std::size_t& cols, std::vector<double>& out) {
  if (!j.is_array()) return false;
  if (j.empty()) {
    rows = cols = 0;
    return true;
  }
  if (std::all_of(j.begin(), j.end(), isNumberLike)) {
    rows = 1, cols = j.size();
    for (const auto& x : j)
      out.push_back(toNumber(x));
    return true;
  }
  if (!std::all_of(j.begin(), j.end(), [](const json& r) { return r.is_array(); })) return false;
  rows = j.size();
  cols = j[0].size();
  out.assign(rows * cols, 0.0);
  for (std::size_t r = 0; r < rows; ++r) {
    const auto& row = j[r];
    if (row.size() != cols || !std::all_of(row.begin(), row.end(), isNumberLike)) return false;
    for (std::size_t c = 0; c < cols; ++c)
      out[c * rows + r] = toNumber(row[c]);
  }
  return true;
}

Value fromJson(const json& j, int depth);

// Refuses a container at nesting level `depth` beyond the limit (the top-level one is at 1).
void checkArgumentNesting(int depth) {
  if (depth > kMaxArgumentNesting)
    throw runtime::Error("nested deeper than " + std::to_string(kMaxArgumentNesting) +
                         " levels of arrays and objects");
}

Value recordFromObject(const json& j, int depth) {
  checkArgumentNesting(depth);
  Value rec = Value::record();
  for (auto it = j.begin(); it != j.end(); ++it)
    rec.setField(it.key(), fromJson(it.value(), depth + 1));
  return rec;
}

Value complexFromObject(const json& j) {
  std::size_t rr = 0, rc = 0, ir = 0, ic = 0;
  std::vector<double> re, im;
  if (isNumberLike(j["re"]) && isNumberLike(j["im"]))
    return Value::complexScalar({toNumber(j["re"]), toNumber(j["im"])});
  if (!numericMatrix(j["re"], rr, rc, re) || !numericMatrix(j["im"], ir, ic, im) || rr != ir ||
      rc != ic)
    throw runtime::Error("a complex value needs \"re\" and \"im\" of the same shape");
  std::vector<std::complex<double>> z(re.size());
  for (std::size_t i = 0; i < z.size(); ++i)
    z[i] = {re[i], im[i]};
  return Value::complexMatrix(rr, rc, std::move(z));
}

Value int32FromObject(const json& j) {
  std::size_t r = 0, c = 0;
  std::vector<double> d;
  if (isNumberLike(j["int32"])) {
    // Whole part of the number; beyond the 32-bit range (or NaN) it has no int32 value.
    const double x = toNumber(j["int32"]);
    if (!(x > -2147483649.0 && x < 2147483648.0))
      throw runtime::Error("int32 takes a number from -2147483648 to 2147483647");
    return Value::int32(static_cast<std::int32_t>(x));
  }
  if (!numericMatrix(j["int32"], r, c, d)) throw runtime::Error("int32 needs numbers");
  return Value::matrix(r, c, std::move(d)).withNumClass(runtime::NumClass::Int32);
}

Value listFromArray(const json& j, int depth) {
  checkArgumentNesting(depth);
  std::vector<Value> items;
  for (const auto& x : j)
    items.push_back(fromJson(x, depth + 1));
  return Value::list(std::move(items));
}

// A JSON array: a matrix, a complex row, a record array or a list.
Value fromArray(const json& j, int depth) {
  checkArgumentNesting(depth);
  std::size_t rows = 0, cols = 0;
  std::vector<double> data;
  if (numericMatrix(j, rows, cols, data)) {
    if (rows * cols == 0) return Value();
    return Value::matrix(rows, cols, std::move(data));
  }
  // An array of complex numbers is a complex row.
  if (std::all_of(j.begin(), j.end(), [](const json& x) {
        return isComplexObject(x) && isNumberLike(x["re"]) && isNumberLike(x["im"]);
      })) {
    std::vector<std::complex<double>> z;
    for (const auto& x : j)
      z.emplace_back(toNumber(x["re"]), toNumber(x["im"]));
    return Value::complexRow(std::move(z));
  }
  // An array of records with the same fields in the same order is a record array.
  if (std::all_of(j.begin(), j.end(),
                  [](const json& x) { return x.is_object() && !isComplexObject(x); })) {
    Value arr;
    bool same = true;
    for (const auto& x : j) {
      Value r = recordFromObject(x, depth + 1);
      if (arr.isRecord() && arr.fieldNames() != r.fieldNames()) {
        same = false;
        break;
      }
      arr.appendRecord(r);
    }
    if (same) return arr;
  }
  return listFromArray(j, depth);
}

// `j` at nesting level `depth` (the level a container there would have).
Value fromJson(const json& j, int depth) {
  if (j.is_null()) return Value();
  if (isNumberLike(j)) return Value::scalar(toNumber(j));
  if (j.is_string()) return Value::text(j.get<std::string>());
  checkArgumentNesting(depth);
  if (isComplexObject(j)) return complexFromObject(j);
  if (j.is_object() && j.size() == 1 && j.contains("int32")) return int32FromObject(j);
  if (j.is_object() && j.size() == 1 && j.contains("list") && j["list"].is_array())
    return listFromArray(j["list"], depth + 1);
  if (j.is_object()) return recordFromObject(j, depth);
  return fromArray(j, depth);
}

}  // namespace

Value valueFromJson(const json& j) {
  return fromJson(j, 1);
}

namespace {

json realToJson(const Value& v) {
  json out;
  const auto d = v.realData();
  if (v.numel() == 0) {
    out = json::array();
  } else if (v.numel() == 1) {
    out = numberToJson(d[0]);
  } else if (v.rows() == 1) {
    out = json::array();
    for (double x : d)
      out.push_back(numberToJson(x));
  } else {
    out = json::array();
    for (std::size_t r = 0; r < v.rows(); ++r) {
      json row = json::array();
      for (std::size_t c = 0; c < v.cols(); ++c)
        row.push_back(numberToJson(d[c * v.rows() + r]));
      out.push_back(std::move(row));
    }
  }
  if (v.numClass() == runtime::NumClass::Int32) return json{{"int32", out}};
  return out;
}

json complexToJson(const Value& v) {
  const auto d = v.complexData();
  if (v.numel() == 1)
    return json{{"re", numberToJson(d[0].real())}, {"im", numberToJson(d[0].imag())}};
  json re = json::array(), im = json::array();
  if (v.rows() == 1) {
    for (auto z : d)
      re.push_back(numberToJson(z.real())), im.push_back(numberToJson(z.imag()));
  } else {
    for (std::size_t r = 0; r < v.rows(); ++r) {
      json rr = json::array(), ir = json::array();
      for (std::size_t c = 0; c < v.cols(); ++c) {
        rr.push_back(numberToJson(d[c * v.rows() + r].real()));
        ir.push_back(numberToJson(d[c * v.rows() + r].imag()));
      }
      re.push_back(std::move(rr)), im.push_back(std::move(ir));
    }
  }
  return json{{"re", std::move(re)}, {"im", std::move(im)}};
}

json toJson(const Value& v, int depth);

// A record or list at nesting level `depth` (the top-level value is at 1).
json containerToJson(const Value& v, int depth) {
  if (depth > kMaxOutputNesting)
    throw runtime::Error("the value is nested deeper than " + std::to_string(kMaxOutputNesting) +
                         " levels of records and lists");
  if (v.isList()) {
    json items = json::array();
    for (const auto& x : v.items())
      items.push_back(toJson(x, depth + 1));
    return json{{"list", std::move(items)}};
  }
  auto one = [&](std::size_t e) {
    json o = json::object();
    for (const auto& name : v.fieldNames())
      o[name] = toJson(v.field(name, e), depth + 1);
    return o;
  };
  if (v.numel() == 1) {
    // A record whose one field is named "int32" or "list" would read back as an int32 or a
    // list: it is written as an array of one record, which reads back as the record.
    json o = one(0);
    if (o.size() == 1 && (o.contains("int32") || o.contains("list"))) return json::array({o});
    return o;
  }
  json arr = json::array();
  for (std::size_t e = 0; e < v.numel(); ++e)
    arr.push_back(one(e));
  return arr;
}

json toJson(const Value& v, int depth) {
  using runtime::Kind;
  switch (v.kind()) {
    case Kind::Empty:
      return json::array();
    case Kind::Real:
      return realToJson(v);
    case Kind::Complex:
      return complexToJson(v);
    case Kind::Text:
      return v.str();
    case Kind::Record:
    case Kind::List:
      return containerToJson(v, depth);
    case Kind::Handle:
      return json{{"handle", v.handleId()}};
  }
  return nullptr;
}

}  // namespace

json valueToJson(const Value& v) {
  return toJson(v, 1);
}

std::string jsonText(const json& j, int indent) {
  return j.dump(indent, ' ', /*ensure_ascii=*/false, json::error_handler_t::replace);
}

Value valueFromArgument(const std::string& arg) {
  // Text that is not JSON is a word, however many brackets it holds. JSON is parsed with the
  // nesting checked as each array or object opens, so a deep one is refused before it is built.
  if (!json::accept(arg)) return Value::text(arg);
  const json::parser_callback_t limitNesting = [](int depth, json::parse_event_t event,
                                                  const json&) {
    // `depth` counts the containers around the one that opens.
    if (event == json::parse_event_t::object_start || event == json::parse_event_t::array_start)
      checkArgumentNesting(depth + 1);
    return true;
  };
  return valueFromJson(json::parse(arg, limitNesting));
}

}  // namespace kelvane::cli
