#include "app/flow.hpp"

#include "app/validation.hpp"
#include "coding/modparams.hpp"
#include "coding/packets.hpp"
#include "coding/testdata.hpp"
#include "instrument/download.hpp"
#include "instrument/playback.hpp"
#include "instrument/transport.hpp"
#include "synthesis/parallel.hpp"

namespace kelvane::app {

namespace {

// 1002 payload bits per MAC layer packet, 1024 bits of physical layer packet per MAC packet.
constexpr std::size_t kPayloadBits = 1002;
constexpr double kPhysicalBitsPerMacPacket = 1024;

// Switches the busy indication on for a scope (Download restores it on every path).
class Busy {
 public:
  explicit Busy(const FlowContext& flow) : flow_(flow) {
    if (flow_.busy) flow_.busy(true);
  }
  ~Busy() {
    if (flow_.busy) flow_.busy(false);
  }
  Busy(const Busy&) = delete;
  Busy& operator=(const Busy&) = delete;

 private:
  const FlowContext& flow_;
};

// The record's numbers as the synthesis settings (validateParameters has checked them: the
// ratio is a whole number, the switches 0 or 1).
synthesis::SynthesisSettings synthesisSettings(const Parameters& p) {
  synthesis::SynthesisSettings s;
  s.pilotOffsetIndex = p.pilotOffsetIndex;
  s.oversampleRatio = static_cast<int>(p.oversampleRatio);
  s.filter = synthesis::filterKindFor(p.filterType);
  s.phaseEqActive = synthesis::phaseEqActiveFor(p.phaseEqualizationActive);
  s.mirrorSpectrum = synthesis::mirrorSpectrumFor(p.mirrorSpectrumActive);
  return s;
}

constexpr const char* kSetupErrorTitle = "Error Occured During Instrument Setup";

}  // namespace

PacketLists buildPacketLists(const Parameters& p) {
  validateParameters(p);
  const coding::ModParams format = coding::modParamsFor(p.trafficChannelDRCValue);
  const auto macPackets = static_cast<std::size_t>(format.bits / kPhysicalBitsPerMacPacket);
  const auto packets = static_cast<std::size_t>(p.trafficChannelPackets);
  const std::size_t payloadBits = kPayloadBits * macPackets;
  const coding::Bits stream = coding::GenerateBitStream(
      coding::payloadTypeFor(p.trafficChannelPayload), packets * payloadBits);

  PacketLists lists;
  lists.traffic.reserve(packets);
  coding::Bits payload(payloadBits);
  for (std::size_t i = 0; i < packets; ++i) {
    // Row i of the packets x payloadBits matrix filled column by column from the stream.
    for (std::size_t j = 0; j < payloadBits; ++j)
      payload[j] = stream[j * packets + i];
    lists.traffic.push_back({static_cast<double>(format.drcValue),
                             coding::Qarn_FwdTrfPhysicalLayerPacket(payload),
                             p.trafficChannelMACIndex});
  }
  const double controlMac = p.controlChannelDRCValue == 1 ? 3 : 2;
  lists.control.push_back({p.controlChannelDRCValue,
                           coding::Qarn_FwdSyncMessagePacket(p.pilotOffsetIndex), controlMac});
  return lists;
}

std::vector<instrument::SequenceElement> sequenceElements(const Parameters& p) {
  return {{p.controlChannelWaveformName, p.controlChannelWaveformReps, 1, 1},
          {p.trafficChannelWaveformName, p.trafficChannelWaveformReps, 1, 1}};
}

void calculate(FlowContext& flow) {
  AppState& state = flow.state;
  // Refuse what the chain cannot serve before anything changes.
  validateParameters(state.parameters);
  Busy busy(flow);
  const auto previousStamp = state.appInfo.LastCalcTimeStamp;
  const auto previousSet = state.appInfo.LastCaluclatedParameterSet;
  state.recordCalculation(clockNow());
  try {
    const PacketLists lists = buildPacketLists(state.parameters);
    const synthesis::SynthesisSettings settings = synthesisSettings(state.parameters);
    const synthesis::MacInputs noMac;  // the MAC bursts carry no energy
    // The previous waveforms stay until both new ones exist, so a failure keeps them. The two
    // are computed at the same time; their stages share the calculation's threads.
    synthesis::Waveform traffic, control;
    synthesis::parallelFor(2, [&](std::size_t k) {
      if (k == 0) {
        traffic = synthesis::Qarn_FwdModulatedWaveform(lists.traffic, noMac, settings);
      } else {
        control = synthesis::Qarn_FwdModulatedWaveform(lists.control, noMac, settings);
      }
    });
    state.traffic = std::move(traffic);
    state.control = std::move(control);
  } catch (...) {
    state.appInfo.LastCalcTimeStamp = previousStamp;
    state.appInfo.LastCaluclatedParameterSet = previousSet;
    throw;
  }
}

bool areWaveformsReady(FlowContext& flow) {
  AppState& state = flow.state;
  if (!state.calculated()) {
    const std::string answer = flow.dialogs.question(
        "Waveforms have not yet been calculated.  Calculate now and then download?",
        "Waveform Not Calculated", {"Yes", "No", "Cancel"}, "Cancel");
    if (answer != "Yes") return false;
    calculate(flow);
    return true;
  }
  if (state.parametersChangedSinceCalculation()) {
    const std::string answer = flow.dialogs.question(
        "Settings have changed since the last calculation.  Do you want to use the previously "
        "calculated waveforms?",
        "Waveform Settings Have Changed", {"Yes", "Recalculate & Download", "Cancel"}, "Cancel");
    if (answer == "Yes") return true;
    if (answer == "Recalculate & Download") {
      calculate(flow);
      return true;
    }
    return false;
  }
  return true;
}

DownloadOutcome download(FlowContext& flow) {
  AppState& state = flow.state;
  DownloadOutcome outcome;
  // Names and repetitions in force when the button is pressed.
  const auto elements = sequenceElements(state.parameters);
  const std::string trafficName = state.parameters.trafficChannelWaveformName;
  const std::string controlName = state.parameters.controlChannelWaveformName;
  const std::string sequenceName = state.parameters.sequenceFileName;
  if (!areWaveformsReady(flow)) return outcome;
  outcome.started = true;

  Busy busy(flow);
  bool cancelled = false;
  auto store = [&](const synthesis::Waveform& w, const std::string& name) {
    // The peak gathered by the synthesis spares the download its own search of the samples.
    const synthesis::SampleSummary summary = w.sampleSummary();
    const instrument::Status s =
        instrument::VelDownLoadWrap(w.samples, w.markers, name, state.configuration, flow.dialogs,
                                    summary.finite ? std::optional(summary.peakComponent)
                                                   : std::nullopt);
    if (!s.ok()) {
      outcome.errors.push_back(s.message);
      flow.dialogs.error(s.message, "Download Error");
      cancelled = s.code == instrument::status::kCancelled;
    }
    return s.ok();
  };
  outcome.trafficStored = store(state.traffic, trafficName);
  // An operator who cancelled wants the download to stop, not the next waveform to start.
  if (cancelled) return outcome;
  outcome.controlStored = store(state.control, controlName);
  if (!outcome.trafficStored || !outcome.controlStored) return outcome;

  const instrument::Status seq =
      instrument::VelCreateWaveformSequence_c(elements, sequenceName, state.configuration);
  if (!seq.ok()) {
    outcome.errors.push_back(seq.message);
    flow.dialogs.message(seq.message, kSetupErrorTitle);
    return outcome;
  }
  outcome.sequenceBuilt = true;
  outcome.play = instrument::VelPlayWaveformSequence_c(sequenceName, state.sigGenSettings,
                                                       state.configuration);
  flow.dialogs.message("Waveforms successfully transferred to the instrument",
                       "Download Completed");
  // The waveforms are stored, but the generator is not playing them as set: say so rather than
  // leave the completion message as the last word.
  if (!outcome.play.ok()) {
    outcome.errors.push_back(outcome.play.message);
    flow.dialogs.message(outcome.play.message, kSetupErrorTitle);
  }
  return outcome;
}

instrument::Status refresh(FlowContext& flow) {
  AppState& state = flow.state;
  instrument::Status s = instrument::VelPlayWaveformSequence_c(
      state.parameters.sequenceFileName, state.sigGenSettings, state.configuration);
  if (!s.ok()) flow.dialogs.message(s.message, kSetupErrorTitle);
  return s;
}

}  // namespace kelvane::app
