// Payload test data: zeros, ones, alternating bits, PN9, PN15 or a repeated user pattern.
#pragma once

#include <cstddef>
#include <span>

#include "coding/bits.hpp"

namespace kelvane::coding {

// The payload test data, numbered as the record and the by-name argument number them.
enum class PayloadType {
  Zeros = 1,
  Ones = 2,
  Alternating01 = 3,  // 0101...
  Alternating10 = 4,  // 1010...
  Pn9 = 5,
  Pn15 = 6,
  UserPattern = 7,  // the caller's pattern repeated
};

// The payload type numbered `type`; a number outside 1..7 raises coding::Error
// "GenerateBitStream: payload type <type> is not one of 1 to 7".
PayloadType payloadTypeFor(double type);

// `len` as a bit count; a number that is not a whole number 0 or more raises coding::Error
// "GenerateBitStream: the length must be a whole number 0 or more, got <len>".
std::size_t bitStreamLength(double len);

// A row of `length` bits of payload `type`. UserPattern without a pattern, or with a pattern
// element other than 0 or 1, raises coding::Error.
Bits GenerateBitStream(PayloadType type, std::size_t length, std::span<const double> pattern = {});

}  // namespace kelvane::coding
