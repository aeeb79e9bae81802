// By-name entries of the traffic and control channel coding (formats, packets and FCS, bit
// fields, turbo code, scrambler, channel interleaver, modulation and Walsh channels), the
// sequence helpers, the test data, the PN generators and the channel-number conversion. Bits cross
// as 0/1 doubles; inputs that the operations only move about (interleavers, puncturing, repetition)
// take any numbers.
#include <algorithm>
#include <cmath>
#include <complex>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include "coding/binary.hpp"
#include "coding/channel_frequency.hpp"
#include "coding/channel_interleaver.hpp"
#include "coding/checks.hpp"
#include "coding/fcs.hpp"
#include "coding/lfsr.hpp"
#include "coding/modparams.hpp"
#include "coding/modulation.hpp"
#include "coding/packets.hpp"
#include "coding/pngenerator.hpp"
#include "coding/scrambler.hpp"
#include "coding/sequences.hpp"
#include "coding/testdata.hpp"
#include "coding/trfchn.hpp"
#include "coding/turbo.hpp"
#include "library/arguments.hpp"
#include "library/binders.hpp"
#include "library/convert_coding.hpp"

namespace kelvane::library {

namespace {

using Complex = std::complex<double>;
using coding::Matrix;
using RealRow = std::vector<double>;
using ComplexRow = std::vector<Complex>;

// Bits where any non-zero value counts as 1 (the FCS register input).
coding::Bits nonZeroBits(const Value& v) {
  requireNumeric(v, "bits");
  const auto data = v.realData();
  coding::Bits bits(data.size());
  for (std::size_t i = 0; i < data.size(); ++i) {
    if (std::isnan(data[i]))
      throw runtime::Error("bits must not hold NaN (position " + std::to_string(i + 1) + ")");
    bits[i] = data[i] != 0.0;
  }
  return bits;
}

Value modParamsValue(double drcValue) {
  if (auto format = coding::Qarn_FwdTrfChnModParams(drcValue))
    return Convert<coding::ModParams>::to(*format);
  return Value::record({{"drcValue", Value::scalar(drcValue)}});
}

Value de2biEntry(const Value& d, std::optional<Value> n, std::optional<std::string> order) {
  requireNumeric(d, "d");
  // de2bi(d, order) names the order in the second place.
  if (n && n->isText()) {
    if (order) throw runtime::Error("n must be a number, got text");
    order = n->str();
    n.reset();
  }
  const std::string flag = order.value_or("right-msb");
  std::optional<double> digits;
  if (n && !n->isEmpty()) digits = n->toDouble();
  const auto values = d.realData();
  if (values.empty()) {
    coding::de2bi(0, digits, flag);  // the flag and n are still checked
    return Value();
  }
  if (!digits) {
    // The fewest digits that hold the largest value.
    for (double x : values)
      digits = std::max(digits.value_or(1), static_cast<double>(coding::de2bi(x, {}, flag).size()));
  }
  std::vector<coding::Bits> rows;
  for (double x : values)
    rows.push_back(coding::de2bi(x, digits, flag));
  const std::size_t cols = rows.front().size();
  std::vector<double> columnMajor(rows.size() * cols);
  for (std::size_t r = 0; r < rows.size(); ++r)
    for (std::size_t c = 0; c < cols; ++c)
      columnMajor[c * rows.size() + r] = rows[r][c];
  return Value::matrix(rows.size(), cols, std::move(columnMajor));
}

// One number for each row of digits: a column (a scalar for one row).
Value bi2deEntry(const Value& b, const std::optional<std::string>& order) {
  requireNumeric(b, "b");
  const std::string flag = order.value_or("right-msb");
  const auto digits = b.realData();
  if (b.isEmpty()) {
    coding::bi2de({}, flag);  // the flag is still checked
    return Value();
  }
  std::vector<double> out(b.rows());
  std::vector<double> row(b.cols());
  for (std::size_t r = 0; r < b.rows(); ++r) {
    for (std::size_t c = 0; c < b.cols(); ++c)
      row[c] = digits[c * b.rows() + r];
    out[r] = coding::bi2de(row, flag);
  }
  return Value::column(std::move(out));
}

Value signalMapEntry(const Value& input) {
  requireNumeric(input, "input");
  if (input.isEmpty()) return Value::emptyMatrix(input.rows(), input.cols());
  if (input.isComplex())
    return Value::complexMatrix(input.rows(), input.cols(),
                                coding::Qarn_SignalMap(input.complexData()));
  return Value::matrix(input.rows(), input.cols(), coding::Qarn_SignalMap(input.realData()));
}

Value repeatEntry(const Value& input, double factor) {
  requireNumeric(input, "input");
  const std::size_t n = coding::wholeInRange(factor, "factor", 0, kMaxSequenceLength);
  if (input.numel() * n > kMaxSequenceLength)
    throw runtime::Error("factor " + coding::formatNumber(factor) + " gives too long a row");
  if (input.isComplex()) return Value::complexRow(coding::Qarn_Repeat(input.complexData(), n));
  return Value::row(coding::Qarn_Repeat(input.realData(), n));
}

Value walshCoverEntry(const Value& signal, const Value& code) {
  requireNumeric(signal, "signal");
  requireNumeric(code, "code");
  const auto chips = code.realData();
  if (signal.isComplex())
    return Value::complexRow(coding::Qarn_WalshCover(signal.complexData(), chips));
  return Value::row(coding::Qarn_WalshCover(signal.realData(), chips));
}

Value repSeqEntry(const Value& data, double reqLength) {
  requireNumeric(data, "data");
  const std::size_t n = coding::wholeInRange(reqLength, "reqLength", 0, kMaxSequenceLength);
  if (data.isComplex()) return Value::complexRow(coding::Qarn_FwdTrfRepSeq(data.complexData(), n));
  return Value::row(coding::Qarn_FwdTrfRepSeq(data.realData(), n));
}

// A real matrix stays real, a complex one complex, through a matrix stage.
template <class Stage>
Value matrixStage(const Value& input, Stage stage) {
  requireNumeric(input, "input");
  if (input.isComplex())
    return Convert<Matrix<Complex>>::to(stage(Convert<Matrix<Complex>>::from(input)));
  return Convert<Matrix<double>>::to(stage(Convert<Matrix<double>>::from(input)));
}

Value demuxEntry(const Value& data) {
  requireNumeric(data, "data");
  if (data.isComplex())
    return Convert<Matrix<Complex>>::to(coding::Qarn_FwdTrfDemux(data.complexData()));
  return Convert<Matrix<double>>::to(coding::Qarn_FwdTrfDemux(data.realData()));
}

Value summerEntry(const Value& input) {
  requireNumeric(input, "input");
  if (input.isComplex())
    return Value::complexRow(coding::Qarn_FwdTrfSummer(Convert<Matrix<Complex>>::from(input)));
  return Value::row(coding::Qarn_FwdTrfSummer(Convert<Matrix<double>>::from(input)));
}

// GenerateBitStream(type, len, [pattern]); with fewer than two inputs the result is empty.
Outputs generateBitStreamEntry(Args args, int /*nargout*/) {
  if (args.size() < 2) return {Value()};
  std::vector<double> pattern;
  if (args.size() >= 3) pattern = args[2].toDoubles();
  // Read, then checked: the length before the type.
  const double len = args[1].toDouble();
  const double type = args[0].toDouble();
  const std::size_t length = coding::bitStreamLength(len);
  requireSequenceLength("GenerateBitStream", len);
  return {Convert<BitRow>::to(
      coding::GenerateBitStream(coding::payloadTypeFor(type), length, pattern))};
}

// PNgenerator(n, dataLength, userInvert, seed, zeroSuppresion), every input optional.
Outputs pnGeneratorEntry(Args args, int /*nargout*/) {
  double n = 9;
  if (!absent(args, 0) && args[0].numel() == 1) n = args[0].toDouble();
  coding::PNGeneratorOptions options;
  if (!absent(args, 1) && args[1].numel() == 1) {
    const double len = std::max(args[1].toDouble(), 1.0);
    try {
      options.dataLength = Convert<std::size_t>::from(Value::scalar(len));
    } catch (const runtime::Error& e) {
      throw runtime::Error(std::string("PNgenerator: dataLength: ") + e.what());
    }
    requireSequenceLength("PNgenerator", len);
  } else {
    // Without a length, one period: 2^31 - 1 bits for 31 stages.
    const int stages = coding::pnGeneratorStages(n);
    requireSequenceLength("PNgenerator", std::ldexp(1.0, stages) - 1,
                          "one period of the " + std::to_string(stages) +
                              "-stage register; dataLength asks for fewer bits");
  }
  auto isOne = [&](std::size_t i) {
    return !absent(args, i) && args[i].numel() == 1 && args[i].isReal() &&
           args[i].toDouble() == 1.0;
  };
  options.userInvert = isOne(2);
  if (!absent(args, 3)) options.seed = args[3].toDoubles();
  options.zeroSuppression = isOne(4);
  return {Convert<BitRow>::to(coding::PNgenerator(n, options))};
}

Value extendVectorEntry(const Value& data, double reqLength) {
  requireVector(data, "extendVector");
  if (!(reqLength >= 0) || !coding::isWhole(reqLength))
    throw runtime::Error("extendVector: reqLength must be a whole number 0 or more, got " +
                         Value::scalar(reqLength).toString());
  requireSequenceLength("extendVector", reqLength);
  return Value::row(coding::extendVector(data.realData(), static_cast<std::size_t>(reqLength)));
}

// Formats, packets, FCS and bit fields.
void bindPackets(Table& t) {
  bindTyped(t, "Qarn_FwdTrfChnModParams", [](double drcValue) { return modParamsValue(drcValue); });
  bindTyped(t, "Qarn_PhysicalLayerFCS", [](const Value& bits) {
    return BitRow(coding::Qarn_PhysicalLayerFCS(nonZeroBits(bits)));
  });
  bindTyped(t, "Qarn_FwdTrfPhysicalLayerPacket", [](const BitRow& data) {
    return BitRow(coding::Qarn_FwdTrfPhysicalLayerPacket(data));
  });
  bindTyped(t, "Qarn_FwdSyncMessagePacket", [](double pilotPNOffset) {
    return BitRow(coding::Qarn_FwdSyncMessagePacket(pilotPNOffset));
  });
  bindTyped(t, "de2bi", de2biEntry);
  bindTyped(t, "bi2de", bi2deEntry);
  bindTyped(t, "reverseBits", [](double n, double len) { return coding::reverseBits(n, len); });
}

// Turbo encoder.
void bindTurbo(Table& t) {
  bindTyped(t, "Qarn_FwdEncoder", [](const BitRow& packet, const Value& modParams) {
    return BitRow(coding::Qarn_FwdEncoder(packet, modParamsFields(modParams, {"codeRate"})));
  });
  bindTyped(t, "Qarn_TurboCoder", [](const BitRow& input, double rate) {
    return BitRow(coding::Qarn_TurboCoder(input, rate));
  });
  bindTyped(t, "Qarn_ConstituentEncoder", [](const BitRow& input) {
    coding::ConstituentOutputs out = coding::Qarn_ConstituentEncoder(input);
    return std::tuple<BitRow, BitRow, BitRow>(std::move(out.x), std::move(out.y0),
                                              std::move(out.y1));
  });
  bindTyped(t, "Qarn_TurboInterleaver",
            [](const RealRow& input) { return coding::Qarn_TurboInterleaver(input); });
  bindTyped(t, "Qarn_TurboPuncturing",
            [](const RealRow& x, const RealRow& y0, const RealRow& y1, const RealRow& xp,
               const RealRow& y0p, const RealRow& y1p, double rate) {
              return coding::Qarn_TurboPuncturing(x, y0, y1, xp, y0p, y1p, rate);
            });
}

// Scrambler and channel interleaver.
void bindInterleaving(Table& t) {
  bindTyped(
      t, "Qarn_FwdScrambler", [](const BitRow& input, const Value& modParams, double macIndex) {
        return BitRow(
            coding::Qarn_FwdScrambler(input, modParamsFields(modParams, {"drcValue"}), macIndex));
      });
  bindTyped(t, "Qarn_FwdChannelInterleaver", [](const RealRow& input, const Value& modParams) {
    return coding::Qarn_FwdChannelInterleaver(input,
                                              modParamsFields(modParams, {"codeRate", "bits"}));
  });
  bindTyped(t, "Qarn_FwdSymbolPermuter",
            [](const RealRow& inputBlock, double k, double m, const std::string& type) {
              return coding::Qarn_FwdSymbolPermuter(
                  inputBlock, coding::wholeInRange(k, "k", 1, kMaxSequenceLength),
                  coding::wholeInRange(m, "m", 1, kMaxSequenceLength), type);
            });
}

// Modulation, repetition and the 16 Walsh channels.
void bindWalshChannels(Table& t) {
  bindTyped(t, "Qarn_FwdTrfChn",
            [](const BitRow& data, const Value& modParams, double macIndex, bool encoderActive,
               bool scramblerActive, bool interleaverActive) {
              const coding::ModParams format = modParamsFields(
                  modParams,
                  {"drcValue", "bits", "codeRate", "modulationType", "modulationSymbolsRequired"});
              return coding::Qarn_FwdTrfChn(data, format, macIndex, encoderActive, scramblerActive,
                                            interleaverActive);
            });
  bindTyped(t, "Qarn_FwdTrfModulator", [](const BitRow& input, double format) {
    return coding::Qarn_FwdTrfModulator(input, coding::modulationFor(format));
  });
  bindTyped(t, "Qarn_IQmap", [](const BitRow& data, double format) {
    return Value::complexScalar(coding::Qarn_IQmap(data, coding::modulationFor(format)));
  });
  bindTyped(t, "Qarn_FwdTrfRepSeq", repSeqEntry);
  bindTyped(t, "Qarn_FwdTrfDemux", demuxEntry);
  bindTyped(t, "Qarn_FwdTrfWalshCover", [](const Value& input) {
    return matrixStage(input, [](const auto& m) { return coding::Qarn_FwdTrfWalshCover(m); });
  });
  bindTyped(t, "Qarn_FwdTrfChnGain", [](const Value& input) {
    return matrixStage(input, [](const auto& m) { return coding::Qarn_FwdTrfChnGain(m); });
  });
  bindTyped(t, "Qarn_FwdTrfSummer", summerEntry);
}

// Test data, PN generators and channel frequencies.
void bindTestData(Table& t) {
  bindTyped(t, "lfsr",
            [](int order, const BitRow& taps, std::size_t m, const BitRow& seed) -> BitRow {
              requireSequenceLength("lfsr", static_cast<double>(m));
              return coding::lfsr(order, taps, m, seed);
            });
  t.bind("GenerateBitStream", generateBitStreamEntry);
  t.bind("PNgenerator", pnGeneratorEntry);
  bindTyped(t, "extendVector", extendVectorEntry);
  bindTyped(t, "Qarn_ChannelNumberToFrequency", coding::Qarn_ChannelNumberToFrequency);
}

// Sequence helpers.
void bindSequenceHelpers(Table& t) {
  bindTyped(t, "Qarn_Repeat", repeatEntry);
  bindTyped(t, "Qarn_SignalMap", signalMapEntry);
  bindTyped(t, "Qarn_WalshCover", walshCoverEntry);
  bindTyped(t, "Qarn_WalshMatrix", [](double index) {
    return Convert<Matrix<double>>::to(coding::Qarn_WalshMatrix(index));
  });
}

}  // namespace

void bindCoding(Library& lib) {
  Table& t = lib.operations();
  bindPackets(t);
  bindTurbo(t);
  bindInterleaving(t);
  bindWalshChannels(t);
  bindTestData(t);
  bindSequenceHelpers(t);
}

}  // namespace kelvane::library
