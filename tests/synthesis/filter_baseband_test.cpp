// The baseband filter: selectors, lengths, equality with the direct-form definition (odd and short
// frames), the circular steady state, the polyphase path against the zero-stuffed row, and the
// designs against the baseband mask of their band edges.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "coding/error.hpp"
#include "synthesis/baseband_filter.hpp"
#include "synthesis/filter_reference.hpp"

namespace kelvane::synthesis {
namespace {

using reference::Complex;
using Samples = std::vector<Complex>;

constexpr double kRounding = 1e-12;  // relative to the output's peak

Samples randomSamples(std::size_t n, unsigned seed) {
  std::mt19937 gen(seed);
  std::normal_distribution<double> g;
  Samples x(n);
  for (Complex& z : x)
    z = {g(gen), g(gen)};
  return x;
}

std::vector<double> design(FilterKind kind, int oversampleRatio) {
  return kind == FilterKind::Std ? FilterCoeff_IS95_Std(oversampleRatio)
                                 : FilterCoeff_IS95_Acp(oversampleRatio);
}

TEST(BasebandFilter, SelectorsByNumberAndText) {
  EXPECT_EQ(filterKindFor(1.0), FilterKind::Rectangular);
  EXPECT_EQ(filterKindFor(2.0), FilterKind::Std);
  EXPECT_EQ(filterKindFor(3.0), FilterKind::Acp);
  for (double other : {0.0, 4.0, -1.0, 2.5, std::numeric_limits<double>::quiet_NaN()})
    EXPECT_EQ(filterKindFor(other), FilterKind::Std);
  EXPECT_EQ(filterKindFor("IS95-STD"), FilterKind::Std);
  EXPECT_EQ(filterKindFor("IS95-ACP"), FilterKind::Acp);
  for (const char* other : {"rect", "", "is95-std", "IS95-STD "})
    EXPECT_EQ(filterKindFor(other), FilterKind::Rectangular) << other;
}

TEST(BasebandFilter, SelectorFourAndZeroFilterWithStdAndRectHolds) {
  const Samples x = randomSamples(301, 1);
  const Samples std5 = Qarn_BasebandFilter(x, 5, FilterKind::Std);
  EXPECT_EQ(Qarn_BasebandFilter(x, 5, filterKindFor(4.0)), std5);
  EXPECT_EQ(Qarn_BasebandFilter(x, 5, filterKindFor(0.0)), std5);
  // "rect" holds each chip of a zero-stuffed stream for five samples.
  const Samples chips = randomSamples(7, 2);
  const Samples held = Qarn_BasebandFilter(reference::upsample(chips, 5), 5, filterKindFor("rect"));
  ASSERT_EQ(held.size(), 35u);
  for (std::size_t n = 0; n < held.size(); ++n)
    EXPECT_EQ(held[n], chips[n / 5]) << n;
}

TEST(BasebandFilter, OutputHasTheInputLengthForEverySelector) {
  for (FilterKind kind : {FilterKind::Rectangular, FilterKind::Std, FilterKind::Acp}) {
    for (std::size_t n : {0u, 1u, 2u, 59u, 60u, 61u, 129u, 131u, 1000u}) {
      EXPECT_EQ(Qarn_BasebandFilter(randomSamples(n, 3), 5, kind).size(), n);
    }
  }
}

TEST(BasebandFilter, EqualsTheDirectFormDefinition) {
  for (int oversampleRatio : {2, 5, 7, 24}) {
    for (FilterKind kind : {FilterKind::Std, FilterKind::Acp}) {
      const std::vector<double> h = design(kind, oversampleRatio);
      // Odd sizes around the filter length, longer frames and frames shorter than the prefix.
      for (std::size_t n : {h.size() - 1, h.size(), h.size() + 1, 3 * h.size() + 7, std::size_t{1},
                            std::size_t{3}, h.size() / 2 + 1}) {
        const Samples x = randomSamples(n, static_cast<unsigned>(n + oversampleRatio));
        const Samples got = Qarn_BasebandFilter(x, oversampleRatio, kind);
        const Samples want = reference::circularDirectForm(x, h);
        ASSERT_EQ(got.size(), n);
        EXPECT_LT(reference::relativeError(got, want), kRounding) << oversampleRatio << " " << n;
      }
    }
    for (std::size_t n : {std::size_t{1}, std::size_t{3}, std::size_t{23}, std::size_t{1001}}) {
      const Samples x = randomSamples(n, 9);
      EXPECT_LT(reference::relativeError(
                    Qarn_BasebandFilter(x, oversampleRatio, FilterKind::Rectangular),
                    reference::holdDirectForm(x, static_cast<std::size_t>(oversampleRatio))),
                kRounding);
    }
  }
}

TEST(BasebandFilter, RectangularHoldHasNoWrapAndFloorsTheRatio) {
  const Samples x{{1, 0}, {2, 0}, {3, 0}, {4, 0}};
  const Samples y = Qarn_BasebandFilter(x, 2, FilterKind::Rectangular);
  EXPECT_EQ(y, (Samples{{1, 0}, {3, 0}, {5, 0}, {7, 0}}));
  EXPECT_EQ(Qarn_BasebandFilter(x, 2.7, FilterKind::Rectangular), y);
  EXPECT_THROW(Qarn_BasebandFilter(x, 0.5, FilterKind::Rectangular), coding::Error);
}

TEST(BasebandFilter, OnePeriodEqualsTheAdvancedSteadyState) {
  // Filtering one period of a periodic input gives one period of the steady-state linear
  // filtering of the repeated input, advanced by floor(L / 2).
  for (FilterKind kind : {FilterKind::Std, FilterKind::Acp}) {
    const int oversampleRatio = 5;
    const std::vector<double> h = design(kind, oversampleRatio);
    const std::size_t L = h.size(), N = 997, d = L / 2;
    const Samples period = randomSamples(N, 4);
    Samples repeated;
    for (int r = 0; r < 3; ++r)
      repeated.insert(repeated.end(), period.begin(), period.end());
    const Samples linear = reference::fir(h, repeated);
    const Samples got = Qarn_BasebandFilter(period, oversampleRatio, kind);
    Samples want(N);
    for (std::size_t n = 0; n < N; ++n)
      want[n] = linear[N + n + d];  // past the transient
    EXPECT_LT(reference::relativeError(got, want), kRounding);
  }
}

TEST(BasebandFilter, DesignErrorsStopTheFilter) {
  const Samples x = randomSamples(100, 5);
  EXPECT_THROW(Qarn_BasebandFilter(x, 5.3, FilterKind::Std), coding::Error);
  EXPECT_THROW(Qarn_BasebandFilter(x, 0, FilterKind::Acp), coding::Error);
  EXPECT_THROW(filterZeroStuffedChips(x, 0, FilterKind::Std), coding::Error);
}

TEST(ZeroStuffedChips, EqualsTheZeroStuffedDirectForm) {
  for (int oversampleRatio : {2, 3, 5, 7, 13, 24}) {
    for (FilterKind kind : {FilterKind::Rectangular, FilterKind::Std, FilterKind::Acp}) {
      // Odd chip counts, shorter and longer than the taps per phase (12 and 26).
      for (std::size_t m : {1u, 3u, 11u, 25u, 27u, 101u, 2049u}) {
        const Samples chips = randomSamples(m, static_cast<unsigned>(m * 31 + oversampleRatio));
        const Samples stuffed = reference::upsample(chips, oversampleRatio);
        const Samples want =
            kind == FilterKind::Rectangular
                ? reference::holdDirectForm(stuffed, static_cast<std::size_t>(oversampleRatio))
                : reference::circularDirectForm(stuffed, design(kind, oversampleRatio));
        const Samples got = filterZeroStuffedChips(chips, oversampleRatio, kind);
        ASSERT_EQ(got.size(), m * static_cast<std::size_t>(oversampleRatio));
        EXPECT_LT(reference::relativeError(got, want), kRounding)
            << "osr " << oversampleRatio << " chips " << m << " kind " << static_cast<int>(kind);
        // The library's own filter of the zero-stuffed row agrees as well.
        EXPECT_LT(
            reference::relativeError(Qarn_BasebandFilter(stuffed, oversampleRatio, kind), want),
            kRounding);
      }
    }
  }
}

TEST(ZeroStuffedChips, WritesIntoAGivenBuffer) {
  const Samples chips = randomSamples(333, 6);
  Samples out(333 * 5, Complex{7, 7});
  filterZeroStuffedChips(chips, 5, FilterKind::Acp, out);
  EXPECT_EQ(out, filterZeroStuffedChips(chips, 5, FilterKind::Acp));
  Samples small(10);
  EXPECT_THROW(filterZeroStuffedChips(chips, 5, FilterKind::Std, small), coding::Error);
}

// The baseband mask of the band edges: passband 0 to 590 kHz, stopband 740 kHz to fs/2. Ripple
// is the passband's peak-to-peak in dB; attenuation is the stopband's highest level below the
// passband's centre level sqrt(max min), both measured every 500 Hz. The IS-95 mask allows
// +-1.5 dB and asks 40 dB; the bounds below are the measured values, slightly loosened.
struct MaskFigures {
  double rippleDb;
  double attenuationDb;
};

MaskFigures measure(const std::vector<double>& h, int oversampleRatio) {
  const double fs = oversampleRatio * 1228800.0;
  double pmax = 0, pmin = std::numeric_limits<double>::infinity(), smax = 0;
  for (double f = 0; f <= fs / 2; f += 500) {
    const double a = reference::magnitude(h, f, fs);
    if (f <= 590000) {
      pmax = std::max(pmax, a);
      pmin = std::min(pmin, a);
    } else if (f >= 740000) {
      smax = std::max(smax, a);
    }
  }
  return {20 * std::log10(pmax / pmin), 20 * std::log10(std::sqrt(pmax * pmin) / smax)};
}

TEST(BasebandFilterMask, DesignsMeetTheBasebandMask) {
  struct Expected {
    FilterKind kind;
    int oversampleRatio;
    double maxRippleDb;     // measured + about 0.01 dB
    double minAttenuation;  // measured - about 0.1 dB
  };
  // Measured: Std 1.7992 / 45.643, 1.8173 / 45.576, 1.7330 / 46.000 dB at 2, 5, 24 samples per
  // chip; Acp 2.1704 / 81.770, 2.2069 / 81.403, 2.0278 / 81.738 dB.
  const Expected expected[] = {
      {FilterKind::Std, 2, 1.81, 45.54},   {FilterKind::Std, 5, 1.83, 45.47},
      {FilterKind::Std, 24, 1.745, 45.90}, {FilterKind::Acp, 2, 2.18, 81.67},
      {FilterKind::Acp, 5, 2.22, 81.30},   {FilterKind::Acp, 24, 2.04, 81.63},
  };
  for (const Expected& e : expected) {
    const MaskFigures m = measure(design(e.kind, e.oversampleRatio), e.oversampleRatio);
    const std::string what =
        (e.kind == FilterKind::Std ? "Std " : "Acp ") + std::to_string(e.oversampleRatio);
    EXPECT_LE(m.rippleDb, 3.0) << what;  // +-1.5 dB
    EXPECT_GE(m.attenuationDb, 40.0) << what;
    EXPECT_LE(m.rippleDb, e.maxRippleDb) << what;
    EXPECT_GE(m.attenuationDb, e.minAttenuation) << what;
  }
}

}  // namespace
}  // namespace kelvane::synthesis
