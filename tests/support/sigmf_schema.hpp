// The rules of the SigMF 1.0.0 metadata schema that can be checked without a schema validator:
// the required objects and fields, the type of every core field written, the patterns of
// core:datatype, core:sha512 and core:datetime, and the order of captures and annotations.
#pragma once

#include <nlohmann/json.hpp>
#include <regex>
#include <string>
#include <vector>

namespace kelvane::testing {

// What breaks the schema in `meta`, one text per problem; empty when it validates.
inline std::vector<std::string> sigmfSchemaProblems(const nlohmann::json& meta) {
  std::vector<std::string> problems;
  auto problem = [&](const std::string& what) { problems.push_back(what); };
  auto isIndex = [](const nlohmann::json& v) {
    return v.is_number_unsigned() || (v.is_number_integer() && v.get<long long>() >= 0);
  };
  auto text = [&](const nlohmann::json& obj, const char* key, const char* where) {
    if (obj.contains(key) && !obj[key].is_string())
      problem(std::string(where) + " " + key + " is not a string");
  };
  if (!meta.is_object()) return {"the metadata is not an object"};
  for (const char* key : {"global", "captures", "annotations"})
    if (!meta.contains(key)) problem(std::string("missing ") + key);
  if (!problems.empty()) return problems;

  const auto& global = meta["global"];
  if (!global.is_object()) return {"global is not an object"};
  if (!global.contains("core:datatype") || !global["core:datatype"].is_string() ||
      !std::regex_match(global["core:datatype"].get<std::string>(),
                        std::regex("(c|r)(f32|f64|i32|i16|u32|u16|i8|u8)(_le|_be)?")))
    problem("global core:datatype missing or not a SigMF datatype");
  if (!global.contains("core:version") || global["core:version"] != "1.0.0")
    problem("global core:version missing or not 1.0.0");
  if (global.contains("core:sample_rate") &&
      (!global["core:sample_rate"].is_number() || global["core:sample_rate"].get<double>() < 0))
    problem("global core:sample_rate is not a number >= 0");
  if (global.contains("core:sha512") &&
      (!global["core:sha512"].is_string() ||
       !std::regex_match(global["core:sha512"].get<std::string>(), std::regex("[0-9a-fA-F]{128}"))))
    problem("global core:sha512 is not 128 hexadecimal digits");
  for (const char* key : {"core:description", "core:hw", "core:recorder", "core:author"})
    text(global, key, "global");

  const std::regex isoDate(
      R"(\d{4}-(0[1-9]|1[0-2])-(0[1-9]|[12]\d|3[01])T([01]\d|2[0-3]):[0-5]\d:[0-5]\d(\.\d+)?Z)");
  auto segments = [&](const char* name, bool needCount) {
    const auto& list = meta[name];
    if (!list.is_array()) return problem(std::string(name) + " is not an array");
    long long last = -1;
    for (const auto& seg : list) {
      if (!seg.is_object()) {
        problem(std::string(name) + " holds a segment that is not an object");
        continue;
      }
      if (!seg.contains("core:sample_start") || !isIndex(seg["core:sample_start"])) {
        problem(std::string(name) + " segment without an unsigned core:sample_start");
        continue;
      }
      if (needCount && (!seg.contains("core:sample_count") || !isIndex(seg["core:sample_count"])))
        problem(std::string(name) + " segment without an unsigned core:sample_count");
      const long long start = seg["core:sample_start"].get<long long>();
      if (start < last) problem(std::string(name) + " not sorted by core:sample_start");
      last = start;
      if (seg.contains("core:frequency") && !seg["core:frequency"].is_number())
        problem("core:frequency is not a number");
      if (seg.contains("core:datetime") &&
          (!seg["core:datetime"].is_string() ||
           !std::regex_match(seg["core:datetime"].get<std::string>(), isoDate)))
        problem("core:datetime is not an ISO 8601 UTC time");
      text(seg, "core:label", name);
      text(seg, "core:comment", name);
    }
  };
  segments("captures", false);
  segments("annotations", true);
  return problems;
}

}  // namespace kelvane::testing
