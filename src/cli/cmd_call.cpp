// `kelvane-cli ops` and `kelvane-cli call`: the scripting door into the library by name.
#include <cstdio>
#include <iostream>

#include "cli/commands.hpp"
#include "cli/json_value.hpp"
#include "cli/session.hpp"
#include "cli/terminal_text.hpp"
#include "library/binders.hpp"
#include "registry/registry.hpp"
#include "runtime/matfile.hpp"
#include "runtime/text.hpp"

namespace kelvane::cli {

namespace {
std::string countText(int n) {
  return std::to_string(n);
}

const char* builtText(const registry::Entry& e) {
  if (e.built()) return "yes";
  return library::isWindowOperation(e.name) ? "desktop" : "no";
}
}  // namespace

int commandOps() {
  const auto& table = registry::library().operations();
  std::printf("%-32s %6s %7s  %s\n", "name", "inputs", "outputs", "built");
  for (const auto& e : table.entries())
    std::printf("%-32s %6s %7s  %s\n", e.name.c_str(), countText(e.maxInputs).c_str(),
                countText(e.maxOutputs).c_str(), builtText(e));
  return kExitOk;
}

namespace {

// The JSON arguments of a call; a usage error (SessionError) names the argument that cannot be
// read.
std::vector<runtime::Value> callInputs(const CallOptions& call) {
  std::vector<runtime::Value> inputs;
  for (std::size_t i = 1; i < call.words.size(); ++i) {
    try {
      inputs.push_back(valueFromArgument(call.words[i]));
    } catch (const std::exception& e) {
      throw SessionError("call: argument " + std::to_string(i) + ": " + e.what(), kExitUsage);
    }
  }
  return inputs;
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
    printError(e.what());
    return kExitFailure;
  }
  return kExitOk;
}

}  // namespace

int commandCall(const CallOptions& call) {
  if (call.nargout < -1)
    throw SessionError("call: --nargout takes a whole number >= 0", kExitUsage);
  const std::vector<runtime::Value> inputs = callInputs(call);
  const std::string& name = call.words.front();
  const auto& table = registry::library().operations();
  int nargout = call.nargout;
  if (nargout < 0) {
    const registry::Entry* e = table.find(name);
    nargout = (e && e->maxOutputs == 0) ? 0 : 1;
  }
  registry::Outputs outputs;
  try {
    outputs = table.call(name, inputs, nargout);
  } catch (const std::exception& e) {
    printError(e.what());
    return kExitFailure;
  }
  return writeOutputs(outputs, call.matFile);
}

}  // namespace kelvane::cli
