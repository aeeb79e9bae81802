// The one exception type of the computational core (coding and synthesis), raised by one helper
// with a terse message naming the argument and its value. The edges (dispatcher, window,
// command-line tool) catch and report it.
#pragma once

#include <stdexcept>
#include <string>

namespace kelvane::coding {

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

}  // namespace kelvane::coding
