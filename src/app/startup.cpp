#include "app/startup.hpp"

#include <exception>

#include "app/derived.hpp"
#include "app/parameter_table.hpp"
#include "coding/channel_frequency.hpp"
#include "frame/parameter_file.hpp"
#include "instrument/records_value.hpp"
#include "runtime/text.hpp"

namespace kelvane::app {

namespace {

void loadSavedConnection(AppState& state, StartUpReport& report) {
  const frame::ConfigRead read = frame::readConfigFile();
  if (!read.problem.empty())
    report.warnings.push_back("the saved connection could not be read (" + read.problem +
                              "); the start-up connection is used");
  const runtime::Value& saved = read.fileParameters;
  if (!saved.isRecord()) return;
  try {
    state.configuration = instrument::configurationFromValue(saved);
  } catch (const std::exception& e) {
    report.warnings.push_back(std::string(frame::kConfigFileName) + " is not usable (" + e.what() +
                              "); the start-up connection is used");
  }
}

Parameters readParameters(const AppState& state, const std::string& path) {
  frame::ParameterFileResult r = frame::readParameterFile(path, toValue(state.parameters));
  if (!r.parameters) {
    std::string msg = r.message;
    if (!r.detail.empty() && msg.find(r.detail) == std::string::npos) msg += " (" + r.detail + ")";
    throw StartUpError(msg, StartUpError::Kind::Refused);
  }
  try {
    return parametersFromValue(*r.parameters);
  } catch (const std::exception& e) {
    throw StartUpError(path + ": " + e.what(), StartUpError::Kind::Refused);
  }
}

}  // namespace

void applySetting(Parameters& p, std::string_view setting) {
  const auto eq = setting.find('=');
  if (eq == std::string_view::npos || eq == 0)
    throw StartUpError("--set takes FIELD=VALUE, not '" + std::string(setting) + "'",
                       StartUpError::Kind::Usage);
  const std::string name(setting.substr(0, eq));
  const std::string text(setting.substr(eq + 1));
  const ParameterSpec* spec = findParameter(name);
  if (!spec) {
    std::vector<std::string> names;
    for (const auto& f : parameterTable())
      names.emplace_back(f.name);
    const auto near = runtime::nearestNames(name, names);
    std::string hint;
    for (std::size_t i = 0; i < near.size(); ++i)
      hint += (i == 0 ? "; did you mean " : " or ") + near[i];
    throw StartUpError("parameters has no field '" + name + "'" + hint + (near.empty() ? "" : "?"),
                       StartUpError::Kind::Refused);
  }
  if (spec->isText()) {
    p.*std::get<std::string Parameters::*>(spec->member) = text;
    return;
  }
  const auto n = runtime::parseNumber(text);
  if (!n)
    throw StartUpError("parameters." + name + " takes a number, not '" + text + "'",
                       StartUpError::Kind::Refused);
  p.*std::get<double Parameters::*>(spec->member) = *n;
}

std::optional<std::string> savedConnectionProblem(const runtime::Value& saved) {
  try {
    (void)instrument::configurationFromValue(saved);
    return std::nullopt;
  } catch (const std::exception& e) {
    return std::string("the connection it holds is not usable (") + e.what() + ")";
  }
}

StartUpReport startUp(AppState& state, const StartUpOptions& options) {
  StartUpReport report;
  loadSavedConnection(state, report);
  Parameters p = state.parameters;
  std::string parameterFile;
  if (!options.parameterFile.empty()) {
    parameterFile =
        frame::addFileExtention(options.parameterFile, state.appInfo.ParameterFileExtension);
    p = readParameters(state, parameterFile);
  }
  bool channelSet = false, frequencySet = false;
  for (const auto& s : options.settings) {
    applySetting(p, s);
    const std::string_view name = std::string_view(s).substr(0, s.find('='));
    channelSet |= name == "BandClass" || name == "TransmitterType" || name == "ChannelNumber";
    frequencySet |= name == "Frequency";
  }
  // The carrier follows a changed channel, as in the channel dialog, unless set itself.
  if (channelSet && !frequencySet) {
    const double mhz =
        coding::Qarn_ChannelNumberToFrequency(p.BandClass, p.TransmitterType, p.ChannelNumber);
    if (mhz == 0) throw StartUpError("Invalid channel number.", StartUpError::Kind::Refused);
    p.Frequency = mhz * 1000000;
  }
  state.parameters = p;
  if (!parameterFile.empty()) state.configuration.LastParameterFilename = parameterFile;
  deriveParameters(state);
  state.sigGenSettings.SamplingRate = sampleRate(state.parameters);
  return report;
}

}  // namespace kelvane::app
