// Checks of by-name arguments shared by the binding files: shapes for messages, numeric and
// vector inputs, and absent optional inputs.
#pragma once

#include <cstddef>
#include <string>

#include "registry/registry.hpp"
#include "runtime/value.hpp"

namespace kelvane::library {

// "3 x 4".
inline std::string shapeOf(const runtime::Value& v) {
  return std::to_string(v.rows()) + " x " + std::to_string(v.cols());
}

// "double 3x4": the kind and the shape.
inline std::string shapeText(const runtime::Value& v) {
  return v.kindName() + " " + std::to_string(v.rows()) + "x" + std::to_string(v.cols());
}

// A numeric input that must not be text, a record or a list.
inline void requireNumeric(const runtime::Value& v, const char* name) {
  if (!v.isEmpty() && !v.isNumeric())
    throw runtime::Error(std::string(name) + " must be numeric, got " + v.kindName());
}

// A numeric vector (or an empty value); anything else is refused with the operation's name.
inline void requireVector(const runtime::Value& v, const char* operation) {
  if (v.isEmpty() && !v.isText() && !v.isRecord() && !v.isList()) return;
  if (!v.isNumeric() || !v.isVector())
    throw runtime::Error(std::string(operation) + ": expected a numeric vector, got " +
                         shapeText(v));
}

// Input i was not given, or given as [] (an optional input left at its default).
inline bool absent(registry::Args args, std::size_t i) {
  return i >= args.size() || (args[i].isEmpty() && args[i].isNumeric()) ||
         args[i].kind() == runtime::Kind::Empty;
}

}  // namespace kelvane::library
