#include "app/record_fields.hpp"

#include <algorithm>
#include <cmath>

namespace kelvane::app {

using runtime::Kind;
using runtime::Value;

std::string describe(const Value& v) {
  switch (v.kind()) {
    case Kind::Empty:
      return "an empty value";
    case Kind::Text:
      return "the text \"" + v.str() + "\"";
    case Kind::Record:
      return v.numel() == 1 ? "a record"
                            : "a " + std::to_string(v.rows()) + " x " + std::to_string(v.cols()) +
                                  " record array";
    case Kind::Real:
    case Kind::Complex:
      if (v.numel() == 1)
        return (v.isComplex() ? "the complex number " : "the number ") + v.toString();
      [[fallthrough]];
    default:
      return "a " + std::to_string(v.rows()) + " x " + std::to_string(v.cols()) + " " +
             v.kindName() + (v.isList() ? "" : " array");
  }
}

FieldReader::FieldReader(const Value& v, std::string name) : v_(v), name_(std::move(name)) {
  if (!v.isRecord() || v.numel() != 1)
    throw runtime::Error(name_ + " must be a record, not " + describe(v));
}

std::string FieldReader::qualified(std::string_view field) const {
  return name_ + "." + std::string(field);
}

const Value& FieldReader::value(std::string_view field) {
  if (!v_.hasField(field)) throw runtime::Error(qualified(field) + " is missing");
  seen_.emplace_back(field);
  return v_.field(field);
}

double FieldReader::number(std::string_view field) {
  const Value& f = value(field);
  if (!f.isReal() || f.numel() != 1)
    throw runtime::Error(qualified(field) + " must be a real number, not " + describe(f));
  return f.toDouble();
}

std::string FieldReader::text(std::string_view field) {
  const Value& f = value(field);
  if (f.isText()) return f.str();
  if ((f.isReal() || f.kind() == Kind::Empty) && f.numel() == 0) return {};
  throw runtime::Error(qualified(field) + " must be a text, not " + describe(f));
}

void FieldReader::finish() const {
  for (const auto& n : v_.fieldNames())
    if (std::find(seen_.begin(), seen_.end(), n) == seen_.end())
      throw runtime::Error(name_ + " has no field '" + n + "'");
}

std::vector<std::uint64_t> handlesFromValue(const Value& v, const std::string& what) {
  std::vector<std::uint64_t> ids;
  auto fromNumber = [&](double x) {
    if (!(x >= 0 && x == std::floor(x) && x < 9.007199254740992e15))
      throw runtime::Error(what + " must hold window handles, not the number " +
                           Value::scalar(x).toString());
    ids.push_back(static_cast<std::uint64_t>(x));
  };
  if (v.numel() == 0) return ids;
  if (v.isHandle()) {
    ids.push_back(v.handleId());
  } else if (v.isReal()) {
    for (double x : v.realData())
      fromNumber(x);
  } else if (v.isList()) {
    for (const Value& item : v.items()) {
      if (item.isHandle())
        ids.push_back(item.handleId());
      else if (item.isReal() && item.numel() == 1)
        fromNumber(item.toDouble());
      else
        throw runtime::Error(what + " must hold window handles, not " + describe(item));
    }
  } else {
    throw runtime::Error(what + " must hold window handles, not " + describe(v));
  }
  return ids;
}

Value handlesToValue(const std::vector<std::uint64_t>& ids) {
  if (ids.empty()) return Value();
  std::vector<Value> items;
  for (auto id : ids)
    items.push_back(Value::handle(id));
  return Value::list(std::move(items));
}

}  // namespace kelvane::app
