// Conversions between the coding subsystem's typed forms and runtime Values: the modParams
// record (fields by name, in table order) and column-major matrices.
#pragma once

#include <array>
#include <complex>
#include <initializer_list>
#include <limits>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <variant>

#include "coding/matrix.hpp"
#include "coding/modparams.hpp"
#include "coding/modulation.hpp"
#include "registry/adapter.hpp"
#include "runtime/numbers.hpp"

namespace kelvane::library {

using runtime::Value;

// A member of ModParams: a count or key (int), a rate (double) or the modulation.
using ModParamsMember = std::variant<int coding::ModParams::*, double coding::ModParams::*,
                                     coding::Modulation coding::ModParams::*>;

// The record fields of modParams in their order, with the member each one holds.
inline constexpr std::array<std::pair<std::string_view, ModParamsMember>, 12> kModParamsFields{{
    {"drcValue", &coding::ModParams::drcValue},
    {"dataRate", &coding::ModParams::dataRate},
    {"slots", &coding::ModParams::slots},
    {"bits", &coding::ModParams::bits},
    {"codeRate", &coding::ModParams::codeRate},
    {"modulationType", &coding::ModParams::modulationType},
    {"preambleTDMChips", &coding::ModParams::preambleTDMChips},
    {"pilotTDMChips", &coding::ModParams::pilotTDMChips},
    {"macTDMChips", &coding::ModParams::macTDMChips},
    {"dataTDMChips", &coding::ModParams::dataTDMChips},
    {"modulationSymbolsProvided", &coding::ModParams::modulationSymbolsProvided},
    {"modulationSymbolsRequired", &coding::ModParams::modulationSymbolsRequired},
}};

// One field of the record into its member: a rate as it is, a count or key as a whole number, the
// modulation by its number (1 QPSK, 2 8-PSK, 3 16-QAM). A whole number that is none of the three
// is kept as it is: the operation refuses it where it reads the modulation, after its own earlier
// checks, as it always has.
inline void readModParamsField(const Value& field, coding::ModParams& m,
                               const ModParamsMember& member) {
  std::visit(
      [&](auto pointer) {
        auto& target = m.*pointer;
        using T = std::remove_reference_t<decltype(target)>;
        if constexpr (std::is_same_v<T, int>) {
          target = registry::Convert<int>::from(field);
        } else if constexpr (std::is_same_v<T, coding::Modulation>) {
          const double number = field.toDouble();
          target = runtime::isWholeIn(number, std::numeric_limits<int>::min(),
                                      std::numeric_limits<int>::max())
                       ? static_cast<coding::Modulation>(static_cast<int>(number))
                       : coding::modulationFor(number);  // refuses it, naming the three
        } else {
          target = field.toDouble();
        }
      },
      member);
}

// The fields `needed` of a modParams record, read by name; every other field is zero (the
// modulation then holds none of the three). For the operations that read only some fields (the
// scrambler reads drcValue alone). A needed field that its member cannot hold (a count or a
// modulation that is not a whole number) is refused naming modParams.<field>.
inline coding::ModParams modParamsFields(const Value& v,
                                         std::initializer_list<std::string_view> needed) {
  if (!v.isRecord() || v.numel() != 1)
    throw runtime::Error("modParams must be a 1 x 1 record, got " + v.kindName() + " " +
                         std::to_string(v.rows()) + " x " + std::to_string(v.cols()));
  coding::ModParams m{};
  for (const auto& [name, member] : kModParamsFields) {
    for (std::string_view want : needed) {
      if (want != name) continue;
      if (!v.hasField(name))
        throw runtime::Error("modParams has no field " + std::string(name) +
                             " (a DRC value without a packet format?)");
      try {
        readModParamsField(v.field(name), m, member);
      } catch (const std::exception& e) {
        throw runtime::Error("modParams." + std::string(name) + ": " + e.what());
      }
    }
  }
  return m;
}

}  // namespace kelvane::library

namespace kelvane::registry {

template <>
struct Convert<coding::ModParams> {
  static coding::ModParams from(const Value& v) {
    return library::modParamsFields(
        v, {"drcValue", "dataRate", "slots", "bits", "codeRate", "modulationType",
            "preambleTDMChips", "pilotTDMChips", "macTDMChips", "dataTDMChips",
            "modulationSymbolsProvided", "modulationSymbolsRequired"});
  }
  static Value to(const coding::ModParams& m) {
    Value record = Value::record();
    for (const auto& [name, member] : library::kModParamsFields)
      record.setField(
          name,
          std::visit([&m](auto field) { return Value::scalar(static_cast<double>(m.*field)); },
                     member));
    return record;
  }
};

// Matrices keep their shape in both directions (column-major on both sides).
template <>
struct Convert<coding::Matrix<double>> {
  static coding::Matrix<double> from(const Value& v) {
    std::vector<double> data = v.toDoubles();
    return {v.rows(), v.cols(), std::move(data)};
  }
  static Value to(coding::Matrix<double> m) {
    return Value::matrix(m.rows, m.cols, std::move(m.data));
  }
};

template <>
struct Convert<coding::Matrix<std::complex<double>>> {
  static coding::Matrix<std::complex<double>> from(const Value& v) {
    std::vector<std::complex<double>> data = v.toComplex();
    return {v.rows(), v.cols(), std::move(data)};
  }
  static Value to(coding::Matrix<std::complex<double>> m) {
    return Value::complexMatrix(m.rows, m.cols, std::move(m.data));
  }
};

}  // namespace kelvane::registry
