#include "plots/envelope.hpp"

#include <algorithm>
#include <cmath>

namespace kelvane::plots {

namespace {

// The first sample at or after `x` (x increasing).
std::size_t lowerIndex(const Trace& t, double x) {
  if (t.xs.empty()) {
    if (!(t.dx > 0)) return 0;
    const double k = std::ceil((x - t.x0) / t.dx);
    if (!(k > 0)) return 0;
    return k >= static_cast<double>(t.size()) ? t.size() : static_cast<std::size_t>(k);
  }
  return static_cast<std::size_t>(std::lower_bound(t.xs.begin(), t.xs.end(), x) - t.xs.begin());
}

// Appends the first, smallest, largest and last sample of [first, last) in index order.
void appendColumn(const Trace& t, std::size_t first, std::size_t last, std::vector<Point>& out) {
  std::size_t lo = first, hi = first;
  for (std::size_t k = first + 1; k < last; ++k) {
    if (t.y[k] < t.y[lo]) lo = k;
    if (t.y[k] > t.y[hi]) hi = k;
  }
  std::size_t picks[4] = {first, std::min(lo, hi), std::max(lo, hi), last - 1};
  std::size_t previous = t.size();
  for (std::size_t k : picks) {
    if (k == previous) continue;
    out.push_back({t.x(k), t.y[k]});
    previous = k;
  }
}

}  // namespace

std::vector<Point> envelope(const Trace& trace, double xMin, double xMax, std::size_t columns) {
  std::vector<Point> out;
  const std::size_t n = trace.size();
  if (n == 0 || !(xMax > xMin)) return out;
  columns = std::max<std::size_t>(columns, 1);
  // One sample either side of the range too.
  std::size_t first = lowerIndex(trace, xMin);
  first = first > 0 ? first - 1 : 0;
  std::size_t last = std::min(lowerIndex(trace, xMax) + 1, n);  // one past
  if (last < n && trace.x(last - 1) <= xMax) ++last;
  if (first >= last) return out;
  if (last - first <= 4 * columns) {
    out.reserve(last - first);
    for (std::size_t k = first; k < last; ++k)
      out.push_back({trace.x(k), trace.y[k]});
    return out;
  }
  out.reserve(4 * columns + 4);
  const double width = (xMax - xMin) / static_cast<double>(columns);
  std::size_t begin = first;
  for (std::size_t c = 1; c <= columns + 1 && begin < last; ++c) {
    // Column c - 1 ends where column c starts (the last pseudo-column takes the samples after
    // xMax).
    std::size_t end =
        c <= columns ? lowerIndex(trace, xMin + static_cast<double>(c) * width) : last;
    end = std::clamp(end, begin, last);
    if (end > begin) appendColumn(trace, begin, end, out);
    begin = end;
  }
  return out;
}

}  // namespace kelvane::plots
