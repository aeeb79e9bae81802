#include "registry/adapter.hpp"
#include "registry/binders.hpp"

namespace kelvane::registry {

void bindApp(Library& /*lib*/) {}

}  // namespace kelvane::registry
