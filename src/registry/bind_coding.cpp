#include "registry/adapter.hpp"
#include "registry/binders.hpp"

namespace kelvane::registry {

void bindCoding(Library& /*lib*/) {}

}  // namespace kelvane::registry
