// The application state by name: the named variables bound to the one AppState of the
// initialized library, and the main window module's initializers.
#include <memory>

#include "app/state.hpp"
#include "library/binders.hpp"
#include "library/state_variables.hpp"

namespace kelvane::library {

void bindApp(Library& lib) {
  auto state = std::make_shared<app::AppState>();
  bindStateVariables(lib.variables(), state);
  app::setCurrentState(state.get());
  lib.atTerminate([state] { app::setCurrentState(nullptr); });

  Table& gui = lib.module("Qarn_FTM_GUI_c");
  gui.add("InitializeAppInfo", 0, 0, typed([state] { state->InitializeAppInfo(); }));
  gui.add("InitializeConfiguration", 0, 0, typed([state] { state->InitializeConfiguration(); }));
  gui.add("InitializeSigGenSettings", 0, 0, typed([state] { state->InitializeSigGenSettings(); }));
  gui.add("InitializeParameters", 0, 0, typed([state] { state->InitializeParameters(); }));
}

}  // namespace kelvane::library
