// The tables of the window modules, declared with every operation's maximum input and output
// counts (a callback takes up to three fixed arguments and a list, and any number of outputs).
// The window binders bind the operations; a declared operation not built yet reports so.
#pragma once

#include "registry/registry.hpp"

namespace kelvane::library {

inline constexpr int kCallbackInputs = -4;
inline constexpr int kCallbackOutputs = -1;

// Declares, in each module's table, every operation it does not hold yet.
void declareWindowModules(registry::Library& lib);

}  // namespace kelvane::library
