// kelvane-cli: the library's command-line door for scripted production lines and engineers.
// The command line is read by CLI11; every command's problem is printed once, with one prefix,
// and a usage error adds the command's one usage line.
#include <CLI/CLI.hpp>

#include <iostream>
#include <string>
#include <vector>

#include "cli/commands.hpp"
#include "cli/session.hpp"
#include "cli/terminal_text.hpp"
#include "library/binders.hpp"
#include "library/process.hpp"
#include "registry/registry.hpp"
#include "runtime/text.hpp"

namespace {

using kelvane::cli::SessionOptions;

const char* kExitCodes =
    "Exit codes: 0 success, 1 the calculation or the instrument failed, 2 usage error,\n"
    "3 a parameter file or value was refused, 4 a question was not answered.";

const char* kInstrumentText =
    "the signal generator: lan:HOST[:PORT], serial:PORT|/dev/DEVICE[,BAUD], "
    "gpib:BOARD,PRIMARY[,SECONDARY], a VISA resource (TCPIP0::HOST::5025::SOCKET, "
    "GPIB0::19::INSTR, ASRL/dev/ttyUSB0::INSTR) or sim (the built-in simulator on loopback); "
    "default: the connection saved in defaults.mat (kelvane-cli config)";

const char* kFormatText =
    "files to write for each waveform, named after it: mornath (.bin: raw big-endian 16-bit "
    "I/Q), mat (.mat: samplePoints, sampleRate, wave, markers), sigmf (.sigmf-data/.sigmf-meta: "
    "16-bit I/Q, the markers as annotations), sigmf-cf32 (-cf32.sigmf-data/-meta: float I/Q)";

void addParameterOptions(CLI::App* cmd, SessionOptions& o) {
  cmd->add_option("--params", o.paramsFile,
                  "start from a parameter file (else the start-up parameters)")
      ->type_name("FILE.mat");
  cmd->add_option("--set", o.sets,
                  "change one parameter (repeatable), e.g. --set trafficChannelPackets=4; "
                  "'kelvane-cli params list' names them")
      ->type_name("FIELD=VALUE")
      ->expected(1)
      ->take_all();
}

void addFileOptions(CLI::App* cmd, SessionOptions& o) {
  cmd->add_option("--out", o.outDir, "folder for the files (default: the working folder)")
      ->type_name("DIR");
  cmd->add_option("--format", o.formats, kFormatText)
      ->type_name("LIST")
      ->delimiter(',')
      ->take_all()
      ->check(CLI::IsMember({"mornath", "mat", "sigmf", "sigmf-cf32"}));
}

void addInstrumentOption(CLI::App* cmd, SessionOptions& o) {
  cmd->add_option("--instrument", o.instrument, kInstrumentText)->type_name("ADDRESS");
}

void addOutputOptions(CLI::App* cmd, SessionOptions& o) {
  auto* json = cmd->add_flag("--json", o.json,
                             "print one JSON object on standard output: per waveform its name, "
                             "samples, duration, PAPR and files; status and message");
  cmd->add_flag("--quiet", o.quiet, "print nothing on standard output, show no progress")
      ->excludes(json);
}

// The option and command names of `cmd`, for "did you mean" hints.
std::vector<std::string> namesOf(const CLI::App* cmd) {
  std::vector<std::string> names;
  for (const CLI::Option* o : cmd->get_options())
    for (const auto& n : o->get_lnames())
      names.push_back("--" + n);
  for (const CLI::App* sub : cmd->get_subcommands({}))
    names.push_back(sub->get_name());
  return names;
}

std::string didYouMean(const std::string& word, const CLI::App* cmd) {
  const auto names = namesOf(cmd);
  const auto near = kelvane::runtime::nearestNames(word, names);
  std::string hint;
  for (std::size_t i = 0; i < near.size(); ++i)
    hint += (i == 0 ? "; did you mean " : " or ") + near[i];
  return near.empty() ? hint : hint + "?";
}

// The innermost command named on the command line (the program itself when none).
const CLI::App* commandOf(const CLI::App& app) {
  const CLI::App* cmd = &app;
  for (bool deeper = true; deeper;) {
    deeper = false;
    for (const CLI::App* sub : cmd->get_subcommands())
      if (sub->parsed()) {
        cmd = sub;
        deeper = true;
        break;
      }
  }
  return cmd;
}

std::string commandPath(const CLI::App* cmd) {
  std::string path;
  for (; cmd; cmd = cmd->get_parent())
    path = cmd->get_name() + (path.empty() ? "" : " " + path);
  return path;
}

// One line: the command and what it takes.
std::string usageLine(const CLI::App* cmd) {
  std::string line = "usage: " + commandPath(cmd);
  if (!cmd->get_subcommands({}).empty()) return line + " COMMAND ... (--help lists them)";
  for (const CLI::Option* o : cmd->get_options()) {
    if (o->nonpositional()) {
      const std::string name = "--" + o->get_lnames().front();
      if (name == "--help") continue;
      std::string type = o->get_type_name();
      type = type.substr(0, type.find(':'));  // without the list of choices
      line += " [" + name + (type.empty() ? "" : " " + type) + "]";
    } else {
      line += o->get_required() ? " " + o->get_name() : " [" + o->get_name() + " ...]";
    }
  }
  return line;
}

int usageError(const CLI::App& app, const CLI::ParseError& e) {
  const CLI::App* cmd = commandOf(app);
  std::string message = e.what();
  if (const auto* extras = dynamic_cast<const CLI::ExtrasError*>(&e)) {
    (void)extras;
    const auto& rest = cmd->remaining();
    const std::string first = rest.empty() ? std::string() : rest.front();
    if (!first.empty() && first[0] == '-')
      message = "unknown option " + first + didYouMean(first, cmd);
    else if (!first.empty())
      message = "unexpected argument '" + first + "'" + didYouMean(first, cmd);
  }
  kelvane::cli::printError(message);
  std::cerr << usageLine(cmd) << '\n';
  return kelvane::cli::kExitUsage;
}

}  // namespace

namespace kelvane::cli {

void printError(const std::string& message) {
  std::cerr << "kelvane-cli: " << terminalText(message) << '\n';
}

}  // namespace kelvane::cli

int main(int argc, char** argv) {
  using namespace kelvane::cli;
  kelvane::library::keepFreedMemoryForReuse();
  CLI::App app{
      "kelvane-cli computes the cdma2000 1xEV-DO forward-link test waveforms, downloads them into "
      "a vector signal generator's ARB memory and plays the sequence, as the desktop program "
      "does; it also reads and writes parameter files and calls the library by name.",
      "kelvane-cli"};
  app.set_version_flag("--version", "kelvane-cli " KELVANE_VERSION);
  app.require_subcommand(1);
  app.footer(kExitCodes);
  app.failure_message(CLI::FailureMessage::simple);

  SessionOptions options;
  CallOptions call;
  std::string file, scpi;
  std::vector<std::string> configSettings;
  bool listJson = false;

  auto* ops = app.add_subcommand("ops", "list the library's operations by name");
  ops->footer(
      "Every operation in registry order: name, maximum inputs, maximum outputs (-1 a variable "
      "list, -k up to k-1 fixed inputs then a list) and whether it is built: yes, no, or "
      "desktop for an operation of the windows and plots, which exists only in kelvane.");

  auto* callCmd = app.add_subcommand("call", "call an operation by name with JSON arguments");
  callCmd->allow_extras();  // NAME and the arguments, passed on as typed
  callCmd
      ->add_option("--nargout", call.nargout,
                   "number of outputs to request (default 1, or 0 for operations without)")
      ->type_name("N");
  callCmd->add_option("--mat", call.matFile, "write the outputs to FILE instead of printing them")
      ->type_name("FILE");
  callCmd->footer(
      "usage: kelvane-cli call NAME [ARG ...] [--nargout N] [--mat FILE]\n"
      "Each ARG is JSON: numbers, arrays (nested arrays are matrix rows), strings, objects for\n"
      "records, {\"re\": ..., \"im\": ...} for complex values; a bare word that is not JSON is\n"
      "taken as text. Outputs are printed as JSON, one line per output, or with --mat written\n"
      "as the variables out1, out2, ... of a MAT file (version 5). In JSON, what is not UTF-8\n"
      "in a text (a byte of an instrument reply in Latin-1) is printed as U+FFFD. An error\n"
      "prints its text on standard error, control characters as \\xHH; the exit code is 1.");

  auto* calc = app.add_subcommand(
      "calculate",
      "compute both waveforms and print their sample counts, durations and peak-to-average "
      "power ratios; write files");
  addParameterOptions(calc, options);
  addFileOptions(calc, options);
  addOutputOptions(calc, options);

  auto* down = app.add_subcommand(
      "download",
      "calculate, download both waveforms, build and play the sequence, as the main window's "
      "Download does (progress on standard error)");
  addParameterOptions(down, options);
  addFileOptions(down, options);
  addInstrumentOption(down, options);
  down->add_flag("--yes", options.yes,
                 "answer the flow's questions with their first choice (Yes, OK); without a "
                 "terminal, questions are otherwise not answered (exit code 4)");
  addOutputOptions(down, options);

  auto* refresh = app.add_subcommand(
      "refresh",
      "play the sequence already in the signal generator with the current settings; "
      "calculates and downloads nothing");
  addParameterOptions(refresh, options);
  addInstrumentOption(refresh, options);

  auto* params = app.add_subcommand("params", "list the parameters; show, save or check files");
  params->require_subcommand(1);
  auto* list = params->add_subcommand(
      "list", "every parameter with its unit, range or choices, start-up value and meaning");
  list->add_flag("--json", listJson, "as a JSON array");
  auto* show = params->add_subcommand("show", "print the parameters as JSON");
  addParameterOptions(show, options);
  auto* save = params->add_subcommand(
      "save",
      "write the parameters to a parameter file (.mat added when missing); values that "
      "check refuses are refused");
  save->add_option("FILE", file, "the parameter file")->required();
  addParameterOptions(save, options);
  auto* check = params->add_subcommand(
      "check",
      "read a parameter file as calculate --params does and list every field the signal chain "
      "cannot serve; exit code 0 when it can be calculated, 3 otherwise");
  check->add_option("FILE", file, "the parameter file")->required();

  auto* config = app.add_subcommand("config", "show or set the saved instrument connection");
  config->require_subcommand(1);
  config->add_subcommand(
      "show",
      "print the connection saved in defaults.mat in the working folder (the start-up "
      "connection when there is none) as JSON, with its VISA resource string");
  auto* set = config->add_subcommand(
      "set",
      "change fields (FIELD=VALUE) or the whole connection (an instrument address) and write "
      "defaults.mat; values outside the I/O dialog's ranges are refused");
  set->add_option("SETTING", configSettings,
                  "e.g. type=TCPIP TCPIP.address=192.168.0.5, GPIB.primary=19 or "
                  "TCPIP0::192.168.0.5::5025::SOCKET")
      ->required();
  set->footer(
      "A configuration file that cannot be read is kept as defaults.mat.damaged before it is "
      "replaced.");

  auto* idn = app.add_subcommand("idn", "print the signal generator's identification (*IDN?)");
  addInstrumentOption(idn, options);
  auto* query = app.add_subcommand("query", "send one SCPI query and print the reply");
  query->add_option("QUERY", scpi, "e.g. ':SOUR:FREQ?'")->required();
  addInstrumentOption(query, options);
  auto* send = app.add_subcommand(
      "send", "send one SCPI command; the instrument's error queue is read after it");
  send->add_option("COMMAND", scpi, "e.g. ':OUTP:STAT OFF'")->required();
  addInstrumentOption(send, options);

  PlotOptions plot;
  auto* plotCmd = app.add_subcommand(
      "plot",
      "compute the waveform as calculate does and write one plot of it (the samples as the "
      "14-bit DAC plays them) as PNG, SVG or PDF, without a display");
  plotCmd->add_option("KIND", plot.kind, "the plot")
      ->required()
      ->check(CLI::IsMember(
          {"spectrum", "waterfall", "ccdf", "iq", "iq-overlay", "eye", "scatter", "filter"}));
  addParameterOptions(plotCmd, options);
  plotCmd->add_option("--waveform", plot.waveform, "traffic (default) or control")
      ->check(CLI::IsMember({"traffic", "control"}));
  plotCmd->add_option("--out", plot.out, "the picture: FILE.png, FILE.svg or FILE.pdf")
      ->type_name("FILE")
      ->required();
  plotCmd->footer(
      "  spectrum     magnitude spectrum, dB below the peak over -fs/2 ... +fs/2\n"
      "  waterfall    the spectrum over time in 200 snapshots (3-D projection)\n"
      "  ccdf         CCDF of the power above average with the Gaussian noise reference\n"
      "  iq           I(t) and Q(t) in two axes; iq-overlay: in one\n"
      "  eye          eye diagram of I and Q, one chip a trace\n"
      "  scatter      constellation at the chip instants with the trajectory between them\n"
      "  filter       magnitude response of the baseband filter in use (freqz) against the\n"
      "               IS-95 mask: passband 0-590 kHz within +-1.5 dB, stopband from 740 kHz\n"
      "               at least 40 dB down; the title says whether the mask is met\n"
      "The plotting runs in the desktop program kelvane (found beside kelvane-cli, in the build\n"
      "tree or the install prefix; KELVANE_DESKTOP names another).");

  if (argc < 2) {
    std::cerr << app.help();
    return kExitUsage;
  }
  // An unknown command is named with the nearest ones before CLI11 calls it a stray argument.
  if (argc >= 2 && argv[1][0] != '-') {
    bool known = false;
    for (const CLI::App* sub : app.get_subcommands({}))
      known |= sub->check_name(argv[1]);
    if (!known) {
      printError(std::string("unknown command '") + argv[1] + "'" + didYouMean(argv[1], &app));
      std::cerr << usageLine(&app) << '\n';
      return kExitUsage;
    }
  }
  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp&) {
    std::cout << commandOf(app)->help();
    return kExitOk;
  } catch (const CLI::CallForVersion& e) {
    std::cout << e.what() << '\n';
    return kExitOk;
  } catch (const CLI::ParseError& e) {
    return usageError(app, e);
  }
  if (callCmd->parsed()) {
    call.words = callCmd->remaining();
    if (call.words.empty()) {
      printError("call needs the name of an operation");
      std::cerr << "usage: kelvane-cli call NAME [ARG ...] [--nargout N] [--mat FILE]\n";
      return kExitUsage;
    }
  }

  int code = kExitFailure;
  try {
    kelvane::library::initializeCore();
    // The one place this program installs its process-wide hooks: download progress on
    // standard error (not with --quiet or --json); the dialogs of by-name operations stay the
    // silent ones.
    kelvane::library::installProcessHooks(
        {.progress = options.quiet || options.json ? nullptr : progressBar()});
    if (ops->parsed()) code = commandOps();
    if (callCmd->parsed()) code = commandCall(call);
    if (calc->parsed()) code = commandCalculate(options);
    if (down->parsed()) code = commandDownload(options);
    if (refresh->parsed()) code = commandRefresh(options);
    if (list->parsed()) code = commandParamsList(listJson);
    if (show->parsed()) code = commandParamsShow(options);
    if (save->parsed()) code = commandParamsSave(file, options);
    if (check->parsed()) code = commandParamsCheck(file);
    if (config->get_subcommand("show")->parsed()) code = commandConfigShow();
    if (set->parsed()) code = commandConfigSet(configSettings);
    if (idn->parsed()) code = commandIdn(options);
    if (query->parsed()) code = commandQuery(scpi, options);
    if (send->parsed()) code = commandSend(scpi, options);
    if (plotCmd->parsed()) code = commandPlot(plot, options);
    kelvane::registry::terminate();
  } catch (const SessionError& e) {
    printError(e.what());
    code = e.exitCode();
  } catch (const std::exception& e) {
    printError(e.what());
    code = kExitFailure;
  }
  return code;
}
