#include "cli/session.hpp"

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <iostream>

#include "app/startup.hpp"
#include "cli/terminal_text.hpp"
#include "instrument/lan_address.hpp"
#include "instrument/transport.hpp"
#include "runtime/text.hpp"

namespace kelvane::cli {

namespace {

bool takesValue(const std::string& opt) {
  return opt == "--params" || opt == "--set" || opt == "--out" || opt == "--format" ||
         opt == "--instrument";
}

std::vector<std::string> splitList(const std::string& s, char sep) {
  std::vector<std::string> out;
  std::size_t start = 0;
  while (start <= s.size()) {
    const std::size_t end = s.find(sep, start);
    out.push_back(s.substr(start, end == std::string::npos ? std::string::npos : end - start));
    if (end == std::string::npos) break;
    start = end + 1;
  }
  return out;
}

double wholeNumber(const std::string& text, const std::string& what) {
  auto n = runtime::parseNumber(text);
  if (!n || *n != static_cast<double>(static_cast<long long>(*n)))
    throw SessionError("--instrument: " + what + " must be a whole number, not '" + text + "'",
                       kExitUsage);
  return *n;
}

}  // namespace

bool parseSessionOptions(const Arguments& args, const std::vector<std::string>& allowed,
                         SessionOptions& out) {
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a.rfind("--", 0) != 0) {
      out.positional.push_back(a);
      continue;
    }
    if (std::find(allowed.begin(), allowed.end(), a) == allowed.end()) {
      std::cerr << "kelvane-cli: unknown option " << a << '\n';
      return false;
    }
    if (a == "--yes") {
      out.yes = true;
      continue;
    }
    if (takesValue(a) && i + 1 >= args.size()) {
      std::cerr << "kelvane-cli: " << a << " needs a value\n";
      return false;
    }
    const std::string& v = args[++i];
    if (a == "--params")
      out.paramsFile = v;
    else if (a == "--set")
      out.sets.push_back(v);
    else if (a == "--out")
      out.outDir = v;
    else if (a == "--instrument")
      out.instrument = v;
    else if (a == "--format") {
      for (const auto& f : splitList(v, ',')) {
        if (f != "mornath" && f != "mat" && f != "sigmf" && f != "sigmf-cf32") {
          std::cerr << "kelvane-cli: --format takes mornath, mat, sigmf and sigmf-cf32, not '" << f
                    << "'\n";
          return false;
        }
        out.formats.push_back(f);
      }
    }
  }
  return true;
}

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
  const auto colon = spec.find(':');
  const std::string kind = spec.substr(0, colon);
  const std::string rest = colon == std::string::npos ? "" : spec.substr(colon + 1);
  if (kind == "lan") {
    if (rest.empty()) throw SessionError("--instrument lan:HOST[:PORT] needs a host", kExitUsage);
    // A bad address is refused here rather than at the first download.
    if (auto parsed = instrument::parseLanAddress(rest); !parsed.address)
      throw SessionError("--instrument lan:" + rest + ": " + parsed.error, kExitUsage);
    config.type = "TCPIP";
    config.TCPIP.address = rest;
  } else if (kind == "serial") {
    const auto parts = splitList(rest, ',');
    if (rest.empty() || parts.size() > 2)
      throw SessionError("--instrument serial:PORT[,BAUD] needs a port number", kExitUsage);
    config.type = "RS232";
    config.RS232.port = wholeNumber(parts[0], "the serial port");
    if (parts.size() == 2) config.RS232.baudrate = wholeNumber(parts[1], "the baud rate");
  } else if (kind == "gpib") {
    const auto parts = splitList(rest, ',');
    if (parts.size() < 2 || parts.size() > 3)
      throw SessionError("--instrument gpib:BOARD,PRIMARY[,SECONDARY] needs board and address",
                         kExitUsage);
    config.type = "GPIB";
    config.GPIB.board = wholeNumber(parts[0], "the GPIB board");
    config.GPIB.primary = wholeNumber(parts[1], "the GPIB primary address");
    config.GPIB.secondary = parts.size() == 3 ? wholeNumber(parts[2], "the secondary address") : -1;
  } else {
    throw SessionError(
        "--instrument takes lan:HOST[:PORT], serial:PORT[,BAUD], "
        "gpib:BOARD,PRIMARY[,SECONDARY] or sim, not '" +
            spec + "'",
        kExitUsage);
  }
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
