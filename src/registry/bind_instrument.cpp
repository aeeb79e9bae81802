#include "registry/adapter.hpp"
#include "registry/binders.hpp"

namespace kelvane::registry {

void bindInstrument(Library& /*lib*/) {}

}  // namespace kelvane::registry
