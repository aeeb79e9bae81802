// The production commands: calculate, download, refresh. They run exactly the flow the main
// window's three buttons run.
#include <chrono>
#include <cmath>
#include <filesystem>
#include <iostream>

#include "app/flow.hpp"
#include "app/validation.hpp"
#include "cli/commands.hpp"
#include "cli/session.hpp"
#include "cli/terminal_dialogs.hpp"
#include "cli/terminal_text.hpp"
#include "instrument/waveform_files.hpp"
#include "runtime/text.hpp"

namespace kelvane::cli {

namespace {

const char* kExitCodes =
    "Exit codes: 0 success, 1 the calculation or the instrument failed, 2 usage error,\n"
    "3 a parameter file or value was refused, 4 a question was not answered.\n";

const char* kParamHelp =
    "  --params FILE.mat   start from a parameter file (else the start-up parameters)\n"
    "  --set FIELD=VALUE   change one parameter (repeatable), e.g. --set trafficChannelPackets=4\n";

const char* kInstrumentHelp =
    "  --instrument SPEC   lan:HOST[:PORT] | serial:PORT[,BAUD] | gpib:BOARD,PRIMARY[,SECONDARY]\n"
    "                      | sim (the built-in simulator on loopback); default: the connection\n"
    "                      saved in defaults.mat (kelvane-cli config)\n"
    "  --yes               answer the flow's questions with their first choice (Yes, OK); without\n"
    "                      a terminal, questions are otherwise refused\n";

bool wantsHelp(const Arguments& args) {
  for (const auto& a : args)
    if (a == "--help" || a == "-h") return true;
  return false;
}

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

// Writes the chosen files of both waveforms into the output folder.
void writeFiles(const SessionOptions& options, const app::AppState& state) {
  if (options.formats.empty()) return;
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
  for (const One& one : both) {
    for (const auto& f : options.formats) {
      if (f == "mornath") {
        const auto path = dir / (one.name + ".bin");
        instrument::writeMornathWaveform(one.w.samples, path);
        std::printf("wrote %s\n", path.c_str());
      } else if (f == "mat") {
        const auto path = dir / (one.name + ".mat");
        instrument::saveSpecialWaveform(path, one.w.samples, state.sigGenSettings.SamplingRate);
        std::printf("wrote %s\n", path.c_str());
      } else if (f == "sigmf") {
        instrument::SigMFInfo info;
        info.sampleRate = state.sigGenSettings.SamplingRate;
        info.frequency = p.Frequency;
        info.channel = one.channel;
        info.drcValue = one.drc;
        info.packets = one.packets;
        info.pilotOffsetIndex = p.pilotOffsetIndex;
        const auto base = dir / one.name;
        instrument::saveSigMF(base, one.w.samples, info);
        std::printf("wrote %s.sigmf-data and .sigmf-meta\n", base.c_str());
      }
    }
  }
}

// Runs Calculate and prints its summary; returns an exit code.
int runCalculate(app::FlowContext& flow) {
  const auto t0 = std::chrono::steady_clock::now();
  try {
    app::calculate(flow);
  } catch (const app::ParameterError& e) {
    std::cerr << "kelvane-cli: the parameters cannot be calculated:\n"
              << terminalText(e.what()) << '\n';
    return kExitRefused;
  } catch (const std::exception& e) {
    std::cerr << "kelvane-cli: the calculation failed: " << terminalText(e.what()) << '\n';
    return kExitFailure;
  }
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  printSummary(flow.state, seconds);
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

}  // namespace

int commandCalculate(const Arguments& args) {
  if (wantsHelp(args)) {
    std::cout << "usage: kelvane-cli calculate [--params FILE.mat] [--set FIELD=VALUE ...]\n"
                 "                             [--out DIR] [--format mornath,mat,sigmf]\n"
                 "Computes the traffic and control waveforms and prints their sample counts,\n"
                 "durations and peak-to-average power ratios, and the time taken.\n"
              << kParamHelp
              << "  --out DIR           folder for the files (default: the working folder)\n"
                 "  --format LIST       files to write for each waveform, named after it:\n"
                 "                      mornath (.bin: raw big-endian 16-bit I/Q),\n"
                 "                      mat (.mat: samplePoints, sampleRate, wave),\n"
                 "                      sigmf (.sigmf-data/.sigmf-meta recording)\n"
              << kExitCodes;
    return kExitOk;
  }
  SessionOptions options;
  if (!parseSessionOptions(args, {"--params", "--set", "--out", "--format"}, options) ||
      !options.positional.empty()) {
    if (!options.positional.empty())
      std::cerr << "kelvane-cli calculate: unexpected argument " << options.positional[0] << '\n';
    return kExitUsage;
  }
  try {
    Session session(options);
    TerminalDialogs dialogs(false);
    app::FlowContext flow{session.state(), dialogs, {}};
    if (int rc = runCalculate(flow); rc != kExitOk) return rc;
    writeFiles(options, session.state());
    return kExitOk;
  } catch (const SessionError& e) {
    std::cerr << "kelvane-cli calculate: " << terminalText(e.what()) << '\n';
    return e.exitCode();
  } catch (const std::exception& e) {
    std::cerr << "kelvane-cli calculate: " << terminalText(e.what()) << '\n';
    return kExitFailure;
  }
}

int commandDownload(const Arguments& args) {
  if (wantsHelp(args)) {
    std::cout
        << "usage: kelvane-cli download [--params FILE.mat] [--set FIELD=VALUE ...]\n"
           "                            [--out DIR] [--format LIST] [--instrument SPEC] [--yes]\n"
           "Calculates both waveforms, downloads the traffic then the control waveform,\n"
           "builds the two-step sequence and plays it with the signal generator settings,\n"
           "exactly as the main window's Download does. Progress is shown on standard error.\n"
        << kParamHelp << kInstrumentHelp
        << "  --out, --format     also write files, as for calculate\n"
        << kExitCodes;
    return kExitOk;
  }
  SessionOptions options;
  if (!parseSessionOptions(
          args, {"--params", "--set", "--out", "--format", "--instrument", "--yes"}, options) ||
      !options.positional.empty()) {
    if (!options.positional.empty())
      std::cerr << "kelvane-cli download: unexpected argument " << options.positional[0] << '\n';
    return kExitUsage;
  }
  try {
    Session session(options);
    session.connectInstrument();
    TerminalDialogs dialogs(options.yes);
    app::FlowContext flow{session.state(), dialogs, {}};
    if (int rc = runCalculate(flow); rc != kExitOk) return rc;
    writeFiles(options, session.state());
    const app::DownloadOutcome outcome = app::download(flow);
    if (session.simulator()) printSimulatorHoldings(*session.simulator());
    if (!outcome.started) return kExitCancelled;
    if (!outcome.ok()) return kExitFailure;
    std::printf("download complete: %s and %s in sequence %s\n",
                session.state().parameters.trafficChannelWaveformName.c_str(),
                session.state().parameters.controlChannelWaveformName.c_str(),
                session.state().parameters.sequenceFileName.c_str());
    return kExitOk;
  } catch (const SessionError& e) {
    std::cerr << "kelvane-cli download: " << terminalText(e.what()) << '\n';
    return e.exitCode();
  } catch (const std::exception& e) {
    std::cerr << "kelvane-cli download: " << terminalText(e.what()) << '\n';
    return kExitFailure;
  }
}

int commandRefresh(const Arguments& args) {
  if (wantsHelp(args)) {
    std::cout
        << "usage: kelvane-cli refresh [--params FILE.mat] [--set FIELD=VALUE ...]\n"
           "                           [--instrument SPEC]\n"
           "Plays the sequence already in the signal generator (parameters.sequenceFileName)\n"
           "with the current signal generator settings; calculates and downloads nothing.\n"
        << kParamHelp << kInstrumentHelp << kExitCodes;
    return kExitOk;
  }
  SessionOptions options;
  if (!parseSessionOptions(args, {"--params", "--set", "--instrument"}, options) ||
      !options.positional.empty())
    return kExitUsage;
  try {
    Session session(options);
    session.connectInstrument();
    TerminalDialogs dialogs(false);
    app::FlowContext flow{session.state(), dialogs, {}};
    const instrument::Status s = app::refresh(flow);
    if (session.simulator()) printSimulatorHoldings(*session.simulator());
    if (!s.ok()) return kExitFailure;
    std::printf("sequence %s playing\n", session.state().parameters.sequenceFileName.c_str());
    return kExitOk;
  } catch (const SessionError& e) {
    std::cerr << "kelvane-cli refresh: " << terminalText(e.what()) << '\n';
    return e.exitCode();
  } catch (const std::exception& e) {
    std::cerr << "kelvane-cli refresh: " << terminalText(e.what()) << '\n';
    return kExitFailure;
  }
}

}  // namespace kelvane::cli
