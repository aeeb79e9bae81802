#include "plots/raster.hpp"

#include <algorithm>
#include <cmath>

namespace kelvane::plots {

Raster::Raster(const View& view) : view_(view) {
  view_.width = std::max(view_.width, 1);
  view_.height = std::max(view_.height, 1);
  sx_ = view_.width / (view_.xMax - view_.xMin);
  sy_ = view_.height / (view_.yMax - view_.yMin);
  counts_.assign(static_cast<std::size_t>(view_.width) * static_cast<std::size_t>(view_.height), 0);
}

// (px, py) in pixel units from the left and from the top; a point on the right or bottom edge
// of the view counts in the last pixel.
void Raster::bump(double px, double py) {
  if (!(px >= 0 && py >= 0 && px <= view_.width && py <= view_.height)) return;
  const auto column =
      std::min(static_cast<std::size_t>(px), static_cast<std::size_t>(view_.width - 1));
  const auto row =
      std::min(static_cast<std::size_t>(py), static_cast<std::size_t>(view_.height - 1));
  ++counts_[row * static_cast<std::size_t>(view_.width) + column];
}

void Raster::point(double x, double y) {
  bump((x - view_.xMin) * sx_, (view_.yMax - y) * sy_);
}

void Raster::segment(double x0, double y0, double x1, double y1) {
  double ax = (x0 - view_.xMin) * sx_, ay = (view_.yMax - y0) * sy_;
  double bx = (x1 - view_.xMin) * sx_, by = (view_.yMax - y1) * sy_;
  // Clip to the image (Liang-Barsky), so that a zoomed-in segment costs its visible pixels.
  double t0 = 0, t1 = 1;
  const double dx = bx - ax, dy = by - ay;
  const double p[4] = {-dx, dx, -dy, dy};
  const double q[4] = {ax, view_.width - ax, ay, view_.height - ay};
  for (int i = 0; i < 4; ++i) {
    if (p[i] == 0) {
      if (q[i] < 0) return;
      continue;
    }
    const double r = q[i] / p[i];
    if (p[i] < 0) {
      t0 = std::max(t0, r);
    } else {
      t1 = std::min(t1, r);
    }
  }
  if (!(t0 <= t1)) return;
  const double cx = ax + t0 * dx, cy = ay + t0 * dy;
  const double ex = ax + t1 * dx, ey = ay + t1 * dy;
  const double steps = std::ceil(std::max(std::abs(ex - cx), std::abs(ey - cy)));
  if (steps < 1) {
    bump(cx, cy);
    return;
  }
  // The clipped segment lies in the image (to within rounding, hence the clamps): one step a
  // pixel along its longer side, without bump's range checks. An eye diagram of 15.7 million
  // samples walks about a billion pixels here.
  const double stepX = (ex - cx) / steps, stepY = (ey - cy) / steps;
  const auto n = static_cast<long>(steps);
  const double lastColumn = view_.width - 1, lastRow = view_.height - 1;
  const auto width = static_cast<std::size_t>(view_.width);
  std::uint32_t* counts = counts_.data();
  for (long i = 0; i <= n; ++i) {
    const double px = std::clamp(cx + static_cast<double>(i) * stepX, 0.0, lastColumn);
    const double py = std::clamp(cy + static_cast<double>(i) * stepY, 0.0, lastRow);
    ++counts[static_cast<std::size_t>(py) * width + static_cast<std::size_t>(px)];
  }
}

std::uint32_t Raster::largest() const {
  return counts_.empty() ? 0 : *std::max_element(counts_.begin(), counts_.end());
}

}  // namespace kelvane::plots
