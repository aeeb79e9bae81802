// The slot layout of the forward link: the 4-slot interlace, the burst positions and the two
// marker patterns.
#include <gtest/gtest.h>

#include <algorithm>
#include <complex>
#include <numeric>
#include <vector>

#include "coding/error.hpp"
#include "synthesis/slot_layout.hpp"

namespace kelvane::synthesis {
namespace {

using cd = std::complex<double>;
using Map = std::vector<std::size_t>;

TEST(SlotMap, EmptyListIsOnePNPeriodOfIdleSlots) {
  EXPECT_EQ(interlacedSlotMap({}), Map(16, 0));
}

TEST(SlotMap, OneSixteenSlotPacketTakesEveryFourthSlot) {
  const std::vector<std::size_t> slots{16};
  const Map map = interlacedSlotMap(slots);
  ASSERT_EQ(map.size(), 64u);  // 61 slots used, padded to 64
  for (std::size_t s = 0; s < 64; ++s)
    EXPECT_EQ(map[s], (s % 4 == 0 && s <= 60) ? 1u : 0u) << "slot " << s + 1;
}

TEST(SlotMap, FourPacketsFillTheInterlaceAndAFifthFollows) {
  const std::vector<std::size_t> four(4, 16);
  const Map map = interlacedSlotMap(four);
  ASSERT_EQ(map.size(), 64u);
  for (std::size_t s = 0; s < 64; ++s)
    EXPECT_EQ(map[s], s % 4 + 1) << "slot " << s + 1;

  const std::vector<std::size_t> five(5, 16);
  const Map map5 = interlacedSlotMap(five);
  ASSERT_EQ(map5.size(), 128u);
  EXPECT_TRUE(std::equal(map.begin(), map.end(), map5.begin()));
  for (std::size_t s = 64; s < 128; ++s)
    EXPECT_EQ(map5[s], (s % 4 == 0 && s <= 124) ? 5u : 0u) << "slot " << s + 1;
}

TEST(SlotMap, ShortPacketsFillGapsLeftBefore) {
  // 2 slots: 1, 5; 1 slot: 2; 4 slots: 3, 7, 11, 15; 1 slot: 4; 1 slot: 6.
  const std::vector<std::size_t> slots{2, 1, 4, 1, 1};
  const Map expected{1, 2, 3, 4, 1, 5, 3, 0, 0, 0, 3, 0, 0, 0, 3, 0};
  EXPECT_EQ(interlacedSlotMap(slots), expected);
  // Eight 4-slot packets (DRC 4): 32 slots, two PN periods.
  const Map drc4 = interlacedSlotMap(std::vector<std::size_t>(8, 4));
  ASSERT_EQ(drc4.size(), 32u);
  for (std::size_t s = 0; s < 32; ++s)
    EXPECT_EQ(drc4[s], s % 4 + 1 + (s >= 16 ? 4 : 0)) << "slot " << s + 1;
  EXPECT_THROW(interlacedSlotMap(std::vector<std::size_t>{0}), coding::Error);
}

TEST(SlotRuns, CoverTheSlotOnceInTimeDivision) {
  std::vector<int> owner(kSlotChips, 0);
  std::size_t data = 0;
  for (const ChipRun& r : kDataRuns) {
    for (std::size_t k = 0; k < r.count; ++k)
      ++owner[r.first + k];
    data += r.count;
  }
  for (const ChipRun& r : kMacRuns)
    for (std::size_t k = 0; k < r.count; ++k)
      ++owner[r.first + k];
  for (const ChipRun& r : kPilotRuns)
    for (std::size_t k = 0; k < r.count; ++k)
      ++owner[r.first + k];
  EXPECT_EQ(data, kDataChipsPerSlot);
  EXPECT_TRUE(std::all_of(owner.begin(), owner.end(), [](int n) { return n == 1; }));
  // Each half slot: data 400, MAC 64, pilot 96, MAC 64, data 400.
  EXPECT_EQ(kPilotRuns[0].first, 464u);
  EXPECT_EQ(kPilotRuns[1].first, 1024u + 464u);
}

std::size_t ones(const std::array<std::uint8_t, kSlotChips>& p) {
  return static_cast<std::size_t>(std::count(p.begin(), p.end(), 1));
}

// Run lengths of a 0/1 pattern, starting with the run of its first value.
std::vector<std::size_t> runLengths(const std::array<std::uint8_t, kSlotChips>& p) {
  std::vector<std::size_t> runs{1};
  for (std::size_t k = 1; k < p.size(); ++k) {
    if (p[k] == p[k - 1])
      ++runs.back();
    else
      runs.push_back(1);
  }
  return runs;
}

TEST(Markers, RFGatePatternsPerSlotActivity) {
  EXPECT_EQ(ones(marker2Pattern(kMacIdle)), 1824u);
  EXPECT_EQ(ones(marker2Pattern(kDataIdle)), 464u);
  EXPECT_EQ(ones(marker2Pattern(kBothIdle)), 208u);
  EXPECT_EQ(ones(marker2Pattern(kBothActive)), 2048u);
  EXPECT_EQ(runLengths(marker2Pattern(kMacIdle)),
            (std::vector<std::size_t>{404, 56, 104, 56, 808, 56, 104, 56, 404}));
  EXPECT_EQ(runLengths(marker2Pattern(kDataIdle)),
            (std::vector<std::size_t>{396, 232, 792, 232, 396}));
  EXPECT_EQ(runLengths(marker2Pattern(kBothIdle)),
            (std::vector<std::size_t>{460, 104, 920, 104, 460}));
  EXPECT_EQ(marker2Pattern(kMacIdle)[0], 1);
  EXPECT_EQ(marker2Pattern(kDataIdle)[0], 0);
  EXPECT_EQ(marker2Pattern(kBothIdle)[0], 0);
  // The pilot bursts are inside the gate whatever the activity.
  for (auto a : {kBothIdle, kMacIdle, kDataIdle, kBothActive}) {
    const auto p = marker2Pattern(a);
    for (const ChipRun& r : kPilotRuns)
      for (std::size_t k = r.first - kRFBlankingMargin; k < r.first + r.count + kRFBlankingMargin;
           ++k)
        ASSERT_EQ(p[k], 1) << a << " chip " << k;
  }
}

TEST(Markers, HalfSlotPulseInBitZeroAndGateInBitOne) {
  const auto bytes = slotMarkerBytes(kMacIdle);
  const auto gate = marker2Pattern(kMacIdle);
  for (std::size_t k = 0; k < kSlotChips; ++k) {
    ASSERT_EQ(bytes[k] & 1, (k == 0 || k == 1024) ? 1 : 0) << k;
    ASSERT_EQ((bytes[k] >> 1) & 1, gate[k]) << k;
    ASSERT_LE(bytes[k], 3);
  }
}

TEST(Placement, TransmitChipsSkipTheBurstsAndFollowTheInterlace) {
  // Two slots of a packet starting at slot 2 of an 8-slot matrix: slots 2 and 6.
  std::vector<cd> slots(8 * kSlotChips);
  std::vector<cd> transmit(2 * kDataChipsPerSlot);
  for (std::size_t k = 0; k < transmit.size(); ++k)
    transmit[k] = cd(static_cast<double>(k + 1), 0);
  placeTransmitChips(slots, 1, transmit);
  const cd* s2 = slots.data() + 1 * kSlotChips;
  const cd* s6 = slots.data() + 5 * kSlotChips;
  EXPECT_EQ(s2[0], cd(1));
  EXPECT_EQ(s2[399], cd(400));
  EXPECT_EQ(s2[400], cd(0));      // mac1
  EXPECT_EQ(s2[624], cd(401));    // data2
  EXPECT_EQ(s2[1024], cd(801));   // data3
  EXPECT_EQ(s2[1648], cd(1201));  // data4
  EXPECT_EQ(s2[2047], cd(1600));
  EXPECT_EQ(s6[0], cd(1601));
  EXPECT_EQ(s6[2047], cd(3200));
  // Nothing else was written.
  std::size_t nonzero = 0;
  for (const cd& c : slots)
    nonzero += c != cd(0);
  EXPECT_EQ(nonzero, transmit.size());
  EXPECT_THROW(placeTransmitChips(slots, 5, transmit), coding::Error);  // slot 10 of 8
  EXPECT_THROW(placeTransmitChips(slots, 0, std::vector<cd>(1000)), coding::Error);
}

TEST(Placement, MacAndPilotBursts) {
  std::vector<cd> slot(kSlotChips);
  std::vector<cd> mac(kMacChipsPerSlot);
  for (std::size_t k = 0; k < mac.size(); ++k)
    mac[k] = cd(0, static_cast<double>(k + 1));
  placeMacChips(slot, mac);
  EXPECT_EQ(slot[400], cd(0, 1));
  EXPECT_EQ(slot[463], cd(0, 64));
  EXPECT_EQ(slot[560], cd(0, 65));
  EXPECT_EQ(slot[1424], cd(0, 129));
  EXPECT_EQ(slot[1584], cd(0, 193));
  EXPECT_EQ(slot[1647], cd(0, 256));
  placePilotChips(slot, std::vector<double>(kPilotChips, 1.0));
  EXPECT_EQ(slot[463], cd(0, 64));
  EXPECT_EQ(slot[464], cd(1));
  EXPECT_EQ(slot[559], cd(1));
  EXPECT_EQ(slot[1488], cd(1));
  EXPECT_EQ(slot[1583], cd(1));
  EXPECT_EQ(slot[1584], cd(0, 193));
  EXPECT_THROW(placeMacChips(slot, std::vector<cd>(64)), coding::Error);
  EXPECT_THROW(placePilotChips(slot, std::vector<double>(95)), coding::Error);
}

}  // namespace
}  // namespace kelvane::synthesis
