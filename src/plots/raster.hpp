// What a dense plot draws (eye diagrams, scatter diagrams and their trajectories): a count per
// screen pixel of the points and line segments that cross it, computed from the exact data for
// the visible range, so that millions of traces draw in one image and no point is lost.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace kelvane::plots {

// The visible data range and the pixel size of the image.
struct View {
  double xMin = 0;
  double xMax = 1;
  double yMin = 0;
  double yMax = 1;
  int width = 1;   // pixels, >= 1
  int height = 1;  // pixels, >= 1
};

class Raster {
 public:
  explicit Raster(const View& view);

  // One count at the pixel of (x, y) when it lies in the view.
  void point(double x, double y);
  // One count at every pixel the segment from (x0, y0) to (x1, y1) crosses within the view.
  void segment(double x0, double y0, double x1, double y1);

  const View& view() const { return view_; }
  // Row-major from the top row (largest y) down: counts[row * width + column].
  const std::vector<std::uint32_t>& counts() const { return counts_; }
  std::uint32_t at(int column, int row) const {
    return counts_[static_cast<std::size_t>(row) * static_cast<std::size_t>(view_.width) +
                   static_cast<std::size_t>(column)];
  }
  std::uint32_t largest() const;

 private:
  View view_;
  double sx_, sy_;  // pixels per data unit
  std::vector<std::uint32_t> counts_;
  void bump(double px, double py);
  void walk(double cx, double cy, double ex, double ey);
};

}  // namespace kelvane::plots
