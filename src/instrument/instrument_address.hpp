// Instrument addresses as instrument people write them: the command-line tool's short forms and
// VISA resource strings, read into the connection fields of the configuration record, and the
// checks a configuration must pass before it is saved or used.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "instrument/records.hpp"

namespace kelvane::instrument {

// The baud rates and handshakes the I/O configuration dialog offers.
inline constexpr std::array<double, 10> kSerialBaudRates = {300,  600,   1200,  2400,  4800,
                                                            9600, 19200, 38400, 57600, 115200};
inline constexpr std::array<std::string_view, 3> kSerialHandshakes = {"None", "Xon/Xoff",
                                                                      "RTS/CTS"};

// Sets `config.type` and the fields of that connection from `text`; the other connections'
// fields stay. Returns the message that refuses the address, or nothing. Accepted forms:
//   lan:HOST[:PORT]                 TCPIP[board]::HOST::PORT::SOCKET (TCPIP::HOST::PORT::SOCKET)
//   serial:PORT[,BAUD]              ASRL<port>[::INSTR]
//   serial:/dev/DEVICE[,BAUD]       ASRL/dev/DEVICE[::INSTR]
//   gpib:BOARD,PRIMARY[,SECONDARY]  GPIB[board]::PRIMARY[::SECONDARY][::INSTR]
// The VISA words are read without regard to case. VXI-11 and HiSLIP addresses
// (TCPIP0::host::inst0::INSTR, TCPIP0::host::hislip0) are refused: the signal generator is
// reached over its raw SCPI socket. Example: applyInstrumentAddress("GPIB0::19::INSTR", c).
std::optional<std::string> applyInstrumentAddress(std::string_view text, Configuration& config);

// The connection of `config` as a VISA resource string: "TCPIP0::10.0.0.7::5025::SOCKET",
// "GPIB0::19::INSTR", "ASRL1::INSTR", "ASRL/dev/ttyUSB0::INSTR"; empty for an unknown type.
std::string visaResource(const Configuration& config);

// What is wrong with `config` for saving or use, one message a field, in the ranges the I/O
// configuration dialog offers: the type, the fields of the GPIB and serial connections, the LAN
// address when the type is TCPIP, and the memory code. Empty when all is well.
std::vector<std::string> configurationProblems(const Configuration& config);

}  // namespace kelvane::instrument
