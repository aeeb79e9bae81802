// The shared library libQarn_FTM_c.so: its two exported lifecycle entries and the binders that
// make every subsystem's operations known by name.
#include <array>
#include <cstdio>
#include <exception>

#include "registry/binders.hpp"
#include "registry/registry.hpp"

namespace {
constexpr std::array<kelvane::registry::Binder, 6> kBinders = {
    kelvane::registry::bindCoding,    kelvane::registry::bindFilter,
    kelvane::registry::bindSynthesis, kelvane::registry::bindInstrument,
    kelvane::registry::bindFrame,     kelvane::registry::bindApp,
};
}  // namespace

extern "C" {

// Must be called once before any other operation of the library.
__attribute__((visibility("default"))) void Qarn_FTM_c_libInitialize() {
  kelvane::registry::initialize(kBinders);
}

// Called once after the last operation: releases every module's constants and the variables.
__attribute__((visibility("default"))) void Qarn_FTM_c_libTerminate() {
  kelvane::registry::terminate();
}

}  // extern "C"
