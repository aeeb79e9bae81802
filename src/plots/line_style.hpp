// Line style texts of the plotting operations: a colour letter (b g r c m y k w), a line
// ("-" solid, "--" dashed, ":" dotted, "-." dash-dot) and a marker (. o x + * s d), in any order:
// "c-" a cyan line, "b." blue dots.
#pragma once

#include <array>
#include <string_view>

namespace kelvane::plots {

enum class LineKind { Solid, Dashed, Dotted, DashDot, None };

struct LineStyle {
  std::array<double, 3> color{0, 0, 1};  // r, g, b from 0 to 1
  LineKind line = LineKind::Solid;
  char marker = 0;  // 0: none
};

// Parses `spec` over `fallback` (what the text does not name stays): a marker without a line
// draws no line. Throws Error "Invalid line style "<spec>"." for a character it does not know.
LineStyle parseLineStyle(std::string_view spec, LineStyle fallback = {});

// The colour of a colour letter ('b' is {0, 0, 1}); throws Error for another letter.
std::array<double, 3> colorOfLetter(char letter);

}  // namespace kelvane::plots
