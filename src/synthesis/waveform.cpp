#include "synthesis/waveform.hpp"

#include <algorithm>
#include <array>
#include <cstring>
#include <optional>
#include <string>

#include "coding/error.hpp"
#include "coding/modparams.hpp"
#include "coding/trfchn.hpp"
#include "synthesis/channels.hpp"
#include "synthesis/parallel.hpp"
#include "synthesis/phase_eq.hpp"
#include "synthesis/pn.hpp"
#include "synthesis/slot_layout.hpp"
#include "synthesis/upsample.hpp"

namespace kelvane::synthesis {

namespace {

using cd = std::complex<double>;
using coding::require;

// Chips of one preamble repetition (the 32-chip Walsh cover).
constexpr double kPreambleCoverChips = 32;

void checkMacInputs(const MacInputs& mac, std::size_t macRows, std::size_t slots) {
  const std::size_t rpcRows = mac.rpcBits.rows;
  const std::string op = "Qarn_FwdModulatedWaveform: ";
  require(rpcRows == 0 || mac.rpcBits.cols == kRpcChannels,
          op + "rpcBits has " + std::to_string(mac.rpcBits.cols) + " columns, 59 expected");
  require(mac.rpcGains.rows >= macRows, op + "rpcGains has " + std::to_string(mac.rpcGains.rows) +
                                            " rows, fewer than the " + std::to_string(macRows) +
                                            " MAC rows");
  require(mac.rpcGains.cols == kRpcChannels,
          op + "rpcGains has " + std::to_string(mac.rpcGains.cols) + " columns, 59 expected");
  require(mac.raGains.size() >= macRows, op + "raGains has " + std::to_string(mac.raGains.size()) +
                                             " rows, fewer than the " + std::to_string(macRows) +
                                             " MAC rows");
  require(macRows <= slots, op + "the " + std::to_string(macRows) + " MAC rows exceed the " +
                                std::to_string(slots) + " slots of the waveform");
}

// The packet's preamble and data chips, 1600 for each of its slots.
std::vector<cd> transmitChips(const PacketRecord& p, const coding::ModParams& format) {
  const std::vector<double> preamble =
      Qarn_FwdTrfPreamble(p.macIndex, format.preambleTDMChips / kPreambleCoverChips);
  const std::vector<cd> data =
      coding::Qarn_FwdTrfChn(p.packet, format, p.macIndex, true, true, true);
  const auto need = static_cast<std::size_t>(format.slots) * kDataChipsPerSlot;
  require(preamble.size() <= need && data.size() >= need - preamble.size(),
          "Qarn_FwdModulatedWaveform: the traffic channel gave " + std::to_string(data.size()) +
              " data chips, " + std::to_string(need - std::min(need, preamble.size())) +
              " needed after the preamble");
  std::vector<cd> chips(need);
  std::copy(preamble.begin(), preamble.end(), chips.begin());
  std::copy_n(data.begin(), need - preamble.size(),
              chips.begin() + static_cast<std::ptrdiff_t>(preamble.size()));
  return chips;
}

}  // namespace

Waveform Qarn_FwdModulatedWaveform(std::span<const PacketRecord> packets, const MacInputs& mac,
                                   const SynthesisSettings& settings) {
  const int oversampleRatio = settings.oversampleRatio;
  require(oversampleRatio >= 1,
          "Qarn_FwdModulatedWaveform: oversamplingRate must be 1 or more, got " +
              std::to_string(oversampleRatio));

  // Slot map: formats of every packet, the 4-slot interlace, whole PN periods.
  std::vector<coding::ModParams> formats;
  std::vector<std::size_t> packetSlots;
  for (const PacketRecord& p : packets) {
    formats.push_back(coding::modParamsFor(p.drcValue));
    packetSlots.push_back(static_cast<std::size_t>(formats.back().slots));
  }
  const std::vector<std::size_t> slotMap = interlacedSlotMap(packetSlots);
  const std::size_t S = slotMap.size();

  const std::size_t macRows = std::max(mac.rpcBits.rows, mac.raBits.size());
  if (macRows > 0) checkMacInputs(mac, macRows, S);

  // The chip matrix, one 2048-chip slot after the other (its serialised form), on huge pages.
  // The packets are coded independently, one task each, and each task places its chips in the
  // packet's own slots, so the tasks write disjoint parts.
  Samples chips(S * kSlotChips, cd{});
  std::vector<std::size_t> firstSlots(packets.size());
  for (std::size_t i = 0; i < packets.size(); ++i)
    firstSlots[i] = static_cast<std::size_t>(
        std::find(slotMap.begin(), slotMap.end(), i + 1) - slotMap.begin());
  parallelFor(packets.size(), [&](std::size_t i) {
    placeTransmitChips(chips, firstSlots[i], transmitChips(packets[i], formats[i]));
  });
  const std::vector<double> zeroRpc(kRpcChannels, 0.0);
  for (std::size_t k = 0; k < macRows; ++k) {
    const std::vector<double> bits = k < mac.rpcBits.rows ? mac.rpcBits.row(k) : zeroRpc;
    const double raBit = k < mac.raBits.size() ? mac.raBits[k] : 0.0;
    const std::vector<cd> macChips =
        Qarn_FwdMACslot(bits, mac.rpcGains.row(k), raBit, mac.raGains[k]);
    placeMacChips(std::span(chips).subspan(k * kSlotChips, kSlotChips), macChips);
  }
  const std::vector<double> pilot = Qarn_FwdPilot();
  for (std::size_t s = 0; s < S; ++s)
    placePilotChips(std::span(chips).subspan(s * kSlotChips, kSlotChips), pilot);

  // Markers, one byte a sample: every slot's pattern held for oversampleRatio samples a chip.
  Waveform w;
  const std::size_t slotSamples = kSlotChips * static_cast<std::size_t>(oversampleRatio);
  w.markers.resize(S * slotSamples);
  std::array<std::optional<std::vector<std::uint8_t>>, 4> patterns;
  for (std::size_t s = 0; s < S; ++s) {
    const auto activity =
        static_cast<SlotActivity>((slotMap[s] != 0 ? 1 : 0) + (s < macRows ? 2 : 0));
    auto& pattern = patterns[static_cast<std::size_t>(activity)];
    if (!pattern) pattern = upsampleMarker(slotMarkerBytes(activity), oversampleRatio);
    std::memcpy(w.markers.data() + s * slotSamples, pattern->data(), slotSamples);
  }

  // Spreading; the spectral inversion (mirrorSpectrum off) is taken here at chip rate: every later
  // stage filters with real coefficients, so conjugating before equals conjugating after.
  spreadInPlace(chips, settings.pilotOffsetIndex, !settings.mirrorSpectrum);
  // Zero-stuffing, the baseband filter and the equalizer in one pass, straight into the waveform
  // (fresh memory, first written by the thread that computes it); the peaks and power are
  // gathered by the last stage as it writes.
  w.samples.resize(chips.size() * static_cast<std::size_t>(oversampleRatio));
  SampleSummary summary;
  if (settings.phaseEqActive) {
    // The equalizer takes the filter's output block by block, so it is never stored.
    const ZeroStuffedFilter filter(chips, oversampleRatio, settings.filter);
    filterAndEqualize(filter, w.samples, oversampleRatio, &summary);
  } else {
    filterZeroStuffedChips(chips, oversampleRatio, settings.filter, w.samples, &summary);
  }
  w.summary = summary;
  return w;
}

SampleSummary Waveform::sampleSummary() const {
  if (summary) return *summary;
  SampleSummary s;
  s.add(samples);
  return s;
}

}  // namespace kelvane::synthesis
