// The signal generator's LAN address: a host name or dotted address with an optional ":port",
// or "[IPv6]:port", read in one place for the transport and the command-line tool.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace kelvane::instrument {

// The SCPI socket port of the signal generator when the address names none.
inline constexpr std::uint16_t kDefaultLanPort = 5025;

struct LanAddress {
  std::string host;  // without brackets: "192.168.0.20", "fe80::1", "siggen.lab"
  std::uint16_t port = kDefaultLanPort;
};

// The address, or the message that refuses it (fit for an error box).
struct LanAddressParse {
  std::optional<LanAddress> address;
  std::string error;
};

// Reads `text` with surrounding blanks trimmed: "host", "host:port", "[IPv6]" or "[IPv6]:port";
// a bare IPv6 address (more than one colon) takes the default port. Refuses a bad port (not a
// whole number from 1 to 65535), unbalanced brackets, and the unset addresses "", "0.0.0.0" and
// "::", which would reach this computer. Example: parseLanAddress(" 10.0.0.7:5026 ").
LanAddressParse parseLanAddress(std::string_view text);

// "host:port", with brackets around an IPv6 host: the address as messages name it.
std::string lanLabel(const LanAddress& address);

}  // namespace kelvane::instrument
