#include "instrument/lan_address.hpp"

#include <algorithm>
#include <cctype>
#include <cstdlib>

namespace kelvane::instrument {

namespace {

std::string_view trimmed(std::string_view text) {
  const auto blank = [](char ch) { return std::isspace(static_cast<unsigned char>(ch)) != 0; };
  while (!text.empty() && blank(text.front()))
    text.remove_prefix(1);
  while (!text.empty() && blank(text.back()))
    text.remove_suffix(1);
  return text;
}

// The port of `text`, or none when it is not a whole number from 1 to 65535.
std::optional<std::uint16_t> portOf(const std::string& text) {
  char* end = nullptr;
  const long port = std::strtol(text.c_str(), &end, 10);
  if (text.empty() || *end != '\0' || port < 1 || port > 65535) return std::nullopt;
  return static_cast<std::uint16_t>(port);
}

LanAddressParse refusal(std::string message) {
  return {std::nullopt, std::move(message)};
}

}  // namespace

LanAddressParse parseLanAddress(std::string_view text) {
  const std::string address(trimmed(text));
  const auto invalid = [&] { return refusal("The LAN address \"" + address + "\" is not valid."); };
  const auto badPort = [&](const std::string& port) {
    return refusal("The LAN address \"" + address + "\" has an invalid port \"" + port + "\".");
  };
  LanAddress result{address, kDefaultLanPort};
  std::optional<std::string> portText;
  if (!address.empty() && address.front() == '[') {  // [IPv6]:port
    const auto close = address.find(']');
    if (close == std::string::npos) return invalid();
    const std::string rest = address.substr(close + 1);
    result.host = address.substr(1, close - 1);
    if (!rest.empty()) {
      if (rest.front() != ':') return invalid();
      portText = rest.substr(1);
    }
  } else if (std::count(address.begin(), address.end(), ':') == 1) {  // host:port
    const auto colon = address.find(':');
    portText = address.substr(colon + 1);
    result.host = address.substr(0, colon);
  }
  if (portText) {
    const auto port = portOf(*portText);
    if (!port) return badPort(*portText);
    result.port = *port;
  }
  // 0.0.0.0 is the unset address; a connect there would reach this computer.
  if (result.host.empty() || result.host == "0.0.0.0" || result.host == "::")
    return refusal("No LAN address is set for the signal generator (TCPIP.address is \"" +
                   std::string(text) + "\"). Set it in the I/O configuration.");
  return {std::move(result), {}};
}

std::string lanLabel(const LanAddress& address) {
  const bool bracketed = address.host.find(':') != std::string::npos;
  return (bracketed ? "[" + address.host + "]" : address.host) + ":" + std::to_string(address.port);
}

}  // namespace kelvane::instrument
