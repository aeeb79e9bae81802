// The library assembled: one binder per subsystem adds its operations, its window modules'
// tables and its module constants to the registry. The binders come in two lists: the core,
// free of Qt, which the command-line tool runs on a machine without a display, and the window
// part, which only the desktop program and libQarn_FTM_c.so carry.
#pragma once

#include <span>
#include <string_view>

#include "registry/adapter.hpp"
#include "registry/registry.hpp"

namespace kelvane::library {

using registry::Args;
using registry::Binder;
using registry::bindTyped;
using registry::BitRow;
using registry::Convert;
using registry::dispatch;
using registry::Library;
using registry::Outputs;
using registry::Table;
using registry::typed;
using runtime::Value;

// Core binders (Qt-free), one per subsystem.
void bindCoding(Library& lib);       // packets, turbo code, scrambler, interleaver, modulation,
                                     // test data, PN generators, channel frequencies
void bindSynthesis(Library& lib);    // pilot/MAC/preamble, spreading, phase equalizer,
                                     // upsampling, the synthesis driver
void bindFilter(Library& lib);       // baseband filter design and filtering
void bindInstrument(Library& lib);   // transport, I/O, download, sequence and playback,
                                     // waveform files
void bindFrame(Library& lib);        // parameter and configuration files, compareStruct
void bindApp(Library& lib);          // the application state and its named variables
void bindToolkitCore(Library& lib);  // the name utilities isvarname and iskeyword
void bindPlotsCore(Library& lib);    // the generic signal routines: freqz, psdoptions, datawrap,
                                     // buffer, db, dividenowarn

// Window binders (Qt), in the window list.
void bindToolkit(Library& lib);      // openfig, guihandles, guidata, movegui, images
void bindAppWindow(Library& lib);    // the entry, the main window and the window helpers
void bindFrameWindow(Library& lib);  // the menu bar
void bindPlots(Library& lib);        // the plot windows and the plotting verbs

// The core list, in binding order.
std::span<const Binder> coreBinders();

// The window list (toolkit, windows, plots); defined by the window part of the library, which
// links Qt. The command-line tool never links it.
std::span<const Binder> windowBinders();

// The operations of the library table that only the window part binds: they exist in the
// desktop program (and libQarn_FTM_c.so), never in the command-line tool.
std::span<const std::string_view> windowOperationNames();
bool isWindowOperation(std::string_view name);

// Initializes the registry with the core binders only (the command-line tool).
void initializeCore();

}  // namespace kelvane::library
