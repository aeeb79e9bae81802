#include "app/parameter_table.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <vector>

#include "app/state.hpp"
#include "coding/modparams.hpp"
#include "runtime/numbers.hpp"
#include "runtime/text.hpp"

namespace kelvane::app {

using runtime::numToText;
using runtime::Value;

namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();
// The sequence command prints the repetition counts as 32-bit integers; the window takes any
// count in between (0 and negative counts included) and leaves the judgement to the instrument.
constexpr double kMinRepetitions = std::numeric_limits<std::int32_t>::min();
constexpr double kMaxRepetitions = std::numeric_limits<std::int32_t>::max();

// The DRC entries come from the format table: "DRC 4: 307.2 kbit/s, 2 slots".
std::vector<ParameterChoice> drcChoices(std::size_t count) {
  std::vector<ParameterChoice> c;
  for (std::size_t i = 0; i < count; ++i) {
    const auto& f = coding::FwdTrfChnModParamsTable[i];
    c.push_back({static_cast<double>(i + 1),
                 "DRC " + std::to_string(i + 1) + ": " + numToText(f.dataRate) + " kbit/s, " +
                     numToText(f.slots) + (f.slots == 1 ? " slot" : " slots"),
                 ""});
  }
  return c;
}

const std::vector<ParameterChoice>& trafficDrcChoices() {
  static const auto c = drcChoices(coding::FwdTrfChnModParamsTable.size());
  return c;
}

// The control channel runs at DRC 1 or 2 only.
const std::vector<ParameterChoice>& controlDrcChoices() {
  static const auto c = drcChoices(2);
  return c;
}

const std::vector<ParameterChoice> kPayloadChoices = {
    {1, "all zeros", ""},
    {2, "all ones", ""},
    {3, "0 1 0 1 ...", ""},
    {4, "1 0 1 0 ...", ""},
    {5, "PN9", ""},
    {6, "PN15", ""},
    {7, "user pattern", "type 7 is the user pattern, which the parameters have no field for"},
};

const std::vector<ParameterChoice> kFilterChoices = {
    {1, "rectangular hold", ""},
    {2, "IS-95 standard", ""},
    {3, "IS-95 ACP (deeper stopband)", ""},
};

const std::vector<ParameterChoice> kOnOff = {{0, "off", ""}, {1, "on", ""}};

const std::vector<ParameterChoice> kTransmitterChoices = {
    {0, "access terminal (reverse link)", ""},
    {1, "access network (forward link)", ""},
};

const std::vector<ParameterChoice> kBandClassChoices = {
    {0, "800 MHz cellular", ""},
    {1, "1.9 GHz PCS", ""},
    {2, "TACS", ""},
    {3, "JTACS", ""},
    {4, "Korean PCS", ""},
    {5, "450 MHz", ""},
    {6, "2 GHz IMT-2000", ""},
    {7, "700 MHz", ""},
    {8, "1800 MHz", ""},
    {9, "900 MHz", ""},
};

using P = Parameters;
using K = ParameterKind;

// The choice fields take their bounds from their offered entries.
ParameterSpec choiceField(std::string_view name, double P::*member,
                          const std::vector<ParameterChoice>& choices, std::string_view meaning) {
  double lo = kInf, hi = -kInf;
  for (const auto& c : choices) {
    if (!c.refusal.empty()) continue;
    lo = std::min(lo, c.value);
    hi = std::max(hi, c.value);
  }
  return {name, member, K::Choice, lo, hi, false, choices, "", meaning};
}

ParameterSpec flagField(std::string_view name, double P::*member,
                        const std::vector<ParameterChoice>& choices, std::string_view meaning) {
  return {name, member, K::Flag, 0, 1, false, choices, "", meaning};
}

// The fields in record order.
const std::vector<ParameterSpec> kTable = {
    {"ParameterFileFormat_ID",
     &P::ParameterFileFormat_ID,
     K::Text,
     -kInf,
     kInf,
     false,
     {},
     "",
     "identifier of the parameter file format"},
    choiceField("trafficChannelDRCValue", &P::trafficChannelDRCValue, trafficDrcChoices(),
                "traffic channel data rate as an IS-856 DRC index"),
    choiceField("trafficChannelPayload", &P::trafficChannelPayload, kPayloadChoices,
                "payload test data of the traffic packets"),
    {"trafficChannelMACIndex",
     &P::trafficChannelMACIndex,
     K::Whole,
     5,
     63,
     false,
     {},
     "",
     "MAC index of the traffic packets"},
    {"trafficChannelPackets",
     &P::trafficChannelPackets,
     K::Whole,
     1,
     16,
     false,
     {},
     "",
     "physical layer packets in the traffic waveform"},
    choiceField("controlChannelDRCValue", &P::controlChannelDRCValue, controlDrcChoices(),
                "control channel data rate as a DRC index"),
    {"pilotOffsetIndex",
     &P::pilotOffsetIndex,
     K::Whole,
     0,
     511,
     false,
     {},
     "",
     "PN offset index of the sector, in units of 64 chips"},
    {"oversampleRatio",
     &P::oversampleRatio,
     K::Whole,
     2,
     24,
     false,
     {},
     "",
     "samples per chip; the sample clock is 1228800 Hz times this"},
    choiceField("filterType", &P::filterType, kFilterChoices, "baseband filter"),
    flagField("phaseEqualizationActive", &P::phaseEqualizationActive, kOnOff,
              "phase equalizer applied to the filtered samples"),
    flagField("mirrorSpectrumActive", &P::mirrorSpectrumActive, kOnOff,
              "spectrum orientation handed to the synthesis"),
    {"trafficChannelWaveformName",
     &P::trafficChannelWaveformName,
     K::Name,
     -kInf,
     kInf,
     false,
     {},
     "",
     "name of the traffic waveform in the instrument"},
    {"trafficChannelWaveformReps",
     &P::trafficChannelWaveformReps,
     K::Whole,
     kMinRepetitions,
     kMaxRepetitions,
     false,
     {},
     "",
     "repetitions of the traffic waveform in the sequence"},
    {"controlChannelWaveformName",
     &P::controlChannelWaveformName,
     K::Name,
     -kInf,
     kInf,
     false,
     {},
     "",
     "name of the control waveform in the instrument"},
    {"controlChannelWaveformReps",
     &P::controlChannelWaveformReps,
     K::Whole,
     kMinRepetitions,
     kMaxRepetitions,
     false,
     {},
     "",
     "repetitions of the control waveform in the sequence"},
    {"sequenceFileName",
     &P::sequenceFileName,
     K::Name,
     -kInf,
     kInf,
     false,
     {},
     "",
     "name of the waveform sequence in the instrument"},
    flagField("autoCalculateReps", &P::autoCalculateReps, kOnOff,
              "repetitions derived so that the sequence fills at most 48 frames"),
    {"ProjectedLength",
     &P::ProjectedLength,
     K::Whole,
     0,
     kInf,
     false,
     {},
     "samples",
     "length of one control and one traffic waveform (derived)"},
    choiceField("BandClass", &P::BandClass, kBandClassChoices, "CDMA band class"),
    flagField("TransmitterType", &P::TransmitterType, kTransmitterChoices,
              "side whose transmit band the channel number names"),
    {"ChannelNumber",
     &P::ChannelNumber,
     K::Number,
     -kInf,
     kInf,
     false,
     {},
     "",
     "CDMA channel number within the band class"},
    {"Frequency",
     &P::Frequency,
     K::Number,
     kMinFrequency,
     kMaxFrequency,
     false,
     {},
     "Hz",
     "RF carrier (the signal generator's range)"},
    {"Amplitude", &P::Amplitude, K::Whole, -136, 20, false, {}, "dBm", "RF output power"},
};

std::string ofUnit(const ParameterSpec& s) {
  return s.unit.empty() ? "" : " of " + std::string(s.unit);
}

// " from 5 to 63", ", 0 or more", or "" for unbounded fields.
std::string boundsText(const ParameterSpec& s) {
  const bool lo = std::isfinite(s.lower), hi = std::isfinite(s.upper);
  if (lo && hi) return " from " + numToText(s.lower) + " to " + numToText(s.upper);
  if (lo) return ", " + numToText(s.lower) + " or more";
  if (hi) return ", " + numToText(s.upper) + " or less";
  return "";
}

bool inBounds(const ParameterSpec& s, double x) {
  return std::isfinite(x) && (s.lowerOpen ? x > s.lower : x >= s.lower) && x <= s.upper;
}

std::string nameProblem(const ParameterSpec& spec, const std::string& s) {
  const std::string field(spec.name);
  if (s.empty()) return field + " must not be empty";
  if (s.size() > kMaxInstrumentNameLength)
    return field + " must have 1 to 23 characters, not " + std::to_string(s.size()) + " (\"" + s +
           "\")";
  for (char c : s) {
    const auto u = static_cast<unsigned char>(c);
    if (kForbiddenNameCharacters.find(c) != std::string_view::npos)
      return field + " must not hold the character '" + std::string(1, c) + "' (\"" + s + "\")";
    if (u < 0x20 || u >= 0x7F)
      return field + " must hold printable ASCII characters only (\"" + s + "\")";
  }
  return "";
}

std::string numberProblem(const ParameterSpec& spec, double x) {
  const std::string head = std::string(spec.name) + " must be ";
  const std::string found = ", not " + numToText(x);
  switch (spec.kind) {
    case K::Flag:
      return x == 0 || x == 1 ? "" : head + "0 or 1" + found;
    case K::Whole:
    case K::Choice: {
      const ParameterChoice* c = spec.choice(x);
      const bool ok = runtime::isWholeIn(x, spec.lower, spec.upper) &&
                      (spec.kind == K::Whole || (c && c->refusal.empty()));
      if (ok) return "";
      const std::string why = c && !c->refusal.empty() ? " (" + c->refusal + ")" : "";
      return head + "a whole number" + ofUnit(spec) + boundsText(spec) + found + why;
    }
    case K::Number: {
      if (inBounds(spec, x)) return "";
      if (spec.lowerOpen && spec.lower == 0 && !std::isfinite(spec.upper))
        return head + "a positive number" + ofUnit(spec) + found;
      return head + "a finite number" + ofUnit(spec) + boundsText(spec) + found;
    }
    default:
      return "";
  }
}

}  // namespace

Value ParameterSpec::valueIn(const Parameters& p) const {
  return isText() ? Value::text(text(p)) : Value::scalar(number(p));
}

const ParameterChoice* ParameterSpec::choice(double value) const {
  for (const auto& c : choices)
    if (c.value == value) return &c;
  return nullptr;
}

std::span<const ParameterSpec> parameterTable() {
  return kTable;
}

const ParameterSpec* findParameter(std::string_view name) {
  for (const auto& s : kTable)
    if (s.name == name) return &s;
  return nullptr;
}

Value startupValue(const ParameterSpec& spec) {
  return spec.valueIn(startupParameters());
}

std::string acceptedText(const ParameterSpec& spec) {
  const std::string unit = spec.unit.empty() ? "" : " " + std::string(spec.unit);
  switch (spec.kind) {
    case K::Text:
      return "text";
    case K::Name:
      return "1 to 23 characters: letters, digits, - . _";
    case K::Flag:
      return "0 or 1";
    case K::Whole:
    case K::Choice:
      if (std::isfinite(spec.lower) && std::isfinite(spec.upper))
        return numToText(spec.lower) + " to " + numToText(spec.upper) + unit;
      if (std::isfinite(spec.lower)) return numToText(spec.lower) + " or more" + unit;
      return "any whole number" + unit;
    case K::Number:
      if (spec.lowerOpen && !std::isfinite(spec.upper))
        return "above " + numToText(spec.lower) + unit;
      if (std::isfinite(spec.lower) && std::isfinite(spec.upper))
        return numToText(spec.lower) + " to " + numToText(spec.upper) + unit;
      return "any number" + unit;
  }
  return "";
}

std::string problemOf(const ParameterSpec& spec, const Parameters& p) {
  if (spec.kind == K::Name) return nameProblem(spec, spec.text(p));
  if (spec.isText()) return "";
  return numberProblem(spec, spec.number(p));
}

}  // namespace kelvane::app
