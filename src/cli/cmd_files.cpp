// `kelvane-cli params` and `kelvane-cli config`: parameter files and the saved connection.
#include <filesystem>
#include <iostream>
#include <optional>

#include "app/startup.hpp"
#include "app/validation.hpp"
#include "cli/commands.hpp"
#include "cli/json_value.hpp"
#include "cli/session.hpp"
#include "cli/terminal_text.hpp"
#include "frame/parameter_file.hpp"
#include "instrument/records_value.hpp"
#include "runtime/atomic_file.hpp"
#include "runtime/matfile.hpp"

namespace kelvane::cli {

namespace {

const char* kParamsHelp =
    "usage: kelvane-cli params show [--params FILE.mat] [--set FIELD=VALUE ...]\n"
    "       kelvane-cli params save FILE [--params FILE.mat] [--set FIELD=VALUE ...]\n"
    "       kelvane-cli params check FILE\n"
    "show   prints the parameters (start-up, or from --params, changed by --set) as JSON\n"
    "save   writes them to a parameter file (.mat added when missing)\n"
    "check  reads a parameter file as calculate --params does (the derived fields, such as the\n"
    "       automatic repetitions, recomputed) and lists every field the signal chain cannot\n"
    "       serve; exit code 0 when the file can be calculated, 3 otherwise\n";

const char* kConfigHelp =
    "usage: kelvane-cli config show\n"
    "       kelvane-cli config set FIELD=VALUE [FIELD=VALUE ...]\n"
    "show   prints the instrument connection saved in defaults.mat in the working folder\n"
    "       (the start-up connection when there is none) as JSON\n"
    "set    changes fields and writes defaults.mat (one that cannot be read is kept as\n"
    "       defaults.mat.damaged first), e.g.\n"
    "       kelvane-cli config set type=TCPIP TCPIP.address=192.168.0.5\n"
    "       kelvane-cli config set type=GPIB GPIB.primary=19\n";

bool wantsHelp(const Arguments& args) {
  for (const auto& a : args)
    if (a == "--help" || a == "-h") return true;
  return false;
}

// Reads the file as calculate reads it (the start-up: the file, then the derived fields) and
// runs the validation calculate runs, so that both accept and refuse the same files.
int check(const std::string& file) {
  SessionOptions options;
  options.paramsFile = file;
  Session session(options);  // a file that cannot be read is refused here
  const app::AppState& state = session.state();
  const std::string path = frame::addFileExtention(file, state.appInfo.ParameterFileExtension);
  const auto problems = app::parameterProblems(state.parameters);
  if (!problems.empty()) {
    std::cerr << terminalText(path) << ": the file is readable, but cannot be calculated:\n";
    for (const auto& p : problems)
      std::cerr << "  " << terminalText(p) << '\n';
    return kExitRefused;
  }
  std::cout << path << ": valid parameter file\n";
  return kExitOk;
}

// The lock of `out` when --params reads the same file, so that the read, the changes and the
// write are one step for other runs changing it.
std::optional<runtime::FileLock> lockWhenRewritten(const std::string& out,
                                                   const std::string& paramsFile,
                                                   const std::string& extension) {
  if (paramsFile.empty()) return std::nullopt;
  const std::filesystem::path in = frame::addFileExtention(paramsFile, extension);
  std::error_code ec;
  if (std::filesystem::weakly_canonical(in, ec) != std::filesystem::weakly_canonical(out, ec))
    return std::nullopt;
  return std::optional<runtime::FileLock>(std::in_place, out);
}

int save(const std::string& file, const SessionOptions& options) {
  const std::string extension = app::currentState().appInfo.ParameterFileExtension;
  const std::string path = frame::addFileExtention(file, extension);
  const auto lock = lockWhenRewritten(path, options.paramsFile, extension);
  Session session(options);
  frame::writeParameterFile(path, app::toValue(session.state().parameters));
  std::cout << "wrote " << path << '\n';
  return kExitOk;
}

int setConfig(const Arguments& args) {
  // One read-change-write: concurrent runs take turns instead of losing a change.
  const runtime::FileLock lock = frame::lockConfigFile();
  SessionOptions none;
  Session session(none);  // reads defaults.mat
  instrument::Configuration& config = session.state().configuration;
  runtime::Value v = instrument::toValue(config);
  for (std::size_t i = 1; i < args.size(); ++i) {
    const auto eq = args[i].find('=');
    if (eq == std::string::npos || eq == 0) {
      std::cerr << "kelvane-cli config set: takes FIELD=VALUE, not '" << args[i] << "'\n";
      return kExitUsage;
    }
    setFieldFromText(v, args[i].substr(0, eq), args[i].substr(eq + 1), "configuration");
  }
  config = instrument::configurationFromValue(v);
  const std::string note =
      frame::writeConfigFile(instrument::toValue(config), app::savedConnectionProblem);
  if (!note.empty()) std::cerr << "kelvane-cli: " << note << '\n';
  std::cout << "wrote " << frame::kConfigFileName << '\n';
  return kExitOk;
}

}  // namespace

int commandParams(const Arguments& args) {
  if (args.empty() || wantsHelp(args)) {
    std::cout << kParamsHelp;
    return args.empty() ? kExitUsage : kExitOk;
  }
  const std::string& verb = args[0];
  SessionOptions options;
  if (!parseSessionOptions(Arguments(args.begin() + 1, args.end()), {"--params", "--set"}, options))
    return kExitUsage;
  try {
    if (verb == "check") {
      if (options.positional.size() != 1 || !options.sets.empty() || !options.paramsFile.empty()) {
        std::cerr << kParamsHelp;
        return kExitUsage;
      }
      return check(options.positional[0]);
    }
    if (verb == "show" && options.positional.empty()) {
      Session session(options);
      std::cout << jsonText(valueToJson(app::toValue(session.state().parameters)), 2) << '\n';
      return kExitOk;
    }
    if (verb == "save" && options.positional.size() == 1)
      return save(options.positional[0], options);
  } catch (const SessionError& e) {
    std::cerr << "kelvane-cli params: " << terminalText(e.what()) << '\n';
    return e.exitCode();
  } catch (const std::exception& e) {
    std::cerr << "kelvane-cli params: " << terminalText(e.what()) << '\n';
    return kExitFailure;
  }
  std::cerr << kParamsHelp;
  return kExitUsage;
}

int commandConfig(const Arguments& args) {
  if (args.empty() || wantsHelp(args)) {
    std::cout << kConfigHelp;
    return args.empty() ? kExitUsage : kExitOk;
  }
  try {
    if (args[0] == "show" && args.size() == 1) {
      SessionOptions none;
      Session session(none);  // reads defaults.mat
      std::cout << jsonText(valueToJson(instrument::toValue(session.state().configuration)), 2)
                << '\n';
      return kExitOk;
    }
    if (args[0] == "set" && args.size() >= 2) return setConfig(args);
  } catch (const SessionError& e) {
    std::cerr << "kelvane-cli config: " << terminalText(e.what()) << '\n';
    return e.exitCode();
  } catch (const std::exception& e) {
    std::cerr << "kelvane-cli config: " << terminalText(e.what()) << '\n';
    return kExitFailure;
  }
  std::cerr << kConfigHelp;
  return kExitUsage;
}

}  // namespace kelvane::cli
