// The forward-link slot: its time-division-multiplexed chip positions, the 4-slot interlace of
// the packets over slots, and the two marker signals (half-slot timing and RF gate).
#pragma once

#include <array>
#include <complex>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace kelvane::synthesis {

inline constexpr std::size_t kSlotChips = 2048;
inline constexpr std::size_t kHalfSlotChips = 1024;
inline constexpr std::size_t kDataChipsPerSlot = 1600;  // data1234
inline constexpr std::size_t kMacChipsPerSlot = 256;    // four 64-chip bursts
inline constexpr std::size_t kPilotChips = 96;          // one burst
inline constexpr std::size_t kSlotsPerPNPeriod = 16;
inline constexpr std::size_t kInterlaceSlots = 4;
inline constexpr std::size_t kRFBlankingMargin = 4;  // chips the RF gate reaches into idle parts
inline constexpr std::size_t kRpcChannels = 59;      // MAC indices 5..63

// A run of chip positions of a slot, 0-based.
struct ChipRun {
  std::size_t first;
  std::size_t count;
};

// data1..data4 (1-400, 625-1024, 1025-1424, 1649-2048 in 1-based chips), filled in this order.
inline constexpr std::array<ChipRun, 4> kDataRuns{{{0, 400}, {624, 400}, {1024, 400}, {1648, 400}}};
// mac1..mac4 (401-464, 561-624, 1425-1488, 1585-1648).
inline constexpr std::array<ChipRun, 4> kMacRuns{{{400, 64}, {560, 64}, {1424, 64}, {1584, 64}}};
// pilot1, pilot2 (465-560, 1489-1584).
inline constexpr std::array<ChipRun, 2> kPilotRuns{{{464, 96}, {1488, 96}}};

// The slot map of packets occupying `packetSlots[i]` slots each, in list order: 0 for an idle
// slot, i + 1 for a slot of packet i. Each packet takes every fourth slot from the first free one;
// the map starts with one idle slot and is padded with idle slots to a multiple of 16.
// Example: interlacedSlotMap({2, 1}) -> 1 2 0 0 1 0 ... 0 (16 slots).
std::vector<std::size_t> interlacedSlotMap(std::span<const std::size_t> packetSlots);

// Activity of a slot for the RF gate: dataActive (0/1) + macActive (0/2).
enum SlotActivity : int { kBothIdle = 0, kMacIdle = 1, kDataIdle = 2, kBothActive = 3 };

// The marker-2 pattern of one slot: ones over the active bursts, reaching kRFBlankingMargin chips
// into the idle stretches around them (idleMACmask, idleDATAmask, bothIdleMask, all ones).
std::array<std::uint8_t, kSlotChips> marker2Pattern(SlotActivity activity);

// The marker bytes of one slot, one a chip: bit 0 marker 1 (chips 1 and 1025), bit 1 marker 2.
std::array<std::uint8_t, kSlotChips> slotMarkerBytes(SlotActivity activity);

// Writes the packet's `transmitChips` (1600 per slot, its preamble first) into the data positions
// of slots firstSlot, firstSlot + 4, ... of `slotChips` (2048 chips a slot, slot after slot).
// `transmitChips` holds exactly 1600 * slots chips.
void placeTransmitChips(std::span<std::complex<double>> slotChips, std::size_t firstSlot,
                        std::span<const std::complex<double>> transmitChips);

// Writes the 256 MAC chips (the four bursts in order) into `slot` (2048 chips).
void placeMacChips(std::span<std::complex<double>> slot,
                   std::span<const std::complex<double>> macChips);

// Writes the 96 pilot chips into both pilot bursts of `slot`.
void placePilotChips(std::span<std::complex<double>> slot, std::span<const double> pilotChips);

}  // namespace kelvane::synthesis
