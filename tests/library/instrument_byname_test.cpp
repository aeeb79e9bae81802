// The instrument operations by name through the shared library: formatconfig, the transport
// hwIO and the I/O operations with their by-name forms (2 x N marker matrix, records), against a
// scripted instrument on loopback.
#include <gtest/gtest.h>

#include "instrument/fake_instrument.hpp"
#include "instrument/transport.hpp"
#include "library/byname.hpp"
#include "registry/registry.hpp"
#include "runtime/value.hpp"
#include "toolkit/dialogs.hpp"

namespace kelvane::registry {
namespace {

using runtime::NumClass;
using testing::FakeInstrument;

class InstrumentByName : public ::testing::Test {
 protected:
  void SetUp() override {
    Qarn_FTM_c_libInitialize();
    saved_ = instrument::transportSettings();
    auto s = saved_;
    s.replyTimeout = s.connectTimeout = std::chrono::milliseconds(2000);
    instrument::setTransportSettings(s);
  }
  void TearDown() override {
    Qarn_FTM_c_libTerminate();  // closes the connections
    instrument::setTransportSettings(saved_);
  }

  // A configuration record with only what the LAN transport needs.
  Value lan() const {
    return Value::record(
        {{"type", Value::text("TCPIP")},
         {"TCPIP",
          Value::record({{"address", Value::text("127.0.0.1:" + std::to_string(fake_.port()))}})}});
  }
  static Value settings() {
    return Value::record({{"Title", Value::text("ASDF-UNUSED")},
                          {"Frequency", Value::scalar(1955000000)},
                          {"Amplitude", Value::scalar(-30)},
                          {"SamplingRate", Value::scalar(6144000)},
                          {"BBfilter", Value::scalar(4)},
                          {"Scaling", Value::scalar(95)},
                          {"ModAtten", Value::scalar(0)},
                          {"RFblanking", Value::scalar(1)},
                          {"ALC", Value::scalar(2)},
                          {"ArbRefSource", Value::scalar(2)},
                          {"MarkerPolarity", Value::scalar(0)}});
  }
  static void expectOk(const Outputs& out) {
    ASSERT_EQ(out.size(), 2u);
    EXPECT_EQ(out[0], Value::scalar(0)) << out[1].toString();
    EXPECT_TRUE(out[1].isText());
  }

  FakeInstrument fake_;
  instrument::TransportSettings saved_;
};

TEST_F(InstrumentByName, FormatconfigEdgeCases) {
  const Value partial = lan();
  EXPECT_EQ(call("formatconfig", {partial})[0], partial);

  const Value gpib = Value::record(
      {{"type", Value::text("GPIB")},
       {"GPIB", Value::record({{"board", Value::scalar(1)}, {"primary", Value::scalar(19)}})}});
  const Value g = call("formatconfig", {gpib})[0].field("GPIB");
  EXPECT_EQ(g.fieldNames(), (std::vector<std::string>{"board", "primary"}));
  EXPECT_EQ(g.field("board"), Value::int32(1));
  EXPECT_EQ(g.field("primary"), Value::int32(19));

  const Value withSecondary =
      Value::record({{"GPIB", Value::record({{"secondary", Value::scalar(-1)}})}});
  const Value s = call("formatconfig", {withSecondary})[0].field("GPIB").field("secondary");
  EXPECT_EQ(s.numClass(), NumClass::Int32);
  EXPECT_EQ(s.toDouble(), -1);
}

TEST_F(InstrumentByName, TheIoOperationsReachTheInstrument) {
  expectOk(call("hwSend", {lan(), Value::text(":output:state on")}, 2));
  const Outputs q = call("hwQuery", {lan(), Value::text("*IDN?")}, 2);
  expectOk(q);
  EXPECT_EQ(q[1], Value::text("Kelvane,FakeQ7710K,0,1.0"));
  const Outputs v = call("VerifyComm", {lan()}, 2);
  expectOk(v);
  EXPECT_EQ(v[1], Value::text("Connected to Kelvane,FakeQ7710K,0,1.0"));
  expectOk(call("hwPing", {lan()}, 2));
  // The transport by name, with its 32-bit opcode and a formatted record.
  const Value formatted = call("formatconfig", {lan()})[0];
  const Outputs io = call("hwIO", {Value::int32(3), formatted, Value::text("*OPC?")}, 2);
  EXPECT_EQ(io[1], Value::text("1"));
  const Outputs bad = call("hwIO", {Value::int32(8), formatted}, 2);
  EXPECT_NE(bad[0].toDouble(), 0);
  expectOk(call("hwReturnLocal", {lan()}, 2));
  EXPECT_EQ(fake_.commands(),
            (std::vector<std::string>{":output:state on", "*IDN?", "*IDN?", "*IDN?", "*OPC?"}));
}

TEST_F(InstrumentByName, DownloadsTakeTheTwoRowMarkerMatrix) {
  const Value iq = Value::complexRow({{1, 0}, {0, -0.5}, {0.25, 0.25}});
  const Value markers = Value::matrix(2, 3, {1, 0, 0, 1, 1, 1});  // (1,0) (0,1) (1,1)
  // Whatever the fourth and fifth inputs hold, the transport gets "norm" and 1.
  expectOk(call("hwDownload",
                {lan(), iq, markers, Value::text("raw"), Value::scalar(7), Value::text("ByName")},
                2));
  auto m = fake_.messages();
  ASSERT_EQ(m.size(), 6u);  // each block followed by *OPC? and :SYST:ERR?
  EXPECT_EQ(m[0].text, ":MMEM:DATA \"WFM1:ByName\",#212");
  EXPECT_EQ(m[3].blocks.at(0), std::string("\x01\x02\x03", 3));

  fake_.clear();
  fake_.change([](auto& b) { b.arbState = "1"; });
  expectOk(call("VelDownLoadWrap", {iq, markers, Value::text("Wrapped"), lan()}, 2));
  EXPECT_EQ(fake_.commands().front(), ":SOUR:RAD:ARB:STATe?");
  EXPECT_EQ(fake_.commands().back(), ":SOUR:RAD:ARB:STATe ON");

  EXPECT_THROW(call("VelDownLoadWrap", {iq, Value::row({1, 0, 1}), Value::text("W"), lan()}, 2),
               runtime::Error);
}

TEST_F(InstrumentByName, SequenceAndPlayOperations) {
  const Value elements = Value::list({Value::record({{"waveformName", Value::text("Control")},
                                                     {"repetitions", Value::scalar(2)},
                                                     {"marker1", Value::scalar(1)},
                                                     {"marker2", Value::scalar(1)}}),
                                      Value::record({{"waveformName", Value::text("Traffic")},
                                                     {"repetitions", Value::scalar(16)},
                                                     {"marker1", Value::scalar(1)},
                                                     {"marker2", Value::scalar(1)}})});
  expectOk(call("VelCreateWaveformSequence_c", {elements, Value::text("Seq"), lan()}, 2));
  EXPECT_EQ(fake_.commands().back(),
            ":source:rad:arb:seq \"SEQ:Seq\",\"WFM1:Control\",2,1,1,\"WFM1:Traffic\",16,1,1");

  fake_.clear();
  expectOk(call("VelPlayWaveformSequence_c", {Value::text("Seq"), settings(), lan()}, 2));
  auto c = fake_.commands();
  ASSERT_EQ(c.size(), 16u);
  EXPECT_EQ(c[5], ":source:dm:bbfilter Through");
  EXPECT_EQ(c[9], ":pow:alc:state on");
  EXPECT_EQ(c[10], ":source:rad:arb:marker:rfblank on");
  EXPECT_EQ(c[12], ":source:rad:arb:clock:ref ext");

  fake_.clear();
  expectOk(call("VelPlay_c", {Value::text("One"), settings(), lan()}, 2));
  EXPECT_EQ(fake_.commands().at(1), " :source:rad:arb:wav \"arbi:One\" ");
  fake_.clear();
  Value recon = settings();
  recon.setField("ReconFilter", Value::scalar(3));
  expectOk(call("VelPlay", {Value::text("One"), recon, lan()}, 2));
  EXPECT_EQ(fake_.commands().at(5), " :source:rad:arb:rfilter 8Mhz");

  // A failed command is reported by name, as a non-zero status.
  fake_.change([](auto& b) { b.failPattern = "srate"; });
  const Outputs failed = call("VelPlay_c", {Value::text("One"), settings(), lan()}, 2);
  EXPECT_NE(failed[0].toDouble(), 0);
  EXPECT_EQ(failed[1], Value::text("The command \" :source:rad:arb:clock:srate 6144000Hz\" "
                                   "failed: -222,\"Data out of range\""));
}

TEST_F(InstrumentByName, UsageFaultsRaiseAndConnectionFailuresReturnAStatus) {
  EXPECT_THROW(call("hwPing", {}, 2), runtime::Error);
  EXPECT_THROW(call("hwSend", {lan(), Value::text("a"), Value::text("b")}, 2), Error);
  Value incomplete = settings();
  incomplete.removeField("ALC");
  try {
    call("VelPlay_c", {Value::text("One"), incomplete, lan()}, 2);
    ADD_FAILURE() << "no error";
  } catch (const runtime::Error& e) {
    EXPECT_EQ(std::string(e.what()), "input 2: SigGenSettings.ALC is missing");
  }

  Value unset = lan();
  unset.setField("TCPIP", Value::record({{"address", Value::text("0.0.0.0")}}));
  const Outputs out = call("hwPing", {unset}, 2);
  EXPECT_NE(out[0].toDouble(), 0);
  EXPECT_NE(out[1].str().find("No LAN address is set"), std::string::npos);
}

}  // namespace
}  // namespace kelvane::registry
