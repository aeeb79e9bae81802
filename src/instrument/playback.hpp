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

// :source:rad:arb:seq "SEQ:<sequenceFile>" followed by ,"WFM1:<name>",<reps>,<m1>,<m2> for each
// element, in one command. Example: a control then a traffic element, both markers 1.
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
