#include "cli/terminal_text.hpp"

#include <cstdint>
#include <cstdio>

namespace kelvane::cli {

namespace {

// The length of the well-formed UTF-8 character of two bytes or more at the start of `s` that
// is not a C1 control (U+0080 to U+009F), or 0.
std::size_t printableUtf8Length(std::string_view s) {
  const auto byte = [&](std::size_t i) { return static_cast<std::uint8_t>(s[i]); };
  const std::uint8_t lead = byte(0);
  std::size_t length = 0;
  std::uint32_t code = 0;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2, code = lead & 0x1Fu;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3, code = lead & 0x0Fu;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4, code = lead & 0x07u;
  } else {
    return 0;
  }
  if (s.size() < length) return 0;
  for (std::size_t i = 1; i < length; ++i) {
    if ((byte(i) & 0xC0u) != 0x80u) return 0;
    code = (code << 6) | (byte(i) & 0x3Fu);
  }
  // Overlong forms, surrogates and code points beyond U+10FFFF are not well-formed.
  const std::uint32_t least = length == 2 ? 0x80 : length == 3 ? 0x800 : 0x10000;
  if (code < least || (code >= 0xD800 && code <= 0xDFFF) || code > 0x10FFFF) return 0;
  return code < 0xA0 ? 0 : length;
}

}  // namespace

std::string terminalText(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) {
    const auto c = static_cast<std::uint8_t>(text[i]);
    if ((c >= 0x20 && c < 0x7F) || c == '\n' || c == '\t') {
      out += text[i++];
      continue;
    }
    if (const std::size_t n = c >= 0x80 ? printableUtf8Length(text.substr(i)) : 0; n > 0) {
      out.append(text.substr(i, n));
      i += n;
      continue;
    }
    char hex[5];
    std::snprintf(hex, sizeof hex, "\\x%02X", static_cast<unsigned>(c));
    out += hex;
    ++i;
  }
  return out;
}

}  // namespace kelvane::cli
