// Shared by the tests that call the library by name: its two exported lifecycle entries and the
// small helpers the by-name tests use.
#pragma once

#include <exception>
#include <initializer_list>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "registry/registry.hpp"

extern "C" void Qarn_FTM_c_libInitialize();
extern "C" void Qarn_FTM_c_libTerminate();

namespace kelvane::registry::byname {

// The error text of a by-name call, or "(no error)".
inline std::string errorOf(std::string_view name, std::vector<Value> args, int nargout = 1) {
  try {
    call(name, std::move(args), nargout);
  } catch (const std::exception& e) {
    return e.what();
  }
  return "(no error)";
}

inline Value row(std::initializer_list<double> v) {
  return Value::row(std::vector<double>(v));
}
inline Value column(std::initializer_list<double> v) {
  return Value::column(std::vector<double>(v));
}

}  // namespace kelvane::registry::byname
