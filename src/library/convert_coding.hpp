// Conversions between the coding subsystem's typed forms and runtime Values: the modParams
// record (fields by name, in table order) and column-major matrices.
#pragma once

#include <array>
#include <complex>
#include <initializer_list>
#include <limits>
#include <string>
#include <string_view>
#include <utility>

#include "coding/matrix.hpp"
#include "coding/modparams.hpp"
#include "registry/adapter.hpp"

namespace kelvane::library {

using runtime::Value;

// The record fields of modParams in their order, with the member each one holds.
inline constexpr std::array<std::pair<std::string_view, double coding::ModParams::*>, 12>
    kModParamsFields{{
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

// The fields `needed` of a modParams record, read by name; every other field is NaN. For the
// operations that read only some fields (the scrambler reads drcValue alone).
inline coding::ModParams modParamsFields(const Value& v,
                                         std::initializer_list<std::string_view> needed) {
  if (!v.isRecord() || v.numel() != 1)
    throw runtime::Error("modParams must be a 1 x 1 record, got " + v.kindName() + " " +
                         std::to_string(v.rows()) + " x " + std::to_string(v.cols()));
  coding::ModParams m{};
  for (const auto& [name, member] : kModParamsFields) {
    m.*member = std::numeric_limits<double>::quiet_NaN();
    for (std::string_view want : needed) {
      if (want != name) continue;
      if (!v.hasField(name))
        throw runtime::Error("modParams has no field " + std::string(name) +
                             " (a DRC value without a packet format?)");
      try {
        m.*member = v.field(name).toDouble();
      } catch (const runtime::Error& e) {
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
    return library::modParamsFields(v,
                           {"drcValue", "dataRate", "slots", "bits", "codeRate", "modulationType",
                            "preambleTDMChips", "pilotTDMChips", "macTDMChips", "dataTDMChips",
                            "modulationSymbolsProvided", "modulationSymbolsRequired"});
  }
  static Value to(const coding::ModParams& m) {
    Value record = Value::record();
    for (const auto& [name, member] : library::kModParamsFields)
      record.setField(name, Value::scalar(m.*member));
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
