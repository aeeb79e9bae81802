#include "instrument/playback.hpp"

#include <array>

#include "instrument/io.hpp"
#include "runtime/text.hpp"

namespace kelvane::instrument {

using runtime::FormatArg;
using runtime::numToText;
using runtime::sprintfText;

namespace {

std::string bbFilter(double choice) {
  if (choice == 1) return "2.1MHz";
  if (choice == 2) return "40MHz";
  return "Through";
}

std::string reconFilter(const std::optional<double>& choice) {
  if (choice == 1) return "250.0khz";
  if (choice == 2) return "2.5Mhz";
  if (choice == 3) return "8Mhz";
  return "through";
}

std::string alc(double v) {
  return v == 0 ? "off" : "on";
}
std::string rfBlank(double v) {
  return v == 1 ? "on" : "off";
}
std::string polarity(double v) {
  return v == 0 ? "Pos" : "Neg";
}
std::string reference(double v) {
  return v == 0 ? "int" : "ext";
}

std::string waveformSelection(const std::string& fileName) {
  return " :source:rad:arb:wav \"arbi:" + fileName + "\" ";
}

// Sends every command; the first failure wins, naming its command.
Status sendAll(const std::vector<std::string>& commands, const Configuration& config) {
  Status last;
  std::optional<Status> firstFailure;
  for (const auto& c : commands) {
    last = hwSend(config, c);
    if (!last.ok() && !firstFailure)
      firstFailure = Status{last.code, "The command \"" + c + "\" failed: " + last.message};
  }
  hwReturnLocal(config);
  return firstFailure ? *firstFailure : last;
}

}  // namespace

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
  const std::array<FormatArg, 1> name = {sequenceFile};
  return {
      ":source:rad:arb:state off",
      sprintfText(":source:rad:arb:wav \"SEQ:%s\"", name),
      ":source:freq:fix " + numToText(s.Frequency) + "Hz",
      ":source:power:level:immediate:amplitude " + numToText(s.Amplitude) + "dbm",
      ":source:rad:arb:clock:srate " + numToText(s.SamplingRate) + "Hz",
      ":source:dm:bbfilter " + bbFilter(s.BBfilter),
      ":source:rad:ARB:rscaling " + numToText(s.Scaling),
      ":source:DM:IQAT:AUTO off",
      ":source:DM:IQAT " + numToText(s.ModAtten),
      ":pow:alc:state " + alc(s.ALC),
      ":source:rad:arb:marker:rfblank " + rfBlank(s.RFblanking),
      ":source:rad:arb:marker:polarity " + polarity(s.MarkerPolarity),
      ":source:rad:arb:clock:ref " + reference(s.ArbRefSource),
      ":source:rad:arb:state on",
      ":output:mod on",
      ":output:state on",
  };
}

std::vector<std::string> playCCommands(const std::string& FileName, const SigGenSettings& s) {
  return {
      " :source:rad:arb:state off",
      waveformSelection(FileName),
      " :source:freq:fix " + numToText(s.Frequency) + "Hz",
      " :source:power:level:immediate:amplitude " + numToText(s.Amplitude) + "dbm",
      " :source:rad:arb:clock:srate " + numToText(s.SamplingRate) + "Hz",
      " :source:dm:bbfilter " + bbFilter(s.BBfilter),
      " :source:rad:ARB:rscaling " + numToText(s.Scaling),
      ":source:DM:IQAT:AUTO off",
      ":source:DM:IQAT " + numToText(s.ModAtten),
      " :pow:alc:state " + alc(s.ALC),
      " :source:rad:arb:marker:rfblank " + rfBlank(s.RFblanking),
      " :source:rad:arb:marker:polarity " + polarity(s.MarkerPolarity),
      " :source:rad:arb:clock:ref " + reference(s.ArbRefSource),
      " :source:rad:arb:state on",
      " :output:state on",
  };
}

std::vector<std::string> playCommands(const std::string& FileName, const SigGenSettings& s) {
  return {
      " :source:rad:arb:state off",
      waveformSelection(FileName),
      " :source:freq:fix " + numToText(s.Frequency) + "Hz",
      " :source:power:level:immediate:amplitude " + numToText(s.Amplitude) + "dbm",
      " :source:rad:arb:clock:srate " + numToText(s.SamplingRate) + "Hz",
      " :source:rad:arb:rfilter " + reconFilter(s.ReconFilter),
      " :source:rad:arb:marker:rfblank " + rfBlank(s.RFblanking),
      " :source:rad:arb:marker:polarity " + polarity(s.MarkerPolarity),
      " :source:rad:arb:clock:ref " + reference(s.ArbRefSource),
      " :source:rad:arb:state on",
      " :output:state on",
  };
}

Status VelCreateWaveformSequence_c(std::span<const SequenceElement> sequenceElements,
                                   const std::string& sequenceFile, const Configuration& config) {
  return sendAll({sequenceCommand(sequenceElements, sequenceFile)}, config);
}

Status VelPlayWaveformSequence_c(const std::string& sequenceFile, const SigGenSettings& settings,
                                 const Configuration& config) {
  return sendAll(playSequenceCommands(sequenceFile, settings), config);
}

Status VelPlay_c(const std::string& FileName, const SigGenSettings& setting,
                 const Configuration& config) {
  return sendAll(playCCommands(FileName, setting), config);
}

Status VelPlay(const std::string& FileName, const SigGenSettings& setting,
               const Configuration& config) {
  return sendAll(playCommands(FileName, setting), config);
}

}  // namespace kelvane::instrument
