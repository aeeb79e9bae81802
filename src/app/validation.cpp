#include "app/validation.hpp"

#include <cmath>

#include "runtime/numbers.hpp"
#include "runtime/text.hpp"

namespace kelvane::app {

namespace {

class Checker {
 public:
  std::vector<std::string> problems;

  void wholeIn(const char* field, double x, double lo, double hi, const char* note = "") {
    if (runtime::isWholeIn(x, lo, hi)) return;
    add(std::string(field) + " must be a whole number from " + runtime::numToText(lo) + " to " +
        runtime::numToText(hi) + ", not " + runtime::numToText(x) + note);
  }
  void flag(const char* field, double x) {
    if (x == 0 || x == 1) return;
    add(std::string(field) + " must be 0 or 1, not " + runtime::numToText(x));
  }
  void wholeAny(const char* field, double x) {
    if (runtime::isWhole(x)) return;
    add(std::string(field) + " must be a whole number, not " + runtime::numToText(x));
  }
  void name(const char* field, const std::string& s) {
    if (s.empty()) return add(std::string(field) + " must not be empty");
    if (s.size() > kMaxInstrumentNameLength)
      add(std::string(field) + " must have 1 to 23 characters, not " + std::to_string(s.size()) +
          " (\"" + s + "\")");
    for (char c : s) {
      const auto u = static_cast<unsigned char>(c);
      if (kForbiddenNameCharacters.find(c) != std::string_view::npos) {
        add(std::string(field) + " must not hold the character '" + std::string(1, c) + "' (\"" +
            s + "\")");
        return;
      }
      if (u < 0x20 || u >= 0x7F) {
        add(std::string(field) + " must hold printable ASCII characters only (\"" + s + "\")");
        return;
      }
    }
  }
  void add(std::string m) { problems.push_back(std::move(m)); }
};

}  // namespace

std::vector<std::string> parameterProblems(const Parameters& p) {
  Checker c;
  c.wholeIn("trafficChannelDRCValue", p.trafficChannelDRCValue, 1, 12);
  c.wholeIn("trafficChannelPayload", p.trafficChannelPayload, 1, 6,
            p.trafficChannelPayload == 7
                ? " (type 7 is the user pattern, which the parameters have no field for)"
                : "");
  c.wholeIn("trafficChannelMACIndex", p.trafficChannelMACIndex, 5, 63);
  c.wholeIn("trafficChannelPackets", p.trafficChannelPackets, 1, 16);
  c.wholeIn("controlChannelDRCValue", p.controlChannelDRCValue, 1, 2);
  c.wholeIn("pilotOffsetIndex", p.pilotOffsetIndex, 0, 511);
  c.wholeIn("oversampleRatio", p.oversampleRatio, 2, 24);
  c.wholeIn("filterType", p.filterType, 1, 3);
  c.flag("phaseEqualizationActive", p.phaseEqualizationActive);
  c.flag("mirrorSpectrumActive", p.mirrorSpectrumActive);
  c.name("trafficChannelWaveformName", p.trafficChannelWaveformName);
  c.wholeAny("trafficChannelWaveformReps", p.trafficChannelWaveformReps);
  c.name("controlChannelWaveformName", p.controlChannelWaveformName);
  c.wholeAny("controlChannelWaveformReps", p.controlChannelWaveformReps);
  c.name("sequenceFileName", p.sequenceFileName);
  c.flag("autoCalculateReps", p.autoCalculateReps);
  if (!runtime::isWholeIn(p.ProjectedLength, 0, INFINITY))
    c.add("ProjectedLength must be a whole number of samples, 0 or more, not " +
          runtime::numToText(p.ProjectedLength));
  c.wholeIn("BandClass", p.BandClass, 0, 9);
  c.flag("TransmitterType", p.TransmitterType);
  if (!std::isfinite(p.ChannelNumber))
    c.add("ChannelNumber must be a finite number, not " + runtime::numToText(p.ChannelNumber));
  if (!(std::isfinite(p.Frequency) && p.Frequency > 0))
    c.add("Frequency must be a positive number of Hz, not " + runtime::numToText(p.Frequency));
  if (!runtime::isWholeIn(p.Amplitude, -136, 20))
    c.add("Amplitude must be a whole number of dBm from -136 to 20, not " +
          runtime::numToText(p.Amplitude));
  return c.problems;
}

void validateParameters(const Parameters& p) {
  const auto problems = parameterProblems(p);
  if (problems.empty()) return;
  std::string msg = "The parameters cannot be used:";
  for (const auto& m : problems)
    msg += "\n" + m;
  throw ParameterError(msg);
}

}  // namespace kelvane::app
