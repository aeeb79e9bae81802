// JSON forms of runtime values for the command-line tool.
//   numbers           3, -1.5; "NaN", "Inf", "-Inf" as strings
//   arrays            [1, 2, 3] is a 1 x n row; [[1, 2], [3, 4]] a matrix by rows; [] empty
//   complex           {"re": 1, "im": -2}; a complex array {"re": [..], "im": [..]}
//   text              "QarnFTM-Traffic"
//   records           {"drcValue": 1, "packet": [...]}; an array of records is a record array
//                     (one whose only field is "int32" or "list" is written [{"list": ...}])
//   lists             {"list": [ ... ]} (or any array of mixed kinds)
//   int32             {"int32": 5}
#pragma once

#include <nlohmann/json.hpp>
#include <string>

#include "runtime/value.hpp"

namespace kelvane::cli {

// Objects keep their keys in order, as records keep their fields.
using Json = nlohmann::ordered_json;

// Arrays and objects nested in one argument, at most: far beyond any real argument (a parameter
// record is 3 levels deep), and shallow enough that the recursive conversions here and in the
// library (comparison, printing, copies of the value) stay well inside the stack.
inline constexpr int kMaxArgumentNesting = 64;
// Records and lists nested in one output value, at most: a value read from an argument is
// shallower than kMaxArgumentNesting, one from a file is limited by the file reader.
inline constexpr int kMaxOutputNesting = 256;

// Throws runtime::Error for JSON nested deeper than kMaxArgumentNesting.
runtime::Value valueFromJson(const Json& j);
// Throws runtime::Error for a value nested deeper than kMaxOutputNesting.
Json valueToJson(const runtime::Value& v);

// `j` as JSON text, on one line (`indent` -1) or indented by `indent` blanks. A text that is
// not UTF-8 (an instrument reply holding the Latin-1 byte 0xB5) cannot be written as JSON as it
// stands: each stray byte or cut-off sequence that is not well-formed UTF-8 is written as
// U+FFFD, the replacement character. Control characters are escaped as JSON escapes them (\u001b).
std::string jsonText(const Json& j, int indent = -1);

// An argument as typed on the command line: JSON when it parses, otherwise the word as text.
// JSON nested deeper than kMaxArgumentNesting is refused with runtime::Error before it is
// converted.
runtime::Value valueFromArgument(const std::string& arg);

}  // namespace kelvane::cli
