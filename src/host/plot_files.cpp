#include "host/plot_files.hpp"

#include <QApplication>
#include <QString>
#include <cstdio>
#include <filesystem>

#include "app/flow.hpp"
#include "app/startup.hpp"
#include "app/validation.hpp"
#include "instrument/waveform_files.hpp"
#include "plots/figure.hpp"
#include "plots/plots.hpp"
#include "plots/signal.hpp"
#include "registry/registry.hpp"
#include "runtime/clock.hpp"
#include "runtime/text.hpp"
#include "synthesis/baseband_filter.hpp"
#include "toolkit/dialogs.hpp"
#include "toolkit/objects.hpp"
#include "toolkit/properties.hpp"

namespace kelvane::host {

using runtime::Value;
namespace tk = kelvane::toolkit;

namespace {

constexpr int kOk = 0, kFailure = 1, kUsage = 2, kRefused = 3;

int usage(const std::string& problem) {
  std::fprintf(stderr, "kelvane-cli plot: %s\n", problem.c_str());
  return kUsage;
}

bool knownKind(const std::string& kind) {
  for (const auto& k : plotKinds())
    if (k == kind) return true;
  return false;
}

// The taps of the baseband filter the parameters select (the rectangular hold: ones).
std::vector<double> filterTaps(const app::Parameters& p) {
  switch (synthesis::filterKindFor(p.filterType)) {
    case synthesis::FilterKind::Std:
      return synthesis::FilterCoeff_IS95_Std(p.oversampleRatio);
    case synthesis::FilterKind::Acp:
      return synthesis::FilterCoeff_IS95_Acp(p.oversampleRatio);
    default:
      return std::vector<double>(static_cast<std::size_t>(p.oversampleRatio), 1.0);
  }
}

const char* filterName(const app::Parameters& p) {
  switch (synthesis::filterKindFor(p.filterType)) {
    case synthesis::FilterKind::Std:
      return "standard";
    case synthesis::FilterKind::Acp:
      return "ACP";
    default:
      return "rectangular";
  }
}

int calculate(app::AppState& state, const PlotRequest& r) {
  try {
    app::startUp(state, {.parameterFile = r.params, .settings = r.sets});
  } catch (const app::StartUpError& e) {
    std::fprintf(stderr, "kelvane-cli plot: %s\n", e.what());
    return e.kind() == app::StartUpError::Kind::Usage ? kUsage : kRefused;
  }
  if (r.kind == "filter") return kOk;  // the filter needs no waveform
  app::FlowContext flow{state, tk::dialogs(), {}};
  try {
    app::calculate(flow);
  } catch (const app::ParameterError& e) {
    std::fprintf(stderr, "kelvane-cli plot: the parameters cannot be calculated:\n%s\n", e.what());
    return kRefused;
  }
  return kOk;
}

}  // namespace

const std::vector<std::string>& plotKinds() {
  static const std::vector<std::string> k = {"spectrum", "waterfall", "ccdf",    "iq",
                                             "iq-overlay", "eye",     "scatter", "filter"};
  return k;
}

Value openPlot(const std::string& kind, const app::AppState& state, const std::string& label,
               const std::vector<std::complex<double>>& samples, const Value& parent) {
  const double rate = state.sigGenSettings.SamplingRate;
  const double n = state.parameters.oversampleRatio;  // one chip a trace
  const Value wave = Value::complexRow(samples);
  auto call = [&](const char* op, std::vector<Value> rest) {
    std::vector<Value> args = {parent, Value::text(label)};
    args.insert(args.end(), rest.begin(), rest.end());
    return registry::call(op, std::move(args), 1).at(0);
  };
  const double count = static_cast<double>(samples.size());
  if (kind == "spectrum") return call("KR_PlotSpectrum", {Value::scalar(rate), wave});
  if (kind == "waterfall")
    return call("KR_PlotWaterfall", {Value::scalar(rate), Value::scalar(count / rate / 200), wave});
  if (kind == "ccdf") return call("KR_PlotCCDF", {wave});
  if (kind == "iq" || kind == "iq-overlay")
    return call("KR_PlotIQTime", {Value::scalar(rate), Value::scalar(kind == "iq" ? 0 : 1), wave});
  if (kind == "eye")
    return call("KR_PlotEyeDiagram",
                {wave, Value::scalar(n), Value::scalar(n / rate), Value::scalar(0)});
  if (kind == "scatter")
    return call("KR_PlotScatterDiagram",
                {wave, Value::scalar(n), Value::scalar(0), Value::scalar(1)});
  const plots::FilterResponsePlot r = plots::filterResponsePlot(filterTaps(state.parameters), rate);
  return plots::filterResponseFigure(
      r, std::string("Baseband filter, ") + filterName(state.parameters) + ", " +
             runtime::numToText(state.parameters.oversampleRatio) + " samples per chip");
}

std::optional<PlotRequest> parsePlotRequest(const std::vector<std::string>& args) {
  PlotRequest r;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    const bool valued = a == "--out" || a == "--params" || a == "--set" || a == "--waveform";
    if (valued && i + 1 >= args.size()) return usage(a + " needs a value"), std::nullopt;
    if (a == "--out") {
      r.out = args[++i];
    } else if (a == "--params") {
      r.params = args[++i];
    } else if (a == "--set") {
      r.sets.push_back(args[++i]);
    } else if (a == "--waveform") {
      r.waveform = args[++i];
    } else if (a.rfind("--", 0) == 0) {
      return usage("unknown option " + a), std::nullopt;
    } else if (r.kind.empty()) {
      r.kind = a;
    } else {
      return usage("unexpected argument " + a), std::nullopt;
    }
  }
  if (!knownKind(r.kind))
    return usage("the plot must be one of spectrum, waterfall, ccdf, iq, iq-overlay, eye, "
                 "scatter, filter" +
                 std::string(r.kind.empty() ? "" : ", not " + r.kind)),
           std::nullopt;
  if (r.waveform != "traffic" && r.waveform != "control")
    return usage("--waveform takes traffic or control, not " + r.waveform), std::nullopt;
  const std::string ext = std::filesystem::path(r.out).extension().string();
  if (r.out.empty() || (ext != ".png" && ext != ".svg" && ext != ".pdf"))
    return usage("--out FILE.png, FILE.svg or FILE.pdf is needed"), std::nullopt;
  return r;
}

int writePlotFile(const PlotRequest& r) {
  app::AppState& state = app::currentState();
  if (const int rc = calculate(state, r); rc != kOk) return rc;
  const bool control = r.waveform == "control";
  const synthesis::Waveform& w = control ? state.control : state.traffic;
  const std::string& name = control ? state.parameters.controlChannelWaveformName
                                    : state.parameters.trafficChannelWaveformName;
  const std::string label = name + " (" + instrument::clock2str(runtime::clockNow()) + ")";
  try {
    const Value fig = openPlot(r.kind, state, label, instrument::applyDacRes(w.samples, 14),
                               Value::scalar(0));
    if (!fig.isHandle()) return kFailure;  // the "Plot Error" text is on standard error
    // A report-sized picture, whatever the window's own size.
    tk::set(fig, "Position", Value::row({1, 1, 800, 600}));
    QApplication::processEvents();
    plots::figureOf(fig)->saveImage(QString::fromStdString(r.out));
    tk::deleteObject(fig);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "kelvane-cli plot: %s\n", e.what());
    return kFailure;
  }
  std::printf("wrote %s\n", r.out.c_str());
  return kOk;
}

}  // namespace kelvane::host
