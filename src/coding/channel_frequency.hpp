// cdma2000 channel number to carrier frequency, band classes 0 to 9.
#pragma once

namespace kelvane::coding {

inline constexpr int ACCESS_TERMINAL = 0;
inline constexpr int ACCESS_NETWORK = 1;

// Carrier in MHz of `channelNumber` in `bandClass` on the side `transmitterType`; 0 when the
// channel does not exist there (no error is raised).
double Qarn_ChannelNumberToFrequency(double bandClass, double transmitterType,
                                     double channelNumber);

}  // namespace kelvane::coding
