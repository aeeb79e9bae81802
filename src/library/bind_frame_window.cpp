// The common frame's windows by name: the menu bar.
#include "app/state.hpp"
#include "frame/window/menu_bar.hpp"
#include "library/binders.hpp"

namespace kelvane::library {

void bindFrameWindow(Library& lib) {
  bindTyped(lib.operations(), "KR_AddMenu", [](const std::optional<Value>& figure) {
    return frame::window::KR_AddMenu(figure, app::currentState().appInfo.Platform);
  });
}

}  // namespace kelvane::library
