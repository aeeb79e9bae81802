// libFuzzer target: the command-line tool's reading of an argument (`valueFromArgument`): JSON
// when it parses, the word as text otherwise. A JSON form the values cannot take is refused with
// runtime::Error; anything else thrown, and any crash, is a finding. What is read must also
// write back to JSON (`valueToJson`) and read again to a value of the same kind and size
// (the texts that name special numbers aside, and values that print deeper than an argument may
// be).
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "cli/json_value.hpp"
#include "runtime/value.hpp"

// Levels of arrays and objects in `j` (a scalar has none).
static int jsonDepth(const kelvane::cli::Json& j) {
  int deepest = 0;
  if (j.is_structured())
    for (const auto& x : j)
      deepest = std::max(deepest, jsonDepth(x));
  return j.is_structured() ? deepest + 1 : 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using kelvane::cli::valueFromArgument;
  using kelvane::cli::valueFromJson;
  using kelvane::cli::valueToJson;
  using kelvane::runtime::Value;
  const std::string arg(reinterpret_cast<const char*>(data), size);
  Value v;
  try {
    v = valueFromArgument(arg);
  } catch (const kelvane::runtime::Error&) {
    return 0;
  }
  // The texts "NaN", "Inf" and "-Inf" are the JSON form of those numbers: they come back as
  // numbers by design.
  if (v.isText() && (v.str() == "NaN" || v.str() == "Inf" || v.str() == "-Inf")) return 0;
  const kelvane::cli::Json j = valueToJson(v);
  // A list prints as {"list": [...]}, two levels of JSON: a value read from an argument may print
  // deeper than an argument may be, and is then refused as one, by design.
  if (jsonDepth(j) > kelvane::cli::kMaxArgumentNesting) return 0;
  const Value again = valueFromJson(j);
  if (again.kind() != v.kind() || again.numel() != v.numel()) std::abort();
  return 0;
}
