// The window part of the library: the binders of the toolkit, the windows and the plots, which
// link Qt. Only the desktop program and libQarn_FTM_c.so carry it.
#include "library/binders.hpp"

namespace kelvane::library {

std::span<const Binder> windowBinders() {
  return {};
}

}  // namespace kelvane::library
