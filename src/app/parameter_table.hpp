// The one table of the waveform parameters (the `parameters` record): every field with its kind,
// start-up value, accepted range or choices, unit and meaning, in record order. The record's
// conversions, the validation, the command line's --set and parameter reference, and the
// window's controls and tool tips all read it; no other place lists the fields.
#pragma once

#include <limits>
#include <span>
#include <string>
#include <string_view>
#include <variant>

#include "app/records.hpp"
#include "runtime/value.hpp"

namespace kelvane::app {

// The characters an instrument file name must not hold (the ones the name fields remove), and
// its longest length.
inline constexpr std::string_view kForbiddenNameCharacters = " !\"#$%&'()*+,/:;<=>?@[\\]^`{|}~";
inline constexpr std::size_t kMaxInstrumentNameLength = 23;

// The carrier range of the signal generator, in Hz.
inline constexpr double kMinFrequency = 100e3;
inline constexpr double kMaxFrequency = 6e9;

enum class ParameterKind {
  Text,    // free text (the file format identifier)
  Name,    // an instrument file name: 1 to 23 printable ASCII characters, none forbidden
  Flag,    // 0 or 1
  Whole,   // a whole number from `lower` to `upper`; an infinite bound does not limit
  Choice,  // one of `choices`, by its number
  Number,  // a finite number from `lower` (excluded when `lowerOpen`) to `upper`
};

// One entry of a choice (or flag) field. An entry with a `refusal` is a value the field may
// hold by name but the signal chain cannot serve; windows do not offer it.
struct ParameterChoice {
  double value;
  std::string label;
  std::string refusal;
};

using ParameterMember = std::variant<double Parameters::*, std::string Parameters::*>;

struct ParameterSpec {
  std::string_view name;
  ParameterMember member;
  ParameterKind kind;
  double lower = -std::numeric_limits<double>::infinity();
  double upper = std::numeric_limits<double>::infinity();
  bool lowerOpen = false;
  std::span<const ParameterChoice> choices;  // Choice and Flag fields
  std::string_view unit;                     // "Hz", "dBm", "samples"; empty for counts and codes
  std::string_view meaning;                  // one line

  bool isText() const { return std::holds_alternative<std::string Parameters::*>(member); }
  double number(const Parameters& p) const { return p.*std::get<double Parameters::*>(member); }
  const std::string& text(const Parameters& p) const {
    return p.*std::get<std::string Parameters::*>(member);
  }
  // The value of this field in `p`, as the record holds it.
  runtime::Value valueIn(const Parameters& p) const;
  // The entry of `value` among the choices, or nullptr.
  const ParameterChoice* choice(double value) const;
};

// The 23 fields in record order.
std::span<const ParameterSpec> parameterTable();
// The field named `name` (exact, case-sensitive), or nullptr.
const ParameterSpec* findParameter(std::string_view name);

// The start-up value of a field (the start-up carrier is derived from the start-up channel).
runtime::Value startupValue(const ParameterSpec& spec);

// What the field accepts, for lists and tool tips, e.g. "5 to 63", "0 or 1", "-136 to 20 dBm",
// "any whole number"; the labels of choice fields are in `choices`.
std::string acceptedText(const ParameterSpec& spec);

// Why `p` holds a value of this field the chain cannot serve, or "" when it can. The message
// names the field, the accepted range and the value found, e.g. "oversampleRatio must be a
// whole number from 2 to 24, not 25".
std::string problemOf(const ParameterSpec& spec, const Parameters& p);

}  // namespace kelvane::app
