// The start-up of the records before any work: the saved instrument connection, a parameter
// file, single settings typed by the operator, then the derived values and the sample clock.
// The command-line tool runs it for every command; the desktop window runs the same steps.
#pragma once

#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "app/state.hpp"

namespace kelvane::app {

struct StartUpOptions {
  std::string parameterFile;          // empty: the start-up parameters; ".mat" is added if missing
  std::vector<std::string> settings;  // "NAME=VALUE" for fields of `parameters`, in order
};

// A start-up that cannot go on: a malformed setting (Usage) or a parameter file or setting
// that names no field or holds a value of the wrong kind (Refused).
class StartUpError : public std::runtime_error {
 public:
  enum class Kind { Usage, Refused };
  StartUpError(const std::string& message, Kind kind) : std::runtime_error(message), kind_(kind) {}
  Kind kind() const { return kind_; }

 private:
  Kind kind_;
};

// What start-up noticed without stopping, one message each (a saved connection that cannot be
// read or used, which leaves the start-up connection in force).
struct StartUpReport {
  std::vector<std::string> warnings;
};

// Expects `state` at its start-up values. In order: the configuration saved in "defaults.mat"
// replaces the start-up one (a file that cannot be read or used is a warning naming it and the
// reason); the parameter file replaces `parameters` (and is remembered in
// configuration.LastParameterFilename); each setting is applied; then deriveParameters and the
// sample clock for the oversampling ratio. Throws StartUpError and leaves `parameters` as they
// were when the file or a setting is refused.
StartUpReport startUp(AppState& state, const StartUpOptions& options);

// Why the record saved in "defaults.mat" cannot serve as the instrument connection, or nothing:
// the check writers of the file pass to frame::writeConfigFile, so that a file the start-up
// could not use is kept aside rather than overwritten.
std::optional<std::string> savedConnectionProblem(const runtime::Value& saved);

// Applies "NAME=VALUE" to `p` through the parameter table: the text as it stands for a text
// field, a number for any other, e.g. applySetting(p, "trafficChannelPackets=4").
void applySetting(Parameters& p, std::string_view setting);

}  // namespace kelvane::app
