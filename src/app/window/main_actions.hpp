// The main window's three buttons: Calculate, Download and Refresh, through the one flow the
// command-line tool runs too, with the window's watch pointer and the Qt dialogs.
#pragma once

#include "instrument/transport.hpp"
#include "runtime/value.hpp"

namespace kelvane::app::window {

void calculateButton(const runtime::Value& handles);
void downloadButton(const runtime::Value& handles);
void refreshButton(const runtime::Value& handles);
// 1: the download may go on; 0: it may not (the operator declined).
double areWaveformsReady(const runtime::Value& handles);

// The download progress box: a modal box naming the waveform with its percentage and megabytes,
// fed by the transport's reports; its Cancel asks the transport to stop the download. The
// windows keep painting meanwhile.
instrument::ProgressReporter progressBox();

}  // namespace kelvane::app::window
