#include "app/window/entries.hpp"

#include "toolkit/dialogs.hpp"

namespace kelvane::app::window {

void showParseError() {
  toolkit::dialogs().error(kParseError, "Error");
}

}  // namespace kelvane::app::window
