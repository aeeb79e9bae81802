// cdma2000 channel number to carrier frequency, band classes 0 to 9.
#pragma once

#include <optional>

namespace kelvane::coding {

// The side of the link a carrier is on, numbered as the parameters record numbers it.
enum class TransmitterType { AccessTerminal = 0, AccessNetwork = 1 };

// The side numbered `transmitterType` (0 or 1); none for any other number.
std::optional<TransmitterType> transmitterTypeFor(double transmitterType);

// Carrier in MHz of `channelNumber` in `bandClass` on the side `transmitterType`; 0 when the
// channel does not exist there (no error is raised).
double channelFrequency(double bandClass, TransmitterType transmitterType, double channelNumber);

// The same with the side as a number: 0 for a number that names no side.
double Qarn_ChannelNumberToFrequency(double bandClass, double transmitterType,
                                     double channelNumber);

}  // namespace kelvane::coding
