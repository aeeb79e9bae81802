// Text from instruments, files and arguments shown on a terminal. Instrument replies are bytes:
// a reply may hold control characters (an escape sequence would drive the operator's terminal)
// or bytes that are not UTF-8 (a Latin-1 micro sign, 0xB5).
#pragma once

#include <string>
#include <string_view>

namespace kelvane::cli {

// `text` fit for a terminal or a log: printable ASCII, line feeds, tabs and well-formed UTF-8
// characters from U+00A0 up stay; every other byte (control characters, DEL, the C1 controls,
// bytes that are not part of well-formed UTF-8) is written as \xHH.
// Example: terminalText("5 \xB5s\x1B[2J\n") -> "5 \\xB5s\\x1B[2J\n".
std::string terminalText(std::string_view text);

}  // namespace kelvane::cli
