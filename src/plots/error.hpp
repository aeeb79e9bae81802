// The one exception type of the plot contents and the generic signal routines, raised with the
// message the operator reads (the eye and scatter diagrams' argument rules give exact texts).
#pragma once

#include <stdexcept>
#include <string>

namespace kelvane::plots {

class Error : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

[[noreturn]] inline void fail(const std::string& message) {
  throw Error(message);
}

inline void require(bool condition, const std::string& message) {
  if (!condition) fail(message);
}

}  // namespace kelvane::plots
