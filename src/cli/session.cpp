#include "cli/session.hpp"

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <iostream>

#include "app/startup.hpp"
#include "cli/terminal_text.hpp"
#include "instrument/instrument_address.hpp"
#include "instrument/transport.hpp"
#include "runtime/text.hpp"

namespace kelvane::cli {

void setFieldFromText(runtime::Value& record, const std::string& name, const std::string& text,
                      const std::string& recordName) {
  const auto dot = name.find('.');
  const std::string head = name.substr(0, dot);
  if (!record.isRecord() || !record.hasField(head))
    throw SessionError(recordName + " has no field '" + name + "'", kExitRefused);
  runtime::Value& field = record.field(head);
  if (dot != std::string::npos) {
    setFieldFromText(field, name.substr(dot + 1), text, recordName + "." + head);
    return;
  }
  if (field.isRecord())
    throw SessionError(recordName + "." + name + " is a record: name one of its fields",
                       kExitRefused);
  if (field.isText()) {
    field = runtime::Value::text(text);
    return;
  }
  if (field.isNumeric() || field.kind() == runtime::Kind::Empty) {
    auto n = runtime::parseNumber(text);
    if (!n) {
      if (field.kind() == runtime::Kind::Empty) {
        field = runtime::Value::text(text);  // an empty field takes text as text
        return;
      }
      throw SessionError(recordName + "." + name + " takes a number, not '" + text + "'",
                         kExitRefused);
    }
    field = field.numClass() == runtime::NumClass::Int32
                ? runtime::Value::scalar(*n).withNumClass(runtime::NumClass::Int32)
                : runtime::Value::scalar(*n);
    return;
  }
  throw SessionError(recordName + "." + name + " cannot be set from the command line",
                     kExitRefused);
}

void applyInstrumentSpec(const std::string& spec, instrument::Configuration& config) {
  if (auto problem = instrument::applyInstrumentAddress(spec, config))
    throw SessionError("--instrument " + spec + ": " + *problem, kExitUsage);
  // Out-of-range numbers are refused here rather than at the first download.
  if (const auto problems = instrument::configurationProblems(config); !problems.empty())
    throw SessionError("--instrument " + spec + ": " + problems.front(), kExitUsage);
}

Session::Session(const SessionOptions& options) : options_(options), state_(&app::currentState()) {
  try {
    const app::StartUpReport report =
        app::startUp(*state_, {.parameterFile = options.paramsFile, .settings = options.sets});
    for (const auto& w : report.warnings)
      std::cerr << "kelvane-cli: " << terminalText(w) << '\n';
  } catch (const app::StartUpError& e) {
    throw SessionError(e.what(),
                       e.kind() == app::StartUpError::Kind::Usage ? kExitUsage : kExitRefused);
  }
}

Session::~Session() {
  if (simulator_) simulator_->stop();
}

void Session::connectInstrument() {
  if (options_.instrument.empty()) return;  // the configuration file's connection
  if (options_.instrument == "sim") {
    simulator_ = std::make_unique<simulator::Simulator>();
    simulator_->start();
    state_->configuration.type = "TCPIP";
    state_->configuration.TCPIP.address = "127.0.0.1:" + std::to_string(simulator_->port());
    std::cerr << "kelvane-cli: built-in simulator listening on "
              << state_->configuration.TCPIP.address << '\n';
    return;
  }
  applyInstrumentSpec(options_.instrument, state_->configuration);
}

// ---- progress ---------------------------------------------------------------------------------

instrument::ProgressReporter progressBar() {
  const bool tty = ::isatty(STDERR_FILENO) == 1;
  auto lastTenth = std::make_shared<int>(-1);
  return [tty, lastTenth](const instrument::DownloadProgress& p) {
    const double frac = p.bytesTotal ? static_cast<double>(p.bytesSent) / p.bytesTotal : 1.0;
    const double mb = 1e-6;
    if (tty) {
      const int width = 30;
      const int filled = static_cast<int>(std::lround(frac * width));
      std::fprintf(stderr, "\r%-24.24s [%s%s] %3d%% %7.1f / %.1f MB",
                   std::string(p.waveformName).c_str(),
                   std::string(static_cast<std::size_t>(filled), '#').c_str(),
                   std::string(static_cast<std::size_t>(width - filled), ' ').c_str(),
                   static_cast<int>(std::lround(frac * 100)), p.bytesSent * mb, p.bytesTotal * mb);
      if (p.bytesSent >= p.bytesTotal) std::fputc('\n', stderr);
      std::fflush(stderr);
      return;
    }
    const int tenth = static_cast<int>(frac * 10);
    if (p.bytesSent == 0) *lastTenth = -1;
    if (tenth != *lastTenth) {
      *lastTenth = tenth;
      std::fprintf(stderr, "%s: %d%% of %.1f MB\n", std::string(p.waveformName).c_str(), tenth * 10,
                   p.bytesTotal * mb);
    }
  };
}

}  // namespace kelvane::cli
