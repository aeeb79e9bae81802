#include "synthesis/pn.hpp"

#include <algorithm>
#include <array>
#include <sstream>

#include "coding/lfsr.hpp"
#include "coding/sequences.hpp"

namespace kelvane::synthesis {

namespace {

constexpr int kPNOrder = 15;
// Tap k is the coefficient of x^(k-1) of the generator polynomial (16 entries, k = 1..16).
constexpr std::array<std::uint8_t, 16> kPNiTaps{1, 0, 0, 0, 0, 1, 0, 1, 1, 1, 0, 0, 0, 1, 0, 1};
constexpr std::array<std::uint8_t, 16> kPNqTaps{1, 0, 0, 1, 1, 1, 1, 0, 0, 0, 1, 1, 1, 0, 0, 1};

// One zero-offset period: the 32767-chip register output with a 0 in front, reversed in time
// and delayed by 15 chips, so that it starts with its run of 15 zeros.
coding::Bits pnPeriod(std::span<const std::uint8_t> taps) {
  coding::Bits seed(kPNOrder, 0);
  seed.back() = 1;
  const coding::Bits a = coding::lfsr(kPNOrder, taps, kPNPeriodChips - 1, seed);
  coding::Bits pn(kPNPeriodChips);
  pn[0] = 0;
  std::copy(a.begin(), a.end(), pn.begin() + 1);
  std::reverse(pn.begin(), pn.end());
  return CircularShiftRight<std::uint8_t>(pn, kPNOrder);
}

coding::Bits repeated(std::span<const std::uint8_t> period, std::size_t reps) {
  coding::require(reps >= 1, "CircularShiftRight: shift count 15 exceeds the length 0");
  coding::Bits out;
  out.reserve(period.size() * reps);
  for (std::size_t r = 0; r < reps; ++r)
    out.insert(out.end(), period.begin(), period.end());
  return out;
}

// The zero-offset sequences mapped to +1 (bit 0) and -1 (bit 1).
struct PNSigns {
  std::vector<double> i, q;
};

const PNSigns& pnSigns() {
  static const PNSigns signs = [] {
    const std::vector<double> i(pnIPeriod().begin(), pnIPeriod().end());
    const std::vector<double> q(pnQPeriod().begin(), pnQPeriod().end());
    return PNSigns{coding::Qarn_SignalMap(i), coding::Qarn_SignalMap(q)};
  }();
  return signs;
}

std::string num(double x) {
  std::ostringstream os;
  os << x;
  return os.str();
}

}  // namespace

std::span<const std::uint8_t> pnIPeriod() {
  static const coding::Bits period = pnPeriod(kPNiTaps);
  return period;
}

std::span<const std::uint8_t> pnQPeriod() {
  static const coding::Bits period = pnPeriod(kPNqTaps);
  return period;
}

coding::Bits Qarn_PNiSequence(std::size_t reps) {
  return repeated(pnIPeriod(), reps);
}

coding::Bits Qarn_PNqSequence(std::size_t reps) {
  return repeated(pnQPeriod(), reps);
}

void spreadInPlace(std::span<std::complex<double>> chips, double offsetIndex, bool conjugate) {
  coding::require(chips.size() % kPNPeriodChips == 0,
                  "Qarn_FwdQuadSpreading: " + std::to_string(chips.size()) +
                      " chips are not a whole number of PN periods of 32768 chips");
  // The delay of CircularShiftRight: rounded, none for 0 or less, at most one period.
  const double shift = std::round(static_cast<double>(kPNOffsetChips) * offsetIndex);
  coding::require(!(shift > static_cast<double>(kPNPeriodChips)),
                  "Qarn_FwdQuadSpreading: PN offset index " + num(offsetIndex) +
                      " delays the sequence by more than one period");
  const std::size_t delay = shift > 0 ? static_cast<std::size_t>(shift) % kPNPeriodChips : 0;
  const PNSigns& pn = pnSigns();
  const double qSign = conjugate ? -1.0 : 1.0;
  // Chip n is spread by chip (n - delay) mod 32768 of the zero-offset period.
  for (std::size_t base = 0; base < chips.size(); base += kPNPeriodChips) {
    std::complex<double>* frame = chips.data() + base;
    std::size_t n = 0;
    auto spread = [&](std::size_t count, std::size_t pnStart) {
      const double* pi = pn.i.data() + pnStart;
      const double* pq = pn.q.data() + pnStart;
      for (std::size_t k = 0; k < count; ++k, ++n) {
        const double re = frame[n].real(), im = frame[n].imag();
        frame[n] = {re * pi[k] - im * pq[k], qSign * (re * pq[k] + im * pi[k])};
      }
    };
    spread(delay, kPNPeriodChips - delay);
    spread(kPNPeriodChips - delay, 0);
  }
}

std::vector<std::complex<double>> Qarn_FwdQuadSpreading(
    std::span<const std::complex<double>> frames, double offsetIndex) {
  std::vector<std::complex<double>> out(frames.begin(), frames.end());
  spreadInPlace(out, offsetIndex);
  return out;
}

}  // namespace kelvane::synthesis
