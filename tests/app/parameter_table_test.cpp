// The one table of the waveform parameters: every field once, in record order, with start-up
// values that match the record, and the texts that lists and tool tips show.
#include "app/parameter_table.hpp"

#include <gtest/gtest.h>

#include <set>

#include "app/state.hpp"
#include "app/validation.hpp"

namespace kelvane::app {
namespace {

using runtime::Value;

TEST(ParameterTable, HoldsEveryFieldOnceInRecordOrderWithItsStartupValue) {
  const auto table = parameterTable();
  ASSERT_EQ(table.size(), 23u);
  const Value record = toValue(startupParameters());
  ASSERT_EQ(record.fieldNames().size(), table.size());
  std::set<std::string_view> names;
  for (std::size_t i = 0; i < table.size(); ++i) {
    EXPECT_EQ(record.fieldNames()[i], table[i].name);
    EXPECT_TRUE(names.insert(table[i].name).second) << table[i].name;
    EXPECT_EQ(startupValue(table[i]), record.field(table[i].name)) << table[i].name;
    EXPECT_FALSE(table[i].meaning.empty()) << table[i].name;
    // Every start-up value is one the chain can serve.
    EXPECT_EQ(problemOf(table[i], startupParameters()), "") << table[i].name;
  }
  EXPECT_EQ(findParameter("oversampleRatio"), &table[7]);
  EXPECT_EQ(findParameter("OversampleRatio"), nullptr);
  EXPECT_EQ(startupValue(*findParameter("Frequency")), Value::scalar(1955000000));
}

TEST(ParameterTable, ChoicesAndAcceptedTextsForListsAndToolTips) {
  const ParameterSpec& drc = *findParameter("trafficChannelDRCValue");
  ASSERT_EQ(drc.choices.size(), 12u);
  EXPECT_EQ(drc.choices[3].label, "DRC 4: 307.2 kbit/s, 2 slots");
  EXPECT_EQ(drc.choices[11].label, "DRC 12: 2457.6 kbit/s, 1 slot");
  EXPECT_EQ(findParameter("controlChannelDRCValue")->choices.size(), 2u);

  // The user pattern is a payload type the record can hold but the window never offers.
  const ParameterSpec& payload = *findParameter("trafficChannelPayload");
  EXPECT_EQ(payload.upper, 6);
  ASSERT_NE(payload.choice(7), nullptr);
  EXPECT_FALSE(payload.choice(7)->refusal.empty());
  EXPECT_TRUE(payload.choice(5)->refusal.empty());
  EXPECT_EQ(payload.choice(5)->label, "PN9");

  EXPECT_EQ(acceptedText(*findParameter("trafficChannelMACIndex")), "5 to 63");
  EXPECT_EQ(acceptedText(*findParameter("Amplitude")), "-136 to 20 dBm");
  EXPECT_EQ(acceptedText(*findParameter("phaseEqualizationActive")), "0 or 1");
  EXPECT_EQ(acceptedText(*findParameter("trafficChannelWaveformReps")),
            "-2147483648 to 2147483647");
  EXPECT_EQ(acceptedText(*findParameter("ProjectedLength")), "0 or more samples");
  EXPECT_EQ(acceptedText(*findParameter("Frequency")), "100000 to 6000000000 Hz");
  EXPECT_EQ(acceptedText(*findParameter("ChannelNumber")), "any number");
  EXPECT_EQ(acceptedText(*findParameter("BandClass")), "0 to 9");
}

TEST(ParameterTable, AChoiceMustBeAnOfferedEntry) {
  Parameters p;
  const ParameterSpec& filter = *findParameter("filterType");
  for (double ok : {1.0, 2.0, 3.0}) {
    p.filterType = ok;
    EXPECT_EQ(problemOf(filter, p), "");
  }
  p.filterType = 2.5;
  EXPECT_EQ(problemOf(filter, p), "filterType must be a whole number from 1 to 3, not 2.5");
  p.BandClass = -1;
  EXPECT_EQ(parameterProblems(p).size(), 2u);
}

}  // namespace
}  // namespace kelvane::app
