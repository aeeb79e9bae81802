#include "synthesis/slot_layout.hpp"

#include <algorithm>
#include <initializer_list>
#include <string>

#include "coding/error.hpp"

namespace kelvane::synthesis {

namespace {

// Runs of alternating ones and zeros (the first run's value given), 2048 chips in all.
std::array<std::uint8_t, kSlotChips> runs(std::uint8_t first,
                                          std::initializer_list<std::size_t> lengths) {
  std::array<std::uint8_t, kSlotChips> out{};
  std::size_t pos = 0;
  std::uint8_t value = first;
  for (std::size_t len : lengths) {
    std::fill_n(out.begin() + static_cast<std::ptrdiff_t>(pos), len, value);
    pos += len;
    value ^= 1u;
  }
  return out;
}

}  // namespace

std::vector<std::size_t> interlacedSlotMap(std::span<const std::size_t> packetSlots) {
  std::vector<std::size_t> map(1, 0);
  std::size_t firstFree = 0;  // occupancy only grows, so the first free slot only moves on
  for (std::size_t i = 0; i < packetSlots.size(); ++i) {
    while (firstFree < map.size() && map[firstFree] != 0)
      ++firstFree;
    coding::require(packetSlots[i] >= 1, "packet " + std::to_string(i + 1) + " has no slots");
    const std::size_t last = firstFree + kInterlaceSlots * (packetSlots[i] - 1);
    if (last >= map.size()) map.resize(last + 1, 0);
    for (std::size_t s = firstFree; s <= last; s += kInterlaceSlots)
      map[s] = i + 1;
  }
  const std::size_t rem = map.size() % kSlotsPerPNPeriod;
  if (rem != 0) map.resize(map.size() + kSlotsPerPNPeriod - rem, 0);
  return map;
}

std::array<std::uint8_t, kSlotChips> marker2Pattern(SlotActivity activity) {
  constexpr std::size_t M = kRFBlankingMargin;
  switch (activity) {
    case kMacIdle:  // idleMACmask: data and pilot active
      return runs(1, {400 + M, 64 - 2 * M, 96 + 2 * M, 64 - 2 * M, 800 + 2 * M, 64 - 2 * M,
                      96 + 2 * M, 64 - 2 * M, 400 + M});
    case kDataIdle:  // idleDATAmask: MAC and pilot active
      return runs(0, {400 - M, 224 + 2 * M, 800 - 2 * M, 224 + 2 * M, 400 - M});
    case kBothActive:
      return runs(1, {kSlotChips});
    case kBothIdle:  // bothIdleMask: only the pilot bursts
    default:
      return runs(0, {464 - M, 96 + 2 * M, 928 - 2 * M, 96 + 2 * M, 464 - M});
  }
}

std::array<std::uint8_t, kSlotChips> slotMarkerBytes(SlotActivity activity) {
  std::array<std::uint8_t, kSlotChips> bytes = marker2Pattern(activity);
  for (auto& b : bytes)
    b = static_cast<std::uint8_t>(b << 1);
  bytes[0] |= 1u;
  bytes[kHalfSlotChips] |= 1u;
  return bytes;
}

void placeTransmitChips(std::span<std::complex<double>> slotChips, std::size_t firstSlot,
                        std::span<const std::complex<double>> transmitChips) {
  const std::size_t slots = transmitChips.size() / kDataChipsPerSlot;
  coding::require(transmitChips.size() == slots * kDataChipsPerSlot,
                  "placeTransmitChips: not a whole number of slots");
  coding::require(slots == 0 || (firstSlot + kInterlaceSlots * (slots - 1) + 1) * kSlotChips <=
                                    slotChips.size(),
                  "placeTransmitChips: the packet runs past the last slot");
  const std::complex<double>* src = transmitChips.data();
  for (std::size_t k = 0; k < slots; ++k) {
    std::complex<double>* slot = slotChips.data() + (firstSlot + kInterlaceSlots * k) * kSlotChips;
    for (const ChipRun& r : kDataRuns) {
      std::copy_n(src, r.count, slot + r.first);
      src += r.count;
    }
  }
}

void placeMacChips(std::span<std::complex<double>> slot,
                   std::span<const std::complex<double>> macChips) {
  coding::require(slot.size() == kSlotChips && macChips.size() == kMacChipsPerSlot,
                  "placeMacChips: a slot takes 256 MAC chips");
  const std::complex<double>* src = macChips.data();
  for (const ChipRun& r : kMacRuns) {
    std::copy_n(src, r.count, slot.begin() + static_cast<std::ptrdiff_t>(r.first));
    src += r.count;
  }
}

void placePilotChips(std::span<std::complex<double>> slot, std::span<const double> pilotChips) {
  coding::require(slot.size() == kSlotChips && pilotChips.size() == kPilotChips,
                  "placePilotChips: a pilot burst is 96 chips");
  for (const ChipRun& r : kPilotRuns)
    for (std::size_t k = 0; k < r.count; ++k)
      slot[r.first + k] = pilotChips[k];
}

}  // namespace kelvane::synthesis
