// The advanced signal generator settings dialog (module VelConfigAdv_c): ARB sample clock,
// baseband filter, I/Q scaling, modulator attenuation, RF blanking, ALC, ARB reference and
// marker polarity of a working copy `newSettings`, edited modally.
#pragma once

#include <string>
#include <utility>

#include "instrument/records.hpp"
#include "runtime/value.hpp"

namespace kelvane::app::window {

// The record the dialog starts from without a caller's: title "NoName", 1 GHz, -50 dBm, 1 MHz
// sample clock, filter entry 2, scaling 95 %, no attenuation, RF blanking and ALC on.
instrument::SigGenSettings advancedDefaults();

// VelConfigAdv_c(fig, settings): shows the loaded dialog `fig` (none: loads it) on a copy of
// `settings` (none: the defaults), waits, hides it again; returns the answer ("OK" or
// "Cancel") and the edited copy.
std::pair<std::string, runtime::Value> editAdvancedSettings(const runtime::Value* fig,
                                                            const runtime::Value* settings);

void defaultSettings();
void InitializeAdvancedFigure(const runtime::Value& handles);
void redrawAll(const runtime::Value& handles);
void updateSamplingRate(const runtime::Value& handles);
// The callbacks by name: pdBBfilter_Callback ... closeFig_Callback.
void advancedCallback(const std::string& callback, const runtime::Value& h,
                      const runtime::Value& handles);

}  // namespace kelvane::app::window
