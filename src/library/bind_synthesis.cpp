// By-name entries of the waveform synthesis: the pilot, MAC and preamble channels, PN sequences
// and spreading, the phase equalizer with its design helpers, upsampling and the synthesis
// driver.
#include <algorithm>
#include <array>
#include <complex>
#include <limits>
#include <optional>
#include <string>
#include <type_traits>
#include <vector>

#include "instrument/io.hpp"
#include "library/arguments.hpp"
#include "library/binders.hpp"
#include "library/convert_synthesis.hpp"
#include "synthesis/baseband_filter.hpp"
#include "synthesis/channels.hpp"
#include "synthesis/phase_eq.hpp"
#include "synthesis/pn.hpp"
#include "synthesis/upsample.hpp"
#include "synthesis/waveform.hpp"

namespace kelvane::library {

namespace {

namespace syn = kelvane::synthesis;
namespace cod = kelvane::coding;
using cd = std::complex<double>;

// A vector result in the orientation of `like`: a column stays a column, anything else is a row.
template <class T>
Value oriented(const Value& like, std::vector<T> data) {
  const bool column = like.cols() == 1 && like.rows() > 1;
  if constexpr (std::is_same_v<T, cd>)
    return column ? Value::complexColumn(std::move(data)) : Value::complexRow(std::move(data));
  else
    return column ? Value::column(std::move(data)) : Value::row(std::move(data));
}

Value circularShiftRightEntry(const Value& input, double count) {
  requireVector(input, "CircularShiftRight");
  if (input.isComplex())
    return oriented(input, syn::CircularShiftRight<cd>(input.complexData(), count));
  return oriented(input, syn::CircularShiftRight<double>(input.realData(), count));
}

Value quadSpreadingEntry(const Value& frames, double offsetIndex) {
  if (!frames.isEmpty() && !frames.isNumeric())
    throw runtime::Error("Qarn_FwdQuadSpreading: expected a numeric array, got " +
                         shapeText(frames));
  std::vector<cd> chips = frames.toComplex();
  syn::spreadInPlace(chips, offsetIndex);
  return Value::complexMatrix(frames.rows(), frames.cols(), std::move(chips));
}

Value phaseEqEntry(const Value& input, double oversampleRatio) {
  requireVector(input, "Qarn_FwdPhaseEq");
  return Value::complexRow(syn::Qarn_FwdPhaseEq(input.toComplex(), oversampleRatio));
}

template <class T>
Value shiftedMatrix(cod::Matrix<T> m, double amount, double position, bool byRow) {
  cod::Matrix<T> r = syn::circularShift(std::move(m), amount, position, byRow);
  if constexpr (std::is_same_v<T, cd>)
    return Value::complexMatrix(r.rows, r.cols, std::move(r.data));
  else
    return Value::matrix(r.rows, r.cols, std::move(r.data));
}

// circularShift(matrix, [amount], [position], ['r' | 'c']).
Outputs circularShiftEntry(Args args, int /*nargout*/) {
  if (args.empty() || args.size() > 4) throw runtime::Error(syn::kCircularShiftUsage);
  const Value& m = args[0];
  if (!m.isEmpty() && !m.isNumeric())
    throw runtime::Error("circularShift: expected a numeric matrix, got " + shapeText(m));
  const double amount = absent(args, 1) ? 1 : args[1].toDouble();
  const double position = absent(args, 2) ? 1 : args[2].toDouble();
  const bool byRow = args.size() < 4 || (args[3].isText() && args[3].str() == "r");
  if (m.isComplex())
    return {
        shiftedMatrix(cod::Matrix<cd>(m.rows(), m.cols(), m.toComplex()), amount, position, byRow)};
  return {shiftedMatrix(cod::Matrix<double>(m.rows(), m.cols(), m.toDoubles()), amount, position,
                        byRow)};
}

// The ratio of upsample and upsampleMarker by name: a whole number 0 or more (as the argument
// conversion has checked) that an int holds.
int oversampleRatioArgument(std::size_t factor, const char* operation) {
  if (factor > static_cast<std::size_t>(std::numeric_limits<int>::max()))
    throw runtime::Error(std::string(operation) + ": the factor " + std::to_string(factor) +
                         " is too large");
  return static_cast<int>(factor);
}

// The length of `samples` elements upsampled by `factor`, refused beyond the limit by name.
void requireUpsampledLength(const char* operation, std::size_t samples, int factor) {
  requireSequenceLength(operation, static_cast<double>(samples) * factor,
                        std::to_string(samples) + " elements x factor " + std::to_string(factor));
}

Value upsampleEntry(const Value& x, std::size_t factor) {
  requireVector(x, "upsample");
  const int oversampleRatio = oversampleRatioArgument(factor, "upsample");
  requireUpsampledLength("upsample", x.numel(), oversampleRatio);
  // A column (one column, a scalar included) comes back as a column, anything else as a row.
  const bool column = x.cols() == 1;
  if (x.isComplex()) {
    std::vector<cd> y = syn::upsample(x.complexData(), oversampleRatio);
    return column ? Value::complexColumn(std::move(y)) : Value::complexRow(std::move(y));
  }
  std::vector<double> y = syn::upsample(x.realData(), oversampleRatio);
  return column ? Value::column(std::move(y)) : Value::row(std::move(y));
}

Value upsampleMarkerEntry(const Value& in, std::size_t factor) {
  if (!in.isEmpty() && (!in.isReal() || in.rows() != 1))
    throw runtime::Error("upsampleMarker: the marker input must be a real row, got " +
                         shapeText(in));
  const int oversampleRatio = oversampleRatioArgument(factor, "upsampleMarker");
  requireUpsampledLength("upsampleMarker", in.numel(), oversampleRatio);
  return Value::row(syn::upsampleMarker(in.realData(), oversampleRatio));
}

// --- Qarn_FwdModulatedWaveform ---------------------------------------------------------------

constexpr std::array<const char*, 10> kWaveformInputs{
    "fwdChnParams",     "rpcBits",          "rpcGains",   "raBits",        "raGains",
    "pilotOffsetIndex", "oversamplingRate", "filterType", "phaseEqActive", "mirrorSpectrum"};

const Value& waveformInput(Args args, std::size_t i) {
  if (i >= args.size())
    throw runtime::Error(std::string("Not enough input arguments: ") + kWaveformInputs[i] +
                         " (input " + std::to_string(i + 1) + ") is missing.");
  return args[i];
}

// The packet list: a 1 x P record array with drcValue, packet and macIndex; empty for none.
std::vector<syn::PacketRecord> packetList(const Value& v) {
  std::vector<syn::PacketRecord> packets;
  if (v.isEmpty()) return packets;
  if (!v.isRecord())
    throw runtime::Error("Qarn_FwdModulatedWaveform: fwdChnParams must be a record array, got " +
                         shapeText(v));
  for (std::size_t e = 0; e < v.numel(); ++e) {
    try {
      packets.push_back({v.field("drcValue", e).toDouble(),
                         Convert<BitRow>::from(v.field("packet", e)),
                         v.field("macIndex", e).toDouble()});
    } catch (const runtime::Error& err) {
      throw runtime::Error("Qarn_FwdModulatedWaveform: fwdChnParams(" + std::to_string(e + 1) +
                           "): " + err.what());
    }
  }
  return packets;
}

std::size_t macRowsOf(const Value& v) {
  return v.isEmpty() ? 0 : v.rows();
}

cod::Matrix<double> realMatrix(const Value& v, const char* name) {
  if (v.isEmpty()) return {};
  if (!v.isReal())
    throw runtime::Error(std::string("Qarn_FwdModulatedWaveform: ") + name +
                         " must be a real matrix, got " + shapeText(v));
  return cod::Matrix<double>(v.rows(), v.cols(), v.toDoubles());
}

std::vector<double> realColumn(const Value& v, const char* name) {
  if (v.isEmpty()) return {};
  if (!v.isReal() || v.cols() != 1)
    throw runtime::Error(std::string("Qarn_FwdModulatedWaveform: ") + name +
                         " must be a real column, one row per slot, got " + shapeText(v));
  return v.toDoubles();
}

syn::FilterKind filterTypeArgument(const Value& v) {
  if (auto kind = filterKindOf(v)) return *kind;
  throw runtime::Error("Qarn_FwdModulatedWaveform: filterType must be a number or a text, got " +
                       shapeText(v));
}

// (waveform, markers): the complex 1 x N row and the 2 x N 0/1 matrix (marker 1, marker 2).
Outputs modulatedWaveformEntry(Args args, int nargout) {
  const std::vector<syn::PacketRecord> packets = packetList(waveformInput(args, 0));
  syn::MacInputs mac;
  const Value& rpcBits = waveformInput(args, 1);
  const Value& raBits = waveformInput(args, 3);
  mac.rpcBits = realMatrix(rpcBits, "rpcBits");
  mac.raBits = realColumn(raBits, "raBits");
  // The gains are read only when there are MAC rows.
  if (macRowsOf(rpcBits) > 0 || macRowsOf(raBits) > 0) {
    mac.rpcGains = realMatrix(waveformInput(args, 2), "rpcGains");
    mac.raGains = realColumn(waveformInput(args, 4), "raGains");
  }
  syn::SynthesisSettings settings;
  settings.pilotOffsetIndex = waveformInput(args, 5).toDouble();
  try {
    settings.oversampleRatio = Convert<int>::from(waveformInput(args, 6));
  } catch (const runtime::Error& e) {
    throw runtime::Error(std::string("Qarn_FwdModulatedWaveform: oversamplingRate: ") + e.what());
  }
  settings.filter = filterTypeArgument(waveformInput(args, 7));
  settings.phaseEqActive = syn::phaseEqActiveFor(waveformInput(args, 8).toDouble());
  settings.mirrorSpectrum = syn::mirrorSpectrumFor(waveformInput(args, 9).toDouble());

  syn::Waveform w = syn::Qarn_FwdModulatedWaveform(packets, mac, settings);
  Outputs out;
  out.push_back(Value::complexRow(std::vector<std::complex<double>>(w.samples.begin(), w.samples.end())));
  if (nargout >= 2) out.push_back(instrument::unpackMarkers(w.markers));
  return out;
}

// `reps` periods of the short PN sequence, refused beyond the limit by name.
void requirePnLength(const char* operation, std::size_t reps) {
  const auto period = static_cast<double>(syn::kPNPeriodChips);
  requireSequenceLength(operation, static_cast<double>(reps) * period,
                        coding::formatNumber(static_cast<double>(reps)) + " repetitions of " +
                            coding::formatNumber(period) + " chips");
}

// RPC bits and gains of one shape with at least 59 entries, one RA bit and one RA gain.
std::vector<cd> macSlotEntry(const Value& rpcBits, const Value& rpcGains, const Value& raBit,
                             const Value& raGain) {
  for (const Value* v : {&rpcBits, &rpcGains, &raBit, &raGain})
    requireNumeric(*v, "Qarn_FwdMACslot inputs");
  if (rpcBits.rows() != rpcGains.rows() || rpcBits.cols() != rpcGains.cols())
    throw runtime::Error("RPCbits (" + shapeOf(rpcBits) + ") and RPCgains (" + shapeOf(rpcGains) +
                         ") must have the same shape");
  if (rpcBits.numel() < 59)
    throw runtime::Error("RPCbits and RPCgains must hold at least 59 entries, got " +
                         std::to_string(rpcBits.numel()));
  if (raBit.numel() != 1 || raGain.numel() != 1)
    throw runtime::Error("RAbit (" + shapeOf(raBit) + ") and RAgain (" + shapeOf(raGain) +
                         ") must be single values");
  return syn::Qarn_FwdMACslot(rpcBits.realData(), rpcGains.realData(), raBit.toDouble(),
                              raGain.toDouble());
}

}  // namespace

void bindSynthesis(Library& lib) {
  Table& ops = lib.operations();
  // Pilot, MAC and preamble channels.
  bindTyped(ops, "Qarn_FwdPilot", [] { return syn::Qarn_FwdPilot(); });
  bindTyped(ops, "Qarn_FwdTrfPreamble",
            [](double macIndex, double rep) { return syn::Qarn_FwdTrfPreamble(macIndex, rep); });
  bindTyped(ops, "Qarn_FwdMACslot", macSlotEntry);

  bindTyped(ops, "CircularShiftRight", circularShiftRightEntry);
  bindTyped(ops, "Qarn_PNiSequence", [](std::size_t reps) -> BitRow {
    requirePnLength("Qarn_PNiSequence", reps);
    return syn::Qarn_PNiSequence(reps);
  });
  bindTyped(ops, "Qarn_PNqSequence", [](std::size_t reps) -> BitRow {
    requirePnLength("Qarn_PNqSequence", reps);
    return syn::Qarn_PNqSequence(reps);
  });
  bindTyped(ops, "Qarn_FwdQuadSpreading", quadSpreadingEntry);

  bindTyped(ops, "Qarn_FwdPhaseEq", phaseEqEntry);
  bindTyped(ops, "eqlrfilt", [](double Fs) {
    syn::TransferFunction tf = syn::eqlrfilt(Fs);
    return std::tuple{std::move(tf.b), std::move(tf.a)};
  });
  bindTyped(
      ops, "bilinear",
      [](const std::vector<double>& num, const std::vector<double>& den, double fs, double fp) {
        syn::TransferFunction tf = syn::bilinear(num, den, fs, fp);
        return std::tuple{std::move(tf.b), std::move(tf.a)};
      });
  ops.bind("circularShift", circularShiftEntry);

  bindTyped(ops, "upsample", upsampleEntry);
  bindTyped(ops, "upsampleMarker", upsampleMarkerEntry);
  ops.bind("Qarn_FwdModulatedWaveform", modulatedWaveformEntry);
}

}  // namespace kelvane::library
