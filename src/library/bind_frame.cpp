// The frame's file operations by name: compareStruct in the library table, the parameter and
// configuration files in rfCommonUI's table.
#include "app/startup.hpp"
#include "frame/parameter_file.hpp"
#include "library/binders.hpp"
#include "registry/adapter.hpp"

namespace kelvane::library {

void bindFrame(Library& lib) {
  Table& ops = lib.operations();
  bindTyped(ops, "compareStruct",
            [](const Value& a, const Value& b) { return frame::compareStruct(a, b) ? 1.0 : 0.0; });

  Table& ui = lib.module("rfCommonUI");
  ui.add("addFileExtention", 2, 1, typed([](const std::string& name, const std::string& ext) {
           return frame::addFileExtention(name, ext);
         }));
  ui.add("saveParameters", 2, 0,
         typed([](const std::string& filename, const Value& fileParameters) {
           frame::saveParameters(filename, fileParameters);
         }));
  ui.add("loadParameters", 2, 1,
         typed([](const std::string& filename, const std::optional<Value>& handles) {
           return frame::loadParameters(filename, handles.value_or(Value()));
         }));
  // A saved connection the instrument cannot use is kept aside rather than overwritten.
  ui.add("saveConfig", 1, 0, typed([](const Value& fileParameters) {
           frame::saveConfig(fileParameters, app::savedConnectionProblem);
         }));
  ui.add("loadConfig", 0, 1, typed([] { return frame::loadConfig(); }));

  // The common frame's dispatcher: an action name, then its arguments (menu callbacks join the
  // table with the windows).
  const Table* actions = &ui;
  ops.bind("rfCommonUI",
           [actions](Args args, int nargout) { return dispatch(*actions, args, nargout); });
}

}  // namespace kelvane::library
