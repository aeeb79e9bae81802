// Checks of by-name arguments shared by the binding files: shapes for messages, numeric and
// vector inputs, and absent optional inputs.
#pragma once

#include <cstddef>
#include <string>

#include "coding/checks.hpp"
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

// The longest sequence an operation by name makes or takes as a length: 2^26 elements (512 MiB
// as doubles), beyond the instrument's ARB memory (32 Msamples) and the longest packet (24576
// bits), so that a mistyped length is refused with a message instead of exhausting memory.
inline constexpr double kMaxSequenceLength = 67108864;

// Refuses a result of `length` elements beyond kMaxSequenceLength before anything is allocated,
// naming the operation and how the length came about (`detail`, may be empty), e.g.
// "upsample: the length 4294967294 (2 elements x factor 2147483647) exceeds the limit of
// 67108864 elements by name".
inline void requireSequenceLength(const char* operation, double length,
                                  const std::string& detail = {}) {
  if (length <= kMaxSequenceLength) return;
  throw runtime::Error(std::string(operation) + ": the length " + coding::formatNumber(length) +
                       (detail.empty() ? "" : " (" + detail + ")") + " exceeds the limit of " +
                       coding::formatNumber(kMaxSequenceLength) + " elements by name");
}

// Input i was not given, or given as [] (an optional input left at its default).
inline bool absent(registry::Args args, std::size_t i) {
  return i >= args.size() || (args[i].isEmpty() && args[i].isNumeric()) ||
         args[i].kind() == runtime::Kind::Empty;
}

}  // namespace kelvane::library
