// `kelvane-cli idn`, `query` and `send`: the signal generator from scripts, through the same
// transport and connection as downloads, with the error queue read after each as downloads do.
#include <cstdio>
#include <string>

#include "cli/commands.hpp"
#include "cli/session.hpp"
#include "cli/terminal_text.hpp"
#include "instrument/io.hpp"

namespace kelvane::cli {

namespace {

// Reads :SYST:ERR? until it answers 0 (at most 32 entries); returns the errors, one a line.
std::string errorQueue(const instrument::Configuration& config) {
  std::string errors;
  for (int i = 0; i < 32; ++i) {
    const instrument::Status s = instrument::hwQuery(config, ":SYST:ERR?");
    if (!s.ok()) return errors + (errors.empty() ? "" : "\n") + s.message;
    const std::string& reply = s.message;
    if (reply.rfind("0", 0) == 0 || reply.rfind("+0", 0) == 0) break;
    errors += (errors.empty() ? "" : "\n") + reply;
  }
  return errors;
}

// Asks `text` and prints the reply; exit code 1 when it fails or the instrument reports errors.
int ask(const std::string& text, const SessionOptions& options) {
  Session session(options);
  session.connectInstrument();
  const instrument::Configuration& config = session.state().configuration;
  const instrument::Status s = instrument::hwQuery(config, text);
  if (!s.ok()) {
    printError(s.message);
    return kExitFailure;
  }
  std::printf("%s\n", terminalText(s.message).c_str());
  if (const std::string errors = errorQueue(config); !errors.empty()) {
    printError("the signal generator reported after " + text + ":\n" + errors);
    return kExitFailure;
  }
  return kExitOk;
}

}  // namespace

int commandIdn(const SessionOptions& options) {
  return ask("*IDN?", options);
}

int commandQuery(const std::string& query, const SessionOptions& options) {
  if (query.find('?') == std::string::npos)
    throw SessionError("query: '" + query + "' is not a query (no '?'); use send", kExitUsage);
  return ask(query, options);
}

int commandSend(const std::string& command, const SessionOptions& options) {
  Session session(options);
  session.connectInstrument();
  // hwSend reads the error queue after the command and reports what it holds.
  const instrument::Status s = instrument::hwSend(session.state().configuration, command);
  if (!s.ok()) {
    printError(s.message);
    return kExitFailure;
  }
  return kExitOk;
}

}  // namespace kelvane::cli
