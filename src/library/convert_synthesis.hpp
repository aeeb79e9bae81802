// Conversions of by-name arguments to the synthesis subsystem's choices: the filter selector.
#pragma once

#include <optional>

#include "runtime/value.hpp"
#include "synthesis/baseband_filter.hpp"

namespace kelvane::library {

// The filter selector by name: a text names a filter, a number selects by position, an empty
// value is a number that matches none of the positions (the Std filter). None for anything else
// (a list, a record, a matrix), which each entry refuses in its own words.
inline std::optional<synthesis::FilterKind> filterKindOf(const runtime::Value& v) {
  if (v.isText()) return synthesis::filterKindFor(v.str());
  if (v.isEmpty() && !v.isList() && !v.isRecord()) return synthesis::FilterKind::Std;
  if (v.isNumeric() && v.isScalar()) return synthesis::filterKindFor(v.toDouble());
  return std::nullopt;
}

}  // namespace kelvane::library
