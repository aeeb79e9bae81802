#include "coding/packets.hpp"

#include <algorithm>
#include <initializer_list>
#include <string>

#include "coding/binary.hpp"
#include "coding/checks.hpp"
#include "coding/error.hpp"
#include "coding/fcs.hpp"

namespace kelvane::coding {

namespace {

constexpr std::size_t kPayloadBits = 1002;  // one MAC layer payload
constexpr std::size_t kPadBits = 22;        // zeros between consecutive payloads
constexpr std::size_t kTailBits = 6;        // zeros that terminate the turbo encoder

void append(Bits& to, std::span<const std::uint8_t> bits) {
  to.insert(to.end(), bits.begin(), bits.end());
}

void appendZeros(Bits& to, std::size_t count) {
  to.insert(to.end(), count, 0);
}

// A field of `width` bits, most significant first.
Bits field(double value, int width) {
  return de2bi(value, width, "left-msb");
}

Bits fixed(std::initializer_list<std::uint8_t> bits) {
  return Bits(bits);
}

// `header` followed by `body`.
Bits prefixed(const Bits& header, const Bits& body) {
  Bits out = header;
  append(out, body);
  return out;
}

// The packet's FCS and tail after `content`.
Bits terminated(Bits content) {
  const Bits fcs = Qarn_PhysicalLayerFCS(content);
  append(content, fcs);
  appendZeros(content, kTailBits);
  return content;
}

}  // namespace

Bits Qarn_FwdTrfPhysicalLayerPacket(std::span<const std::uint8_t> data) {
  const std::size_t n = data.size();
  if (n == 0 || n % kPayloadBits != 0 || n / kPayloadBits > 4)
    fail("data must hold 1002, 2004, 3006 or 4008 bits, got " + std::to_string(n));
  requireBits(data, "data");
  const std::size_t k = n / kPayloadBits;

  Bits content;
  content.reserve(1024 * k);
  for (std::size_t i = 0; i < k; ++i) {
    if (i > 0) appendZeros(content, kPadBits);
    append(content, data.subspan(i * kPayloadBits, kPayloadBits));
  }
  return terminated(std::move(content));
}

Bits Qarn_FwdSyncMessagePacket(double pilotPNOffset) {
  // The Sync message; the system time is 26036640000 units of 80/3 ms.
  Bits message = fixed({0, 0});               // MessageID
  append(message, field(1, 8));               // MaximumRevision
  append(message, field(0, 8));               // MinimumRevision
  append(message, field(pilotPNOffset, 9));   // PilotPN
  append(message, field(26036640000.0, 37));  // SystemTime

  // Inside out: SNP header (InConfigurationProtocol, NISPType 11), SLP-D header, SLP-F header
  // (Reserved, Fragmented), stream layer header.
  Bits snp = prefixed(prefixed(fixed({0}), field(11, 7)), message);
  Bits slpd = prefixed(fixed({0}), snp);
  Bits slpf = prefixed(fixed({0, 0, 0, 0, 0}), slpd);
  Bits session = prefixed(fixed({0, 0}), slpf);
  // Connection layer header: the session layer packet's length in octets.
  Bits security = prefixed(field(static_cast<double>(session.size() / 8), 8), session);

  // MAC layer header: Length in octets counting itself, SecurityLayerFormat 0,
  // ConnectionLayerFormat 1, Reserved, ATIRecord.
  Bits macHeader = field(static_cast<double>((security.size() + 8) / 8), 8);
  append(macHeader, fixed({0, 1, 0, 0, 0, 0, 0, 0}));
  // Control Channel header: SynchronousCapsule, FirstPacket, LastPacket, Offset (2),
  // SleepStateCapsuleDone, Reserved (2).
  const Bits ccHeader = fixed({1, 1, 1, 0, 0, 1, 0, 0});

  const std::size_t padBits = 1000 - security.size() - macHeader.size() - ccHeader.size();
  Bits mac = ccHeader;
  append(mac, macHeader);
  append(mac, security);
  appendZeros(mac, padBits);
  appendZeros(mac, 2);  // Reserved
  return terminated(std::move(mac));
}

}  // namespace kelvane::coding
