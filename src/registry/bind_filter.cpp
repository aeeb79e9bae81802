#include "registry/adapter.hpp"
#include "registry/binders.hpp"

namespace kelvane::registry {

void bindFilter(Library& /*lib*/) {}

}  // namespace kelvane::registry
