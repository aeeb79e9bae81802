// Conversions of the instrument records for by-name operations: the configuration,
// SigGenSettings and sequence element list, read by name (instrument/records_value.hpp).
#pragma once

#include <vector>

#include "instrument/records.hpp"
#include "instrument/records_value.hpp"
#include "registry/adapter.hpp"

namespace kelvane::registry {

// The records read by name. A configuration may lack fields (the transport needs only those of
// its connection kind); settings and sequence elements must be complete.
template <>
struct Convert<instrument::Configuration> {
  static instrument::Configuration from(const Value& v) {
    return instrument::configurationFromValue(v, instrument::MissingField::Default);
  }
  static Value to(const instrument::Configuration& c) { return instrument::toValue(c); }
};

template <>
struct Convert<instrument::SigGenSettings> {
  static instrument::SigGenSettings from(const Value& v) {
    return instrument::sigGenSettingsFromValue(v);
  }
  static Value to(const instrument::SigGenSettings& s) { return instrument::toValue(s); }
};

template <>
struct Convert<std::vector<instrument::SequenceElement>> {
  static std::vector<instrument::SequenceElement> from(const Value& v) {
    return instrument::sequenceElementsFromValue(v);
  }
  static Value to(const std::vector<instrument::SequenceElement>& e) {
    return instrument::toValue(e);
  }
};

}  // namespace kelvane::registry
