// `kelvane-cli ops` and `kelvane-cli call`: the scripting door into the library by name.
#include <cstdio>
#include <iostream>

#include "cli/commands.hpp"
#include "cli/json_value.hpp"
#include "cli/terminal_text.hpp"
#include "library/binders.hpp"
#include "registry/registry.hpp"
#include "runtime/matfile.hpp"
#include "runtime/text.hpp"

namespace kelvane::cli {

namespace {
const char* kOpsHelp =
    "usage: kelvane-cli ops\n"
    "Lists every operation of the library in its registry order: name, maximum inputs,\n"
    "maximum outputs (-1 a variable list, -k up to k-1 fixed inputs then a list) and whether\n"
    "it is built in this version: yes, no, or desktop for an operation of the windows and plots,\n"
    "which exists only in the desktop program kelvane.\n";

const char* kCallHelp =
    "usage: kelvane-cli call NAME [ARG ...] [--nargout N] [--mat FILE]\n"
    "Calls the operation NAME by name. Each ARG is JSON: numbers, arrays (nested arrays are\n"
    "matrix rows), strings, objects for records, {\"re\": ..., \"im\": ...} for complex values;\n"
    "a bare word that is not JSON is taken as text.\n"
    "Outputs are printed as JSON, one line per output, or with --mat written as the variables\n"
    "out1, out2, ... of a MAT file (version 5). In JSON, what is not UTF-8 in a text (a byte\n"
    "of an instrument reply in Latin-1) is printed as U+FFFD. An error prints its text on\n"
    "standard error, control characters as \\xHH, and the exit code is 1.\n"
    "  --nargout N   number of outputs to request (default 1, or 0 for operations without)\n"
    "  --mat FILE    write the outputs to FILE instead of printing them\n";

std::string countText(int n) {
  return std::to_string(n);
}

const char* builtText(const registry::Entry& e) {
  if (e.built()) return "yes";
  return library::isWindowOperation(e.name) ? "desktop" : "no";
}
}  // namespace

int commandOps(const Arguments& args) {
  if (!args.empty()) {
    std::cout << kOpsHelp;
    return args[0] == "--help" || args[0] == "-h" ? kExitOk : kExitUsage;
  }
  const auto& table = registry::library().operations();
  std::printf("%-32s %6s %7s  %s\n", "name", "inputs", "outputs", "built");
  for (const auto& e : table.entries())
    std::printf("%-32s %6s %7s  %s\n", e.name.c_str(), countText(e.maxInputs).c_str(),
                countText(e.maxOutputs).c_str(), builtText(e));
  return kExitOk;
}

namespace {

struct CallRequest {
  std::string name;
  std::vector<runtime::Value> inputs;
  int nargout = -1;  // -1: one output, or none for an operation that has none
  std::string matFile;
};

// Reads NAME [ARG ...] [--nargout N] [--mat FILE]; prints the problem and returns false on a
// usage error.
bool parseCall(const Arguments& args, CallRequest& call) {
  call.name = args[0];
  for (std::size_t i = 1; i < args.size(); ++i) {
    if (args[i] == "--nargout" || args[i] == "--mat") {
      if (i + 1 >= args.size()) {
        std::cerr << "kelvane-cli call: " << args[i] << " needs a value\n";
        return false;
      }
      if (args[i] == "--mat") {
        call.matFile = args[++i];
        continue;
      }
      auto n = runtime::parseNumber(args[++i]);
      if (!n || *n < 0 || *n != static_cast<int>(*n)) {
        std::cerr << "kelvane-cli call: --nargout takes a whole number >= 0\n";
        return false;
      }
      call.nargout = static_cast<int>(*n);
      continue;
    }
    try {
      call.inputs.push_back(valueFromArgument(args[i]));
    } catch (const std::exception& e) {
      std::cerr << "kelvane-cli call: argument " << call.inputs.size() + 1 << ": "
                << terminalText(e.what()) << '\n';
      return false;
    }
  }
  return true;
}

// The outputs as JSON lines, or as out1, out2, ... of a MAT file. Every line is formed before
// the first is printed, so that an output that cannot be printed leaves no partial result.
int writeOutputs(const registry::Outputs& outputs, const std::string& matFile) {
  try {
    if (matFile.empty()) {
      std::string lines;
      for (const auto& out : outputs)
        lines += jsonText(valueToJson(out)) + '\n';
      std::cout << lines;
      return kExitOk;
    }
    std::vector<runtime::MatVariable> vars;
    for (std::size_t i = 0; i < outputs.size(); ++i)
      vars.push_back({"out" + std::to_string(i + 1), outputs[i]});
    runtime::writeMatFile(matFile, vars);
  } catch (const std::exception& e) {
    std::cerr << terminalText(e.what()) << '\n';
    return kExitFailure;
  }
  return kExitOk;
}

}  // namespace

int commandCall(const Arguments& args) {
  if (args.empty() || args[0] == "--help" || args[0] == "-h") {
    std::cout << kCallHelp;
    return args.empty() ? kExitUsage : kExitOk;
  }
  CallRequest call;
  if (!parseCall(args, call)) return kExitUsage;
  const auto& table = registry::library().operations();
  if (call.nargout < 0) {
    const registry::Entry* e = table.find(call.name);
    call.nargout = (e && e->maxOutputs == 0) ? 0 : 1;
  }
  registry::Outputs outputs;
  try {
    outputs = table.call(call.name, call.inputs, call.nargout);
  } catch (const std::exception& e) {
    std::cerr << terminalText(e.what()) << '\n';
    return kExitFailure;
  }
  return writeOutputs(outputs, call.matFile);
}

}  // namespace kelvane::cli
