// The generic window operations by name: openfig, guihandles, guidata, movegui and the JPEG
// reading chain imread -> readjpg -> rjpgc.
#include <string>

#include "library/arguments.hpp"
#include "library/binders.hpp"
#include "toolkit/figures.hpp"
#include "toolkit/images.hpp"
#include "toolkit/objects.hpp"

namespace kelvane::library {

namespace tk = kelvane::toolkit;

namespace {

std::string textArgument(Args args, std::size_t i, const char* op, const char* what) {
  if (i >= args.size() || !args[i].isText())
    throw runtime::Error(std::string(op) + " needs " + what + " as a text.");
  return args[i].str();
}

Outputs openfigEntry(Args args, int) {
  const std::string file = textArgument(args, 0, "openfig", "a file name");
  const tk::OpenPolicy policy = absent(args, 1) ? tk::OpenPolicy::Reuse : tk::openPolicy(args[1]);
  return {tk::openfig(file, policy)};
}

Outputs guidataEntry(Args args, int) {
  if (args.empty()) throw runtime::Error("Not enough input arguments: guidata needs an object.");
  if (args.size() == 1) return {tk::guidata(args[0])};
  tk::guidata(args[0], args[1]);
  return {};
}

// imread(file, format): JPEG only ("jpg", "jpeg", or the file's extension when no format).
Outputs imreadEntry(Args args, int) {
  const std::string file = textArgument(args, 0, "imread", "a file name");
  std::string format = absent(args, 1) ? std::filesystem::path(file).extension().string()
                                       : textArgument(args, 1, "imread", "the format");
  if (!format.empty() && format.front() == '.') format.erase(0, 1);
  for (auto& c : format)
    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (format != "jpg" && format != "jpeg")
    throw runtime::Error("imread reads JPEG images only, not \"" + format + "\".");
  return registry::call("readjpg", {Value::text(file)}, 1);
}

Outputs readjpgEntry(Args args, int) {
  return registry::call("rjpgc", {Value::text(textArgument(args, 0, "readjpg", "a file name"))}, 1);
}

Outputs rjpgcEntry(Args args, int) {
  return {tk::readJpeg(textArgument(args, 0, "rjpgc", "a file name"))};
}

}  // namespace

void bindToolkit(Library& lib) {
  Table& ops = lib.operations();
  ops.bind("openfig", openfigEntry);
  bindTyped(ops, "guihandles", [](const Value& object) { return tk::guihandles(object); });
  ops.bind("guidata", guidataEntry);
  bindTyped(ops, "movegui", [](const Value& window, const std::optional<Value>& where) {
    tk::movegui(window, where.value_or(Value::text("onscreen")));
  });
  ops.bind("imread", imreadEntry);
  ops.bind("readjpg", readjpgEntry);
  ops.bind("rjpgc", rjpgcEntry);
}

}  // namespace kelvane::library
