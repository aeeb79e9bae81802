// The worker threads of a calculation. Work is cut into tasks fixed by the data (chip ranges,
// equalizer stretches, the two waveforms), never by the number of threads, so one thread and
// several compute the same bits; the threads only decide who runs which task.
#pragma once

#include <cstddef>
#include <functional>

namespace kelvane::synthesis {

// Threads a calculation may use: KELVANE_THREADS when it holds a whole number from 1 to 256, else
// the cores this process may run on (at least 1). Read at every parallel stage, so a test may
// change it between calculations. Example: KELVANE_THREADS=1 -> 1.
int calculationThreads();

// Runs task(0) .. task(tasks - 1), each once, on up to calculationThreads() threads, the caller
// among them, and returns when all have finished. Tasks may themselves call parallelFor (their
// tasks join the same pool). The first exception a task throws is rethrown here once every task
// that started has ended (on one thread, the tasks after a failing one do not start). Example: parallelFor(2, [&](std::size_t i) { out[i] = f(i); }).
void parallelFor(std::size_t tasks, const std::function<void(std::size_t)>& task);

}  // namespace kelvane::synthesis
