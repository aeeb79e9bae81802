// Maximal-length PN test patterns for register lengths 3 to 31 (the ITU-T O.150 patterns among
// them) and the stretching of a user pattern to a length.
#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <span>
#include <vector>

#include "coding/bits.hpp"

namespace kelvane::coding {

// One row of the feedback table: register length, the stages that feed back (the polynomial is
// x^n + x^stage... + 1 over the stages after the first), and whether the output is complemented.
struct PNFeedback {
  int n;
  std::array<int, 4> stages;  // the first `stageCount` entries are used, stages[0] == n
  int stageCount;
  bool inverted;
};

// The row of register length `n` (3..31); the 20-stage register has its zero-suppression variant.
// Example: pnFeedbackFor(9, false) -> {9, {9, 5}, 2, false}.
PNFeedback pnFeedbackFor(int n, bool zeroSuppression);

struct PNGeneratorOptions {
  // Bits to produce; absent: one period, 2^n - 1. Values below 1 give 1 bit.
  std::optional<std::size_t> dataLength = std::nullopt;
  bool userInvert = false;  // complements the output (undoing the complement of inverted rows)
  // Absent: n ones. One value: 0 gives n ones, any other n - 1 zeros and a one. A longer seed
  // shorter than n gives n ones; otherwise its first n bits, the last set to 1 if all are 0.
  std::optional<std::vector<double>> seed = std::nullopt;
  bool zeroSuppression = false;  // 20-stage register only: no run of more than 14 zeros
};

// The register length PNgenerator(n) uses: n clamped to 3..31, 9 for a number that is not
// whole; NaN raises coding::Error. Example: pnGeneratorStages(40) -> 31.
int pnGeneratorStages(double n);

// The PN sequence of the `n`-stage register (clamped to 3..31; a non-integer falls back to 9),
// s(i) = XOR of s(i - stage) over the row's stages, complemented for the inverted rows.
// Example: PNgenerator(9, {.dataLength = 12}) -> 1 1 1 1 1 1 1 1 1 0 0 0.
Bits PNgenerator(double n = 9, const PNGeneratorOptions& options = {});

// `data` written as often as needed and cut to exactly `reqLength` elements; `data` must not be
// empty unless reqLength is 0. Example: extendVector({1, 0, 1}, 8) -> 1 0 1 1 0 1 1 0.
std::vector<double> extendVector(std::span<const double> data, std::size_t reqLength);

}  // namespace kelvane::coding
