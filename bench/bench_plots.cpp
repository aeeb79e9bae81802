// The plot windows on the largest waveform (16 packets of DRC 1, 24 samples per chip, ACP
// filter: 15.7 million samples), as the frame's plot actions open them: each plot computed and
// first drawn (the window's picture rendered), and a zoom redraw of the spectrum and of I(t)
// Q(t) (new limits, the envelope recomputed from the data at the new range, the picture
// rendered). Under the offscreen platform, where the waterfall draws its 2-D projection.
// Run it on one core: taskset -c 0 bench_plots (CPU time is the figure on a shared machine).
#include <benchmark/benchmark.h>

#include <QApplication>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/flow.hpp"
#include "app/startup.hpp"
#include "app/state.hpp"
#include "instrument/waveform_files.hpp"
#include "library/process.hpp"
#include "plots/figure.hpp"
#include "registry/registry.hpp"
#include "toolkit/dialogs.hpp"
#include "toolkit/figures.hpp"
#include "toolkit/objects.hpp"
#include "toolkit/properties.hpp"

extern "C" void Qarn_FTM_c_libInitialize();
extern "C" void Qarn_FTM_c_libTerminate();

namespace {

using kelvane::runtime::Value;
namespace tk = kelvane::toolkit;
namespace pl = kelvane::plots;

struct Session {
  Session() {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    tk::application();
    Qarn_FTM_c_libInitialize();
    kelvane::library::installProcessHooks({.dialogs = &dialogs});
    auto& state = kelvane::app::currentState();
    kelvane::app::startUp(state, {.parameterFile = {},
                                  .settings = {"trafficChannelDRCValue=1",
                                               "trafficChannelPackets=16", "oversampleRatio=24",
                                               "filterType=3"}});
    kelvane::app::FlowContext flow{state, dialogs, {}};
    kelvane::app::calculate(flow);
    samples = Value::complexRow(kelvane::instrument::applyDacRes(state.traffic.samples, 14));
    rate = state.sigGenSettings.SamplingRate;
    oversampling = state.parameters.oversampleRatio;
  }
  ~Session() {
    kelvane::library::installProcessHooks({});
    Qarn_FTM_c_libTerminate();
  }
  kelvane::toolkit::ScriptedDialogs dialogs;
  Value samples;
  double rate = 0;
  double oversampling = 0;
};

Session& session() {
  static Session s;
  return s;
}

// The plot operation of `kind` and its inputs as the frame's plot actions give them.
struct PlotRequest {
  const char* operation;
  std::vector<Value> args;
};

PlotRequest requestFor(const std::string& kind) {
  Session& s = session();
  const double count = static_cast<double>(s.samples.numel());
  const Value r = Value::scalar(s.rate), n = Value::scalar(s.oversampling);
  auto request = [](const char* op, std::vector<Value> rest) {
    std::vector<Value> args = {Value::scalar(0), Value::text("largest")};
    for (Value& v : rest)
      args.push_back(std::move(v));
    return PlotRequest{op, std::move(args)};
  };
  if (kind == "spectrum") return request("KR_PlotSpectrum", {r, s.samples});
  if (kind == "waterfall")
    return request("KR_PlotWaterfall", {r, Value::scalar(count / s.rate / 200), s.samples});
  if (kind == "ccdf") return request("KR_PlotCCDF", {s.samples});
  if (kind == "iq" || kind == "iq-overlay")
    return request("KR_PlotIQTime", {r, Value::scalar(kind == "iq" ? 0 : 1), s.samples});
  if (kind == "eye")
    return request("KR_PlotEyeDiagram",
                   {s.samples, n, Value::scalar(s.oversampling / s.rate), Value::scalar(0)});
  return request("KR_PlotScatterDiagram", {s.samples, n, Value::scalar(0), Value::scalar(1)});
}

Value openPlot(PlotRequest request) {
  return kelvane::registry::call(request.operation, std::move(request.args), 1).at(0);
}

// The window as the operator first sees it: events delivered, the picture rendered.
void firstDrawn(const Value& fig) {
  QApplication::processEvents();
  benchmark::DoNotOptimize(pl::figureOf(fig)->image());
}

void BM_PlotComputedAndFirstDrawn(benchmark::State& state, const std::string& kind) {
  session();
  for (auto _ : state) {
    // The inputs are the caller's: making them is not the plot's work.
    state.PauseTiming();
    PlotRequest request = requestFor(kind);
    state.ResumeTiming();
    const Value fig = openPlot(std::move(request));
    if (!fig.isHandle()) {
      state.SkipWithError("the plot failed");
      break;
    }
    firstDrawn(fig);
    state.PauseTiming();
    tk::deleteObject(fig);
    QApplication::processEvents();
    state.ResumeTiming();
  }
}

// Alternates between a tenth of the time (or frequency) axis about its middle and the full view.
void BM_ZoomRedraw(benchmark::State& state, const std::string& kind) {
  session();
  const Value fig = openPlot(requestFor(kind));
  firstDrawn(fig);
  const Value axes = tk::handleOf(pl::figureOf(fig)->axes().at(0));
  const auto full = tk::get(axes, "XLim").toDoubles();
  const double mid = (full[0] + full[1]) / 2, tenth = (full[1] - full[0]) / 20;
  bool in = true;
  for (auto _ : state) {
    if (in)
      tk::set(axes, "XLim", Value::row({mid - tenth, mid + tenth}));
    else
      pl::figureOf(fig)->zoomOut();
    in = !in;
    benchmark::DoNotOptimize(pl::figureOf(fig)->image());
  }
  tk::deleteObject(fig);
}

}  // namespace

BENCHMARK_CAPTURE(BM_PlotComputedAndFirstDrawn, spectrum, std::string("spectrum"))
    ->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK_CAPTURE(BM_PlotComputedAndFirstDrawn, waterfall, std::string("waterfall"))
    ->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK_CAPTURE(BM_PlotComputedAndFirstDrawn, ccdf, std::string("ccdf"))
    ->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK_CAPTURE(BM_PlotComputedAndFirstDrawn, iq, std::string("iq"))
    ->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK_CAPTURE(BM_PlotComputedAndFirstDrawn, iq_overlay, std::string("iq-overlay"))
    ->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK_CAPTURE(BM_PlotComputedAndFirstDrawn, eye, std::string("eye"))
    ->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK_CAPTURE(BM_PlotComputedAndFirstDrawn, scatter, std::string("scatter"))
    ->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK_CAPTURE(BM_ZoomRedraw, spectrum, std::string("spectrum"))
    ->Unit(benchmark::kMillisecond)->Iterations(20);
BENCHMARK_CAPTURE(BM_ZoomRedraw, iq, std::string("iq"))
    ->Unit(benchmark::kMillisecond)->Iterations(20);

// As the desktop program runs: large blocks on huge pages (library/process.hpp).
int main(int argc, char** argv) {
  kelvane::library::restartWithHugePages(argv);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
