#include "registry/adapter.hpp"
#include "registry/binders.hpp"

namespace kelvane::registry {

void bindSynthesis(Library& /*lib*/) {}

}  // namespace kelvane::registry
