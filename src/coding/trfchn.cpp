#include "coding/trfchn.hpp"

#include <string>

#include "coding/channel_interleaver.hpp"
#include "coding/checks.hpp"
#include "coding/modulation.hpp"
#include "coding/scrambler.hpp"
#include "coding/turbo.hpp"

namespace kelvane::coding {

std::vector<std::complex<double>> Qarn_FwdTrfChn(std::span<const std::uint8_t> packet,
                                                 const ModParams& format, double macIndex,
                                                 bool encoderActive, bool scramblerActive,
                                                 bool interleaverActive) {
  if (format.bits < 0 || packet.size() != static_cast<std::size_t>(format.bits))
    fail("packet must hold the " + std::to_string(format.bits) + " bits of DRC " +
         std::to_string(format.drcValue) + ", got " + std::to_string(packet.size()));
  requireBits(packet, "packet");
  // Slots of 2048 chips bound any real chip count far below this.
  const std::size_t required =
      wholeInRange(format.modulationSymbolsRequired, "modulationSymbolsRequired", 0, 1 << 24);
  bitsPerSymbol(format.modulationType);  // refuses an unknown modulation before any work

  Bits symbols(packet.begin(), packet.end());
  if (encoderActive) symbols = Qarn_FwdEncoder(symbols, format);
  if (scramblerActive) symbols = Qarn_FwdScrambler(symbols, format, macIndex);
  if (interleaverActive) symbols = Qarn_FwdChannelInterleaver(symbols, format);
  const std::vector<Complex> modulated = Qarn_FwdTrfModulator(symbols, format.modulationType);
  const std::size_t provided = modulated.size();
  if (provided == 0 || required <= provided || provided % 16 != 0 || required % 16 != 0)
    return fwdTrfWalshChips(Qarn_FwdTrfRepSeq(modulated, required));
  // Repetition of whole 16-symbol blocks repeats whole chip blocks: transform one copy of the
  // symbols and repeat its chips (DRC 1 transforms 160 blocks instead of 1536).
  const std::vector<Complex> period = fwdTrfWalshChips(modulated);
  std::vector<Complex> chips;
  chips.reserve(required);
  while (chips.size() + provided <= required)
    chips.insert(chips.end(), period.begin(), period.end());
  chips.insert(chips.end(), period.begin(), period.begin() + (required - chips.size()));
  return chips;
}

}  // namespace kelvane::coding
