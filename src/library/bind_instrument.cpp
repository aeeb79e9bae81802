// The instrument operations by name: the transport hwIO, the I/O operations (each passes its
// configuration through formatconfig and calls hwIO with its opcode), download, sequence and
// playback, each returning (status, message); and the waveform file helpers.
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <tuple>
#include <vector>

#include "instrument/download.hpp"
#include "instrument/io.hpp"
#include "instrument/playback.hpp"
#include "instrument/transport.hpp"
#include "instrument/waveform_files.hpp"
#include "library/binders.hpp"
#include "library/convert_instrument.hpp"
#include "registry/adapter.hpp"
#include "toolkit/dialogs.hpp"

namespace kelvane::library {

namespace in = kelvane::instrument;

namespace {

using StatusPair = std::tuple<double, std::string>;

StatusPair pair(const in::Status& s) {
  return {static_cast<double>(s.code), s.message};
}

// hwIO(opcode, formatconfig(config), further...).
StatusPair transport(in::hwio::Opcode opcode, const Value& config, std::vector<Value> further) {
  std::vector<Value> args;
  args.reserve(further.size() + 2);
  args.push_back(Value::int32(static_cast<std::int32_t>(opcode)));
  args.push_back(in::formatconfig(config));
  for (auto& f : further)
    args.push_back(std::move(f));
  return pair(in::hwIO(args));
}

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
    return {Value::scalar(in::saveMornathWaveform(v, filename, scale) ? 1 : 0)};
  } catch (const std::exception&) {
    return {Value::scalar(0)};
  }
}

// applyDacRes(wave, numBits) keeps the shape of `wave` (row or column) and a real wave real.
Outputs applyDacResByName(Args args, int /*nargout*/) {
  if (args.size() < 2)
    throw runtime::Error("Not enough input arguments: applyDacRes needs wave and numBits.");
  const Value& wave = args[0];
  const auto q = in::applyDacRes(samplesOf(wave), args[1].toDouble());
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
    return in::clock2str(clk);
  } catch (const std::invalid_argument& e) {
    throw runtime::Error(e.what());
  }
}

// The transport and the I/O operations.
void bindTransport(Table& t) {
  using in::hwio::Opcode;
  t.bind("hwIO", [](Args args, int /*nargout*/) -> Outputs {
    const in::Status s = in::hwIO(args);
    return {Value::scalar(s.code), Value::text(s.message)};
  });
  bindTyped(t, "formatconfig", [](const Value& config) { return in::formatconfig(config); });
  bindTyped(t, "hwPing", [](const Value& config) { return transport(Opcode::Ping, config, {}); });
  bindTyped(t, "hwSend", [](const Value& config, const Value& command) {
    return transport(Opcode::Send, config, {command});
  });
  bindTyped(t, "hwQuery", [](const Value& config, const Value& query) {
    return transport(Opcode::Query, config, {query});
  });
  // The fourth and fifth inputs are always replaced by "norm" and 1.
  bindTyped(t, "hwDownload",
            [](const Value& config, const Value& data, const Value& markers,
               const std::optional<Value>& /*scaling*/, const std::optional<Value>& /*one*/,
               const Value& filename) {
              return transport(Opcode::Download, config,
                               {data, markers, Value::text("norm"), Value::scalar(1), filename});
            });
  bindTyped(t, "hwReturnLocal",
            [](const Value& config) { return transport(Opcode::ReturnLocal, config, {}); });
  bindTyped(t, "VerifyComm",
            [](const Value& config) { return transport(Opcode::Ping, config, {}); });
}

// Download, sequence and playback.
void bindArb(Table& t) {
  bindTyped(
      t, "VelDownLoadWrap",
      [](const Value& iq, const Value& marker, const std::string& filename,
         const in::Configuration& config) {
        const auto samples = iq.toComplex();
        const auto markers = in::packMarkers(marker, samples.size());
        return pair(in::VelDownLoadWrap(samples, markers, filename, config, toolkit::dialogs()));
      });
  bindTyped(t, "VelCreateWaveformSequence_c",
            [](const std::vector<in::SequenceElement>& elements, const std::string& sequenceFile,
               const in::Configuration& config) {
              return pair(in::VelCreateWaveformSequence_c(elements, sequenceFile, config));
            });
  bindTyped(t, "VelPlayWaveformSequence_c",
            [](const std::string& sequenceFile, const in::SigGenSettings& settings,
               const in::Configuration& config) {
              return pair(in::VelPlayWaveformSequence_c(sequenceFile, settings, config));
            });
  bindTyped(t, "VelPlay_c",
            [](const std::string& fileName, const in::SigGenSettings& setting,
               const in::Configuration& config) {
              return pair(in::VelPlay_c(fileName, setting, config));
            });
  bindTyped(
      t, "VelPlay",
      [](const std::string& fileName, const in::SigGenSettings& setting,
         const in::Configuration& config) { return pair(in::VelPlay(fileName, setting, config)); });
}

// Waveform files.
void bindWaveformFiles(Table& t) {
  t.bind("saveMornathWaveform", saveMornathByName);
  t.bind("applyDacRes", applyDacResByName);
  bindTyped(t, "clock2str", clock2strChecked);
}

}  // namespace

void bindInstrument(Library& lib) {
  Table& t = lib.operations();
  bindTransport(t);
  bindArb(t);
  bindWaveformFiles(t);
  lib.atTerminate([] { in::closeConnections(); });
}

}  // namespace kelvane::library
