// The window part of the library: the binders of the toolkit, the windows and the plots, which
// link Qt. Only the desktop program and libQarn_FTM_c.so carry it.
#include <array>

#include "library/binders.hpp"

namespace kelvane::library {

namespace {
constexpr std::array<Binder, 3> kWindowBinders = {bindToolkit, bindFrameWindow, bindAppWindow};
}  // namespace

std::span<const Binder> windowBinders() {
  return kWindowBinders;
}

}  // namespace kelvane::library
