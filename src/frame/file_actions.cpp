// The parameter and configuration file operations of the frame: error boxes, console notes, the
// named variable `parameters` and the application's redraw.
#include <exception>
#include <vector>

#include "frame/parameter_file.hpp"
#include "registry/registry.hpp"
#include "toolkit/dialogs.hpp"

namespace kelvane::frame {

using runtime::Value;

void saveParameters(const std::string& filename, const Value& fileParameters) {
  try {
    writeParameterFile(filename, fileParameters);
  } catch (const std::exception& e) {
    toolkit::dialogs().error(e.what(), "Error Saving " + filename);
  }
}

bool loadParameters(const std::string& filename, const Value& handles) {
  const Value current = registry::getVariable("parameters");
  ParameterFileResult r = readParameterFile(filename, current);
  if (r.parameters) {
    try {
      registry::setVariable("parameters", std::move(*r.parameters));
    } catch (const runtime::Error&) {
      // The application refused the record: the file cannot stand for its parameters.
      r = ParameterFileResult{};
      r.message = filename + "\n" + kInvalidStructure;
      r.detail = kInvalidStructure;
    }
  }
  if (!r.message.empty()) {
    toolkit::dialogs().error(r.message, kLoadErrorTitle);
    return false;
  }
  redrawApplication(handles);
  return true;
}

void saveConfig(const Value& fileParameters, const ConfigCheck& usable) {
  try {
    if (const std::string note = writeConfigFile(fileParameters, usable); !note.empty())
      registry::printToConsole(note);
  } catch (const std::exception&) {
    // A configuration that cannot be written is not reported; the previous file stays.
  }
}

Value loadConfig() {
  // Missing or unreadable: the built-in configuration stays in force; the console says why.
  ConfigRead r = readConfigFile();
  if (!r.problem.empty())
    registry::printToConsole("the saved connection could not be read (" + r.problem +
                             "); the start-up connection is used");
  return std::move(r.fileParameters);
}

void redrawApplication(const Value& handles) {
  const Value info = registry::getVariable("appInfo");
  if (!info.isRecord() || info.numel() != 1 || !info.hasField("ApplicationFunction")) return;
  const Value& fn = info.field("ApplicationFunction");
  if (!fn.isText()) return;
  const registry::Table* module = registry::library().findModule(fn.str());
  if (!module || !module->find("redraw")) return;
  const std::vector<Value> args = {Value::text("redraw"), handles};
  registry::dispatch(*module, args, 0);
}

}  // namespace kelvane::frame
