// How long signals are reduced for drawing (the min/max envelope per pixel column, the raster
// of dense plots), line style texts and the placement of plot windows.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "plots/envelope.hpp"
#include "plots/error.hpp"
#include "plots/line_style.hpp"
#include "plots/placement.hpp"
#include "plots/raster.hpp"

namespace kelvane::plots {
namespace {

std::vector<double> noisy(std::size_t n) {
  std::vector<double> y(n);
  for (std::size_t i = 0; i < n; ++i)
    y[i] = std::sin(0.001 * static_cast<double>(i)) + 0.3 * std::sin(1.7 * static_cast<double>(i));
  return y;
}

TEST(Envelope, EveryColumnKeepsItsSmallestAndLargestSample) {
  std::vector<double> y = noisy(100000);
  y[54321] = 9;  // a single-sample peak
  y[777] = -9;
  const Trace t{y, {}, 0.0, 1e-3};
  const std::size_t columns = 40;
  const auto pts = envelope(t, 0, 100, columns);
  EXPECT_LE(pts.size(), 4 * columns + 4);
  const auto has = [&](double v) {
    return std::any_of(pts.begin(), pts.end(), [&](const Point& p) { return p.y == v; });
  };
  EXPECT_TRUE(has(9));
  EXPECT_TRUE(has(-9));
  // Per column, the drawn extremes equal the data's.
  for (std::size_t c = 0; c < columns; ++c) {
    const double a = 100.0 * static_cast<double>(c) / columns, b = a + 100.0 / columns;
    double lo = INFINITY, hi = -INFINITY, dlo = INFINITY, dhi = -INFINITY;
    for (std::size_t k = 0; k < y.size(); ++k)
      if (t.x(k) >= a && t.x(k) < b) lo = std::min(lo, y[k]), hi = std::max(hi, y[k]);
    for (const Point& p : pts)
      if (p.x >= a && p.x < b) dlo = std::min(dlo, p.y), dhi = std::max(dhi, p.y);
    EXPECT_EQ(lo, dlo) << c;
    EXPECT_EQ(hi, dhi) << c;
  }
  // Points come in increasing x.
  EXPECT_TRUE(std::is_sorted(pts.begin(), pts.end(),
                             [](const Point& a, const Point& b) { return a.x < b.x; }));
}

TEST(Envelope, AZoomedRangeRedrawsFromTheDataWithTheNeighboursOutside) {
  const std::vector<double> y = noisy(100000);
  const Trace t{y, {}, 0.0, 1e-3};
  // 50 samples visible at 400 columns: every sample, plus one either side.
  const auto pts = envelope(t, 9.9995, 10.0495, 400);
  ASSERT_EQ(pts.size(), 52u);
  EXPECT_LT(pts.front().x, 9.9995);
  EXPECT_GT(pts.back().x, 10.0495);
  EXPECT_EQ(pts[1].y, y[10000]);
  // Explicit x values (a level grid) work the same.
  const std::vector<double> xs{0, 1, 2, 4, 8}, ys{5, 4, 3, 2, 1};
  const auto few = envelope(Trace{ys, xs}, 1.5, 5, 10);
  ASSERT_EQ(few.size(), 4u);  // 1 (left neighbour), 2, 4, 8 (right neighbour)
  EXPECT_EQ(few.front().x, 1);
  EXPECT_EQ(few.back().x, 8);
  EXPECT_TRUE(envelope(t, 5, 5, 10).empty());
}

TEST(Raster, PointsAndSegmentsCountInThePixelsTheyCross) {
  Raster r(View{0, 10, 0, 10, 10, 10});
  r.point(0.5, 9.5);  // top-left pixel
  r.point(10, 0);     // the far corner counts in the last pixel
  r.point(11, 5);     // outside
  EXPECT_EQ(r.at(0, 0), 1u);
  EXPECT_EQ(r.at(9, 9), 1u);
  r.segment(0.5, 5.5, 9.5, 5.5);  // a horizontal line through row 4
  for (int c = 0; c < 10; ++c)
    EXPECT_GE(r.at(c, 4), 1u) << c;
  // A segment far longer than the view is clipped to it.
  Raster clip(View{0, 1, 0, 1, 4, 4});
  clip.segment(-1e9, 0.5, 1e9, 0.5);
  std::uint32_t total = 0;
  for (std::uint32_t c : clip.counts())
    total += c;
  EXPECT_GE(total, 4u);
  EXPECT_LE(total, 6u);
  EXPECT_LE(clip.largest(), 2u);
}

TEST(LineStyle, ColourLineAndMarkerInAnyOrder) {
  const LineStyle cyanLine = parseLineStyle("c-");
  EXPECT_EQ(cyanLine.color, colorOfLetter('c'));
  EXPECT_EQ(cyanLine.line, LineKind::Solid);
  EXPECT_EQ(cyanLine.marker, 0);
  const LineStyle blueDots = parseLineStyle("b.");
  EXPECT_EQ(blueDots.color, (std::array<double, 3>{0, 0, 1}));
  EXPECT_EQ(blueDots.line, LineKind::None);
  EXPECT_EQ(blueDots.marker, '.');
  EXPECT_EQ(parseLineStyle("--r").line, LineKind::Dashed);
  EXPECT_EQ(parseLineStyle("k-.").line, LineKind::DashDot);
  EXPECT_EQ(parseLineStyle(":").line, LineKind::Dotted);
  EXPECT_EQ(parseLineStyle("").line, LineKind::Solid);
  EXPECT_THROW(parseLineStyle("q-"), Error);
}

TEST(Placement, PlotWindowsOpenBesideTheirParentAtEightyPercentOfItsSize) {
  const Rect parent{100, 100, 500, 400};
  EXPECT_EQ(placeBeside(PlacementRule::ScaleThenBelow, parent), (Rect{140, 68, 400, 320}));
  EXPECT_EQ(placeBeside(PlacementRule::AboveThenScale, parent), (Rect{150, 172, 400, 320}));
  EXPECT_EQ(placeBeside(PlacementRule::ScaleThenFarBelow, parent), (Rect{180, 36, 400, 320}));
}

}  // namespace
}  // namespace kelvane::plots
