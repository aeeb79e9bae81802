#include "synthesis/channels.hpp"

#include <string>

#include "coding/checks.hpp"
#include "coding/error.hpp"
#include "coding/sequences.hpp"

namespace kelvane::synthesis {

namespace {

constexpr std::size_t kPilotChips = 96;
constexpr std::size_t kRpcChannels = 59;  // MAC indices 5..63
constexpr std::size_t kMacBursts = 4;     // MAC bursts a slot

}  // namespace

std::vector<double> Qarn_FwdPilot() {
  // Walsh code 0 carrying all-zero symbols, mapped to +1, on the I branch.
  return std::vector<double>(kPilotChips, 1.0);
}

std::vector<double> Qarn_FwdTrfPreamble(double macIndex, double rep) {
  const std::size_t mac = coding::wholeInRange(macIndex, "MACindex", 0, 63);
  // 2^20 repetitions are far beyond the 1024-chip preamble of the longest format.
  const std::size_t reps = coding::wholeInRange(rep, "rep", 0, 1 << 20);
  const coding::Matrix<double> w = coding::Qarn_WalshMatrix(32);
  // Biorthogonal cover: W(i / 2) for an even index, the complement of W((i - 1) / 2) for an odd.
  std::vector<double> cover = w.row(mac / 2);
  if (mac % 2 != 0)
    for (double& chip : cover)
      chip = -chip;
  return coding::Qarn_Repeat(cover, reps);
}

std::vector<std::complex<double>> Qarn_FwdMACslot(std::span<const double> rpcBits,
                                                  std::span<const double> rpcGains, double raBit,
                                                  double raGain) {
  if (rpcBits.size() != rpcGains.size() || rpcBits.size() < kRpcChannels)
    coding::fail("RPCbits and RPCgains must have the same length of at least 59, got " +
                 std::to_string(rpcBits.size()) + " and " + std::to_string(rpcGains.size()));
  const coding::Matrix<double> w = coding::Qarn_WalshMatrix(64);
  const std::vector<double> rpcSymbols = coding::Qarn_SignalMap(rpcBits.first(kRpcChannels));
  const double raSymbol = (1.0 - 2.0 * raBit) * raGain;

  // MAC index 4 (reverse activity) on W(2), I branch.
  std::vector<std::complex<double>> symbol(64);
  const std::vector<double> ra = coding::Qarn_WalshCover(std::vector<double>{raSymbol}, w.row(2));
  for (std::size_t c = 0; c < 64; ++c)
    symbol[c] = ra[c];
  // MAC indices 5..63 (reverse power control): W(m / 2) on I for an even m, W((m - 1) / 2 + 32)
  // on Q for an odd m.
  for (std::size_t i = 0; i < kRpcChannels; ++i) {
    const std::size_t m = i + 5;
    const std::size_t walshIndex = m / 2 + 32 * (m % 2);
    const std::vector<double> rpc = coding::Qarn_WalshCover(
        std::vector<double>{rpcSymbols[i] * rpcGains[i]}, w.row(walshIndex));
    const std::complex<double> branch = m % 2 ? std::complex<double>(0, 1) : 1.0;
    for (std::size_t c = 0; c < 64; ++c)
      symbol[c] += rpc[c] * branch;
  }
  return coding::Qarn_Repeat(symbol, kMacBursts);
}

}  // namespace kelvane::synthesis
