#include "instrument/playback.hpp"

#include <array>
#include <cstdint>
#include <limits>
#include <optional>
#include <string_view>
#include <utility>

#include "instrument/io.hpp"
#include "instrument/transport.hpp"
#include "runtime/numbers.hpp"
#include "runtime/text.hpp"

namespace kelvane::instrument {

using runtime::FormatArg;
using runtime::numToText;
using runtime::sprintfText;

namespace {

// The SCPI words of each choice.
std::string scpiText(BasebandFilter f) {
  switch (f) {
    case BasebandFilter::Filter2_1MHz:
      return "2.1MHz";
    case BasebandFilter::Filter40MHz:
      return "40MHz";
    case BasebandFilter::Through:
      break;
  }
  return "Through";
}

std::string scpiText(ReconstructionFilter f) {
  switch (f) {
    case ReconstructionFilter::Filter250kHz:
      return "250.0khz";
    case ReconstructionFilter::Filter2_5MHz:
      return "2.5Mhz";
    case ReconstructionFilter::Filter8MHz:
      return "8Mhz";
    case ReconstructionFilter::Through:
      break;
  }
  return "through";
}

std::string scpiText(MarkerPolarity p) {
  return p == MarkerPolarity::Positive ? "Pos" : "Neg";
}
std::string scpiText(ArbReference r) {
  return r == ArbReference::Internal ? "int" : "ext";
}
std::string onOff(bool on) {
  return on ? "on" : "off";
}

// The three play lists, in the order of the table's columns: VelPlayWaveformSequence_c,
// VelPlay_c and VelPlay.
enum class PlayList { Sequence, WaveformC, Waveform };

// How a list sends a command of the table: not at all, as it stands, or after one blank.
enum class Form { Skip, Plain, Blank };
using enum Form;

// What the commands are made of: the sequence or waveform name, the record's numbers and its
// typed choices.
struct PlayInput {
  const std::string& name;
  const SigGenSettings& numbers;
  SigGenChoices choices;
};

// What a command does for the safe end of a play: sets the carrier (frequency or level),
// switches the output on (modulation or RF), or anything else.
enum class Role { Setting, Carrier, OutputOn };

// One command: its fixed text, the argument that follows (none for a fixed command), its form
// in each list (Sequence, WaveformC, Waveform) and its role.
struct PlayRow {
  std::string_view command;
  std::string (*argument)(const PlayInput&);
  std::array<Form, 3> forms;
  Role role = Role::Setting;
};

// Every play command in the order the lists send them.
constexpr std::array<PlayRow, 18> kPlayTable = {{
    {":source:rad:arb:state off", nullptr, {Plain, Blank, Blank}},
    {":source:rad:arb:wav ",
     [](const PlayInput& p) {
       const std::array<FormatArg, 1> name = {p.name};
       return sprintfText("\"SEQ:%s\"", name);
     },
     {Plain, Skip, Skip}},
    {":source:rad:arb:wav ",
     [](const PlayInput& p) { return "\"arbi:" + p.name + "\" "; },
     {Skip, Blank, Blank}},
    {":source:freq:fix ",
     [](const PlayInput& p) { return numToText(p.numbers.Frequency) + "Hz"; },
     {Plain, Blank, Blank},
     Role::Carrier},
    {":source:power:level:immediate:amplitude ",
     [](const PlayInput& p) { return numToText(p.numbers.Amplitude) + "dbm"; },
     {Plain, Blank, Blank},
     Role::Carrier},
    {":source:rad:arb:clock:srate ",
     [](const PlayInput& p) { return numToText(p.numbers.SamplingRate) + "Hz"; },
     {Plain, Blank, Blank}},
    {":source:dm:bbfilter ",
     [](const PlayInput& p) { return scpiText(p.choices.basebandFilter); },
     {Plain, Blank, Skip}},
    {":source:rad:arb:rfilter ",
     [](const PlayInput& p) { return scpiText(p.choices.reconstructionFilter); },
     {Skip, Skip, Blank}},
    {":source:rad:ARB:rscaling ",
     [](const PlayInput& p) { return numToText(p.numbers.Scaling); },
     {Plain, Blank, Skip}},
    {":source:DM:IQAT:AUTO off", nullptr, {Plain, Plain, Skip}},
    {":source:DM:IQAT ",
     [](const PlayInput& p) { return numToText(p.numbers.ModAtten); },
     {Plain, Plain, Skip}},
    {":pow:alc:state ",
     [](const PlayInput& p) { return onOff(p.choices.alc); },
     {Plain, Blank, Skip}},
    {":source:rad:arb:marker:rfblank ",
     [](const PlayInput& p) { return onOff(p.choices.rfBlanking); },
     {Plain, Blank, Blank}},
    {":source:rad:arb:marker:polarity ",
     [](const PlayInput& p) { return scpiText(p.choices.markerPolarity); },
     {Plain, Blank, Blank}},
    {":source:rad:arb:clock:ref ",
     [](const PlayInput& p) { return scpiText(p.choices.arbReference); },
     {Plain, Blank, Blank}},
    {":source:rad:arb:state on", nullptr, {Plain, Blank, Blank}},
    {":output:mod on", nullptr, {Plain, Skip, Skip}, Role::OutputOn},
    {":output:state on", nullptr, {Plain, Blank, Blank}, Role::OutputOn},
}};

struct PlayCommand {
  std::string text;
  Role role;
  bool blank;  // sent after one blank
};

// The commands `list` sends for `name` with `settings`, with their roles.
std::vector<PlayCommand> playEntries(PlayList list, const std::string& name,
                                     const SigGenSettings& settings) {
  const PlayInput input{name, settings, sigGenChoices(settings)};
  std::vector<PlayCommand> commands;
  for (const PlayRow& row : kPlayTable) {
    const Form form = row.forms[static_cast<std::size_t>(list)];
    if (form == Skip) continue;
    std::string text = form == Blank ? " " : "";
    text += row.command;
    if (row.argument) text += row.argument(input);
    commands.push_back({std::move(text), row.role, form == Blank});
  }
  return commands;
}

std::vector<std::string> playList(PlayList list, const std::string& name,
                                  const SigGenSettings& settings) {
  std::vector<std::string> texts;
  for (auto& c : playEntries(list, name, settings)) texts.push_back(std::move(c.text));
  return texts;
}

// Sends one command, keeping the first failure, which names its command.
bool sendOne(const std::string& command, const Configuration& config, Status& last,
             std::optional<Status>& firstFailure) {
  last = hwSend(config, command);
  if (!last.ok() && !firstFailure)
    firstFailure = Status{last.code, "The command \"" + command + "\" failed: " + last.message};
  return last.ok();
}

// Sends every command; the first failure wins, naming its command.
Status sendAll(const std::vector<std::string>& commands, const Configuration& config) {
  Status last;
  std::optional<Status> firstFailure;
  for (const auto& c : commands) sendOne(c, config, last, firstFailure);
  hwReturnLocal(config);
  return firstFailure ? *firstFailure : last;
}

// Sends a play list. When the instrument refused the frequency or the level, the RF output
// must not come on at whatever carrier it had before, into the terminal under test: every
// output-on command is replaced by switching the RF output off. All other commands still go
// out, and the first failure is reported.
Status sendPlay(const std::vector<PlayCommand>& commands, const Configuration& config) {
  Status last;
  std::optional<Status> firstFailure;
  bool carrierRefused = false;
  for (const auto& c : commands) {
    if (c.role == Role::OutputOn && carrierRefused) {
      sendOne(c.blank ? " :output:state off" : ":output:state off", config, last, firstFailure);
      continue;
    }
    const bool ok = sendOne(c.text, config, last, firstFailure);
    if (c.role == Role::Carrier && !ok) carrierRefused = true;
  }
  hwReturnLocal(config);
  return firstFailure ? *firstFailure : last;
}

// The first repetition count or marker of `elements` that the sequence command cannot print
// with %i (a whole number a 32-bit integer holds), as a message, or nothing.
std::optional<std::string> badSequenceNumber(std::span<const SequenceElement> elements) {
  constexpr double lo = std::numeric_limits<std::int32_t>::min();
  constexpr double hi = std::numeric_limits<std::int32_t>::max();
  for (std::size_t i = 0; i < elements.size(); ++i) {
    const SequenceElement& e = elements[i];
    const std::array<std::pair<double, const char*>, 3> numbers = {
        {{e.repetitions, "the repetitions"}, {e.marker1, "marker 1"}, {e.marker2, "marker 2"}}};
    for (const auto& [x, what] : numbers) {
      if (runtime::isWholeIn(x, lo, hi)) continue;
      return "Sequence element " + std::to_string(i + 1) + " (\"" + e.waveformName +
             "\"): " + what + " must be a whole number from " + numToText(lo) + " to " +
             numToText(hi) + ", not " + numToText(x) + "; nothing was sent.";
    }
  }
  return std::nullopt;
}

}  // namespace

SigGenChoices sigGenChoices(const SigGenSettings& s) {
  SigGenChoices c;
  c.basebandFilter = s.BBfilter == 1   ? BasebandFilter::Filter2_1MHz
                     : s.BBfilter == 2 ? BasebandFilter::Filter40MHz
                                       : BasebandFilter::Through;
  c.reconstructionFilter = s.ReconFilter == 1   ? ReconstructionFilter::Filter250kHz
                           : s.ReconFilter == 2 ? ReconstructionFilter::Filter2_5MHz
                           : s.ReconFilter == 3 ? ReconstructionFilter::Filter8MHz
                                                : ReconstructionFilter::Through;
  c.alc = s.ALC != 0;
  c.rfBlanking = s.RFblanking == 1;
  c.markerPolarity = s.MarkerPolarity == 0 ? MarkerPolarity::Positive : MarkerPolarity::Negative;
  c.arbReference = s.ArbRefSource == 0 ? ArbReference::Internal : ArbReference::External;
  return c;
}

std::string sequenceCommand(std::span<const SequenceElement> sequenceElements,
                            const std::string& sequenceFile) {
  const std::array<FormatArg, 1> name = {sequenceFile};
  std::string command = sprintfText(":source:rad:arb:seq \"SEQ:%s\"", name);
  for (const auto& e : sequenceElements) {
    const std::array<FormatArg, 5> args = {command, e.waveformName, e.repetitions, e.marker1,
                                           e.marker2};
    command = sprintfText("%s,\"WFM1:%s\",%i,%i,%i", args);
  }
  return command;
}

std::vector<std::string> playSequenceCommands(const std::string& sequenceFile,
                                              const SigGenSettings& s) {
  return playList(PlayList::Sequence, sequenceFile, s);
}

std::vector<std::string> playCCommands(const std::string& FileName, const SigGenSettings& s) {
  return playList(PlayList::WaveformC, FileName, s);
}

std::vector<std::string> playCommands(const std::string& FileName, const SigGenSettings& s) {
  return playList(PlayList::Waveform, FileName, s);
}

Status VelCreateWaveformSequence_c(std::span<const SequenceElement> sequenceElements,
                                   const std::string& sequenceFile, const Configuration& config) {
  if (auto bad = badSequenceNumber(sequenceElements)) return {status::kRefused, std::move(*bad)};
  return sendAll({sequenceCommand(sequenceElements, sequenceFile)}, config);
}

Status VelPlayWaveformSequence_c(const std::string& sequenceFile, const SigGenSettings& settings,
                                 const Configuration& config) {
  return sendPlay(playEntries(PlayList::Sequence, sequenceFile, settings), config);
}

Status VelPlay_c(const std::string& FileName, const SigGenSettings& setting,
                 const Configuration& config) {
  return sendPlay(playEntries(PlayList::WaveformC, FileName, setting), config);
}

Status VelPlay(const std::string& FileName, const SigGenSettings& setting,
               const Configuration& config) {
  return sendPlay(playEntries(PlayList::Waveform, FileName, setting), config);
}

}  // namespace kelvane::instrument
