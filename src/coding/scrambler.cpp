#include "coding/scrambler.hpp"

#include <algorithm>

#include "coding/binary.hpp"
#include "coding/checks.hpp"

namespace kelvane::coding {

Bits Qarn_FwdScrambler(std::span<const std::uint8_t> input, const ModParams& format,
                       double macIndex) {
  requireBits(input, "input");
  wholeInRange(macIndex, "macIndex", 0, 63);
  Bits state(7, 1);
  const Bits mac = de2bi(macIndex, 6, "left-msb");
  const Bits drc = de2bi(format.drcValue, 4, "left-msb");
  state.insert(state.end(), mac.begin(), mac.end());
  state.insert(state.end(), drc.begin(), drc.end());

  // The sequence of first register stages: s(t + 17) = s(t) XOR s(t + 3), the start state first.
  Bits sequence = std::move(state);
  sequence.resize(std::max<std::size_t>(17, input.size()));
  // Each step reaches back at least 14 bits, so 14 bits at a time are independent.
  for (std::size_t t = 17; t < sequence.size(); t += 14) {
    const std::size_t end = std::min(t + 14, sequence.size());
    for (std::size_t u = t; u < end; ++u)
      sequence[u] = sequence[u - 17] ^ sequence[u - 14];
  }

  Bits out(input.size());
  for (std::size_t i = 0; i < input.size(); ++i)
    out[i] = input[i] ^ sequence[i];
  return out;
}

}  // namespace kelvane::coding
