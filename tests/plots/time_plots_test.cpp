// The time-domain contents: I(t) and Q(t), the eye and scatter rules with their texts, the eye
// traces and the scatter points.
#include "plots/time_plots.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "plots/error.hpp"
#include "reference.hpp"

namespace kelvane::plots {
namespace {

using testing::Complex;

SignalColumns column(std::vector<Complex> v, bool complex = true) {
  SignalColumns s;
  s.rows = v.size();
  s.columns = 1;
  s.complex = complex;
  s.values = std::move(v);
  return s;
}

std::string messageOf(const std::function<void()>& f) {
  try {
    f();
  } catch (const Error& e) {
    return e.what();
  }
  return "no error";
}

TEST(IqTime, AWaveformOf163840SamplesAt6144000ReadsInMillisecondsTo26Point67) {
  const IqTimePlot p =
      iqTimePlot(std::vector<Complex>(163840, Complex(0.25, -0.5)), 6144000, "Test Data");
  EXPECT_EQ(p.tUnits, "mS");
  EXPECT_EQ(p.multiplier, 1000);
  EXPECT_EQ(p.tMin, 0);
  EXPECT_NEAR(p.tMax, 26.6667, 1e-4);
  EXPECT_DOUBLE_EQ(p.time(0), 0);
  EXPECT_DOUBLE_EQ(p.time(163839), p.tMax);
  EXPECT_NEAR(p.time(81920), p.tMax * 81920 / 163839, 1e-12);
  EXPECT_DOUBLE_EQ(p.iMax, 0.5);  // the largest |value| of I and Q
  EXPECT_DOUBLE_EQ(p.iMin, -0.5);
  EXPECT_EQ(p.label, "Test Data");
  EXPECT_EQ(p.i[7], 0.25);
  EXPECT_EQ(p.q[7], -0.5);
}

TEST(IqTime, AnEmptyWaveformDrawsTwoPeriodsOfCosineAndSine) {
  const IqTimePlot p = iqTimePlot({}, 1000, "Test Data");
  EXPECT_TRUE(p.testSignal);
  EXPECT_EQ(p.label, "No Data");
  ASSERT_EQ(p.i.size(), 100u);
  for (std::size_t k = 0; k < 100; ++k) {
    const double theta = -2 * std::numbers::pi + static_cast<double>(k) * 4 * std::numbers::pi / 99;
    EXPECT_NEAR(p.i[k], std::cos(theta), 1e-12);
    EXPECT_NEAR(p.q[k], std::sin(theta), 1e-12);
  }
  EXPECT_DOUBLE_EQ(p.iMax, 1);  // cos(-2 pi)
  EXPECT_EQ(p.tUnits, "mS");    // 100 points at 1 kHz
  EXPECT_DOUBLE_EQ(p.tMax, 100);
}

TEST(IqTime, LimitsTakeTheLargestMagnitudeOfEitherComponent) {
  const IqTimePlot p =
      iqTimePlot(std::vector<Complex>{{0.1, 0.2}, {-0.7, 0.3}, {0.4, 0.65}}, 0, "x");
  EXPECT_DOUBLE_EQ(p.iMax, 0.7);
  EXPECT_DOUBLE_EQ(p.iMin, -0.7);
  EXPECT_EQ(p.tUnits, "S");  // a rate of 0 counts as 1 Hz
  EXPECT_DOUBLE_EQ(p.tMax, 3);
  const IqTimePlot zero = iqTimePlot(std::vector<Complex>(4), 1e6, "x");
  EXPECT_DOUBLE_EQ(zero.iMax, 1);  // an all-zero waveform still spans [-1, 1]
}

TEST(EyeDiagram, EveryArgumentRuleHasItsText) {
  const auto x = column(testing::wobble(40));
  EXPECT_EQ(messageOf([&] { checkEyeArguments(column({}), 4, 1, 0); }),
            "Input variable X is empty.");
  SignalColumns three = x;
  three.rows = 10;
  three.columns = 4;
  EXPECT_EQ(messageOf([&] { checkEyeArguments(three, 4, 1, 0); }),
            "Number of columns in the input data, X, cannot exceed 2.");
  for (double n : {1.0, 0.0, -4.0, 2.5, std::nan("")})
    EXPECT_EQ(messageOf([&] { checkEyeArguments(x, n, 1, 0); }),
              "N must be an integer greater than 1.")
        << n;
  for (double period : {0.0, -1.0, std::nan("")})
    EXPECT_EQ(messageOf([&] { checkEyeArguments(x, 4, period, 0); }),
              "PERIOD must be a positive number.");
  for (double offset : {-1.0, 4.0, 1.5})
    EXPECT_EQ(messageOf([&] { checkEyeArguments(x, 4, 1, offset); }),
              "OFFSET must be a integer in the range 0 <= OFFSET < N.")
        << offset;
  EXPECT_EQ(messageOf([&] { checkEyeArguments(x, 4, 1e-6, 3); }), "no error");
  // The rules apply in order: an empty X is reported before a bad N.
  EXPECT_EQ(messageOf([&] { checkEyeArguments(column({}), 1, 0, 9); }),
            "Input variable X is empty.");
}

TEST(ScatterDiagram, EveryArgumentRuleHasItsText) {
  const auto x = column(testing::wobble(40));
  EXPECT_EQ(messageOf([&] { checkScatterArguments(column({}), 1, 0); }),
            "Input variable X is empty.");
  for (double n : {0.0, -1.0, 1.5})
    EXPECT_EQ(messageOf([&] { checkScatterArguments(x, n, 0); }), "N must be a positive integer.");
  for (double offset : {-1.0, 0.5})
    EXPECT_EQ(messageOf([&] { checkScatterArguments(x, 1, offset); }),
              "OFFSET must be a nonnegative integer.");
  SignalColumns three = x;
  three.rows = 10;
  three.columns = 4;
  EXPECT_EQ(messageOf([&] { checkScatterArguments(three, 1, 0); }),
            "Number of columns in the input data, X, cannot exceed 2.");
  // Unlike the eye diagram, N = 1 and an offset beyond N are accepted.
  EXPECT_EQ(messageOf([&] { checkScatterArguments(x, 1, 7); }), "no error");
}

TEST(EyeDiagram, TracesAreCentredOnEveryNthSampleFromTheOffset) {
  std::vector<double> v(20);
  for (std::size_t i = 0; i < v.size(); ++i)
    v[i] = static_cast<double>(i);
  const auto traces = eyeTraces(v, 4, 2.0, 1);
  // Centres 1, 5, 9, 13, 17: samples centre-2 ... centre+2 at times -1 ... 1.
  ASSERT_EQ(traces.size(), 5u);
  EXPECT_EQ(traces[0].size(), 4u);  // samples 0 ... 3 (sample -1 does not exist)
  EXPECT_EQ(traces[0].front(), std::make_pair(-0.5, 0.0));
  EXPECT_EQ(traces[1].size(), 5u);
  EXPECT_EQ(traces[1].front(), std::make_pair(-1.0, 3.0));
  EXPECT_EQ(traces[1][2], std::make_pair(0.0, 5.0));  // the centre at time 0
  EXPECT_EQ(traces[1].back(), std::make_pair(1.0, 7.0));
  EXPECT_EQ(traces[4].back(), std::make_pair(1.0, 19.0));
  // Every sample appears in some trace.
  std::size_t points = 0;
  for (const auto& t : traces)
    points += t.size();
  EXPECT_GE(points, v.size());
}

TEST(EyeDiagram, AComplexSignalHasInPhaseAndQuadratureComponents) {
  const auto parts = eyeComponents(column({{1, 2}, {3, 4}}));
  ASSERT_EQ(parts.size(), 2u);
  EXPECT_EQ(parts[0].name, "In-phase");
  EXPECT_EQ(parts[0].values, (std::vector<double>{1, 3}));
  EXPECT_EQ(parts[1].values, (std::vector<double>{2, 4}));
  EXPECT_EQ(eyeComponents(column({{1, 0}, {3, 0}}, false)).size(), 1u);
  SignalColumns two;
  two.rows = 2;
  two.columns = 2;
  two.values = {1, 2, 3, 4};
  const auto cols = eyeComponents(two);
  ASSERT_EQ(cols.size(), 2u);
  EXPECT_EQ(cols[1].values, (std::vector<double>{3, 4}));
}

TEST(ScatterDiagram, PointsAreEveryNthSampleFromTheOffset) {
  std::vector<Complex> v;
  for (int i = 0; i < 10; ++i)
    v.emplace_back(i, -i);
  const ScatterPoints p = scatterPoints(column(v), 3, 2);
  EXPECT_EQ(p.x, (std::vector<double>{2, 5, 8}));
  EXPECT_EQ(p.y, (std::vector<double>{-2, -5, -8}));
  EXPECT_EQ(scatterPoints(column(v), 1, 0).x.size(), 10u);
  EXPECT_TRUE(scatterPoints(column(v), 1, 10).x.empty());
}

}  // namespace
}  // namespace kelvane::plots
