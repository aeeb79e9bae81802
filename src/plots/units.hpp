// Display units of the plot axes: frequency units chosen from the sample rate and time units
// chosen from a duration, each in steps of a thousand.
#pragma once

#include <string>

namespace kelvane::plots {

// A unit text and the number the values are divided by (frequency) or multiplied by (time).
struct Units {
  std::string text;
  double scale = 1;
};

// Frequency units for `sampleRate` (Hz, > 0): k = floor(log10(rate) / 3) picks "Hz" (k 0),
// "kHz" (1), "MHz" (2), any other k "GHz" (a rate below 1 Hz too). The scale is the divider:
// frequencyUnits(6144000) is {"MHz", 1e6}.
Units frequencyUnits(double sampleRate);

// Time units for `seconds` (> 0): k = floor(log10(seconds) / 3) picks "S" (k >= 0), "mS" (-1),
// "uS" (-2), "nS" (-3), any other k "pS". The scale is the multiplier: timeUnits(0.02667) is
// {"mS", 1000}.
Units timeUnits(double seconds);

// The integer nearest to x, halves away from zero (2.5 -> 3, -2.5 -> -3).
double nearest(double x);

}  // namespace kelvane::plots
