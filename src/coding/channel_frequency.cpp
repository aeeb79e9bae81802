#include "coding/channel_frequency.hpp"

#include <array>

namespace kelvane::coding {

namespace {

// One channel-number range of a band class: carrier = step * (N - offset) + base, in MHz.
struct ChannelRange {
  int bandClass;
  double first, last;  // inclusive range of N
  double step, offset;
  double baseTerminal, baseNetwork;  // TransmitterType::AccessTerminal, AccessNetwork
};

// Band classes 0..9 in table order, 18 ranges.
inline constexpr std::array<ChannelRange, 18> kChannelRanges{{
    {0, 1, 799, 0.03, 0, 825, 870},
    {0, 991, 1023, 0.03, 1023, 825, 870},
    {1, 0, 1199, 0.05, 0, 1850, 1930},
    {2, 0, 1000, 0.025, 0, 889.9875, 934.9875},
    {2, 1329, 2047, 0.025, 1328, 871.9875, 916.9875},
    {3, 1, 799, 0.0125, 0, 915, 860},
    {3, 801, 1039, 0.0125, 800, 898, 843},
    {3, 1041, 1199, 0.0125, 1040, 887, 832},
    {3, 1201, 1600, 0.0125, 1200, 893, 838},
    {4, 0, 599, 0.05, 0, 1750, 1840},
    {5, 1, 300, 0.025, 1, 450, 460},
    {5, 539, 871, 0.025, 512, 411, 421},
    {5, 1039, 1473, 0.025, 1024, 451.01, 461.01},
    {5, 1792, 2016, 0.025, 1792, 479, 489},
    {6, 0, 1199, 0.05, 0, 1920, 2110},
    {7, 0, 359, 0.05, 0, 776, 746},
    {8, 0, 1499, 0.05, 0, 1710, 1805},
    {9, 0, 699, 0.05, 0, 880, 925},
}};

}  // namespace

std::optional<TransmitterType> transmitterTypeFor(double transmitterType) {
  if (transmitterType == 0) return TransmitterType::AccessTerminal;
  if (transmitterType == 1) return TransmitterType::AccessNetwork;
  return std::nullopt;
}

double channelFrequency(double bandClass, TransmitterType transmitterType, double channelNumber) {
  for (const ChannelRange& r : kChannelRanges) {
    if (r.bandClass != bandClass) continue;
    if (r.first <= channelNumber && channelNumber <= r.last) {
      const double base =
          transmitterType == TransmitterType::AccessTerminal ? r.baseTerminal : r.baseNetwork;
      return r.step * (channelNumber - r.offset) + base;
    }
  }
  return 0;
}

double Qarn_ChannelNumberToFrequency(double bandClass, double transmitterType,
                                     double channelNumber) {
  const std::optional<TransmitterType> side = transmitterTypeFor(transmitterType);
  return side ? channelFrequency(bandClass, *side, channelNumber) : 0;
}

}  // namespace kelvane::coding
