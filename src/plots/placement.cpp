#include "plots/placement.hpp"

namespace kelvane::plots {

Rect placeBeside(PlacementRule rule, const Rect& parent) {
  auto [x, y, w, h] = parent;
  switch (rule) {
    case PlacementRule::ScaleThenBelow:
      w *= 0.8;
      h *= 0.8;
      return {x + 0.1 * w, y - 0.1 * h, w, h};
    case PlacementRule::AboveThenScale:
      return {x + 0.1 * w, y + 0.18 * h, w * 0.8, h * 0.8};
    case PlacementRule::ScaleThenFarBelow:
      w *= 0.8;
      h *= 0.8;
      return {x + 0.2 * w, y - 0.2 * h, w, h};
  }
  return parent;
}

}  // namespace kelvane::plots
