// The production commands: calculate, download, refresh. They run exactly the flow the main
// window's three buttons run.
#include <strings.h>

#include <array>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <iostream>

#include "app/flow.hpp"
#include "app/validation.hpp"
#include "cli/commands.hpp"
#include "cli/json_value.hpp"
#include "cli/session.hpp"
#include "cli/terminal_dialogs.hpp"
#include "cli/terminal_text.hpp"
#include "instrument/download.hpp"
#include "instrument/io.hpp"
#include "instrument/waveform_files.hpp"
#include "runtime/text.hpp"

namespace kelvane::cli {

namespace {

struct Summary {
  std::size_t samples = 0;
  double seconds = 0;
  double paprDb = 0;
};

Summary summarize(const synthesis::Waveform& w, double sampleRate) {
  Summary s;
  s.samples = w.samples.size();
  s.seconds = sampleRate > 0 ? static_cast<double>(s.samples) / sampleRate : 0;
  // The peak and mean power the synthesis gathered as it produced the samples.
  const synthesis::SampleSummary power = w.sampleSummary();
  const double mean = s.samples ? power.sumPower / static_cast<double>(s.samples) : 0;
  s.paprDb = mean > 0 ? 10 * std::log10(power.peakPower / mean) : 0;
  return s;
}

void printSummary(const app::AppState& state, double seconds) {
  const double rate = state.sigGenSettings.SamplingRate;
  auto line = [&](const char* what, const std::string& name, const synthesis::Waveform& w) {
    const Summary s = summarize(w, rate);
    std::printf("%-8s %-24s %10zu samples  %9.3f ms  PAPR %5.2f dB\n", what, name.c_str(),
                s.samples, s.seconds * 1e3, s.paprDb);
  };
  line("traffic", state.parameters.trafficChannelWaveformName, state.traffic);
  line("control", state.parameters.controlChannelWaveformName, state.control);
  std::printf("sample rate %s Hz, calculated in %.1f ms\n", runtime::numToText(rate).c_str(),
              seconds * 1e3);
}

// Writes the chosen files of both waveforms into the output folder; returns the files written
// for the traffic and the control waveform.
std::array<std::vector<std::string>, 2> writeFiles(const SessionOptions& options,
                                                   const app::AppState& state) {
  std::array<std::vector<std::string>, 2> written;
  if (options.formats.empty()) return written;
  const std::filesystem::path dir = options.outDir;
  std::error_code ec;
  std::filesystem::create_directories(dir, ec);
  if (ec) throw std::runtime_error("cannot create " + dir.string() + ": " + ec.message());
  const app::Parameters& p = state.parameters;
  struct One {
    const char* channel;
    const std::string& name;
    const synthesis::Waveform& w;
    double drc;
    double packets;
  };
  const One both[] = {
      {"traffic", p.trafficChannelWaveformName, state.traffic, p.trafficChannelDRCValue,
       p.trafficChannelPackets},
      {"control", p.controlChannelWaveformName, state.control, p.controlChannelDRCValue, 1}};
  for (std::size_t k = 0; k < 2; ++k) {
    const One& one = both[k];
    for (const auto& f : options.formats) {
      if (f == "mornath") {
        const auto path = dir / (one.name + ".bin");
        instrument::writeMornathWaveform(one.w.samples, path);
        written[k].push_back(path.string());
      } else if (f == "mat") {
        const auto path = dir / (one.name + ".mat");
        instrument::saveSpecialWaveform(path, one.w.samples, state.sigGenSettings.SamplingRate,
                                        one.w.markers);
        written[k].push_back(path.string());
      } else if (f == "sigmf" || f == "sigmf-cf32") {
        instrument::SigMFInfo info;
        info.sampleRate = state.sigGenSettings.SamplingRate;
        info.frequency = p.Frequency;
        info.channel = one.channel;
        info.drcValue = one.drc;
        info.packets = one.packets;
        info.pilotOffsetIndex = p.pilotOffsetIndex;
        const auto base = dir / (f == "sigmf" ? one.name : one.name + "-cf32");
        instrument::saveSigMF(
            base, one.w.samples, one.w.markers, info,
            f == "sigmf" ? instrument::SigMFSamples::Ci16 : instrument::SigMFSamples::Cf32);
        written[k].push_back(base.string() + ".sigmf-data");
        written[k].push_back(base.string() + ".sigmf-meta");
      }
    }
  }
  if (!options.json && !options.quiet)
    for (const auto& files : written)
      for (const auto& f : files)
        std::printf("wrote %s\n", f.c_str());
  return written;
}

// The --json report of calculate and download: printed once, whatever way the command ends.
class JsonReport {
 public:
  explicit JsonReport(const SessionOptions& options) : enabled_(options.json) {}
  ~JsonReport() {
    if (!enabled_) return;
    report_["status"] = status_;
    report_["message"] = message_;
    std::cout << jsonText(report_, 2) << '\n';
  }
  void waveforms(const app::AppState& state, const std::array<std::vector<std::string>, 2>& files) {
    const double rate = state.sigGenSettings.SamplingRate;
    report_["sampleRate"] = rate;
    Json list = Json::array();
    const synthesis::Waveform* w[2] = {&state.traffic, &state.control};
    const std::string* names[2] = {&state.parameters.trafficChannelWaveformName,
                                   &state.parameters.controlChannelWaveformName};
    for (std::size_t k = 0; k < 2; ++k) {
      const Summary s = summarize(*w[k], rate);
      list.push_back({{"channel", k == 0 ? "traffic" : "control"},
                      {"name", *names[k]},
                      {"samples", s.samples},
                      {"duration_s", s.seconds},
                      {"papr_db", s.paprDb},
                      {"files", files[k]}});
    }
    report_["waveforms"] = std::move(list);
  }
  void instrument(const std::string& identification) { report_["instrument"] = identification; }
  void end(int status, const std::string& message) {
    status_ = status;
    message_ = message;
  }

 private:
  bool enabled_;
  Json report_ = Json::object();
  int status_ = kExitFailure;
  std::string message_ = "failed";
};

// Runs Calculate and prints its summary; returns an exit code.
int runCalculate(app::FlowContext& flow, const SessionOptions& options, JsonReport& report) {
  const auto t0 = std::chrono::steady_clock::now();
  try {
    app::calculate(flow);
  } catch (const app::ParameterError& e) {
    printError(std::string("the parameters cannot be calculated:\n") + e.what());
    report.end(kExitRefused, e.what());
    return kExitRefused;
  } catch (const std::exception& e) {
    printError(std::string("the calculation failed: ") + e.what());
    report.end(kExitFailure, e.what());
    return kExitFailure;
  }
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  if (!options.json && !options.quiet) printSummary(flow.state, seconds);
  std::fflush(stdout);  // before the progress lines on standard error
  return kExitOk;
}

// What the built-in simulator holds after a download: its waveforms, the sequence and settings.
void printSimulatorHoldings(const simulator::Simulator& sim) {
  const auto st = sim.state();
  std::printf("\nThe simulated signal generator now holds:\n");
  if (st.contains("files") && st["files"].contains("WFM1"))
    for (const auto& [name, f] : st["files"]["WFM1"].items())
      std::printf("  waveform %-24s %10llu samples\n", name.c_str(),
                  static_cast<unsigned long long>(f.value("samples", 0)));
  if (st.contains("sequences"))
    for (const auto& [name, elements] : st["sequences"].items()) {
      std::printf("  sequence %s:", name.c_str());
      for (const auto& e : elements)
        std::printf(" %s x%s", e.value("waveform", std::string()).c_str(),
                    e.contains("repetitions") ? e["repetitions"].dump().c_str() : "?");
      std::printf("\n");
    }
  if (st.contains("selected") && !st["selected"].is_null())
    std::printf("  playing  %s %s\n", st["selected"].value("kind", std::string()).c_str(),
                st["selected"].value("name", std::string()).c_str());
  if (st.contains("settings")) {
    const auto& s = st["settings"];
    auto number = [&](const char* key) {
      return s.contains(key) && s[key].is_number() ? runtime::numToText(s[key].get<double>())
                                                   : std::string("?");
    };
    std::printf("  frequency %s Hz, power %s dBm, sample clock %s Hz\n",
                number("frequencyHz").c_str(), number("powerDbm").c_str(),
                number("sampleClockHz").c_str());
  }
  if (st.contains("states")) std::printf("  states %s\n", st["states"].dump().c_str());
}

// The signal generator's identification, asked before anything is sent; "" when it does not
// answer (the flow then reports the connection's failure in its own boxes).
std::string identify(const app::AppState& state, const SessionOptions& options) {
  const instrument::Status s = instrument::hwQuery(state.configuration, "*IDN?");
  if (!s.ok()) {
    printError("the signal generator did not identify itself: " + s.message);
    return {};
  }
  if (!options.json && !options.quiet) {
    std::printf("signal generator: %s\n", terminalText(s.message).c_str());
    std::fflush(stdout);  // before the progress lines on standard error
  }
  return s.message;
}

// Over RS-232 the flow asks before each waveform when it takes more than 45 s; the command asks
// once for the whole download, with its time in minutes and seconds, and answers the flow's
// questions with that answer. Returns false when the download is not to go on.
bool serialTimeAccepted(const app::AppState& state, TerminalDialogs& dialogs) {
  const instrument::Configuration& c = state.configuration;
  if (::strcasecmp(c.type.c_str(), "rs232") != 0) return true;
  const double traffic =
      instrument::serialDownloadMinutes(state.traffic.samples.size(), c.RS232.baudrate);
  const double control =
      instrument::serialDownloadMinutes(state.control.samples.size(), c.RS232.baudrate);
  if (traffic <= 0.75 && control <= 0.75) return true;
  const long total = std::lround((traffic + control) * 60);
  const std::string answer =
      dialogs.question("This download (both waveforms at " + runtime::numToText(c.RS232.baudrate) +
                           " bit/s) will take approximately " + std::to_string(total / 60) +
                           " min " + std::to_string(total % 60) + " s. Do you want to continue?",
                       "RS-232 Download", {"OK", "Cancel"}, "Cancel");
  if (answer != "OK") return false;
  dialogs.answerLater("RS-232 Download", "OK");
  return true;
}

}  // namespace

int commandCalculate(const SessionOptions& options) {
  JsonReport report(options);
  try {
    Session session(options);
    TerminalDialogs dialogs(false);
    app::FlowContext flow{session.state(), dialogs, {}};
    if (int rc = runCalculate(flow, options, report); rc != kExitOk) return rc;
    report.waveforms(session.state(), writeFiles(options, session.state()));
    report.end(kExitOk, "calculated");
    return kExitOk;
  } catch (const SessionError& e) {
    report.end(e.exitCode(), e.what());
    throw;
  } catch (const std::exception& e) {
    report.end(kExitFailure, e.what());
    throw;
  }
}

int commandDownload(const SessionOptions& options) {
  JsonReport report(options);
  try {
    Session session(options);
    session.connectInstrument();
    TerminalDialogs dialogs(options.yes);
    dialogs.setQuiet(options.quiet);
    app::FlowContext flow{session.state(), dialogs, {}};
    if (int rc = runCalculate(flow, options, report); rc != kExitOk) return rc;
    report.waveforms(session.state(), writeFiles(options, session.state()));
    // Asked before the instrument is opened: a refused download leaves the port untouched.
    if (!serialTimeAccepted(session.state(), dialogs)) {
      printError("download cancelled: nothing was sent");
      report.end(kExitCancelled, "download cancelled");
      return kExitCancelled;
    }
    report.instrument(identify(session.state(), options));
    const app::DownloadOutcome outcome = app::download(flow);
    if (session.simulator() && !options.json && !options.quiet)
      printSimulatorHoldings(*session.simulator());
    if (!outcome.started || dialogs.refused() > 0) {
      report.end(kExitCancelled, "a question was not answered; nothing was downloaded");
      return kExitCancelled;
    }
    if (!outcome.ok()) {
      report.end(kExitFailure,
                 dialogs.lastError().empty() ? "download failed" : dialogs.lastError());
      return kExitFailure;
    }
    const app::Parameters& p = session.state().parameters;
    const std::string done = "download complete: " + p.trafficChannelWaveformName + " and " +
                             p.controlChannelWaveformName + " in sequence " + p.sequenceFileName;
    if (!options.json && !options.quiet) std::printf("%s\n", done.c_str());
    report.end(kExitOk, done);
    return kExitOk;
  } catch (const SessionError& e) {
    report.end(e.exitCode(), e.what());
    throw;
  } catch (const std::exception& e) {
    report.end(kExitFailure, e.what());
    throw;
  }
}

int commandRefresh(const SessionOptions& options) {
  Session session(options);
  session.connectInstrument();
  TerminalDialogs dialogs(false);
  app::FlowContext flow{session.state(), dialogs, {}};
  const instrument::Status s = app::refresh(flow);
  if (session.simulator()) printSimulatorHoldings(*session.simulator());
  if (!s.ok()) return kExitFailure;
  std::printf("sequence %s playing\n", session.state().parameters.sequenceFileName.c_str());
  return kExitOk;
}

}  // namespace kelvane::cli
