// The application state through the named variables and the waveform results by name.
#include "library/state_variables.hpp"

#include <gtest/gtest.h>

#include <cmath>

namespace kelvane::library {
namespace {

using app::AppInfo;
using app::AppState;
using app::toValue;
using runtime::Value;

class StateVariables : public ::testing::Test {
 protected:
  void SetUp() override { bindStateVariables(vars_, state_); }
  std::shared_ptr<AppState> state_ = std::make_shared<AppState>();
  registry::Variables vars_;
};

TEST_F(StateVariables, ReadingAndWritingByNameReachTheTypedState) {
  EXPECT_EQ(vars_.get("parameters"), toValue(state_->parameters));
  EXPECT_EQ(vars_.get("SigGenSettings").field("SamplingRate").toDouble(), 6144000);
  EXPECT_EQ(vars_.get("configuration").field("GPIB").field("primary").toDouble(), 19);
  EXPECT_EQ(vars_.get("appInfo").field("Name").str(), "Kelvane");
  EXPECT_TRUE(vars_.get("figureList").field("AdvSettings").isEmpty());

  Value p = vars_.get("parameters");
  p.setField("oversampleRatio", Value::scalar(8));
  vars_.set("parameters", p);
  EXPECT_EQ(state_->parameters.oversampleRatio, 8);

  Value c = vars_.get("configuration");
  c.setField("type", Value::text("TCPIP"));
  c.field("TCPIP").setField("address", Value::text("10.0.0.7"));
  vars_.set("configuration", c);
  EXPECT_EQ(state_->configuration.type, "TCPIP");
  EXPECT_EQ(state_->configuration.TCPIP.address, "10.0.0.7");

  Value s = vars_.get("SigGenSettings");
  s.setField("Scaling", Value::scalar(70));
  vars_.set("SigGenSettings", s);
  EXPECT_EQ(state_->sigGenSettings.Scaling, 70);

  Value f = vars_.get("figureList");
  f.setField("AdvSettings", Value::handle(4));
  vars_.set("figureList", f);
  EXPECT_EQ(state_->figureList.AdvSettings, 4u);

  Value a = vars_.get("appInfo");
  a.setField("ClientWindows", Value::list({Value::handle(5)}));
  vars_.set("appInfo", a);
  EXPECT_EQ(state_->appInfo.ClientWindows, std::vector<std::uint64_t>{5});
}

TEST_F(StateVariables, ARefusedWriteLeavesTheRecordAsItWas) {
  const Value before = vars_.get("parameters");
  Value p = before;
  p.setField("Frequency", Value::scalar(1e9));
  p.removeField("Amplitude");
  try {
    vars_.set("parameters", p);
    FAIL();
  } catch (const runtime::Error& e) {
    EXPECT_STREQ(e.what(), "parameters.Amplitude is missing");
  }
  EXPECT_EQ(vars_.get("parameters"), before);
  EXPECT_THROW(vars_.set("parameters", Value()), runtime::Error);
  EXPECT_THROW(vars_.set("appInfo", Value::text("x")), runtime::Error);
  EXPECT_EQ(vars_.get("appInfo"), toValue(AppInfo{}));
}

TEST_F(StateVariables, WaveformResultsAreAComplexRowAndATwoRowMarkerMatrix) {
  EXPECT_TRUE(vars_.get("trafficWaveform").isEmpty());
  EXPECT_TRUE(vars_.get("controlMarkers").isEmpty());
  state_->traffic.samples = {{0.5, -0.5}, {1, 0}, {0, 0.25}};
  state_->traffic.markers = {3, 0, 2};  // bit 0 marker 1, bit 1 marker 2
  const Value w = vars_.get("trafficWaveform");
  EXPECT_EQ(w.rows(), 1u);
  EXPECT_EQ(w.cols(), 3u);
  EXPECT_TRUE(w.isComplex());
  EXPECT_EQ(w.toComplex()[2], std::complex<double>(0, 0.25));
  EXPECT_EQ(vars_.get("trafficMarkers"), Value::matrix(2, 3, {1, 1, 0, 0, 0, 1}));

  // Writing by name: a column is taken as the same samples; markers from their matrix.
  state_->control.summary = synthesis::SampleSummary{};  // as a calculation leaves it
  vars_.set("controlWaveform", Value::complexColumn({{1, 1}, {2, -2}}));
  EXPECT_EQ(std::vector<std::complex<double>>(state_->control.samples.begin(),
                                              state_->control.samples.end()),
            (std::vector<std::complex<double>>{{1, 1}, {2, -2}}));
  // Samples set by name carry no summary of the synthesis: the download searches them.
  EXPECT_FALSE(state_->control.summary.has_value());
  vars_.set("controlMarkers", Value::matrix(2, 2, {0, 1, 1, 0}));
  EXPECT_EQ(std::vector<std::uint8_t>(state_->control.markers.begin(),
                                      state_->control.markers.end()),
            (std::vector<std::uint8_t>{2, 1}));
  vars_.set("controlMarkers", Value());
  EXPECT_TRUE(state_->control.markers.empty());

  EXPECT_THROW(vars_.set("trafficMarkers", Value::matrix(3, 1, {0, 1, 0})), runtime::Error);
  try {
    vars_.set("trafficMarkers", Value::matrix(2, 2, {0, 1, 2, 0}));
    FAIL();
  } catch (const runtime::Error& e) {
    EXPECT_STREQ(e.what(), "trafficMarkers must hold only 0 and 1; marker 1 of sample 2 is 2");
  }
  EXPECT_THROW(vars_.set("trafficWaveform", Value::matrix(2, 2, {1, 2, 3, 4})), runtime::Error);
  EXPECT_THROW(vars_.set("trafficWaveform", Value::text("abc")), runtime::Error);
  EXPECT_EQ(std::vector<std::uint8_t>(state_->traffic.markers.begin(),
                                      state_->traffic.markers.end()),
            (std::vector<std::uint8_t>{3, 0, 2}));
}

}  // namespace
}  // namespace kelvane::library
