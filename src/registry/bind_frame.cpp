// The frame's file operations by name: compareStruct and the waveform file helpers in the
// library table, the parameter and configuration files in rfCommonUI's table.
#include <stdexcept>

#include "frame/parameter_file.hpp"
#include "instrument/waveform_files.hpp"
#include "registry/adapter.hpp"
#include "registry/binders.hpp"

namespace kelvane::registry {

namespace {

// The samples of a waveform argument; a value that holds none is refused.
std::vector<std::complex<double>> samplesOf(const Value& v) {
  if (!v.isNumeric() && v.numel() != 0)
    throw runtime::Error("expected a complex vector, got " + v.kindName());
  return v.toComplex();
}

// saveMornathWaveform(v, filename, scale) -> ok. It never raises: no input, an input it cannot
// use and any file error all give 0.
Outputs saveMornathByName(Args args, int /*nargout*/) {
  if (args.empty()) return {Value::scalar(0)};
  try {
    const auto v = samplesOf(args[0]);
    const std::string filename = args.size() > 1 ? Convert<std::string>::from(args[1]) : "Vel-C";
    const double scale = args.size() > 2 ? args[2].toDouble() : 1.0;
    return {Value::scalar(instrument::saveMornathWaveform(v, filename, scale) ? 1 : 0)};
  } catch (const std::exception&) {
    return {Value::scalar(0)};
  }
}

// applyDacRes(wave, numBits) keeps the shape of `wave` (row or column) and a real wave real.
Outputs applyDacResByName(Args args, int /*nargout*/) {
  if (args.size() < 2)
    throw runtime::Error("Not enough input arguments: applyDacRes needs wave and numBits.");
  const Value& wave = args[0];
  const auto q = instrument::applyDacRes(samplesOf(wave), args[1].toDouble());
  if (wave.numel() == 0) return {wave};
  if (wave.isReal()) {
    std::vector<double> re(q.size());
    for (std::size_t i = 0; i < q.size(); ++i)
      re[i] = q[i].real();
    return {Value::matrix(wave.rows(), wave.cols(), std::move(re))};
  }
  return {Value::complexMatrix(wave.rows(), wave.cols(), q)};
}

std::string clock2strChecked(const std::vector<double>& clk) {
  try {
    return instrument::clock2str(clk);
  } catch (const std::invalid_argument& e) {
    throw runtime::Error(e.what());
  }
}

}  // namespace

void bindFrame(Library& lib) {
  Table& ops = lib.operations();
  bindTyped(ops, "compareStruct",
            [](const Value& a, const Value& b) { return frame::compareStruct(a, b) ? 1.0 : 0.0; });
  ops.bind("saveMornathWaveform", saveMornathByName);
  ops.bind("applyDacRes", applyDacResByName);
  bindTyped(ops, "clock2str", clock2strChecked);

  Table& ui = lib.module("rfCommonUI");
  ui.add("addFileExtention", 2, 1, typed([](const std::string& name, const std::string& ext) {
           return frame::addFileExtention(name, ext);
         }));
  ui.add("saveParameters", 2, 0,
         typed([](const std::string& filename, const Value& fileParameters) {
           frame::saveParameters(filename, fileParameters);
         }));
  ui.add("loadParameters", 2, 1,
         typed([](const std::string& filename, std::optional<Value> handles) {
           return frame::loadParameters(filename, handles.value_or(Value()));
         }));
  ui.add("saveConfig", 1, 0,
         typed([](const Value& fileParameters) { frame::saveConfig(fileParameters); }));
  ui.add("loadConfig", 0, 1, typed([] { return frame::loadConfig(); }));

  // The common frame's dispatcher: an action name, then its arguments (menu callbacks join the
  // table with the windows).
  const Table* actions = &ui;
  ops.bind("rfCommonUI",
           [actions](Args args, int nargout) { return dispatch(*actions, args, nargout); });
}

}  // namespace kelvane::registry
