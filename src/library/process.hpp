// The process-wide hooks of a program, installed in one place: the program's main (the
// command-line tool, the desktop host) calls installProcessHooks once after initializing the
// library. The library's own initialize installs the defaults; terminate restores them.
#pragma once

#include <optional>

#include "instrument/transport.hpp"
#include "registry/registry.hpp"
#include "synthesis/filter_design.hpp"
#include "toolkit/dialogs.hpp"

namespace kelvane::library {

struct ProcessHooks {
  // The dialogs of by-name operations that ask (not owned); nullptr: the silent dialogs, which
  // print boxes to standard error and close every question unanswered.
  toolkit::Dialogs* dialogs = nullptr;
  // Download progress; empty: none shown.
  instrument::ProgressReporter progress = {};
  // Where dispatchers print caught errors; empty: standard error.
  registry::ConsoleSink console = {};
  // Filter design warnings; empty: the console, prefixed "Warning: ".
  synthesis::WarningSink warnings = {};
  // Transport time-outs and sizes; none: the built-in ones.
  std::optional<instrument::TransportSettings> transport = {};
};

// Installs every hook of `hooks` for the process, replacing what was installed before.
void installProcessHooks(ProcessHooks hooks);

// Keeps memory the program frees in its heap for the next allocations instead of returning it to
// the system at once: the coding of a packet allocates and frees vectors of hundreds of kilobytes,
// and each one fresh from the system costs a page fault every 4 KiB (a quarter of the largest
// calculation's time in a new process). At most 32 MiB of free heap is kept. The heap is grown by
// 32 MiB at once and given transparent huge pages, and every thread allocates from it: the first
// megabytes a new process writes cost one fault per 2 MiB, not 650 faults. A block from 4 MiB up
// is mapped on its own when the free heap cannot hold it (the waveform rows have their own
// huge-page mappings).
// Called first thing in main (again, it changes nothing more); without glibc's own heap (under a
// sanitizer) only the thresholds are set.
void keepFreedMemoryForReuse();

// Large blocks on transparent huge pages. Where the kernel gives them only on request (its
// "madvise" setting, Debian's default), each fresh 4 KiB page of a waveform costs a page fault:
// 60 000 of them for the 250 MB of 15.7 million samples, which doubled the time of a plot. glibc
// asks for huge pages when its tunable glibc.malloc.hugetlb is 1, and reads its tunables only at
// start-up, so the program runs itself again (`argv` unchanged) with GLIBC_TUNABLES extended.
// Returns when it is set already or the program cannot be run again.
void restartWithHugePages(char** argv);

}  // namespace kelvane::library
