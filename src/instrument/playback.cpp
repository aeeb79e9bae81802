#include "instrument/playback.hpp"

#include <array>

#include "instrument/io.hpp"
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
  const std::array<FormatArg, 1> name = {sequenceFile};
  const SigGenChoices c = sigGenChoices(s);
  return {
      ":source:rad:arb:state off",
      sprintfText(":source:rad:arb:wav \"SEQ:%s\"", name),
      ":source:freq:fix " + numToText(s.Frequency) + "Hz",
      ":source:power:level:immediate:amplitude " + numToText(s.Amplitude) + "dbm",
      ":source:rad:arb:clock:srate " + numToText(s.SamplingRate) + "Hz",
      ":source:dm:bbfilter " + scpiText(c.basebandFilter),
      ":source:rad:ARB:rscaling " + numToText(s.Scaling),
      ":source:DM:IQAT:AUTO off",
      ":source:DM:IQAT " + numToText(s.ModAtten),
      ":pow:alc:state " + onOff(c.alc),
      ":source:rad:arb:marker:rfblank " + onOff(c.rfBlanking),
      ":source:rad:arb:marker:polarity " + scpiText(c.markerPolarity),
      ":source:rad:arb:clock:ref " + scpiText(c.arbReference),
      ":source:rad:arb:state on",
      ":output:mod on",
      ":output:state on",
  };
}

std::vector<std::string> playCCommands(const std::string& FileName, const SigGenSettings& s) {
  const SigGenChoices c = sigGenChoices(s);
  return {
      " :source:rad:arb:state off",
      waveformSelection(FileName),
      " :source:freq:fix " + numToText(s.Frequency) + "Hz",
      " :source:power:level:immediate:amplitude " + numToText(s.Amplitude) + "dbm",
      " :source:rad:arb:clock:srate " + numToText(s.SamplingRate) + "Hz",
      " :source:dm:bbfilter " + scpiText(c.basebandFilter),
      " :source:rad:ARB:rscaling " + numToText(s.Scaling),
      ":source:DM:IQAT:AUTO off",
      ":source:DM:IQAT " + numToText(s.ModAtten),
      " :pow:alc:state " + onOff(c.alc),
      " :source:rad:arb:marker:rfblank " + onOff(c.rfBlanking),
      " :source:rad:arb:marker:polarity " + scpiText(c.markerPolarity),
      " :source:rad:arb:clock:ref " + scpiText(c.arbReference),
      " :source:rad:arb:state on",
      " :output:state on",
  };
}

std::vector<std::string> playCommands(const std::string& FileName, const SigGenSettings& s) {
  const SigGenChoices c = sigGenChoices(s);
  return {
      " :source:rad:arb:state off",
      waveformSelection(FileName),
      " :source:freq:fix " + numToText(s.Frequency) + "Hz",
      " :source:power:level:immediate:amplitude " + numToText(s.Amplitude) + "dbm",
      " :source:rad:arb:clock:srate " + numToText(s.SamplingRate) + "Hz",
      " :source:rad:arb:rfilter " + scpiText(c.reconstructionFilter),
      " :source:rad:arb:marker:rfblank " + onOff(c.rfBlanking),
      " :source:rad:arb:marker:polarity " + scpiText(c.markerPolarity),
      " :source:rad:arb:clock:ref " + scpiText(c.arbReference),
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
