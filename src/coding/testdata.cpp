#include "coding/testdata.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <sstream>
#include <string>

#include "coding/error.hpp"
#include "coding/lfsr.hpp"
#include "coding/pngenerator.hpp"

namespace kelvane::coding {

namespace {

std::string num(double x) {
  std::ostringstream os;
  os << x;
  return os.str();
}

// Feedback stages of register lengths 3..31 (ITU-T O.150 rows: 9, 11, 15, 20, 23, 29, 31), one row
// per length; the 20-stage row is the one without zero suppression. {n, stages, count, inverted}.
// Every row is a primitive polynomial. The 24-stage row has stage 1 besides 24, 7, 2: with those
// three alone the polynomial has an even number of terms, is divisible by x + 1 and turns the
// all-ones seed into an all-ones output.
inline constexpr std::array<PNFeedback, 29> kFeedback{{
    {3, {3, 1}, 2, false},          {4, {4, 1}, 2, false},          {5, {5, 2}, 2, false},
    {6, {6, 1}, 2, false},          {7, {7, 1}, 2, false},          {8, {8, 4, 3, 2}, 4, false},
    {9, {9, 5}, 2, false},          {10, {10, 3}, 2, false},        {11, {11, 9}, 2, false},
    {12, {12, 6, 4, 1}, 4, false},  {13, {13, 4, 3, 1}, 4, false},  {14, {14, 12, 2, 1}, 4, false},
    {15, {15, 14}, 2, true},        {16, {16, 12, 3, 1}, 4, false}, {17, {17, 3}, 2, false},
    {18, {18, 7}, 2, false},        {19, {19, 5, 2, 1}, 4, false},  {20, {20, 3}, 2, false},
    {21, {21, 2}, 2, false},        {22, {22, 1}, 2, false},        {23, {23, 18}, 2, true},
    {24, {24, 7, 2, 1}, 4, false},  {25, {25, 3}, 2, false},        {26, {26, 6, 2, 1}, 4, false},
    {27, {27, 5, 2, 1}, 4, false},  {28, {28, 3}, 2, false},        {29, {29, 27}, 2, true},
    {30, {30, 23, 2, 1}, 4, false}, {31, {31, 28}, 2, true},
}};
// The 20-stage register with zero suppression on.
inline constexpr PNFeedback kFeedback20ZeroSuppressed{20, {20, 17}, 2, false};

static_assert(kFeedback.front().n == 3 && kFeedback.back().n == 31);

// The longest run of zeros the zero-suppressed 20-stage pattern may contain.
constexpr std::size_t kMaxZeroRun = 14;

}  // namespace

PNFeedback pnFeedbackFor(int n, bool zeroSuppression) {
  require(n >= 3 && n <= 31, "PNgenerator: no feedback row for register length " + num(n));
  if (n == 20 && zeroSuppression) return kFeedback20ZeroSuppressed;
  return kFeedback[static_cast<std::size_t>(n - 3)];
}

int pnGeneratorStages(double n) {
  require(!std::isnan(n), "PNgenerator: the register length is NaN");
  n = std::min(std::max(n, 3.0), 31.0);
  return n == std::floor(n) ? static_cast<int>(n) : 9;
}

Bits PNgenerator(double n, const PNGeneratorOptions& options) {
  const int stages = pnGeneratorStages(n);
  const auto order = static_cast<std::size_t>(stages);

  std::size_t length = options.dataLength ? *options.dataLength : (std::size_t{1} << order) - 1;
  length = std::max<std::size_t>(length, 1);

  Bits seed(order, 1);
  if (options.seed && options.seed->size() == 1) {
    if ((*options.seed)[0] != 0.0) {
      std::fill(seed.begin(), seed.end(), 0);
      seed.back() = 1;
    }
  } else if (options.seed && options.seed->size() >= order) {
    for (std::size_t k = 0; k < order; ++k) {
      const double b = (*options.seed)[k];
      require(b == 0.0 || b == 1.0,
              "PNgenerator: seed bit " + std::to_string(k + 1) + " is " + num(b) + ", not 0 or 1");
      seed[k] = static_cast<std::uint8_t>(b);
    }
    if (std::all_of(seed.begin(), seed.end(), [](std::uint8_t b) { return b == 0; }))
      seed.back() = 1;
  }

  const bool zeroSuppression = stages == 20 && options.zeroSuppression;
  const PNFeedback row = pnFeedbackFor(stages, zeroSuppression);
  // Stage a weights s(i - a): tap position n + 1 - a of the register recursion.
  Bits taps(order, 0);
  for (int k = 0; k < row.stageCount; ++k)
    taps[order - static_cast<std::size_t>(row.stages[static_cast<std::size_t>(k)])] = 1;

  Bits sequence = lfsr(stages, taps, length, seed);

  if (zeroSuppression) {
    std::size_t zeroRun = 0;  // zeros ending just before position i
    for (std::size_t i = 0; i < sequence.size(); ++i) {
      if (sequence[i] == 0 && zeroRun >= kMaxZeroRun) sequence[i] = 1;
      zeroRun = sequence[i] == 0 ? zeroRun + 1 : 0;
    }
  }
  if (row.inverted != options.userInvert)
    for (auto& b : sequence)
      b ^= 1u;
  if (sequence.size() > length) sequence.resize(length);
  return sequence;
}

std::vector<double> extendVector(std::span<const double> data, std::size_t reqLength) {
  require(!data.empty() || reqLength == 0, "extendVector: cannot extend an empty vector to " +
                                               std::to_string(reqLength) + " elements");
  std::vector<double> out(reqLength);
  for (std::size_t i = 0; i < reqLength; ++i)
    out[i] = data[i % data.size()];
  return out;
}

PayloadType payloadTypeFor(double type) {
  for (int t = 1; t <= 7; ++t)
    if (type == t) return static_cast<PayloadType>(t);
  fail("GenerateBitStream: payload type " + num(type) + " is not one of 1 to 7");
}

std::size_t bitStreamLength(double len) {
  require(len >= 0 && len == std::floor(len) && std::isfinite(len),
          "GenerateBitStream: the length must be a whole number 0 or more, got " + num(len));
  return static_cast<std::size_t>(len);
}

Bits GenerateBitStream(PayloadType type, std::size_t length, std::span<const double> pattern) {
  Bits bits;
  switch (type) {
    case PayloadType::Zeros:
      bits.assign(length, 0);
      break;
    case PayloadType::Ones:
      bits.assign(length, 1);
      break;
    case PayloadType::Alternating01:
    case PayloadType::Alternating10: {
      bits.resize(length);
      const std::uint8_t first = type == PayloadType::Alternating10 ? 1 : 0;
      for (std::size_t i = 0; i < length; ++i)
        bits[i] = static_cast<std::uint8_t>(first ^ (i & 1u));
      break;
    }
    case PayloadType::Pn9:
    case PayloadType::Pn15:
      bits = PNgenerator(type == PayloadType::Pn9 ? 9 : 15, {.dataLength = length});
      bits.resize(length);  // PNgenerator gives at least one bit
      break;
    case PayloadType::UserPattern: {
      require(!pattern.empty(), "GenerateBitStream: payload type 7 needs a user pattern");
      for (std::size_t k = 0; k < pattern.size(); ++k)
        require(pattern[k] == 0.0 || pattern[k] == 1.0, "GenerateBitStream: pattern element " +
                                                            std::to_string(k + 1) + " is " +
                                                            num(pattern[k]) + ", not 0 or 1");
      const std::vector<double> stream = extendVector(pattern, length);
      bits.assign(stream.begin(), stream.end());
      break;
    }
    default:
      fail("GenerateBitStream: payload type " + std::to_string(static_cast<int>(type)) +
           " is not one of 1 to 7");
  }
  return bits;
}

}  // namespace kelvane::coding
