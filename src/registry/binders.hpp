// One binder per subsystem: each adds its operations to the library table, its window modules'
// tables and its module constants (set up now, released at terminate).
#pragma once

#include "registry/registry.hpp"

namespace kelvane::registry {

void bindCoding(Library& lib);      // packets, turbo code, scrambler, interleaver, modulation,
                                    // pilot/MAC/preamble channels
void bindFilter(Library& lib);      // baseband filter design and filtering
void bindSynthesis(Library& lib);   // spreading, phase equalizer, upsampling, driver, test data
void bindInstrument(Library& lib);  // transport, I/O, download, sequence and playback, files
void bindFrame(Library& lib);       // parameter and configuration files, common actions
void bindApp(Library& lib);         // application records and the main flow

}  // namespace kelvane::registry
