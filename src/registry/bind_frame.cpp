#include "registry/adapter.hpp"
#include "registry/binders.hpp"

namespace kelvane::registry {

void bindFrame(Library& /*lib*/) {}

}  // namespace kelvane::registry
