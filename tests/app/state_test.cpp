// The application state's calculation bookkeeping and the current state of the library.
#include "app/state.hpp"

#include <gtest/gtest.h>

#include <cmath>

namespace kelvane::app {
namespace {

TEST(Bookkeeping, ChangedParametersAreTheRecordComparison) {
  AppState s;
  EXPECT_FALSE(s.calculated());
  EXPECT_TRUE(s.parametersChangedSinceCalculation());
  s.recordCalculation({2026, 1, 1, 0, 0, 0});
  EXPECT_TRUE(s.calculated());
  EXPECT_FALSE(s.parametersChangedSinceCalculation());
  s.parameters.trafficChannelWaveformName = "other";  // a name counts as a change
  EXPECT_TRUE(s.parametersChangedSinceCalculation());
  s.recordCalculation(clockNow());
  EXPECT_FALSE(s.parametersChangedSinceCalculation());
  s.parameters.Frequency = std::nan("");
  s.recordCalculation(clockNow());
  EXPECT_TRUE(s.parametersChangedSinceCalculation());  // NaN equals nothing, itself included
}

TEST(Bookkeeping, ClockReadingHasItsSixParts) {
  const auto c = clockNow();
  EXPECT_GE(c[0], 2024);
  EXPECT_TRUE(c[1] >= 1 && c[1] <= 12);
  EXPECT_TRUE(c[2] >= 1 && c[2] <= 31);
  EXPECT_TRUE(c[3] >= 0 && c[3] < 24);
  EXPECT_TRUE(c[4] >= 0 && c[4] < 60);
  EXPECT_TRUE(c[5] >= 0 && c[5] < 61);
}

TEST(CurrentState, ExistsOnlyWhileInstalled) {
  EXPECT_FALSE(hasCurrentState());
  EXPECT_THROW(currentState(), runtime::Error);
  AppState s;
  setCurrentState(&s);
  EXPECT_EQ(&currentState(), &s);
  setCurrentState(nullptr);
  EXPECT_FALSE(hasCurrentState());
}

}  // namespace
}  // namespace kelvane::app
