// The window part of the library: the binders of the toolkit, the windows and the plots, which
// link Qt. Only the desktop program and libQarn_FTM_c.so carry it.
#include <array>

#include "library/binders.hpp"
#include "library/window_modules.hpp"

namespace kelvane::library {

namespace {
// The window modules' tables are declared first; each binder then binds its operations.
constexpr std::array<Binder, 5> kWindowBinders = {declareWindowModules, bindToolkit,
                                                  bindFrameWindow, bindAppWindow, bindPlots};
}  // namespace

std::span<const Binder> windowBinders() {
  return kWindowBinders;
}

}  // namespace kelvane::library
