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

// Exit codes beyond those of commands.hpp.
inline constexpr int kExitRefused = 3;    // a parameter file or value was refused
inline constexpr int kExitCancelled = 4;  // a question was not answered, so nothing was done

struct SessionOptions {
  std::string paramsFile;               // --params FILE.mat
  std::vector<std::string> sets;        // --set FIELD=VALUE, in order
  std::string outDir = ".";             // --out DIR
  std::vector<std::string> formats;     // --format mornath,mat,sigmf,sigmf-cf32
  std::string instrument;               // --instrument ...
  bool yes = false;                     // --yes
  std::vector<std::string> positional;  // anything else that is not an option
};

// Parses the options a command accepts (`allowed` lists them, e.g. {"--params", "--set"}).
// Returns false (after printing the problem) on a usage error.
bool parseSessionOptions(const Arguments& args, const std::vector<std::string>& allowed,
                         SessionOptions& out);

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

// Parses --instrument: lan:HOST[:PORT], serial:PORT[,BAUD], gpib:BOARD,PRIMARY[,SECONDARY];
// `sim` is handled by the session. Throws SessionError on bad text.
void applyInstrumentSpec(const std::string& spec, instrument::Configuration& config);

// Download progress on standard error: a bar on a terminal, a line at every tenth otherwise.
instrument::ProgressReporter progressBar();

}  // namespace kelvane::cli
