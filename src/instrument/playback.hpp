// Waveform sequence and playback: fixed lists of SCPI commands that build a sequence in the
// signal generator and play it, or play one stored waveform, with the RF and baseband settings
// of SigGenSettings. Every command of a list is sent even when one fails; the result is the
// first failure (its message naming the command) or, when all succeeded, the last command's
// status. hwReturnLocal follows the last command.
#pragma once

#include <span>
#include <string>
#include <vector>

#include "instrument/records.hpp"

namespace kelvane::instrument {

// The play-time choices of SigGenSettings, typed. The record keeps its numbers (it is read and
// written by name with any number); sigGenChoices is the one reading of them.
enum class BasebandFilter { Filter2_1MHz, Filter40MHz, Through };
enum class ReconstructionFilter { Filter250kHz, Filter2_5MHz, Filter8MHz, Through };
enum class MarkerPolarity { Positive, Negative };
enum class ArbReference { Internal, External };

struct SigGenChoices {
  BasebandFilter basebandFilter = BasebandFilter::Through;
  ReconstructionFilter reconstructionFilter = ReconstructionFilter::Through;
  bool alc = false;
  bool rfBlanking = false;
  MarkerPolarity markerPolarity = MarkerPolarity::Positive;
  ArbReference arbReference = ArbReference::Internal;
};

// BBfilter 1 is 2.1 MHz, 2 is 40 MHz, anything else through; ALC 0 is off, anything else on;
// RFblanking 1 is on, anything else off; MarkerPolarity 0 is positive, anything else negative;
// ArbRefSource 0 is internal, anything else external; ReconFilter 1, 2, 3 are 250 kHz, 2.5 MHz,
// 8 MHz, anything else (or none) through.
SigGenChoices sigGenChoices(const SigGenSettings& settings);

// :source:rad:arb:seq "SEQ:<sequenceFile>" followed by ,"WFM1:<name>",<reps>,<m1>,<m2> for each
// element, in one command. Example: a control then a traffic element, both markers 1. A count or
// marker that is not a whole number a 32-bit integer holds (2.5, NaN, 1e300) is refused with
// status::kRefused, naming the element, before anything is sent.
Status VelCreateWaveformSequence_c(std::span<const SequenceElement> sequenceElements,
                                   const std::string& sequenceFile, const Configuration& config);

// Selects sequence "SEQ:<sequenceFile>" and applies `settings` (16 commands, modulation on).
Status VelPlayWaveformSequence_c(const std::string& sequenceFile, const SigGenSettings& settings,
                                 const Configuration& config);

// Plays stored waveform "arbi:<FileName>" with the baseband filter, scaling, I/Q attenuation and
// ALC (15 commands, each but two with a leading blank).
Status VelPlay_c(const std::string& FileName, const SigGenSettings& setting,
                 const Configuration& config);

// Plays stored waveform "arbi:<FileName>" with the reconstruction filter (11 commands). A
// settings record without ReconFilter selects "through".
Status VelPlay(const std::string& FileName, const SigGenSettings& setting,
               const Configuration& config);

// The command lists, for inspection.
std::string sequenceCommand(std::span<const SequenceElement> sequenceElements,
                            const std::string& sequenceFile);
std::vector<std::string> playSequenceCommands(const std::string& sequenceFile,
                                              const SigGenSettings& settings);
std::vector<std::string> playCCommands(const std::string& FileName, const SigGenSettings& setting);
std::vector<std::string> playCommands(const std::string& FileName, const SigGenSettings& setting);

}  // namespace kelvane::instrument
