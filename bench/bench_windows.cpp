// The desktop program's start-up to a visible main window (no splash wait) and the time from
// pressing Download to the completion box for the start-up parameters against the simulator on
// loopback, both under the offscreen platform.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QPointer>
#include <QWidget>
#include <cstdlib>

#include "app/state.hpp"
#include "app/window/main_window.hpp"
#include "library/process.hpp"
#include "registry/registry.hpp"
#include "simulator/simulator.hpp"
#include "toolkit/dialogs.hpp"
#include "toolkit/figures.hpp"
#include "toolkit/objects.hpp"

extern "C" void Qarn_FTM_c_libInitialize();
extern "C" void Qarn_FTM_c_libTerminate();

namespace {

using kelvane::runtime::Value;
namespace tk = kelvane::toolkit;

void closeAll() {
  std::vector<QPointer<QWidget>> windows;
  for (QWidget* w : QApplication::topLevelWidgets())
    windows.emplace_back(w);
  for (auto& w : windows)
    delete w.data();
  QApplication::processEvents();
}

struct Session {
  Session() {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    tk::application();
    Qarn_FTM_c_libInitialize();
    kelvane::library::installProcessHooks({.dialogs = &dialogs});
    kelvane::app::window::setSplashWait(false);
  }
  ~Session() {
    closeAll();
    kelvane::library::installProcessHooks({});
    Qarn_FTM_c_libTerminate();
  }
  kelvane::toolkit::ScriptedDialogs dialogs;
};

void BM_StartUpToVisibleMainWindow(benchmark::State& state) {
  Session session;
  for (auto _ : state) {
    const Value fig = kelvane::registry::call("Qarn_FTM_GUI_c", {}, 1).at(0);
    QApplication::processEvents();
    benchmark::DoNotOptimize(tk::windowOf(fig)->isVisible());
    state.PauseTiming();
    closeAll();
    state.ResumeTiming();
  }
}
BENCHMARK(BM_StartUpToVisibleMainWindow)->Unit(benchmark::kMillisecond)->Iterations(10);

void BM_DownloadToCompletionBox(benchmark::State& state) {
  Session session;
  kelvane::simulator::Simulator sim;
  sim.start();
  const Value fig = kelvane::registry::call("Qarn_FTM_GUI_c", {}, 1).at(0);
  auto& config = kelvane::app::currentState().configuration;
  config.type = "TCPIP";
  config.TCPIP.address = "127.0.0.1:" + std::to_string(sim.port());
  const Value handles = tk::guihandles(fig);
  kelvane::registry::call("Qarn_FTM_GUI_c",
                          {Value::text("calculateButton_Callback"), Value(), Value(), handles}, 0);
  for (auto _ : state) {
    kelvane::registry::call("Qarn_FTM_GUI_c",
                            {Value::text("downloadButton_Callback"), Value(), Value(), handles}, 0);
    if (session.dialogs.shown().empty() ||
        session.dialogs.shown().back().title != "Download Completed")
      state.SkipWithError("the download did not complete");
    session.dialogs.clear();
  }
  sim.stop();
}
BENCHMARK(BM_DownloadToCompletionBox)->Unit(benchmark::kMillisecond)->Iterations(10);

}  // namespace

BENCHMARK_MAIN();
