// What the production commands share: their options, the application state they work on (the
// library's one state, set up as the window sets it up: start-up records, then the configuration
// saved in "defaults.mat"), the instrument to talk to, and the download progress bar.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/state.hpp"
#include "cli/commands.hpp"
#include "instrument/transport.hpp"
#include "simulator/simulator.hpp"

namespace kelvane::cli {

// The prepared application state and, for --instrument sim, the simulator serving it.
class Session {
 public:
  // The start-up of the records (app::startUp): the connection saved in "defaults.mat" (an
  // unusable one is reported and ignored), then --params and --set, then the derived fields.
  // Throws SessionError with the exit code on a refusal.
  explicit Session(const SessionOptions& options);
  ~Session();

  app::AppState& state() { return *state_; }
  // Points the configuration at --instrument (or keeps the configuration file's connection);
  // `sim` starts the built-in simulator on loopback.
  void connectInstrument();
  simulator::Simulator* simulator() { return simulator_.get(); }

 private:
  const SessionOptions& options_;
  app::AppState* state_;
  std::unique_ptr<simulator::Simulator> simulator_;
};

class SessionError : public std::runtime_error {
 public:
  SessionError(const std::string& message, int exitCode)
      : std::runtime_error(message), exitCode_(exitCode) {}
  int exitCode() const { return exitCode_; }

 private:
  int exitCode_;
};

// Sets field `name` of `record` from command-line text: a number for a numeric field, the text
// as it stands for a text field; a dotted name ("GPIB.primary") reaches into a sub-record.
// Throws SessionError naming the field when it does not exist or the text is not a number.
void setFieldFromText(runtime::Value& record, const std::string& name, const std::string& text,
                      const std::string& recordName);

// Points `config` at an instrument address (the short forms lan:, serial:, gpib: or a VISA
// resource string; `sim` is handled by the session). Throws SessionError (usage) on bad text.
void applyInstrumentSpec(const std::string& spec, instrument::Configuration& config);

// Download progress on standard error: a bar on a terminal, a line at every tenth otherwise.
instrument::ProgressReporter progressBar();

}  // namespace kelvane::cli
