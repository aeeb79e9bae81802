// The instrument records as by-name values: field order, reading by name, and the errors for
// missing and wrong-kind fields.
#include <gtest/gtest.h>

#include "instrument/records_value.hpp"

namespace kelvane::instrument {
namespace {

using runtime::Value;

std::string errorOf(auto&& f) {
  try {
    f();
  } catch (const runtime::Error& e) {
    return e.what();
  }
  return "no error";
}

TEST(RecordsValue, ConfigurationKeepsRecordOrderAndRoundTrips) {
  Configuration c;
  c.type = "RS232";
  c.GPIB = {3, 7, 12};
  c.RS232 = {.port = 4, .baudrate = 19200, .handshake = "RTS/CTS", .device = {}};
  c.TCPIP = {"10.0.0.5:5025", 0};
  c.BBGtype = kBbg8Msamples;
  c.LastParameterFilename = "/tmp/p.mat";
  const Value v = toValue(c);
  EXPECT_EQ(v.fieldNames(), (std::vector<std::string>{"type", "GPIB", "RS232", "TCPIP", "BBGtype",
                                                      "LastParameterFilename"}));
  EXPECT_EQ(v.field("GPIB").fieldNames(),
            (std::vector<std::string>{"board", "primary", "secondary"}));
  EXPECT_EQ(v.field("RS232").fieldNames(),
            (std::vector<std::string>{"port", "baudrate", "handshake"}));
  EXPECT_EQ(v.field("TCPIP").fieldNames(), (std::vector<std::string>{"address", "board"}));

  const Configuration back = configurationFromValue(v);
  EXPECT_EQ(back.type, "RS232");
  EXPECT_EQ(back.GPIB.primary, 7);
  EXPECT_EQ(back.GPIB.secondary, 12);
  EXPECT_EQ(back.RS232.baudrate, 19200);
  EXPECT_EQ(back.RS232.handshake, "RTS/CTS");
  EXPECT_EQ(back.TCPIP.address, "10.0.0.5:5025");
  EXPECT_EQ(back.BBGtype, "008");
  EXPECT_EQ(back.LastParameterFilename, "/tmp/p.mat");

  // A serial device path is stored only when set, and read back.
  c.RS232.device = "/dev/ttyUSB0";
  const Value withDevice = toValue(c);
  EXPECT_EQ(withDevice.field("RS232").fieldNames(),
            (std::vector<std::string>{"port", "baudrate", "handshake", "device"}));
  EXPECT_EQ(configurationFromValue(withDevice).RS232.device, "/dev/ttyUSB0");
  EXPECT_EQ(configurationFromValue(v, MissingField::Error).RS232.device, "");
}

TEST(RecordsValue, ConfigurationErrorsNameTheField) {
  Value v = toValue(Configuration{});
  Value missing = v;
  missing.removeField("BBGtype");
  EXPECT_EQ(errorOf([&] { configurationFromValue(missing); }), "configuration.BBGtype is missing");

  Value gpib = v.field("GPIB");
  gpib.setField("board", Value::text("zero"));
  Value wrong = v;
  wrong.setField("GPIB", gpib);
  EXPECT_EQ(errorOf([&] { configurationFromValue(wrong, MissingField::Default); }),
            "configuration.GPIB.board must be a real number, got text");

  Value notRecord = v;
  notRecord.setField("RS232", Value::scalar(1));
  EXPECT_EQ(errorOf([&] { configurationFromValue(notRecord); }),
            "configuration.RS232 must be a 1 x 1 record, got double");

  EXPECT_EQ(errorOf([] {
              configurationFromValue(Value::row({1, 2}));
            }),
            "configuration must be a 1 x 1 record, got double");
}

TEST(RecordsValue, PartialConfigurationReadsWithDefaults) {
  const Value v = Value::record(
      {{"type", Value::text("tcpip")},
       {"TCPIP", Value::record({{"address", Value::text("sg.lab")}})},
       {"LastParameterFilename", Value()}});  // an empty matrix reads as an empty text
  const Configuration c = configurationFromValue(v, MissingField::Default);
  EXPECT_EQ(c.type, "tcpip");
  EXPECT_EQ(c.TCPIP.address, "sg.lab");
  EXPECT_EQ(c.GPIB.primary, 19);
  EXPECT_EQ(c.RS232.handshake, "Xon/Xoff");
  EXPECT_EQ(c.BBGtype, kBbg32Msamples);
  EXPECT_EQ(c.LastParameterFilename, "");
  EXPECT_EQ(errorOf([&] { configurationFromValue(v); }), "configuration.GPIB is missing");
}

TEST(RecordsValue, SigGenSettingsInRecordOrderWithOptionalReconFilter) {
  SigGenSettings s;
  s.Frequency = 2.1e9;
  s.ALC = 1;
  const Value v = toValue(s);
  EXPECT_EQ(v.fieldNames(),
            (std::vector<std::string>{"Title", "Frequency", "Amplitude", "SamplingRate", "BBfilter",
                                      "Scaling", "ModAtten", "RFblanking", "ALC", "ArbRefSource",
                                      "MarkerPolarity"}));
  const SigGenSettings back = sigGenSettingsFromValue(v);
  EXPECT_EQ(back.Frequency, 2.1e9);
  EXPECT_EQ(back.ALC, 1);
  EXPECT_FALSE(back.ReconFilter.has_value());

  s.ReconFilter = 3;
  const Value withRecon = toValue(s);
  EXPECT_EQ(withRecon.fieldNames().back(), "ReconFilter");
  EXPECT_EQ(sigGenSettingsFromValue(withRecon).ReconFilter, 3.0);

  Value noAlc = v;
  noAlc.removeField("ALC");
  EXPECT_EQ(errorOf([&] { sigGenSettingsFromValue(noAlc); }), "SigGenSettings.ALC is missing");
  Value vectorAlc = v;
  vectorAlc.setField("ALC", Value::row({0, 1}));
  EXPECT_EQ(errorOf([&] { sigGenSettingsFromValue(vectorAlc); }),
            "SigGenSettings.ALC must be a real number, got double of 1 x 2");
}

TEST(RecordsValue, SequenceElementsFromListsAndRecordArrays) {
  const std::vector<SequenceElement> elements = {{"Control", 3, 1, 1}, {"Traffic", 20, 1, 0}};
  const Value array = toValue(elements);
  EXPECT_EQ(array.numel(), 2u);
  EXPECT_EQ(array.fieldNames(),
            (std::vector<std::string>{"waveformName", "repetitions", "marker1", "marker2"}));
  const Value list = Value::list({toValue(elements[0]), toValue(elements[1])});
  for (const Value& v : {array, list}) {
    const auto back = sequenceElementsFromValue(v);
    ASSERT_EQ(back.size(), 2u);
    EXPECT_EQ(back[1].waveformName, "Traffic");
    EXPECT_EQ(back[1].repetitions, 20);
    EXPECT_EQ(back[1].marker2, 0);
  }
  EXPECT_TRUE(sequenceElementsFromValue(Value()).empty());

  Value bad = toValue(elements[1]);
  bad.removeField("marker1");
  EXPECT_EQ(errorOf([&] {
              sequenceElementsFromValue(Value::list({toValue(elements[0]), bad}));
            }),
            "sequenceElements(2).marker1 is missing");
  EXPECT_EQ(errorOf([] { sequenceElementsFromValue(Value::text("x")); }),
            "sequenceElements must be a list of records, got text");
}

}  // namespace
}  // namespace kelvane::instrument
