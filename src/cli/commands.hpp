// kelvane-cli's commands, each with its options already read (main.cpp reads the command line).
// Each returns the process exit code; a command may also throw SessionError (with its code) or
// any other exception (exit code 1), which main prints once with the program's prefix.
#pragma once

#include <string>
#include <vector>

namespace kelvane::cli {

// Exit codes, as the README lists them.
inline constexpr int kExitOk = 0;
inline constexpr int kExitFailure = 1;    // the calculation or the instrument failed
inline constexpr int kExitUsage = 2;      // a usage error
inline constexpr int kExitRefused = 3;    // a parameter file or value was refused
inline constexpr int kExitCancelled = 4;  // a question was not answered, so nothing was done

struct SessionOptions {
  std::string paramsFile;            // --params FILE.mat
  std::vector<std::string> sets;     // --set FIELD=VALUE, in order
  std::string outDir = ".";          // --out DIR
  std::vector<std::string> formats;  // --format mornath,mat,sigmf,sigmf-cf32
  std::string instrument;            // --instrument ...
  bool yes = false;                  // --yes
  bool json = false;                 // --json: one JSON object on standard output
  bool quiet = false;                // --quiet: nothing on standard output, no progress
};

struct CallOptions {
  std::vector<std::string> words;  // NAME and the JSON arguments, as typed
  int nargout = -1;                // -1: one output, or none for an operation without
  std::string matFile;
};

int commandOps();
int commandCall(const CallOptions& call);
int commandCalculate(const SessionOptions& options);
int commandDownload(const SessionOptions& options);
int commandRefresh(const SessionOptions& options);
int commandParamsList(bool json);
int commandParamsShow(const SessionOptions& options);
int commandParamsSave(const std::string& file, const SessionOptions& options);
int commandParamsCheck(const std::string& file);
int commandConfigShow();
int commandConfigSet(const std::vector<std::string>& settings);
// Talking to the instrument: *IDN?, one query, one command, each followed by the error queue.
int commandIdn(const SessionOptions& options);
int commandQuery(const std::string& query, const SessionOptions& options);
int commandSend(const std::string& command, const SessionOptions& options);

// One plot of the calculated waveform written to a file by the desktop program, which this
// program runs (it links no Qt itself).
struct PlotOptions {
  std::string kind;                  // spectrum, waterfall, ccdf, iq, iq-overlay, eye, scatter,
                                     // filter
  std::string out;                   // --out FILE.png|.svg|.pdf
  std::string waveform = "traffic";  // --waveform traffic|control
};
int commandPlot(const PlotOptions& plot, const SessionOptions& options);

// The message of a failed command on standard error, once, with the program's prefix.
void printError(const std::string& message);

}  // namespace kelvane::cli
