#include "plots/units.hpp"

#include <cmath>

namespace kelvane::plots {

Units frequencyUnits(double sampleRate) {
  const double k = std::floor(std::log10(sampleRate) / 3);
  if (k == 0) return {"Hz", 1};
  if (k == 1) return {"kHz", 1e3};
  if (k == 2) return {"MHz", 1e6};
  return {"GHz", 1e9};
}

Units timeUnits(double seconds) {
  const double k = std::floor(std::log10(seconds) / 3);
  // A duration of a thousand seconds or more stays in seconds: picoseconds would read 1e15.
  if (k >= 0) return {"S", 1};
  if (k == -1) return {"mS", 1e3};
  if (k == -2) return {"uS", 1e6};
  if (k == -3) return {"nS", 1e9};
  return {"pS", 1e12};
}

double nearest(double x) {
  return std::round(x);
}

}  // namespace kelvane::plots
