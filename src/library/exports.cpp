// The shared library libQarn_FTM_c.so: its two exported lifecycle entries, which make the
// operations of the core and of the window part known by name.
#include <vector>

#include "library/binders.hpp"

extern "C" {

// Must be called once before any other operation of the library.
__attribute__((visibility("default"))) void Qarn_FTM_c_libInitialize() {
  using namespace kelvane::library;
  std::vector<Binder> all(coreBinders().begin(), coreBinders().end());
  all.insert(all.end(), windowBinders().begin(), windowBinders().end());
  kelvane::registry::initialize(all);
}

// Called once after the last operation: releases every module's constants and the variables.
__attribute__((visibility("default"))) void Qarn_FTM_c_libTerminate() {
  kelvane::registry::terminate();
}

}  // extern "C"
