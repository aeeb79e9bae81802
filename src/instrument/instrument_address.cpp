#include "instrument/instrument_address.hpp"

#include <algorithm>
#include <cctype>
#include <cmath>

#include "instrument/lan_address.hpp"
#include "runtime/numbers.hpp"
#include "runtime/text.hpp"

namespace kelvane::instrument {

namespace {

using runtime::numToText;

std::string upper(std::string_view s) {
  std::string out(s);
  for (char& c : out)
    c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return out;
}

bool startsWithNoCase(std::string_view s, std::string_view prefix) {
  return s.size() >= prefix.size() && upper(s.substr(0, prefix.size())) == prefix;
}

// The pieces of a VISA string between "::"; a bracketed IPv6 host stays one piece.
std::vector<std::string> visaPieces(std::string_view text) {
  std::vector<std::string> out;
  std::size_t start = 0;
  while (true) {
    std::size_t from = start;
    if (from < text.size() && text[from] == '[') from = std::min(text.find(']', from), text.size());
    const std::size_t end = text.find("::", from);
    out.emplace_back(text.substr(start, end == std::string_view::npos ? end : end - start));
    if (end == std::string_view::npos) return out;
    start = end + 2;
  }
}

std::vector<std::string> splitCommas(std::string_view s) {
  std::vector<std::string> out;
  std::size_t start = 0;
  while (true) {
    const std::size_t end = s.find(',', start);
    out.emplace_back(s.substr(start, end == std::string_view::npos ? end : end - start));
    if (end == std::string_view::npos) return out;
    start = end + 1;
  }
}

// A whole number in `text`, or nothing.
std::optional<double> wholeNumber(const std::string& text) {
  const auto n = runtime::parseNumber(text);
  if (!n || !runtime::isWhole(*n)) return std::nullopt;
  return *n;
}

// Reads the numbered fields of an address; the first piece that is not a whole number refuses
// the address, naming it.
class Numbers {
 public:
  explicit Numbers(std::string_view address) : address_(address) {}
  bool read(const std::string& text, const char* what, double& out) {
    if (error_) return false;
    if (const auto n = wholeNumber(text)) {
      out = *n;
      return true;
    }
    error_ = "The instrument address \"" + address_ + "\": " + what +
             " must be a whole number, not \"" + text + "\".";
    return false;
  }
  const std::optional<std::string>& error() const { return error_; }

 private:
  std::string address_;
  std::optional<std::string> error_;
};

// The board number after a VISA interface word ("GPIB0" -> 0, "TCPIP" -> 0), or nothing.
std::optional<double> boardOf(const std::string& piece, std::string_view word) {
  const std::string digits = piece.substr(word.size());
  if (digits.empty()) return 0.0;
  if (!std::all_of(digits.begin(), digits.end(), [](char c) { return std::isdigit(c) != 0; }))
    return std::nullopt;
  return wholeNumber(digits);
}

std::string formsText() {
  return "Write the instrument address as TCPIP0::HOST::PORT::SOCKET, GPIB0::PRIMARY::INSTR, "
         "ASRL1::INSTR, ASRL/dev/ttyUSB0::INSTR, lan:HOST[:PORT], gpib:BOARD,PRIMARY[,SECONDARY] "
         "or serial:PORT|DEVICE[,BAUD].";
}

std::optional<std::string> notAnAddress(std::string_view text) {
  return "\"" + std::string(text) + "\" is not an instrument address. " + formsText();
}

std::optional<std::string> applyLan(std::string_view text, const std::string& host,
                                    const std::string& port, double board, Configuration& c) {
  const std::string address = port.empty() ? host : host + ":" + port;
  const LanAddressParse parsed = parseLanAddress(address);
  if (!parsed.address)
    return "The instrument address \"" + std::string(text) + "\": " + parsed.error;
  c.type = "TCPIP";
  c.TCPIP.address = address;
  c.TCPIP.board = board;
  return std::nullopt;
}

std::optional<std::string> applyVisaTcpip(std::string_view text,
                                          const std::vector<std::string>& pieces,
                                          Configuration& c) {
  const auto board = boardOf(pieces[0], "TCPIP");
  if (!board) return notAnAddress(text);
  const std::string last = upper(pieces.back());
  if (pieces.size() == 4 && last == "SOCKET") {
    if (!wholeNumber(pieces[2]))
      return "The instrument address \"" + std::string(text) +
             "\": the port must be a whole "
             "number, not \"" +
             pieces[2] + "\".";
    return applyLan(text, pieces[1], pieces[2], *board, c);
  }
  if (pieces.size() >= 2 && pieces.size() <= 4 && last != "SOCKET")
    return "\"" + std::string(text) +
           "\" is a VXI-11 or HiSLIP address; the signal generator is reached over its raw SCPI "
           "socket instead: write TCPIP0::" +
           pieces[1] + "::5025::SOCKET (5025 is the usual port).";
  return notAnAddress(text);
}

std::optional<std::string> applyVisaGpib(std::string_view text, std::vector<std::string> pieces,
                                         Configuration& c) {
  const auto board = boardOf(pieces[0], "GPIB");
  if (pieces.size() > 2 && upper(pieces.back()) == "INSTR") pieces.pop_back();
  if (!board || pieces.size() < 2 || pieces.size() > 3) return notAnAddress(text);
  Numbers n(text);
  Configuration::Gpib g{*board, 0, -1};
  n.read(pieces[1], "the primary address", g.primary);
  if (pieces.size() == 3) n.read(pieces[2], "the secondary address", g.secondary);
  if (n.error()) return n.error();
  c.type = "GPIB";
  c.GPIB = g;
  return std::nullopt;
}

// A serial port given as a number or as a device path.
std::optional<std::string> applySerialPort(std::string_view text, const std::string& port,
                                           Configuration& c) {
  if (!port.empty() && port.front() == '/') {
    c.RS232.device = port;
    c.RS232.port = 1;
  } else {
    Numbers n(text);
    double number = 0;
    if (!n.read(port, "the serial port", number)) return n.error();
    c.RS232.device.clear();
    c.RS232.port = number;
  }
  c.type = "RS232";
  return std::nullopt;
}

std::optional<std::string> applyVisaSerial(std::string_view text, std::vector<std::string> pieces,
                                           Configuration& c) {
  if (pieces.size() == 2 && upper(pieces.back()) == "INSTR") pieces.pop_back();
  if (pieces.size() != 1 || pieces[0].size() <= 4) return notAnAddress(text);
  return applySerialPort(text, pieces[0].substr(4), c);
}

std::optional<std::string> applyVisa(std::string_view text, Configuration& c) {
  const std::vector<std::string> pieces = visaPieces(text);
  if (startsWithNoCase(text, "TCPIP")) return applyVisaTcpip(text, pieces, c);
  if (startsWithNoCase(text, "GPIB")) return applyVisaGpib(text, pieces, c);
  return applyVisaSerial(text, pieces, c);
}

std::optional<std::string> applyShortForm(std::string_view text, std::string_view kind,
                                          const std::string& rest, Configuration& c) {
  if (kind == "lan") {
    if (rest.empty()) return "lan:HOST[:PORT] needs a host.";
    return applyLan(text, rest, "", 0, c);
  }
  const std::vector<std::string> parts = splitCommas(rest);
  if (kind == "serial") {
    if (rest.empty() || parts.size() > 2) return "serial:PORT[,BAUD] needs a port or a device.";
    Configuration changed = c;
    if (auto e = applySerialPort(text, parts[0], changed)) return e;
    Numbers n(text);
    if (parts.size() == 2 && !n.read(parts[1], "the baud rate", changed.RS232.baudrate))
      return n.error();
    c = changed;
    return std::nullopt;
  }
  if (parts.size() < 2 || parts.size() > 3)
    return "gpib:BOARD,PRIMARY[,SECONDARY] needs the board and the primary address.";
  Numbers n(text);
  Configuration::Gpib g{0, 0, -1};
  n.read(parts[0], "the GPIB board", g.board);
  n.read(parts[1], "the primary address", g.primary);
  if (parts.size() == 3) n.read(parts[2], "the secondary address", g.secondary);
  if (n.error()) return n.error();
  c.type = "GPIB";
  c.GPIB = g;
  return std::nullopt;
}

// "must be a whole number from lo to hi" when `x` is not.
void checkRange(std::vector<std::string>& problems, const char* field, double x, double lo,
                double hi) {
  if (runtime::isWholeIn(x, lo, hi)) return;
  problems.push_back(std::string(field) + " must be a whole number from " + numToText(lo) + " to " +
                     numToText(hi) + ", not " + numToText(x) + ".");
}

}  // namespace

std::optional<std::string> applyInstrumentAddress(std::string_view text, Configuration& config) {
  const auto colon = text.find(':');
  const std::string kind(text.substr(0, colon));
  if (colon != std::string_view::npos && (kind == "lan" || kind == "serial" || kind == "gpib"))
    return applyShortForm(text, kind, std::string(text.substr(colon + 1)), config);
  if (startsWithNoCase(text, "TCPIP") || startsWithNoCase(text, "GPIB") ||
      startsWithNoCase(text, "ASRL"))
    return applyVisa(text, config);
  return notAnAddress(text);
}

std::string visaResource(const Configuration& c) {
  const std::string type = upper(c.type);
  if (type == "TCPIP") {
    const LanAddressParse parsed = parseLanAddress(c.TCPIP.address);
    const std::string board = "TCPIP" + numToText(c.TCPIP.board) + "::";
    if (!parsed.address) return board + c.TCPIP.address + "::SOCKET";
    const std::string& host = parsed.address->host;
    const bool v6 = host.find(':') != std::string::npos;
    return board + (v6 ? "[" + host + "]" : host) + "::" + std::to_string(parsed.address->port) +
           "::SOCKET";
  }
  if (type == "GPIB") {
    std::string out = "GPIB" + numToText(c.GPIB.board) + "::" + numToText(c.GPIB.primary);
    if (c.GPIB.secondary >= 0) out += "::" + numToText(c.GPIB.secondary);
    return out + "::INSTR";
  }
  if (type == "RS232")
    return "ASRL" + (c.RS232.device.empty() ? numToText(c.RS232.port) : c.RS232.device) + "::INSTR";
  return {};
}

std::vector<std::string> configurationProblems(const Configuration& c) {
  std::vector<std::string> problems;
  const std::string type = upper(c.type);
  if (type != "GPIB" && type != "RS232" && type != "TCPIP")
    problems.push_back("type must be GPIB, RS232 or TCPIP, not \"" + c.type + "\".");
  checkRange(problems, "GPIB.board", c.GPIB.board, 0, 15);
  checkRange(problems, "GPIB.primary", c.GPIB.primary, 0, 30);
  checkRange(problems, "GPIB.secondary", c.GPIB.secondary, -1, 31);
  checkRange(problems, "RS232.port", c.RS232.port, 1, 9);
  if (std::find(kSerialBaudRates.begin(), kSerialBaudRates.end(), c.RS232.baudrate) ==
      kSerialBaudRates.end()) {
    std::string rates;
    for (double r : kSerialBaudRates)
      rates += (rates.empty() ? "" : ", ") + numToText(r);
    problems.push_back("RS232.baudrate must be one of " + rates + ", not " +
                       numToText(c.RS232.baudrate) + ".");
  }
  if (std::find(kSerialHandshakes.begin(), kSerialHandshakes.end(), c.RS232.handshake) ==
      kSerialHandshakes.end())
    problems.push_back("RS232.handshake must be None, Xon/Xoff or RTS/CTS, not \"" +
                       c.RS232.handshake + "\".");
  if (!c.RS232.device.empty() && c.RS232.device.front() != '/')
    problems.push_back("RS232.device must be a device path such as /dev/ttyUSB0, not \"" +
                       c.RS232.device + "\".");
  if (type == "TCPIP") {
    if (const LanAddressParse parsed = parseLanAddress(c.TCPIP.address); !parsed.address)
      problems.push_back("TCPIP.address: " + parsed.error);
    checkRange(problems, "TCPIP.board", c.TCPIP.board, 0, 15);
  }
  if (c.BBGtype != kBbg8Msamples && c.BBGtype != kBbg32Msamples)
    problems.push_back("BBGtype must be 008 or 032, not \"" + c.BBGtype + "\".");
  return problems;
}

}  // namespace kelvane::instrument
