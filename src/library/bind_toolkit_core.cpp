// The Qt-free name utilities by name: isvarname and iskeyword.
#include <string>
#include <vector>

#include "library/binders.hpp"
#include "toolkit/names.hpp"

namespace kelvane::library {

void bindToolkitCore(Library& lib) {
  Table& ops = lib.operations();
  // isvarname(s): 1 for a valid name; anything that is not a text is no name.
  ops.bind("isvarname", [](Args args, int) -> Outputs {
    if (args.empty()) throw runtime::Error("Not enough input arguments: isvarname needs a text.");
    return {Value::scalar(args[0].isText() && toolkit::isvarname(args[0].str()) ? 1 : 0)};
  });
  // iskeyword(s): 1 for a reserved word; iskeyword() lists them.
  ops.bind("iskeyword", [](Args args, int) -> Outputs {
    if (args.empty()) {
      std::vector<Value> words;
      for (std::string_view w : toolkit::keywords())
        words.push_back(Value::text(std::string(w)));
      return {Value::list(std::move(words))};
    }
    return {Value::scalar(args[0].isText() && toolkit::iskeyword(args[0].str()) ? 1 : 0)};
  });
}

}  // namespace kelvane::library
