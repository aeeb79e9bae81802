// The non-data components of a forward-link slot: pilot burst, MAC burst and preamble.
#pragma once

#include <complex>
#include <span>
#include <vector>

namespace kelvane::synthesis {

// 96 pilot chips, all 1.
std::vector<double> Qarn_FwdPilot();

// The preamble of `macIndex` (0..63; above 63 raises coding::Error): the 32-chip Walsh cover
// W(macIndex/2) for an even index, its complement W((macIndex-1)/2) for an odd one, written
// `rep` times in a row: 32 * rep real chips.
std::vector<double> Qarn_FwdTrfPreamble(double macIndex, double rep);

// One slot's MAC chips from the RPC bits and gains of MAC indices 5..63 (at least 59 each, same
// length) and the RA bit and gain: the 64-chip MAC symbol written four times, 256 chips.
std::vector<std::complex<double>> Qarn_FwdMACslot(std::span<const double> rpcBits,
                                                  std::span<const double> rpcGains, double raBit,
                                                  double raGain);

}  // namespace kelvane::synthesis
