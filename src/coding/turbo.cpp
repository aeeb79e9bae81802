#include "coding/turbo.hpp"

#include <array>
#include <string>

#include "coding/binary.hpp"
#include "coding/checks.hpp"
#include "coding/error.hpp"

namespace kelvane::coding {

namespace {

constexpr double kRateThird = 1.0 / 3;
constexpr double kRateFifth = 0.2;

void requireRate(double rate) {
  if (rate != kRateThird && rate != kRateFifth)
    fail("rate must be 1/3 or 1/5, got " + formatNumber(rate));
}

// The address tables of the four packet sizes, built once from their definition.
const std::vector<std::size_t>& standardAddresses(std::size_t n) {
  static const std::array<std::vector<std::size_t>, 4> tables{
      turboInterleaverAddresses(1018), turboInterleaverAddresses(2042),
      turboInterleaverAddresses(3066), turboInterleaverAddresses(4090)};
  static const std::vector<std::size_t> none;
  for (const auto& t : tables)
    if (t.size() == n) return t;
  return none;
}

template <class T>
std::vector<T> interleave(std::span<const T> input) {
  const std::vector<std::size_t>& standard = standardAddresses(input.size());
  const std::vector<std::size_t> other =
      standard.empty() ? turboInterleaverAddresses(input.size()) : std::vector<std::size_t>{};
  const std::vector<std::size_t>& addresses = standard.empty() ? other : standard;
  std::vector<T> out(input.size());
  for (std::size_t k = 0; k < addresses.size(); ++k)
    out[k] = input[addresses[k]];
  return out;
}

template <class T>
void requireLength(std::span<const T> v, std::size_t length, const char* name) {
  if (v.size() != length)
    fail(std::string(name) + " must hold " + std::to_string(length) + " symbols like x, got " +
         std::to_string(v.size()));
}

template <class T>
std::vector<T> puncture(std::span<const T> x, std::span<const T> y0, std::span<const T> y1,
                        std::span<const T> xp, std::span<const T> y0p, std::span<const T> y1p,
                        double rate) {
  requireRate(rate);
  const bool third = rate == kRateThird;
  if (x.size() < 3)
    fail("x must hold at least the 3 tail symbols, got " + std::to_string(x.size()));
  const std::size_t len = x.size();
  requireLength(y0, len, "y0");
  requireLength(xp, len, "xp");
  requireLength(y0p, len, "y0p");
  if (!third) {
    requireLength(y1, len, "y1");
    requireLength(y1p, len, "y1p");
  }
  const std::size_t n = len - 3;
  const std::size_t perPeriod = third ? 3 : 5;
  std::vector<T> out(perPeriod * (n + 6));
  T* o = out.data();
  for (std::size_t i = 0; i < n; ++i) {
    *o++ = x[i];
    *o++ = y0[i];
    if (!third) *o++ = y1[i];
    *o++ = y0p[i];
    if (!third) *o++ = y1p[i];
  }
  for (std::size_t c = n; c < len; ++c) {
    *o++ = x[c];
    *o++ = x[c];
    *o++ = y0[c];
    if (!third) {
      *o++ = y1[c];
      *o++ = y1[c];
    }
  }
  for (std::size_t c = n; c < len; ++c) {
    *o++ = xp[c];
    *o++ = xp[c];
    *o++ = y0p[c];
    if (!third) {
      *o++ = y1p[c];
      *o++ = y1p[c];
    }
  }
  return out;
}

}  // namespace

ConstituentOutputs Qarn_ConstituentEncoder(std::span<const std::uint8_t> input) {
  requireBits(input, "input");
  const std::size_t n = input.size();
  ConstituentOutputs out{Bits(n + 3), Bits(n + 3), Bits(n + 3)};
  std::uint8_t s1 = 0, s2 = 0, s3 = 0;
  for (std::size_t i = 0; i < n; ++i) {
    const std::uint8_t u = input[i];
    out.x[i] = u;
    out.y0[i] = u ^ s1 ^ s2;
    out.y1[i] = u ^ s1;
    const std::uint8_t w = u ^ s2 ^ s3;
    s3 = s2;
    s2 = s1;
    s1 = w;
  }
  // Tail: the input switched to the feedback, so that zeros enter the register.
  for (std::size_t i = n; i < n + 3; ++i) {
    out.x[i] = s2 ^ s3;
    out.y0[i] = s1 ^ s3;
    out.y1[i] = s1 ^ s2 ^ s3;
    s3 = s2;
    s2 = s1;
    s1 = 0;
  }
  return out;
}

std::vector<std::size_t> turboInterleaverAddresses(std::size_t n) {
  if (n < 129 || n > 4096)
    fail("turbo interleaver input must hold 129 to 4096 symbols, got " + std::to_string(n));
  int log2Ceil = 0;
  while ((std::size_t{1} << log2Ceil) < n)
    ++log2Ceil;
  const int rowBits = log2Ceil - 5;  // n = 3..7
  const std::uint32_t mask = (1u << rowBits) - 1u;
  const auto column = static_cast<std::size_t>(rowBits - 3);

  std::vector<std::size_t> addresses;
  addresses.reserve(n);
  // Every counter value below 2^(n + 5) gives a distinct address, so the loop ends.
  for (std::uint32_t counter = 0; addresses.size() < n; ++counter) {
    const std::uint32_t lsb = counter & 31u;
    const std::uint32_t msb = ((counter >> 5) + 1u) & mask;
    const auto lookup = static_cast<std::uint32_t>(TurboInterleaverTable[lsb][column]);
    const std::uint32_t address = (reverseLowBits(lsb, 5) << rowBits) + ((lookup * msb) & mask);
    if (address < n) addresses.push_back(address);
  }
  return addresses;
}

Bits Qarn_TurboInterleaver(std::span<const std::uint8_t> input) {
  return interleave(input);
}

std::vector<double> Qarn_TurboInterleaver(std::span<const double> input) {
  return interleave(input);
}

Bits Qarn_TurboPuncturing(std::span<const std::uint8_t> x, std::span<const std::uint8_t> y0,
                          std::span<const std::uint8_t> y1, std::span<const std::uint8_t> xp,
                          std::span<const std::uint8_t> y0p, std::span<const std::uint8_t> y1p,
                          double rate) {
  return puncture(x, y0, y1, xp, y0p, y1p, rate);
}

std::vector<double> Qarn_TurboPuncturing(std::span<const double> x, std::span<const double> y0,
                                         std::span<const double> y1, std::span<const double> xp,
                                         std::span<const double> y0p, std::span<const double> y1p,
                                         double rate) {
  return puncture(x, y0, y1, xp, y0p, y1p, rate);
}

Bits Qarn_TurboCoder(std::span<const std::uint8_t> input, double rate) {
  requireRate(rate);
  const Bits interleaved = Qarn_TurboInterleaver(input);
  const ConstituentOutputs first = Qarn_ConstituentEncoder(input);
  const ConstituentOutputs second = Qarn_ConstituentEncoder(interleaved);
  return Qarn_TurboPuncturing(first.x, first.y0, first.y1, second.x, second.y0, second.y1, rate);
}

Bits Qarn_FwdEncoder(std::span<const std::uint8_t> physicalLayerPacket, const ModParams& format) {
  if (physicalLayerPacket.size() < 6)
    fail("physicalLayerPacket must end in 6 tail bits, got " +
         std::to_string(physicalLayerPacket.size()) + " bits");
  return Qarn_TurboCoder(physicalLayerPacket.first(physicalLayerPacket.size() - 6),
                         format.codeRate);
}

}  // namespace kelvane::coding
