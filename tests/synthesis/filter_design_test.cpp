// The Parks-McClellan design: remez2's argument checks and texts, firchk, the grid and desired
// response, and the exchange core's optimality (equiripple alternation on its grid).
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "coding/error.hpp"
#include "synthesis/baseband_filter.hpp"
#include "synthesis/filter_design.hpp"
#include "synthesis/filter_reference.hpp"

namespace kelvane::synthesis {
namespace {

using Vec = std::vector<double>;

std::string errorOf(auto&& fn) {
  try {
    fn();
  } catch (const coding::Error& e) {
    return e.what();
  }
  return "(no error)";
}

// Captures design warnings while alive.
class WarningCapture {
 public:
  WarningCapture() {
    previous_ = setWarningSink([this](std::string_view t) { texts.emplace_back(t); });
  }
  ~WarningCapture() { setWarningSink(std::move(previous_)); }
  std::vector<std::string> texts;

 private:
  WarningSink previous_;
};

Remez2Options withType(std::string type) {
  Remez2Options o;
  o.type = std::move(type);
  return o;
}

Vec bandEdges(int oversampleRatio) {
  Vec f{0, 590000, 740000, oversampleRatio * 1228800.0 / 2};
  for (double& v : f)
    v = v * 2 / oversampleRatio / 1228800;
  return f;
}

TEST(Remez2, ArgumentErrorsHaveTheirTexts) {
  const Vec ff{0, 0.5, 0.6, 1}, aa{1, 1, 0, 0};
  EXPECT_EQ(errorOf([&] { remez2(2, ff, aa); }), "Filter order must be 3 or more.");
  EXPECT_EQ(errorOf([&] {
              remez2(10, Vec{0, 0.5, 0.6}, Vec{1, 1, 0});
            }),
            "The number of frequency points must be even.");
  EXPECT_EQ(errorOf([&] {
              remez2(10, Vec{0, 0.5, 0.6, 1.2}, aa);
            }),
            "Frequencies must lie between 0 and 1.");
  EXPECT_EQ(errorOf([&] {
              remez2(10, Vec{-0.1, 0.5, 0.6, 1}, aa);
            }),
            "Frequencies must lie between 0 and 1.");
  EXPECT_EQ(errorOf([&] {
              remez2(10, Vec{0, 0.6, 0.5, 1}, aa);
            }),
            "Frequencies must be non-decreasing.");
  EXPECT_EQ(errorOf([&] {
              remez2(10, ff, aa, {.weights = Vec{1, 2, 3}});
            }),
            "There should be one weight per band.");
  EXPECT_EQ(errorOf([&] {
              remez2(10, ff, aa, {.weights = Vec{1, 0}});
            }),
            "All weights must be greater than zero.");
  EXPECT_EQ(errorOf([&] {
              remez2(10, ff, aa, {.weights = Vec{1, -1}});
            }),
            "All weights must be greater than zero.");
  EXPECT_EQ(errorOf([&] { remez2(10.5, ff, aa); }),
            "Filter order must be a real, positive integer.");
  EXPECT_EQ(errorOf([&] { remez2(10, Vec{0, 0.5, 0.5, 1}, aa); }), "Adjacent bands not allowed.");
  EXPECT_EQ(errorOf([&] {
              remez2(10, ff, Vec{1, 1, 0});
            }),
            "Frequency and amplitude vectors must be the same length.");
  // The checks run in their order: the order first, the edge count before the edge values.
  EXPECT_EQ(errorOf([&] {
              remez2(2, Vec{0, 2, 3}, aa, {.weights = Vec{0}});
            }),
            "Filter order must be 3 or more.");
  EXPECT_EQ(errorOf([&] {
              remez2(10, Vec{0, 2, 3}, aa);
            }),
            "The number of frequency points must be even.");
  // All-negative weights pass the sign check.
  EXPECT_EQ(remez2(10, ff, aa, {.weights = Vec{-1, -1}}).h.size(), 11u);
}

TEST(Remez2, OmittedTypesAreRefused) {
  const Vec ff{0, 0.5, 0.6, 1}, aa{1, 1, 0, 0};
  for (const char* type : {"m", "h", "Hilbert", "d", "differentiator"}) {
    EXPECT_NE(errorOf([&] { remez2(10, ff, aa, withType(type)); }), "(no error)") << type;
  }
  // Any other type, or none, is the ordinary multiband design.
  const Vec plain = remez2(10, ff, aa).h;
  EXPECT_EQ(remez2(10, ff, aa, withType("")).h, plain);
  EXPECT_EQ(remez2(10, ff, aa, withType("multiband")).h, plain);
  Remez2Options noGrid;
  noGrid.gridDensity = 0;
  EXPECT_NE(errorOf([&] { remez2(10, ff, aa, noGrid); }), "(no error)");
}

TEST(Firchk, ChecksAndCorrectsTheOrder) {
  for (double bad : {0.0, -3.0, 2.5, std::numeric_limits<double>::quiet_NaN(),
                     std::numeric_limits<double>::infinity()}) {
    const FirchkResult r = firchk(bad, Vec{1, 1, 0, 0});
    EXPECT_EQ(r.msg1, "Filter order must be a real, positive integer.") << bad;
    EXPECT_TRUE(r.msg2.empty());
  }
  // An odd order must end with zero amplitude at Nyquist; it is increased by one otherwise.
  FirchkResult r = firchk(5, Vec{0, 0, 1, 1});
  EXPECT_EQ(r.order, 6);
  EXPECT_TRUE(r.msg1.empty());
  EXPECT_EQ(r.msg2,
            "Odd order symmetric FIR filters must have a gain of zero \x0D"
            "at the Nyquist frequency. The order is being increased by one.");
  EXPECT_EQ(firchk(5, Vec{0, 0, 1, 1}, true).order, 5);  // the exception keeps it
  EXPECT_EQ(firchk(5, Vec{1, 1, 0, 0}).order, 5);
  EXPECT_EQ(firchk(6, Vec{0, 0, 1, 1}).order, 6);
  EXPECT_TRUE(firchk(6, Vec{0, 0, 1, 1}).msg2.empty());
}

TEST(Remez2, OddOrderHighpassWarnsAndGrows) {
  WarningCapture warnings;
  const Remez2Result r = remez2(11, Vec{0, 0.4, 0.5, 1}, Vec{0, 0, 1, 1});
  EXPECT_EQ(r.h.size(), 13u);
  ASSERT_EQ(warnings.texts.size(), 1u);
  EXPECT_EQ(warnings.texts[0], kFirchkOddOrderMessage);
  EXPECT_NE(warnings.texts[0].find('\r'), std::string::npos);
  // The baseband designs never warn.
  FilterCoeff_IS95_Std(7);
  FilterCoeff_IS95_Acp(7);
  EXPECT_EQ(warnings.texts.size(), 1u);
}

TEST(Remezgrid, FollowsTheBandsAndSnapsTheEdges) {
  // delf = 1 / (4 * 4): every point is a binary fraction, so the grids are exact.
  const Vec ff{0, 0.3, 0.5, 1};
  // Symmetric even length: the point below each upper edge moves onto it, Nyquist is dropped.
  EXPECT_EQ(remezgrid(8, 4, ff, false, false), (Vec{0, 0.0625, 0.125, 0.1875, 0.3, 0.5, 0.5625,
                                                    0.625, 0.6875, 0.75, 0.8125, 0.875, 0.9375}));
  // Symmetric odd length: Nyquist stays.
  EXPECT_EQ(remezgrid(7, 4, ff, false, true), (Vec{0, 0.0625, 0.125, 0.1875, 0.3, 0.5, 0.5625,
                                                   0.625, 0.6875, 0.75, 0.8125, 0.875, 0.9375, 1}));
  // Antisymmetric odd length: zero frequency moves up to delf and Nyquist is dropped.
  EXPECT_EQ(remezgrid(9, 4, ff, true, true), (Vec{0.0625, 0.125, 0.1875, 0.3, 0.5, 0.5625, 0.625,
                                                  0.6875, 0.75, 0.8125, 0.875, 0.9375}));
  // A last band starting within delf of Nyquist keeps its start.
  EXPECT_EQ(remezgrid(8, 4, Vec{0, 0.3, 0.95, 1}, false, false).back(), 0.95);
}

TEST(Remezfrf, LinearInEachBandWithItsWeight) {
  const Vec F{0, 0.25, 0.5, 1}, A{1, 1, 0.2, 0}, W{1, 3};
  const Vec GF{0, 0.125, 0.25, 0.375, 0.5, 0.75, 1};
  const DesiredResponse r = remezfrf(10, F, GF, W, A);
  const Vec dh{1, 1, 1, 0, 0.2, 0.1, 0}, dw{1, 1, 1, 0, 3, 3, 3};
  for (std::size_t i = 0; i < GF.size(); ++i) {
    EXPECT_NEAR(r.dh[i], dh[i], 1e-15) << GF[i];
    EXPECT_EQ(r.dw[i], dw[i]) << GF[i];
  }
  // A zero-width band takes the mean of its amplitudes.
  const DesiredResponse z = remezfrf(10, Vec{0.5, 0.5}, Vec{0.5}, Vec{2}, Vec{1, 0});
  EXPECT_EQ(z.dh[0], 0.5);
  EXPECT_EQ(z.dw[0], 2);
  EXPECT_EQ(errorOf([] {
              remezfrf(10, Vec{0, 0.5, 0.5, 1}, Vec{0}, Vec{1, 1}, Vec{1, 1, 0, 0});
            }),
            "Adjacent bands not allowed.");
  EXPECT_EQ(errorOf([] {
              remezfrf(10, Vec{0, 0.5, 0.6, 1}, Vec{0}, Vec{1, 1}, Vec{1, 1, 0});
            }),
            "Frequency and amplitude vectors must be the same length.");
}

// The weighted-Chebyshev optimum on a grid has nfcns + 1 alternating extrema of equal magnitude
// (the alternation theorem). The error is computed from the returned taps alone.
struct Alternation {
  double maxError = 0;
  std::size_t alternations = 0;  // longest alternating run of points at the maximum
  bool referenceAlternates = true;
};

Alternation checkAlternation(const RemezResult& res, const Vec& grid, const Vec& des, const Vec& wt,
                             bool antisymmetric, double tolerance) {
  Vec e(grid.size());
  Alternation a;
  for (std::size_t i = 0; i < grid.size(); ++i) {
    e[i] = wt[i] * (des[i] - reference::amplitude(res.h, grid[i], antisymmetric));
    a.maxError = std::max(a.maxError, std::abs(e[i]));
  }
  const double level = a.maxError * (1 - tolerance);
  int sign = 0;
  for (double v : e) {
    if (std::abs(v) < level) continue;
    const int s = v > 0 ? 1 : -1;
    if (s != sign) {
      ++a.alternations;
      sign = s;
    }
  }
  for (std::size_t k = 0; k < res.iext.size(); ++k) {
    const double v = e[static_cast<std::size_t>(res.iext[k] - 1)];
    if (std::abs(v) < level) a.referenceAlternates = false;
    if (k > 0 && (v > 0) == (e[static_cast<std::size_t>(res.iext[k - 1] - 1)] > 0))
      a.referenceAlternates = false;
  }
  return a;
}

constexpr double kEquiripple = 1e-9;

// The path of remez2 for an ordinary design, checked for optimality; returns the iterations.
int expectOptimal(int order, const Vec& ff, const Vec& aa, const Vec& w) {
  const int nfilt = order + 1;
  const bool nodd = nfilt % 2 == 1;
  const Vec grid = remezgrid(nfilt, 16, ff, false, nodd);
  EXPECT_GT(grid.size(), static_cast<std::size_t>(nfilt));
  const DesiredResponse resp = remezfrf(order, ff, grid, w, aa);
  const RemezResult res =
      remezmex(nfilt, Vec{ff.front(), ff.back()}, grid, resp.dh, resp.dw, nodd ? 1 : 2);
  const std::size_t nfcns = static_cast<std::size_t>(nfilt / 2 + (nodd ? 1 : 0));
  EXPECT_EQ(res.h.size(), static_cast<std::size_t>(nfilt));
  EXPECT_EQ(res.iext.size(), nfcns + 1);
  const Alternation a = checkAlternation(res, grid, resp.dh, resp.dw, false, kEquiripple);
  EXPECT_GE(a.alternations, nfcns + 1) << "order " << order;
  EXPECT_TRUE(a.referenceAlternates) << "order " << order;
  EXPECT_NEAR(a.maxError, std::abs(res.err), 1e-9 * a.maxError) << "order " << order;
  // remez2 runs exactly this path.
  const Remez2Result r2 = remez2(order, ff, aa, {.weights = w});
  EXPECT_EQ(r2.h, res.h);
  EXPECT_EQ(r2.err, std::abs(res.err));
  return res.iterations;
}

TEST(Remezmex, BasebandDesignsAreEquirippleForEveryOversamplingRatio) {
  // Both designs (the Std filter and the second Acp stage) converge to the optimum for every
  // ratio a window accepts, 2 to 24, including the 5x Acp stage (order 70).
  for (int oversampleRatio = 2; oversampleRatio <= 24; ++oversampleRatio) {
    const Vec f = bandEdges(oversampleRatio);
    const int itStd = expectOptimal(12 * oversampleRatio - 1, f, Vec{1, 1, 0, 0}, Vec{1, 20});
    const int itAcp = expectOptimal(14 * oversampleRatio, f, Vec{1, 1, 0.005, 0.001}, Vec{1, 2});
    EXPECT_LT(itStd, 40) << oversampleRatio;
    EXPECT_LT(itAcp, 40) << oversampleRatio;
  }
}

TEST(Remezmex, OtherBandsAndOrdersAreEquiripple) {
  expectOptimal(3, Vec{0, 0.3, 0.6, 1}, Vec{1, 1, 0, 0}, Vec{1, 1});
  expectOptimal(30, Vec{0, 0.2, 0.3, 0.6, 0.7, 1}, Vec{0, 0, 1, 1, 0, 0}, Vec{10, 1, 10});
  expectOptimal(47, Vec{0, 0.4, 0.45, 1}, Vec{1, 1, 0, 0}, Vec{1, 100});
  expectOptimal(64, Vec{0, 0.1, 0.15, 1}, Vec{1, 0.5, 0.01, 0.0}, Vec{1, 5});
  expectOptimal(200, Vec{0, 0.05, 0.06, 1}, Vec{1, 1, 0, 0}, Vec{1, 1});
}

TEST(Remezmex, AntisymmetricCodesAreEquiripple) {
  // A Hilbert transformer band (codes 3 and 4) on the antisymmetric grid.
  for (int nfilt : {31, 30, 61, 64}) {
    const bool nodd = nfilt % 2 == 1;
    const Vec ff{0.05, 0.95};
    const Vec grid = remezgrid(nfilt, 16, ff, true, nodd);
    const Vec des(grid.size(), 1.0), wt(grid.size(), 1.0);
    const RemezResult res = remezmex(nfilt, ff, grid, des, wt, nodd ? 3 : 4);
    const std::size_t nfcns = static_cast<std::size_t>(nodd ? (nfilt - 1) / 2 : nfilt / 2);
    const Alternation a = checkAlternation(res, grid, des, wt, true, kEquiripple);
    EXPECT_GE(a.alternations, nfcns + 1) << nfilt;
    EXPECT_TRUE(a.referenceAlternates) << nfilt;
    for (std::size_t n = 0; n < res.h.size(); ++n)
      EXPECT_EQ(res.h[n], -res.h[res.h.size() - 1 - n]);
  }
}

TEST(Remezmex, RefusesInconsistentInput) {
  const Vec grid{0, 0.25, 0.5, 0.75, 1}, ones(5, 1.0);
  EXPECT_NE(errorOf([&] { remezmex(4, Vec{0, 1}, grid, ones, ones, 1); }), "(no error)");
  EXPECT_NE(errorOf([&] { remezmex(5, Vec{0, 1}, grid, ones, ones, 5); }), "(no error)");
  EXPECT_NE(errorOf([&] { remezmex(5, Vec{0, 1}, grid, ones, Vec{1, 1}, 1); }), "(no error)");
  EXPECT_NE(errorOf([&] { remezmex(41, Vec{0, 1}, grid, ones, ones, 1); }), "(no error)");
  EXPECT_NE(errorOf([&] {
              remezmex(5, Vec{0, 1}, Vec{0, 0.5, 0.25, 0.75, 1}, ones, ones, 1);
            }),
            "(no error)");
  EXPECT_NE(errorOf([&] {
              remezmex(5, Vec{0, 1}, grid,
                       Vec{1, 1, std::numeric_limits<double>::quiet_NaN(), 1, 1}, ones, 1);
            }),
            "(no error)");
}

TEST(FilterDesign, StdDesignAtFiveSamplesPerChip) {
  // Order 59 on f = [0, 590000/3072000, 740000/3072000, 1].
  const Vec f = bandEdges(5);
  ASSERT_EQ(f.size(), 4u);
  EXPECT_EQ(f[0], 0);
  EXPECT_NEAR(f[1], 0.19205729166666666, 1e-16);
  EXPECT_NEAR(f[2], 0.24088541666666666, 1e-16);
  EXPECT_EQ(f[3], 1);
  const Vec h = FilterCoeff_IS95_Std(5);
  EXPECT_EQ(h.size(), 60u);
  EXPECT_EQ(h, remez2(59, Vec{0, 590000.0 / 3072000, 740000.0 / 3072000, 1}, Vec{1, 1, 0, 0},
                      {.weights = Vec{1, 20}})
                   .h);
  for (std::size_t n = 0; n < h.size(); ++n)
    EXPECT_EQ(h[n], h[h.size() - 1 - n]);
}

TEST(FilterDesign, AcpIsTheStdFilterCascadedWithAUnitGainStage) {
  for (int oversampleRatio : {2, 5, 24}) {
    const Vec h0 = FilterCoeff_IS95_Std(oversampleRatio);
    Vec h1 = remez2(14 * oversampleRatio, bandEdges(oversampleRatio), Vec{1, 1, 0.005, 0.001},
                    {.weights = Vec{1, 2}})
                 .h;
    double s = 0;
    for (double v : h1)
      s += v;
    for (double& v : h1)
      v /= s;
    Vec want(h0.size() + h1.size() - 1, 0.0);
    for (std::size_t i = 0; i < h0.size(); ++i) {
      for (std::size_t j = 0; j < h1.size(); ++j)
        want[i + j] += h0[i] * h1[j];
    }
    const Vec acp = FilterCoeff_IS95_Acp(oversampleRatio);
    ASSERT_EQ(acp.size(), static_cast<std::size_t>(26 * oversampleRatio));
    EXPECT_EQ(h0.size(), static_cast<std::size_t>(12 * oversampleRatio));
    for (std::size_t k = 0; k < acp.size(); ++k)
      EXPECT_NEAR(acp[k], want[k], 1e-16) << k;
    // Designs are identical whenever asked (cached or not).
    EXPECT_EQ(FilterCoeff_IS95_Acp(oversampleRatio), acp);
    EXPECT_EQ(FilterCoeff_IS95_Std(oversampleRatio), h0);
  }
}

TEST(FilterDesign, InvalidRatiosFailInTheDesign) {
  EXPECT_EQ(errorOf([] { FilterCoeff_IS95_Std(5.3); }),
            "Filter order must be a real, positive integer.");
  EXPECT_EQ(errorOf([] { FilterCoeff_IS95_Std(0.25); }), "Filter order must be 3 or more.");
  EXPECT_EQ(errorOf([] { FilterCoeff_IS95_Std(0); }), "Filter order must be 3 or more.");
  // At one sample per chip the stopband edge lies above half the sample rate.
  EXPECT_EQ(errorOf([] { FilterCoeff_IS95_Std(1); }), "Frequencies must lie between 0 and 1.");
  EXPECT_EQ(errorOf([] { FilterCoeff_IS95_Acp(5.3); }),
            "Filter order must be a real, positive integer.");
  // 5.5 gives whole orders: 65 for the Std filter (no warning, it ends in zero) and 77 for the
  // second Acp stage, which firchk raises to 78 with its warning.
  WarningCapture warnings;
  EXPECT_EQ(FilterCoeff_IS95_Std(5.5).size(), 66u);
  EXPECT_TRUE(warnings.texts.empty());
  EXPECT_EQ(FilterCoeff_IS95_Acp(5.5).size(), 66u + 79u - 1u);
  EXPECT_EQ(warnings.texts.size(), 1u);
}

}  // namespace
}  // namespace kelvane::synthesis
