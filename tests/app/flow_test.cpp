// The calculate / download / refresh flow against the signal-generator simulator, with scripted
// dialogs: every branch of the readiness questions, the download failures and the packet
// arrangement.
#include "app/flow.hpp"

#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>

#include "app/derived.hpp"
#include "app/validation.hpp"
#include "coding/packets.hpp"
#include "coding/testdata.hpp"
#include "instrument/transport.hpp"
#include "simulator/simulator.hpp"

namespace kelvane::app {
namespace {

using toolkit::ScriptedDialogs;
using Box = ScriptedDialogs::BoxKind;

// An instrument that hangs with its LAN port up: the kernel completes each connection (up to the
// listen backlog), and nothing ever reads or answers.
class SilentPeer {
 public:
  SilentPeer() {
    fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || ::listen(fd_, 16) != 0)
      throw std::runtime_error("silent peer: cannot listen");
    socklen_t len = sizeof a;
    ::getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &len);
    port_ = ntohs(a.sin_port);
  }
  ~SilentPeer() { ::close(fd_); }
  SilentPeer(const SilentPeer&) = delete;
  SilentPeer& operator=(const SilentPeer&) = delete;
  std::uint16_t port() const { return port_; }

 private:
  int fd_ = -1;
  std::uint16_t port_ = 0;
};

class Flow : public ::testing::Test {
 protected:
  void SetUp() override {
    sim_.start();
    state_.configuration.type = "TCPIP";
    state_.configuration.TCPIP.address = "127.0.0.1:" + std::to_string(sim_.port());
    // Small waveforms keep the tests quick: 2 packets of DRC 6, oversampling 2.
    state_.parameters.trafficChannelDRCValue = 6;
    state_.parameters.trafficChannelPackets = 2;
    state_.parameters.oversampleRatio = 2;
    deriveParameters(state_);
  }
  void TearDown() override {
    instrument::closeConnections();
    sim_.stop();
  }

  nlohmann::json simState() const { return sim_.state(); }
  bool stored(const std::string& name) const {
    const auto st = simState();
    return st["files"].contains("WFM1") && st["files"]["WFM1"].contains(name);
  }

  simulator::Simulator sim_;
  AppState state_;
  ScriptedDialogs dialogs_;
  int busy_ = 0;
  FlowContext flow_{state_, dialogs_, [this](bool on) { busy_ += on ? 1 : -1; }};
};

TEST_F(Flow, NeverCalculatedAsksAndOnlyYesCalculatesAndDownloads) {
  for (const char* answer : {"No", "Cancel", ""}) {
    dialogs_.answer(answer);
    const DownloadOutcome out = download(flow_);
    EXPECT_FALSE(out.started) << answer;
    ASSERT_EQ(dialogs_.shown().size(), 1u);
    const auto& q = dialogs_.shown()[0];
    EXPECT_EQ(q.title, "Waveform Not Calculated");
    EXPECT_EQ(q.text, "Waveforms have not yet been calculated.  Calculate now and then download?");
    EXPECT_EQ(q.buttons, (std::vector<std::string>{"Yes", "No", "Cancel"}));
    EXPECT_EQ(q.defaultButton, "Cancel");
    dialogs_.clear();
  }
  // Nothing reached the instrument.
  EXPECT_TRUE(simState()["commands"].empty());
  EXPECT_FALSE(state_.calculated());

  dialogs_.answer("Yes");
  const DownloadOutcome out = download(flow_);
  EXPECT_TRUE(out.ok());
  EXPECT_TRUE(state_.calculated());
  EXPECT_TRUE(stored("QarnFTM-Traffic"));
  EXPECT_TRUE(stored("QarnFTM-Control"));
  const auto st = simState();
  ASSERT_TRUE(st["sequences"].contains("QarnFTM-Sequence"));
  const auto& seq = st["sequences"]["QarnFTM-Sequence"];
  ASSERT_EQ(seq.size(), 2u);
  EXPECT_EQ(seq[0]["waveform"], "QarnFTM-Control");  // control first, then traffic
  EXPECT_EQ(seq[1]["waveform"], "QarnFTM-Traffic");
  EXPECT_EQ(seq[1]["repetitions"], state_.parameters.trafficChannelWaveformReps);
  EXPECT_EQ(dialogs_.count(Box::Message), 1u);
  EXPECT_EQ(dialogs_.shown().back().title, "Download Completed");
  EXPECT_EQ(dialogs_.shown().back().text, "Waveforms successfully transferred to the instrument");
  EXPECT_EQ(busy_, 0);  // the busy indication is off again
}

TEST_F(Flow, ChangedSettingsAskWhetherToUseTheOldWaveforms) {
  calculate(flow_);
  const auto oldTraffic = state_.traffic.samples;
  // Unchanged: no question at all.
  EXPECT_TRUE(areWaveformsReady(flow_));
  EXPECT_TRUE(dialogs_.shown().empty());

  // Only a name changes, answered "Yes": the old waveforms are stored under the new name.
  state_.parameters.trafficChannelWaveformName = "Renamed";
  dialogs_.answer("Yes");
  DownloadOutcome out = download(flow_);
  EXPECT_TRUE(out.ok());
  ASSERT_FALSE(dialogs_.shown().empty());
  const auto& q = dialogs_.shown()[0];
  EXPECT_EQ(q.title, "Waveform Settings Have Changed");
  EXPECT_EQ(q.text,
            "Settings have changed since the last calculation.  Do you want to use the previously "
            "calculated waveforms?");
  EXPECT_EQ(q.buttons, (std::vector<std::string>{"Yes", "Recalculate & Download", "Cancel"}));
  EXPECT_EQ(q.defaultButton, "Cancel");
  EXPECT_EQ(state_.traffic.samples, oldTraffic);
  EXPECT_TRUE(stored("Renamed"));
  EXPECT_EQ(simState()["sequences"]["QarnFTM-Sequence"][1]["waveform"], "Renamed");

  // Cancel or a closed box: nothing happens.
  for (const char* answer : {"Cancel", ""}) {
    dialogs_.clear();
    state_.parameters.pilotOffsetIndex = 3;
    dialogs_.answer(answer);
    EXPECT_FALSE(areWaveformsReady(flow_));
    EXPECT_EQ(state_.traffic.samples, oldTraffic);
  }

  // Recalculate & Download: new waveforms for the new PN offset.
  dialogs_.answer("Recalculate & Download");
  EXPECT_TRUE(areWaveformsReady(flow_));
  EXPECT_NE(state_.traffic.samples, oldTraffic);
  EXPECT_FALSE(state_.parametersChangedSinceCalculation());
}

TEST_F(Flow, AFailedTrafficDownloadShowsOneErrorAndNoCompletion) {
  calculate(flow_);
  simulator::Faults faults;
  faults.failPattern = "WFM1:QarnFTM-Traffic";
  faults.failError = "-224,\"Illegal parameter value\"";
  sim_.setFaults(faults);
  const DownloadOutcome out = download(flow_);
  EXPECT_TRUE(out.started);
  EXPECT_FALSE(out.trafficStored);
  EXPECT_TRUE(out.controlStored);  // downloaded even after the traffic failure
  EXPECT_FALSE(out.sequenceBuilt);
  ASSERT_EQ(dialogs_.count(Box::Error), 1u);
  EXPECT_EQ(dialogs_.shown()[0].title, "Download Error");
  EXPECT_NE(dialogs_.shown()[0].text.find("Illegal parameter value"), std::string::npos);
  EXPECT_EQ(dialogs_.count(Box::Message), 0u);
  EXPECT_TRUE(stored("QarnFTM-Control"));
  EXPECT_FALSE(simState()["sequences"].contains("QarnFTM-Sequence"));
}

TEST_F(Flow, ASilentInstrumentEndsTheDownloadWithin30SecondsWithBothErrorsInOrder) {
  // The real time-outs: 10 s for a reply, 2 s for each later try of a silent instrument.
  const instrument::TransportSettings saved = instrument::transportSettings();
  instrument::setTransportSettings(instrument::TransportSettings{});
  SilentPeer peer;
  state_.configuration.TCPIP.address = "127.0.0.1:" + std::to_string(peer.port());
  calculate(flow_);
  const auto start = std::chrono::steady_clock::now();
  const DownloadOutcome out = download(flow_);
  const auto took = std::chrono::steady_clock::now() - start;
  instrument::setTransportSettings(saved);

  EXPECT_LT(took, std::chrono::seconds(30));
  EXPECT_TRUE(out.started);
  EXPECT_FALSE(out.trafficStored);
  EXPECT_FALSE(out.controlStored);
  // One box a waveform, traffic first, each naming its waveform; nothing after them.
  ASSERT_EQ(dialogs_.shown().size(), 2u);
  const std::string prefix =
      "The signal generator at 127.0.0.1:" + std::to_string(peer.port()) +
      " did not answer \"*OPC?\" within 2 s; it had stayed silent before, so the waveform ";
  EXPECT_EQ(dialogs_.shown()[0].title, "Download Error");
  EXPECT_EQ(dialogs_.shown()[0].text, prefix + "\"QarnFTM-Traffic\" was not sent.");
  EXPECT_EQ(dialogs_.shown()[1].title, "Download Error");
  EXPECT_EQ(dialogs_.shown()[1].text, prefix + "\"QarnFTM-Control\" was not sent.");
  EXPECT_EQ(out.errors,
            (std::vector<std::string>{dialogs_.shown()[0].text, dialogs_.shown()[1].text}));
}

TEST_F(Flow, ASequenceFailureIsReportedUnderInstrumentSetup) {
  calculate(flow_);
  simulator::Faults faults;
  faults.failPattern = ":source:rad:arb:seq";
  sim_.setFaults(faults);
  const DownloadOutcome out = download(flow_);
  EXPECT_TRUE(out.trafficStored && out.controlStored);
  EXPECT_FALSE(out.sequenceBuilt);
  EXPECT_FALSE(out.ok());
  ASSERT_EQ(dialogs_.count(Box::Message), 1u);
  EXPECT_EQ(dialogs_.shown().back().title, "Error Occured During Instrument Setup");
  // Nothing was played: the ARB selection was never sent.
  EXPECT_TRUE(simState()["selected"].is_null());
}

TEST_F(Flow, AFailedPlayAfterTheTransferIsNotLeftAsSuccess) {
  calculate(flow_);
  simulator::Faults faults;
  faults.failPattern = ":source:freq:fix";
  sim_.setFaults(faults);
  const DownloadOutcome out = download(flow_);
  EXPECT_TRUE(out.sequenceBuilt);
  EXPECT_FALSE(out.play.ok());
  EXPECT_FALSE(out.ok());
  ASSERT_EQ(dialogs_.count(Box::Message), 2u);
  EXPECT_EQ(dialogs_.shown()[0].title, "Download Completed");
  EXPECT_EQ(dialogs_.shown()[1].title, "Error Occured During Instrument Setup");
}

TEST_F(Flow, RefreshReplaysTheStoredSequenceAndReportsFailures) {
  // No sequence in the instrument yet: the selection fails with the instrument's text.
  instrument::Status s = refresh(flow_);
  EXPECT_FALSE(s.ok());
  ASSERT_EQ(dialogs_.count(Box::Message), 1u);
  EXPECT_EQ(dialogs_.shown()[0].title, "Error Occured During Instrument Setup");
  EXPECT_NE(dialogs_.shown()[0].text.find("File name not found"), std::string::npos);

  calculate(flow_);
  ASSERT_TRUE(download(flow_).ok());
  dialogs_.clear();
  state_.sigGenSettings.Amplitude = -50;
  s = refresh(flow_);
  EXPECT_TRUE(s.ok()) << s.message;
  EXPECT_TRUE(dialogs_.shown().empty());
  EXPECT_EQ(simState()["settings"]["powerDbm"], -50.0);
}

TEST_F(Flow, CalculateRefusesParametersBeforeAnythingChanges) {
  state_.parameters.trafficChannelPayload = 7;  // the user pattern, which has no field
  EXPECT_THROW(calculate(flow_), ParameterError);
  EXPECT_FALSE(state_.calculated());
  state_.parameters.trafficChannelPayload = 5;
  state_.parameters.oversampleRatio = 25;
  try {
    calculate(flow_);
    FAIL();
  } catch (const ParameterError& e) {
    EXPECT_NE(std::string(e.what()).find("oversampleRatio"), std::string::npos);
  }
  EXPECT_FALSE(state_.calculated());
  EXPECT_TRUE(state_.traffic.samples.empty());
  EXPECT_EQ(busy_, 0);
}

TEST_F(Flow, CalculateStoresBothWaveformsAndItsBookkeeping) {
  calculate(flow_);
  EXPECT_TRUE(state_.calculated());
  ASSERT_TRUE(state_.appInfo.LastCaluclatedParameterSet.has_value());
  EXPECT_FALSE(state_.parametersChangedSinceCalculation());
  // 2 one-slot packets: 16 slots; the DRC 1 control packet: 64 slots; 2 samples a chip.
  EXPECT_EQ(state_.traffic.samples.size(), 16u * 2048 * 2);
  EXPECT_EQ(state_.control.samples.size(), 64u * 2048 * 2);
  EXPECT_EQ(state_.traffic.markers.size(), state_.traffic.samples.size());
  EXPECT_EQ(busy_, 0);
}

TEST(PacketLists, ArrangePayloadsColumnMajorOverThePackets) {
  Parameters p;  // start-up: 8 packets of DRC 4, PN9 payload, MAC index 7, control DRC 1
  const PacketLists lists = buildPacketLists(p);
  ASSERT_EQ(lists.traffic.size(), 8u);
  const coding::Bits stream = coding::GenerateBitStream(coding::PayloadType::Pn9, 8 * 1002);
  for (std::size_t i = 0; i < 8; ++i) {
    const auto& rec = lists.traffic[i];
    EXPECT_EQ(rec.drcValue, 4);
    EXPECT_EQ(rec.macIndex, 7);
    ASSERT_EQ(rec.packet.size(), 1024u);
    // Packet i carries stream bits i, i + 8, i + 16, ... (0-based).
    coding::Bits payload(1002);
    for (std::size_t j = 0; j < 1002; ++j)
      payload[j] = stream[j * 8 + i];
    EXPECT_EQ(rec.packet, coding::Qarn_FwdTrfPhysicalLayerPacket(payload)) << i;
  }
  ASSERT_EQ(lists.control.size(), 1u);
  EXPECT_EQ(lists.control[0].macIndex, 3);
  EXPECT_EQ(lists.control[0].packet, coding::Qarn_FwdSyncMessagePacket(0));

  p.trafficChannelDRCValue = 12;  // 4096-bit packets carry 4008 payload bits
  p.trafficChannelPackets = 3;
  p.controlChannelDRCValue = 2;
  p.pilotOffsetIndex = 511;
  const PacketLists big = buildPacketLists(p);
  ASSERT_EQ(big.traffic.size(), 3u);
  EXPECT_EQ(big.traffic[0].packet.size(), 4096u);
  EXPECT_EQ(big.control[0].macIndex, 2);
  EXPECT_EQ(big.control[0].drcValue, 2);
  EXPECT_EQ(big.control[0].packet, coding::Qarn_FwdSyncMessagePacket(511));
}

TEST(Derived, FramesLengthAndRepetitionsFollowTheWindowsRedraw) {
  AppState s;
  deriveParameters(s);
  EXPECT_EQ(s.parameters.ProjectedLength, 819200);
  EXPECT_EQ(s.parameters.trafficChannelWaveformReps, 44);
  s.parameters.trafficChannelDRCValue = 1;
  s.parameters.trafficChannelPackets = 16;
  deriveParameters(s);
  EXPECT_EQ(deriveFrames(s.parameters).trafficFrames, 16);
  EXPECT_EQ(s.parameters.trafficChannelWaveformReps, 2);  // fix(44 / 16)
  s.parameters.trafficChannelDRCValue = 12;
  s.parameters.trafficChannelPackets = 1;
  s.parameters.controlChannelDRCValue = 2;
  s.parameters.oversampleRatio = 24;
  deriveParameters(s);
  EXPECT_EQ(s.parameters.ProjectedLength, 3 * 32768 * 24);
  // Typed repetitions survive only with the automatic count off.
  s.parameters.autoCalculateReps = 0;
  s.parameters.trafficChannelWaveformReps = -3;
  s.parameters.Frequency = 999;
  deriveParameters(s);
  EXPECT_EQ(s.parameters.trafficChannelWaveformReps, -3);
  EXPECT_EQ(s.sigGenSettings.Frequency, 999);
}

}  // namespace
}  // namespace kelvane::app
