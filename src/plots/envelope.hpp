// What a line plot draws of a long signal: per screen pixel column the smallest and largest
// sample of that column (a min/max envelope of the exact data, so no peak is lost), recomputed
// from the data for every visible range, as signal viewers draw millions of samples.
#pragma once

#include <cstddef>
#include <span>
#include <vector>

namespace kelvane::plots {

// Values y(k) at increasing x(k): either a uniform grid x(k) = x0 + k dx (xs empty) or the
// given xs.
struct Trace {
  std::span<const double> y;
  std::span<const double> xs;  // empty: the uniform grid
  double x0 = 0;
  double dx = 1;
  double x(std::size_t k) const { return xs.empty() ? x0 + static_cast<double>(k) * dx : xs[k]; }
  std::size_t size() const { return y.size(); }
};

struct Point {
  double x;
  double y;
};

// The points to draw of `trace` over [xMin, xMax] at `columns` pixel columns: every sample when
// there are at most 4 per column, otherwise per column its first sample, its smallest and
// largest (in their order) and its last, at their own x; plus the samples just outside the
// range so that the line leaves the plot edges where the data does. At most 4 x columns + 4
// points. Example: 15.7 million samples at 400 columns give at most 1604 points.
std::vector<Point> envelope(const Trace& trace, double xMin, double xMax, std::size_t columns);

}  // namespace kelvane::plots
