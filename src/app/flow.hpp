// The main job: Calculate turns the parameters into the traffic and control waveforms; Download
// makes sure they match the settings (asking the operator when they do not), stores both in the
// signal generator, builds the two-step sequence and plays it; Refresh re-applies the settings to
// the sequence already in the instrument. Written once: the window's three buttons and the
// command-line tool call exactly this code.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "app/state.hpp"
#include "coding/bits.hpp"
#include "instrument/records.hpp"
#include "synthesis/waveform.hpp"
#include "toolkit/dialogs.hpp"

namespace kelvane::app {

// What the flow needs besides the state: the dialogs to ask and report through, and a busy
// indication (the window's watch pointer) switched on for long work and off afterwards.
struct FlowContext {
  AppState& state;
  toolkit::Dialogs& dialogs;
  std::function<void(bool busy)> busy;  // optional
};

// The packet descriptions Calculate builds from the parameters.
struct PacketLists {
  std::vector<synthesis::PacketRecord> traffic;  // trfChnParams, one per packet
  std::vector<synthesis::PacketRecord> control;  // ctlChnParams, exactly one
};

// trfChnParams and ctlChnParams: one GenerateBitStream call for packets x 1002 x bits/1024 bits,
// arranged column-major over the packets (packet i carries stream bits i, i + P, i + 2P, ...),
// each row made a physical layer packet; the Sync message packet for the PN offset, with MAC
// index 3 for control DRC 1 and 2 for DRC 2. Throws ParameterError for parameters the chain
// cannot serve (before anything is computed).
PacketLists buildPacketLists(const Parameters& p);

// The two sequence elements: control waveform first, then traffic, both markers 1.
std::vector<instrument::SequenceElement> sequenceElements(const Parameters& p);

// Calculate. Validates the parameters first (ParameterError, nothing changed); then writes the
// bookkeeping (clock reading, copy of the parameters), computes the traffic then the control
// waveform and stores both. If the synthesis fails, the previous bookkeeping is restored and
// the previous waveforms kept, so the old waveforms are never taken for the new settings; the
// error propagates.
void calculate(FlowContext& flow);

// The readiness check before a download: never calculated -> "Waveform Not Calculated"
// (Yes calculates); settings changed -> "Waveform Settings Have Changed" (Yes uses the old
// waveforms, "Recalculate & Download" recalculates). True when the download may go on.
bool areWaveformsReady(FlowContext& flow);

// What a download achieved, for callers that report it (the command-line tool's exit code).
struct DownloadOutcome {
  bool started = false;  // the readiness check let it go on
  bool trafficStored = false;
  bool controlStored = false;
  bool sequenceBuilt = false;
  instrument::Status play;          // the play command's result (the window does not report it)
  std::vector<std::string> errors;  // the messages shown
  bool ok() const {
    return started && trafficStored && controlStored && sequenceBuilt && play.ok();
  }
};

// Download: traffic then control waveform (one "Download Error" box per failure; the control
// waveform is downloaded even when the traffic one failed, but not after the operator cancelled
// the traffic one), then, only when both are stored, the
// sequence and play, and the "Download Completed" message; a failed sequence shows its message
// under "Error Occured During Instrument Setup", and so does a failed play after the completion
// message.
DownloadOutcome download(FlowContext& flow);

// Refresh: plays the sequence already in the instrument with the current settings; a failure is
// shown under "Error Occured During Instrument Setup".
instrument::Status refresh(FlowContext& flow);

}  // namespace kelvane::app
