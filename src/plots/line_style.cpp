#include "plots/line_style.hpp"

#include <string>

#include "plots/error.hpp"

namespace kelvane::plots {

namespace {

bool isColorLetter(char c) {
  return std::string_view("bgrcmykw").find(c) != std::string_view::npos;
}

}  // namespace

std::array<double, 3> colorOfLetter(char letter) {
  switch (letter) {
    case 'b':
      return {0, 0, 1};
    case 'g':
      return {0, 0.5, 0};
    case 'r':
      return {1, 0, 0};
    case 'c':
      return {0, 0.75, 0.75};
    case 'm':
      return {0.75, 0, 0.75};
    case 'y':
      return {0.75, 0.75, 0};
    case 'k':
      return {0, 0, 0};
    case 'w':
      return {1, 1, 1};
    default:
      fail(std::string("Invalid colour letter \"") + letter + "\".");
  }
}

LineStyle parseLineStyle(std::string_view spec, LineStyle fallback) {
  LineStyle s = fallback;
  bool line = false, marker = false;
  for (std::size_t i = 0; i < spec.size(); ++i) {
    const char c = spec[i];
    const char next = i + 1 < spec.size() ? spec[i + 1] : '\0';
    if (isColorLetter(c)) {
      s.color = colorOfLetter(c);
    } else if (c == '-' && (next == '-' || next == '.')) {
      s.line = next == '-' ? LineKind::Dashed : LineKind::DashDot;
      line = true;
      ++i;
    } else if (c == '-' || c == ':') {
      s.line = c == '-' ? LineKind::Solid : LineKind::Dotted;
      line = true;
    } else if (std::string_view(".ox+*sd").find(c) != std::string_view::npos) {
      s.marker = c;
      marker = true;
    } else {
      fail("Invalid line style \"" + std::string(spec) + "\".");
    }
  }
  if (marker && !line) s.line = LineKind::None;
  if (line && !marker) s.marker = 0;
  return s;
}

}  // namespace kelvane::plots
