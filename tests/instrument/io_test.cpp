// formatconfig, the by-name transport entry's argument checks and the marker forms.
#include <gtest/gtest.h>

#include "instrument/io.hpp"
#include "instrument/records_value.hpp"
#include "instrument/transport.hpp"

namespace kelvane::instrument {
namespace {

using runtime::NumClass;
using runtime::Value;

TEST(Formatconfig, TypeAndAddressOnlyPassUnchanged) {
  const Value in = Value::record({{"type", Value::text("TCPIP")},
                                  {"TCPIP", Value::record({{"address", Value::text("1.2.3.4")}})}});
  EXPECT_EQ(formatconfig(in), in);
}

TEST(Formatconfig, GpibWithoutSecondaryConvertsBoardAndPrimaryOnly) {
  const Value in = Value::record(
      {{"type", Value::text("GPIB")},
       {"GPIB", Value::record({{"board", Value::scalar(0)}, {"primary", Value::scalar(19)}})}});
  const Value out = formatconfig(in);
  const Value& g = out.field("GPIB");
  EXPECT_EQ(g.fieldNames(), (std::vector<std::string>{"board", "primary"}));
  EXPECT_EQ(g.field("board").numClass(), NumClass::Int32);
  EXPECT_EQ(g.field("primary").numClass(), NumClass::Int32);
  EXPECT_EQ(g.field("primary").toDouble(), 19);
  EXPECT_EQ(out.fieldNames(), in.fieldNames());
}

TEST(Formatconfig, SecondaryMinusOneBecomesInt32AndTheRestPassesThrough) {
  const Value out = formatconfig(toValue(Configuration{}));
  EXPECT_EQ(out.field("GPIB").field("secondary"), Value::int32(-1));
  EXPECT_EQ(out.field("RS232").field("port"), Value::int32(1));
  EXPECT_EQ(out.field("RS232").field("baudrate"), Value::int32(9600));
  EXPECT_EQ(out.field("TCPIP").field("board"), Value::int32(0));
  EXPECT_EQ(out.field("RS232").field("handshake"), Value::text("Xon/Xoff"));
  EXPECT_EQ(out.field("TCPIP").field("address"), Value::text("0.0.0.0"));
  EXPECT_EQ(out.field("BBGtype"), Value::text(kBbg32Msamples));
}

TEST(Formatconfig, RoundsAndSaturatesLikeInt32AndLeavesTextAlone) {
  Value in = toValue(Configuration{});
  Value g = in.field("GPIB");
  g.setField("board", Value::scalar(2.5));
  g.setField("primary", Value::scalar(1e12));
  g.setField("secondary", Value::text("none"));
  in.setField("GPIB", g);
  in.setField("extra", Value::scalar(7.5));
  const Value out = formatconfig(in);
  EXPECT_EQ(out.field("GPIB").field("board"), Value::int32(3));
  EXPECT_EQ(out.field("GPIB").field("primary"), Value::int32(2147483647));
  EXPECT_EQ(out.field("GPIB").field("secondary"), Value::text("none"));
  EXPECT_EQ(out.field("extra"), Value::scalar(7.5));
  EXPECT_THROW(formatconfig(Value::scalar(1)), runtime::Error);
}

TEST(HwIO, BadArgumentsAreRefusedWithAStatus) {
  const Value cfg = formatconfig(toValue(Configuration{}));
  auto call = [](std::vector<Value> args) { return hwIO(args); };
  auto refusedWith = [&](std::vector<Value> args, const std::string& text) {
    const Status s = call(std::move(args));
    EXPECT_EQ(s.code, status::kRefused) << s.message;
    EXPECT_NE(s.message.find(text), std::string::npos) << s.message;
  };
  refusedWith({}, "needs an opcode");
  refusedWith({Value::scalar(9), cfg}, "unknown opcode 9");
  refusedWith({Value::scalar(1.5), cfg}, "whole number");
  refusedWith({Value::scalar(1), Value::text("GPIB")}, "must be a record");
  refusedWith({Value::scalar(2), cfg}, "2 needs a command");
  refusedWith({Value::scalar(3), cfg, Value::scalar(1)}, "3 needs a query");
  refusedWith({Value::scalar(4), cfg, Value::row({1})}, "needs data, markers");
  refusedWith({Value::scalar(4), cfg, Value::row({1}), Value::matrix(2, 1, {0, 1}),
               Value::text("raw"), Value::scalar(1), Value::text("W")},
              "\"norm\" and 1");
  refusedWith({Value::scalar(4), cfg, Value::row({1, 2}), Value::row({0, 1}), Value::text("norm"),
               Value::scalar(1), Value::text("W")},
              "2 x 2 matrix");
  refusedWith({Value::scalar(1), Value::record({{"type", Value::text("tcpip")}})},
              "no TCPIP.address field");
  refusedWith(
      {Value::scalar(1), Value::record({{"type", Value::text("RS232")},
                                        {"RS232", Value::record({{"port", Value::scalar(1)}})}})},
      "no RS232.baudrate field");
  refusedWith({Value::scalar(1), Value::record({{"GPIB", Value::record()}})}, "no type field");
  Value serial = toValue(Configuration{});
  serial.setField("type", Value::text("USB"));
  refusedWith({Value::scalar(1), serial}, "Unknown connection type \"USB\"");
}

TEST(Markers, PackAndUnpackTheTwoRows) {
  // Column-major 2 x 4: samples (m1, m2) = (1,0) (0,1) (1,1) (0,0).
  const Value m = Value::matrix(2, 4, {1, 0, 0, 1, 1, 1, 0, 0});
  EXPECT_EQ(packMarkers(m, 4), (std::vector<std::uint8_t>{1, 2, 3, 0}));
  EXPECT_EQ(unpackMarkers(std::vector<std::uint8_t>{1, 2, 3, 0}), m);
  EXPECT_THROW(packMarkers(m, 5), runtime::Error);
  EXPECT_THROW(packMarkers(Value::matrix(4, 2, {0, 0, 0, 0, 0, 0, 0, 0}), 2), runtime::Error);
  EXPECT_TRUE(packMarkers(Value(), 0).empty());
}

}  // namespace
}  // namespace kelvane::instrument
