// Reading a typed record out of a by-name record: every field looked up by name, with errors
// that name the record, the field and what was found. Shared by the application records.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "runtime/value.hpp"

namespace kelvane::app {

class FieldReader {
 public:
  // `name` is how messages call the record ("parameters", "appInfo"). Throws runtime::Error
  // unless `v` is a 1 x 1 record.
  FieldReader(const runtime::Value& v, std::string name);

  // A real 1 x 1 number.
  double number(std::string_view field);
  // A text; an empty array reads as the empty text (other programs write '' as 0 x 0).
  std::string text(std::string_view field);
  // The field's value as it is; the field must exist.
  const runtime::Value& value(std::string_view field);
  // Refuses fields that were never read (a misspelt field would otherwise be dropped silently).
  void finish() const;

  const std::string& name() const { return name_; }
  std::string qualified(std::string_view field) const;

 private:
  const runtime::Value& v_;
  std::string name_;
  std::vector<std::string> seen_;
};

// A description of a value for messages: "text \"abc\"", "a 1 x 3 double array", "record".
std::string describe(const runtime::Value& v);

// Window handles: empty, a handle, a list of handles, or real non-negative whole numbers.
std::vector<std::uint64_t> handlesFromValue(const runtime::Value& v, const std::string& what);
runtime::Value handlesToValue(const std::vector<std::uint64_t>& ids);

}  // namespace kelvane::app
