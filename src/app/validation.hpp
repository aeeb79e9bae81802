// The check Calculate makes before anything is computed: every field of `parameters` must be a
// value the signal chain and the instrument can serve. The window's controls only ever produce
// such values; a parameter file, a by-name write or the command line can hold anything.
#pragma once

#include <cstddef>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "app/records.hpp"

namespace kelvane::app {

class ParameterError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The problems of `p`, one message per refused field in record order, each naming the field,
// the value found and the accepted range, e.g. "oversampleRatio must be a whole number from 2 to
// 24, not 25". Empty when every field is usable.
std::vector<std::string> parameterProblems(const Parameters& p);

// Throws ParameterError whose message lists every problem, one a line.
void validateParameters(const Parameters& p);

}  // namespace kelvane::app
