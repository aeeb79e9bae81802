// `kelvane-cli params` and `kelvane-cli config`: parameter files and the saved connection.
#include <filesystem>
#include <iostream>
#include <optional>

#include <nlohmann/json.hpp>

#include "app/parameter_table.hpp"
#include "app/startup.hpp"
#include "app/validation.hpp"
#include "cli/commands.hpp"
#include "cli/json_value.hpp"
#include "cli/session.hpp"
#include "cli/terminal_text.hpp"
#include "frame/parameter_file.hpp"
#include "instrument/instrument_address.hpp"
#include "instrument/records_value.hpp"
#include "runtime/atomic_file.hpp"
#include "runtime/matfile.hpp"
#include "runtime/text.hpp"

namespace kelvane::cli {

namespace {

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

// The choices of a field as "0 (label), 1 (label)", or its accepted range.
std::string choicesText(const app::ParameterSpec& spec) {
  if (spec.choices.empty()) return app::acceptedText(spec);
  std::string text;
  for (const auto& c : spec.choices) {
    if (!c.refusal.empty()) continue;  // held by name only; never offered
    text += (text.empty() ? "" : ", ") + runtime::numToText(c.value) + " " + c.label;
  }
  return text;
}

std::string startupText(const app::ParameterSpec& spec) {
  const runtime::Value v = app::startupValue(spec);
  return v.isText() ? v.str() : runtime::numToText(v.toDouble());
}

}  // namespace

int commandParamsList(bool json) {
  if (json) {
    Json list = Json::array();
    for (const auto& spec : app::parameterTable()) {
      Json f = {{"name", spec.name},
                {"unit", spec.unit},
                {"accepts", app::acceptedText(spec)},
                {"startup", valueToJson(app::startupValue(spec))},
                {"meaning", spec.meaning}};
      if (!spec.choices.empty()) {
        f["choices"] = Json::array();
        for (const auto& c : spec.choices)
          if (c.refusal.empty()) f["choices"].push_back({{"value", c.value}, {"label", c.label}});
      }
      list.push_back(std::move(f));
    }
    std::cout << jsonText(list, 2) << '\n';
    return kExitOk;
  }
  for (const auto& spec : app::parameterTable()) {
    std::cout << spec.name << (spec.unit.empty() ? "" : " [" + std::string(spec.unit) + "]") << "  "
              << spec.meaning << "\n    accepts: " << choicesText(spec)
              << "\n    start-up: " << startupText(spec) << '\n';
  }
  return kExitOk;
}

int commandParamsShow(const SessionOptions& options) {
  Session session(options);
  std::cout << jsonText(valueToJson(app::toValue(session.state().parameters)), 2) << '\n';
  return kExitOk;
}

int commandParamsCheck(const std::string& file) {
  return check(file);
}

int commandParamsSave(const std::string& file, const SessionOptions& options) {
  const std::string extension = app::currentState().appInfo.ParameterFileExtension;
  const std::string path = frame::addFileExtention(file, extension);
  const auto lock = lockWhenRewritten(path, options.paramsFile, extension);
  Session session(options);
  // What check would refuse is not written: a saved file is one calculate accepts.
  if (const auto problems = app::parameterProblems(session.state().parameters); !problems.empty()) {
    std::string text = "not saved: the parameters cannot be calculated:";
    for (const auto& p : problems)
      text += "\n  " + p;
    throw SessionError(text, kExitRefused);
  }
  frame::writeParameterFile(path, app::toValue(session.state().parameters));
  std::cout << "wrote " << path << '\n';
  return kExitOk;
}

int commandConfigShow() {
  SessionOptions none;
  Session session(none);  // reads defaults.mat
  const instrument::Configuration& config = session.state().configuration;
  Json shown = valueToJson(instrument::toValue(config));
  shown["resource"] = instrument::visaResource(config);  // not part of the record
  std::cout << jsonText(shown, 2) << '\n';
  return kExitOk;
}

int commandConfigSet(const std::vector<std::string>& settings) {
  // One read-change-write: concurrent runs take turns instead of losing a change.
  const runtime::FileLock lock = frame::lockConfigFile();
  SessionOptions none;
  Session session(none);  // reads defaults.mat
  instrument::Configuration config = session.state().configuration;
  for (const auto& s : settings) {
    const auto eq = s.find('=');
    if (eq == 0) throw SessionError("config set: takes FIELD=VALUE, not '" + s + "'", kExitUsage);
    if (eq == std::string::npos) {  // a whole address: GPIB0::19::INSTR, lan:host
      if (auto problem = instrument::applyInstrumentAddress(s, config))
        throw SessionError("config set " + s + ": " + *problem, kExitRefused);
      continue;
    }
    runtime::Value v = instrument::toValue(config);
    setFieldFromText(v, s.substr(0, eq), s.substr(eq + 1), "configuration");
    config = instrument::configurationFromValue(v);
  }
  if (const auto problems = instrument::configurationProblems(config); !problems.empty()) {
    std::string text = "not written: ";
    for (std::size_t i = 0; i < problems.size(); ++i)
      text += (i ? "; " : "") + problems[i];
    throw SessionError(text, kExitRefused);
  }
  session.state().configuration = config;
  const std::string note =
      frame::writeConfigFile(instrument::toValue(config), app::savedConnectionProblem);
  if (!note.empty()) printError(note);
  std::cout << "wrote " << frame::kConfigFileName << " (" << instrument::visaResource(config)
            << ")\n";
  return kExitOk;
}

}  // namespace kelvane::cli
