// The download, sequence and play operations at the wire, against the signal-generator
// simulator: every command text as sent, the instrument state it leaves, and the failures the
// operations must report.
#include <gtest/gtest.h>

#include <limits>

#include "fake_instrument.hpp"
#include "instrument/download.hpp"
#include "instrument/io.hpp"
#include "instrument/playback.hpp"
#include "instrument/transport.hpp"
#include "simulator/simulator.hpp"
#include "test_support.hpp"
#include "toolkit/dialogs.hpp"

namespace kelvane::instrument {
namespace {

using testing::lan;
using testing::ShortTimeouts;
using C = std::complex<double>;
using Commands = std::vector<std::string>;

class Wire : public ::testing::Test {
 protected:
  void SetUp() override {
    sim_ = std::make_unique<simulator::Simulator>(options());
    sim_->start();
    config_ = lan(sim_->port());
  }
  virtual simulator::SimulatorOptions options() const { return {}; }

  // The messages received since the last call, without the error queries after each command.
  Commands sent() {
    Commands out;
    const auto all = sim_->state()["commands"];
    for (std::size_t i = seen_; i < all.size(); ++i)
      if (all[i] != ":SYST:ERR?") out.push_back(all[i]);
    seen_ = all.size();
    return out;
  }
  nlohmann::json state() const { return sim_->state(); }

  // Stores `name` with `n` samples so that sequences and selections can name it.
  void store(const std::string& name, std::size_t n = 64) {
    const std::vector<C> iq(n, C(0.5, -0.5));
    const std::vector<std::uint8_t> markers(n, 1);
    ASSERT_EQ(hwDownload(config_, iq, markers, name).code, 0);
    sent();
  }

  ShortTimeouts timeouts_;
  toolkit::ScriptedDialogs dialogs_;
  std::unique_ptr<simulator::Simulator> sim_;
  Configuration config_;
  std::size_t seen_ = 0;
};

TEST_F(Wire, DownloadStopsTheArbAndDecodesBackToTheWords) {
  // Peak 0.5 gives the scale 65534: words round(x * 65534), halves away from zero.
  const std::vector<C> iq = {{0.5, -0.25}, {0.125, 0}, {-0.5, 0.0625}, {0, 0}};
  const std::vector<std::uint8_t> markers = {3, 1, 2, 0};
  const Status s = VelDownLoadWrap(iq, markers, "Traffic", config_, dialogs_);
  ASSERT_EQ(s.code, 0) << s.message;
  EXPECT_EQ(sent(), (Commands{":SOUR:RAD:ARB:STATe?", ":SOUR:RAD:ARB:STATe OFF",
                              ":MMEM:DATA \"WFM1:Traffic\",#216", "*OPC?",
                              ":MMEM:DATA \"MKR1:Traffic\",#14", "*OPC?"}));
  EXPECT_EQ(sim_->waveformWords("Traffic"),
            (std::vector<std::int16_t>{32767, -16384, 8192, 0, -32767, 4096, 0, 0}));
  EXPECT_EQ(sim_->markerBytes("Traffic"), (std::vector<std::uint8_t>{3, 1, 2, 0}));
  EXPECT_EQ(state()["files"]["WFM1"]["Traffic"]["samples"], 4);
  EXPECT_EQ(state()["states"]["arb"], false);
}

TEST_F(Wire, TheArbIsSwitchedBackOnOnlyWhenItWasOn) {
  const std::vector<C> iq(100, C(0.1, 0.2));
  const std::vector<std::uint8_t> markers(100, 0);
  ASSERT_EQ(hwSend(config_, ":SOUR:RAD:ARB:STATe ON").code, 0);
  sent();
  ASSERT_EQ(VelDownLoadWrap(iq, markers, "WasOn", config_, dialogs_).code, 0);
  Commands c = sent();
  ASSERT_FALSE(c.empty());
  EXPECT_EQ(c.back(), ":SOUR:RAD:ARB:STATe ON");
  EXPECT_EQ(state()["states"]["arb"], true);

  // A failed download still restores a running ARB, and returns the instrument's error.
  simulator::Faults f;
  f.failPattern = "MMEM:DATA";
  sim_->setFaults(f);
  const Status failed = VelDownLoadWrap(iq, markers, "Fails", config_, dialogs_);
  EXPECT_EQ(failed.code, status::kInstrumentError);
  EXPECT_EQ(failed.message,
            "The signal generator refused the waveform \"Fails\" (:MMEM:DATA \"WFM1:Fails\"): "
            "-222,\"Data out of range\"");
  EXPECT_EQ(sent().back(), ":SOUR:RAD:ARB:STATe ON");
  EXPECT_EQ(state()["states"]["arb"], true);
  sim_->setFaults({});

  ASSERT_EQ(hwSend(config_, ":SOUR:RAD:ARB:STATe OFF").code, 0);
  sent();
  ASSERT_EQ(VelDownLoadWrap(iq, markers, "WasOff", config_, dialogs_).code, 0);
  c = sent();
  EXPECT_EQ(c.back(), "*OPC?");
  EXPECT_EQ(state()["states"]["arb"], false);
}

TEST(WireArbReply, AnArbReplyThatIsNoNumberLeavesTheArbOff) {
  ShortTimeouts t;
  const std::vector<C> iq(10, C(1, 0));
  const std::vector<std::uint8_t> markers(10, 0);
  toolkit::ScriptedDialogs dialogs;
  for (const char* reply : {"", "ON", "1.5", "yes"}) {
    testing::FakeInstrument fake;
    fake.change([&](auto& b) { b.arbState = reply; });
    ASSERT_EQ(VelDownLoadWrap(iq, markers, "W", lan(fake.port()), dialogs).code, 0);
    EXPECT_EQ(fake.commands().back(), "*OPC?") << reply;
    closeConnections();
  }
}

TEST_F(Wire, SequenceCommandHoldsEveryElement) {
  store("Control");
  store("Traffic");
  const std::vector<SequenceElement> elements = {{"Control", 3, 1, 1}, {"Traffic", 20, 1, 1}};
  const Status s = VelCreateWaveformSequence_c(elements, "Qarn", config_);
  ASSERT_EQ(s.code, 0) << s.message;
  EXPECT_EQ(sent(), (Commands{":source:rad:arb:seq \"SEQ:Qarn\",\"WFM1:Control\",3,1,1,"
                              "\"WFM1:Traffic\",20,1,1"}));
  const auto seq = state()["sequences"]["Qarn"];
  ASSERT_EQ(seq.size(), 2u);
  EXPECT_EQ(seq[0]["waveform"], "Control");
  EXPECT_EQ(seq[1]["repetitions"], 20);

  // No elements: only the sequence name goes out, which the instrument refuses.
  const Status empty = VelCreateWaveformSequence_c({}, "Empty", config_);
  EXPECT_EQ(sent(), (Commands{":source:rad:arb:seq \"SEQ:Empty\""}));
  EXPECT_EQ(empty.code, status::kInstrumentError);
  EXPECT_EQ(
      empty.message.rfind("The command \":source:rad:arb:seq \"SEQ:Empty\"\" failed: -109", 0), 0u)
      << empty.message;
}

TEST_F(Wire, ASequenceCountThatIsNotAnInt32IsRefusedBeforeAnythingIsSent) {
  store("Control");
  store("Traffic");
  const double nan = std::numeric_limits<double>::quiet_NaN();
  struct Case {
    SequenceElement element;
    const char* message;
  };
  const std::vector<Case> cases = {
      {{"Traffic", 1e300, 1, 1},
       "Sequence element 2 (\"Traffic\"): the repetitions must be a whole number from "
       "-2147483648 to 2147483647, not 1e+300; nothing was sent."},
      {{"Traffic", 2.5, 1, 1},
       "Sequence element 2 (\"Traffic\"): the repetitions must be a whole number from "
       "-2147483648 to 2147483647, not 2.5; nothing was sent."},
      {{"Traffic", 2147483648.0, 1, 1},
       "Sequence element 2 (\"Traffic\"): the repetitions must be a whole number from "
       "-2147483648 to 2147483647, not 2147483648; nothing was sent."},
      {{"Traffic", 4, nan, 1},
       "Sequence element 2 (\"Traffic\"): marker 1 must be a whole number from -2147483648 to "
       "2147483647, not NaN; nothing was sent."},
      {{"Traffic", 4, 1, -2147483649.0},
       "Sequence element 2 (\"Traffic\"): marker 2 must be a whole number from -2147483648 to "
       "2147483647, not -2147483649; nothing was sent."},
  };
  for (const Case& c : cases) {
    const std::vector<SequenceElement> elements = {{"Control", 1, 1, 1}, c.element};
    const Status s = VelCreateWaveformSequence_c(elements, "Qarn", config_);
    EXPECT_EQ(s.code, status::kRefused) << c.message;
    EXPECT_EQ(s.message, c.message);
    EXPECT_EQ(sent(), Commands{}) << c.message;
  }
  EXPECT_FALSE(state()["sequences"].contains("Qarn"));
  // The int32 bounds themselves go out as they are (the instrument judges them).
  const std::vector<SequenceElement> bounds = {{"Control", -2147483648.0, 0, 1},
                                               {"Traffic", 2147483647, 1, 0}};
  VelCreateWaveformSequence_c(bounds, "Bounds", config_);
  EXPECT_EQ(sent(), (Commands{":source:rad:arb:seq \"SEQ:Bounds\",\"WFM1:Control\",-2147483648,0,1,"
                              "\"WFM1:Traffic\",2147483647,1,0"}));
}

TEST_F(Wire, PlayingTheSequenceSendsSixteenCommandsWithoutLeadingBlanks) {
  store("Control");
  store("Traffic");
  ASSERT_EQ(
      VelCreateWaveformSequence_c(
          std::vector<SequenceElement>{{"Control", 1, 1, 1}, {"Traffic", 4, 1, 1}}, "Qarn", config_)
          .code,
      0);
  sent();
  const Status s = VelPlayWaveformSequence_c("Qarn", SigGenSettings{}, config_);
  ASSERT_EQ(s.code, 0) << s.message;
  EXPECT_EQ(sent(), (Commands{
                        ":source:rad:arb:state off",
                        ":source:rad:arb:wav \"SEQ:Qarn\"",
                        ":source:freq:fix 1955000000Hz",
                        ":source:power:level:immediate:amplitude -30dbm",
                        ":source:rad:arb:clock:srate 6144000Hz",
                        ":source:dm:bbfilter 2.1MHz",
                        ":source:rad:ARB:rscaling 95",
                        ":source:DM:IQAT:AUTO off",
                        ":source:DM:IQAT 0",
                        ":pow:alc:state off",
                        ":source:rad:arb:marker:rfblank off",
                        ":source:rad:arb:marker:polarity Pos",
                        ":source:rad:arb:clock:ref int",
                        ":source:rad:arb:state on",
                        ":output:mod on",
                        ":output:state on",
                    }));
  const auto st = state();
  EXPECT_EQ(st["selected"]["kind"], "sequence");
  EXPECT_EQ(st["selected"]["name"], "Qarn");
  EXPECT_EQ(st["settings"]["frequencyHz"], 1955000000.0);
  EXPECT_EQ(st["settings"]["powerDbm"], -30.0);
  EXPECT_EQ(st["settings"]["sampleClockHz"], 6144000.0);
  EXPECT_EQ(st["settings"]["basebandFilter"], "2.1MHz");
  EXPECT_EQ(st["states"]["arb"], true);
  EXPECT_EQ(st["states"]["modulation"], true);
  EXPECT_EQ(st["states"]["rfOutput"], true);
}

TEST_F(Wire, PlayCSendsFifteenCommandsWithTheirLeadingBlanks) {
  store("Single");
  SigGenSettings s;
  s.Frequency = 881.52e6;
  s.Amplitude = -47.5;
  s.SamplingRate = 4915200;
  s.BBfilter = 2;
  s.Scaling = 70;
  s.ModAtten = 4;
  s.ALC = 1;
  s.RFblanking = 1;
  s.MarkerPolarity = 1;
  s.ArbRefSource = 1;
  const Status r = VelPlay_c("Single", s, config_);
  ASSERT_EQ(r.code, 0) << r.message;
  EXPECT_EQ(sent(), (Commands{
                        " :source:rad:arb:state off",
                        " :source:rad:arb:wav \"arbi:Single\" ",
                        " :source:freq:fix 881520000Hz",
                        " :source:power:level:immediate:amplitude -47.5dbm",
                        " :source:rad:arb:clock:srate 4915200Hz",
                        " :source:dm:bbfilter 40MHz",
                        " :source:rad:ARB:rscaling 70",
                        ":source:DM:IQAT:AUTO off",
                        ":source:DM:IQAT 4",
                        " :pow:alc:state on",
                        " :source:rad:arb:marker:rfblank on",
                        " :source:rad:arb:marker:polarity Neg",
                        " :source:rad:arb:clock:ref ext",
                        " :source:rad:arb:state on",
                        " :output:state on",
                    }));
  const auto st = state();
  EXPECT_EQ(st["selected"]["kind"], "waveform");
  EXPECT_EQ(st["settings"]["alc"], true);
  EXPECT_EQ(st["settings"]["markerPolarity"], "negative");
  EXPECT_EQ(st["settings"]["clockReference"], "external");
}

TEST_F(Wire, PlaySendsElevenCommandsWithTheReconstructionFilter) {
  store("Single");
  SigGenSettings s;
  s.ReconFilter = 2;
  const Status r = VelPlay("Single", s, config_);
  ASSERT_EQ(r.code, 0) << r.message;
  EXPECT_EQ(sent(), (Commands{
                        " :source:rad:arb:state off",
                        " :source:rad:arb:wav \"arbi:Single\" ",
                        " :source:freq:fix 1955000000Hz",
                        " :source:power:level:immediate:amplitude -30dbm",
                        " :source:rad:arb:clock:srate 6144000Hz",
                        " :source:rad:arb:rfilter 2.5Mhz",
                        " :source:rad:arb:marker:rfblank off",
                        " :source:rad:arb:marker:polarity Pos",
                        " :source:rad:arb:clock:ref int",
                        " :source:rad:arb:state on",
                        " :output:state on",
                    }));
  EXPECT_EQ(state()["settings"]["reconstructionFilter"], "2.5MHz");
}

TEST_F(Wire, FilterAlcBlankingPolarityAndReferenceChoices) {
  store("Single");
  struct Case {
    double value;
    const char* bbFilter;   // entry 6 of VelPlay_c for BBfilter = value
    const char* alc;        // entry 10 for ALC = value
    const char* blank;      // entry 11 for RFblanking = value
    const char* polarity;   // entry 12 for MarkerPolarity = value
    const char* reference;  // entry 13 for ArbRefSource = value
  };
  const Case cases[] = {
      {0, "Through", "off", "off", "Pos", "int"}, {1, "2.1MHz", "on", "on", "Neg", "ext"},
      {2, "40MHz", "on", "off", "Neg", "ext"},    {3, "Through", "on", "off", "Neg", "ext"},
      {4, "Through", "on", "off", "Neg", "ext"},
  };
  for (const Case& c : cases) {
    SigGenSettings s;
    s.BBfilter = s.ALC = s.RFblanking = s.MarkerPolarity = s.ArbRefSource = c.value;
    ASSERT_EQ(VelPlay_c("Single", s, config_).code, 0) << c.value;
    const Commands w = sent();
    ASSERT_EQ(w.size(), 15u);
    EXPECT_EQ(w[5], std::string(" :source:dm:bbfilter ") + c.bbFilter) << c.value;
    EXPECT_EQ(w[9], std::string(" :pow:alc:state ") + c.alc) << c.value;
    EXPECT_EQ(w[10], std::string(" :source:rad:arb:marker:rfblank ") + c.blank) << c.value;
    EXPECT_EQ(w[11], std::string(" :source:rad:arb:marker:polarity ") + c.polarity) << c.value;
    EXPECT_EQ(w[12], std::string(" :source:rad:arb:clock:ref ") + c.reference) << c.value;

    ASSERT_EQ(VelPlayWaveformSequence_c("NoSuchSequence", s, config_).code,
              status::kInstrumentError);  // the selection fails; the settings still go out
    const Commands q = sent();
    ASSERT_EQ(q.size(), 16u);
    EXPECT_EQ(q[5], std::string(":source:dm:bbfilter ") + c.bbFilter);
    EXPECT_EQ(q[9], std::string(":pow:alc:state ") + c.alc);
    EXPECT_EQ(q[10], std::string(":source:rad:arb:marker:rfblank ") + c.blank);
    EXPECT_EQ(q[11], std::string(":source:rad:arb:marker:polarity ") + c.polarity);
    EXPECT_EQ(q[12], std::string(":source:rad:arb:clock:ref ") + c.reference);
  }
  // The reconstruction filter: 1..3 name a filter; 0, 4, 5 and none are "through".
  const std::pair<std::optional<double>, const char*> recon[] = {
      {1, "250.0khz"},          {2, "2.5Mhz"},  {3, "8Mhz"},
      {0, "through"},           {4, "through"}, {5, "through"},
      {std::nullopt, "through"}};
  for (const auto& [value, text] : recon) {
    SigGenSettings s;
    s.ReconFilter = value;
    ASSERT_EQ(VelPlay("Single", s, config_).code, 0) << text;
    const Commands w = sent();
    ASSERT_EQ(w.size(), 11u);
    EXPECT_EQ(w[5], std::string(" :source:rad:arb:rfilter ") + text);
  }
}

TEST_F(Wire, AFailedCommandIsReportedByNameWhileTheRestStillGoOut) {
  store("Single");
  const Status missing = VelPlayWaveformSequence_c("Missing", SigGenSettings{}, config_);
  // The selection of the unknown sequence fails; the carrier was set, so the output comes on.
  EXPECT_EQ(missing.code, status::kInstrumentError);
  EXPECT_EQ(
      missing.message.rfind("The command \":source:rad:arb:wav \"SEQ:Missing\"\" failed: -256", 0),
      0u)
      << missing.message;
  Commands c = sent();
  ASSERT_EQ(c.size(), 16u);
  EXPECT_EQ(c.back(), ":output:state on");
  simulator::Faults f;
  f.failPattern = ":source:DM:IQAT ";
  sim_->setFaults(f);
  EXPECT_EQ(VelPlay_c("Single", SigGenSettings{}, config_).code, status::kInstrumentError);
  c = sent();
  ASSERT_EQ(c.size(), 15u);
  EXPECT_EQ(c.back(), " :output:state on");
  EXPECT_TRUE(state()["states"]["rfOutput"]);
}

TEST_F(Wire, ARefusedCarrierEndsThePlayWithTheOutputOff) {
  store("Single");
  store("Control");
  ASSERT_EQ(VelCreateWaveformSequence_c(std::vector<SequenceElement>{{"Control", 1, 1, 1}}, "Qarn",
                                        config_)
                .code,
            0);
  // The output is on from an earlier play at the previous carrier.
  ASSERT_EQ(VelPlay_c("Single", SigGenSettings{}, config_).code, 0);
  ASSERT_TRUE(state()["states"]["rfOutput"]);
  sent();

  simulator::Faults f;
  f.failPattern = "freq:fix";
  sim_->setFaults(f);
  const Status p = VelPlay_c("Single", SigGenSettings{}, config_);
  EXPECT_EQ(p.code, status::kInstrumentError);
  EXPECT_EQ(p.message,
            "The command \" :source:freq:fix 1955000000Hz\" failed: -222,\"Data out of range\"");
  Commands c = sent();
  ASSERT_EQ(c.size(), 15u);
  EXPECT_EQ(c[13], " :source:rad:arb:state on");  // every other command still goes out
  EXPECT_EQ(c[14], " :output:state off");
  EXPECT_FALSE(state()["states"]["rfOutput"]);

  // A refused level: the sequence play replaces both output-on commands.
  f.failPattern = "amplitude";
  sim_->setFaults(f);
  const Status q = VelPlayWaveformSequence_c("Qarn", SigGenSettings{}, config_);
  EXPECT_EQ(
      q.message.rfind("The command \":source:power:level:immediate:amplitude -30dbm\" failed", 0),
      0u)
      << q.message;
  c = sent();
  ASSERT_EQ(c.size(), 16u);
  EXPECT_EQ(c[13], ":source:rad:arb:state on");
  EXPECT_EQ(c[14], ":output:state off");
  EXPECT_EQ(c[15], ":output:state off");
  EXPECT_FALSE(state()["states"]["rfOutput"]);

  f.failPattern = "freq:fix";
  sim_->setFaults(f);
  EXPECT_NE(VelPlay("Single", SigGenSettings{}, config_).code, 0);
  c = sent();
  ASSERT_EQ(c.size(), 11u);
  EXPECT_EQ(c.back(), " :output:state off");

  sim_->setFaults({});
  EXPECT_EQ(VelPlay_c("Single", SigGenSettings{}, config_).code, 0);
  EXPECT_TRUE(state()["states"]["rfOutput"]);
}

TEST_F(Wire, InstrumentErrorsCarryTheInstrumentsText) {
  const Status range = hwSend(config_, ":source:freq:fix 99000000000Hz");
  EXPECT_EQ(range.code, status::kInstrumentError);
  EXPECT_EQ(range.message.rfind("-222,", 0), 0u) << range.message;
  const Status header = hwSend(config_, ":source:nonsense 1");
  EXPECT_EQ(header.message, "-113,\"Undefined header\"");
  EXPECT_EQ(hwQuery(config_, "*IDN?").message, "Kelvane,Q7710K simulator,SIM000001,0.1.0");
}

TEST_F(Wire, ADownloadDroppedMidBlockFailsAndTheNextOperationReconnects) {
  simulator::Faults f;
  f.dropAfterBlockBytes = 50000;
  f.dropLimit = 1;
  sim_->setFaults(f);
  const std::size_t n = 200000;
  const std::vector<C> iq(n, C(0.3, -0.1));
  const std::vector<std::uint8_t> markers(n, 1);
  const Status s = hwDownload(config_, iq, markers, "Dropped");
  EXPECT_EQ(s.code, status::kConnectionLost) << s.message;
  EXPECT_NE(s.message.find("of 1000000 bytes of the download."), std::string::npos) << s.message;
  EXPECT_FALSE(state()["files"]["WFM1"].contains("Dropped"));

  const Status again = hwDownload(config_, iq, markers, "Dropped");
  EXPECT_EQ(again.code, 0) << again.message;
  EXPECT_EQ(state()["files"]["WFM1"]["Dropped"]["samples"], n);
  EXPECT_EQ(state()["connections"]["accepted"], 2);
}

TEST_F(Wire, ASlowReplyFailsWithinTheReplyTimeout) {
  simulator::Faults f;
  f.replyDelay = std::chrono::milliseconds(1500);
  sim_->setFaults(f);
  timeouts_.adjust([](auto& s) { s.replyTimeout = testing::kShortTimeout; });
  const Status s = hwQuery(config_, "*IDN?");
  EXPECT_EQ(s.code, status::kTimeout);
  EXPECT_EQ(s.message, "The signal generator at 127.0.0.1:" + std::to_string(sim_->port()) +
                           " did not answer \"*IDN?\" within 0.4 s.");
}

class SmallMemory : public Wire {
  simulator::SimulatorOptions options() const override {
    simulator::SimulatorOptions o;
    o.memorySamples = 1000;
    return o;
  }
};

TEST_F(SmallMemory, ADownloadBeyondTheMemoryReportsOutOfMemory) {
  const std::vector<C> iq(1001, C(1, 0));
  const std::vector<std::uint8_t> markers(1001, 0);
  const Status s = hwDownload(config_, iq, markers, "TooLong");
  EXPECT_EQ(s.code, status::kInstrumentError);
  EXPECT_EQ(s.message,
            "The signal generator refused the waveform \"TooLong\" (:MMEM:DATA \"WFM1:TooLong\"): "
            "-225,\"Out of memory\"");
}

class SerialWire : public Wire {
  simulator::SimulatorOptions options() const override {
    simulator::SimulatorOptions o;
    o.pseudoTerminal = true;
    return o;
  }
};

TEST_F(SerialWire, ADownloadOverTheSimulatorsSerialPort) {
  ::setenv("KELVANE_RS232_PORT2", sim_->pseudoTerminalPath().c_str(), 1);
  Configuration serial;
  serial.type = "rs232";
  serial.RS232 = {.port = 2, .baudrate = 9600, .handshake = "Xon/Xoff", .device = {}};
  const std::size_t n = 12000;  // the longest download without the time warning at 9600 bit/s
  std::vector<C> iq(n);
  std::vector<std::uint8_t> markers(n);
  for (std::size_t i = 0; i < n; ++i) {
    iq[i] = {std::cos(0.01 * static_cast<double>(i)), std::sin(0.01 * static_cast<double>(i))};
    markers[i] = static_cast<std::uint8_t>(i % 4);
  }
  const Status s = VelDownLoadWrap(iq, markers, "Serial", serial, dialogs_);
  ASSERT_EQ(s.code, 0) << s.message;
  const auto words = sim_->waveformWords("Serial");
  ASSERT_TRUE(words.has_value());
  ASSERT_EQ(words->size(), 2 * n);
  EXPECT_EQ((*words)[0], 32767);
  EXPECT_EQ((*words)[2 * n - 1], static_cast<std::int16_t>(std::round(iq[n - 1].imag() * 32767 /
                                                                      std::fabs(iq[0].real()))));
  EXPECT_EQ(sim_->markerBytes("Serial"), markers);
  EXPECT_EQ(VelPlay_c("Serial", SigGenSettings{}, serial).code, 0);
  EXPECT_EQ(state()["selected"]["name"], "Serial");
  closeConnections();
  ::unsetenv("KELVANE_RS232_PORT2");
}

}  // namespace
}  // namespace kelvane::instrument
