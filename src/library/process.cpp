#include "library/process.hpp"

#include <string>
#include <utility>

namespace kelvane::library {

void installProcessHooks(ProcessHooks hooks) {
  toolkit::setDialogs(hooks.dialogs);
  instrument::setProgressReporter(std::move(hooks.progress));
  registry::setConsole(std::move(hooks.console));
  if (!hooks.warnings)
    hooks.warnings = [](std::string_view text) {
      registry::printToConsole("Warning: " + std::string(text));
    };
  synthesis::setWarningSink(std::move(hooks.warnings));
  instrument::setTransportSettings(hooks.transport.value_or(instrument::TransportSettings{}));
}

}  // namespace kelvane::library
