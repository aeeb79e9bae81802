// Where a plot window opens: 80 % of the size of the window that asked for it, offset from that
// window's corner by a rule of the plot's kind; positions are (left, bottom, width, height)
// measured from the bottom-left.
#pragma once

#include <array>

namespace kelvane::plots {

using Rect = std::array<double, 4>;

enum class PlacementRule {
  // w, h x 0.8; then x + 0.1 w, y - 0.1 h with the scaled w, h (CCDF, I/Q, eye, scatter).
  ScaleThenBelow,
  // x + 0.1 w, y + 0.18 h with the parent's w, h; then w, h x 0.8 (spectrum).
  AboveThenScale,
  // w, h x 0.8; then x + 0.2 w, y - 0.2 h with the scaled w, h (waterfall).
  ScaleThenFarBelow,
};

// The position of a plot window placed by `rule` beside a parent at `parent`. Example: a parent
// at [100 100 500 400] gives [140 68 400 320] (ScaleThenBelow), [150 172 400 320]
// (AboveThenScale).
Rect placeBeside(PlacementRule rule, const Rect& parent);

}  // namespace kelvane::plots
