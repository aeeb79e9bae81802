// Conversions between the instrument records and the by-name values that hold them: the
// `configuration`, `SigGenSettings` and sequence element records. Values are written with their
// fields in record order and read by name, so a record with extra fields reads fine.
#pragma once

#include <span>
#include <vector>

#include "instrument/records.hpp"
#include "runtime/value.hpp"

namespace kelvane::instrument {

// What a reader does with an absent field: raise runtime::Error naming it, or keep the record's
// default. A field of the wrong kind is always an error, e.g.
// "configuration.GPIB.board must be a real number, got text".
enum class MissingField { Error, Default };

// {type, GPIB{board, primary, secondary}, RS232{port, baudrate, handshake},
//  TCPIP{address, board}, BBGtype, LastParameterFilename}
runtime::Value toValue(const Configuration& config);
Configuration configurationFromValue(const runtime::Value& v,
                                     MissingField missing = MissingField::Error);

// {Title, Frequency, Amplitude, SamplingRate, BBfilter, Scaling, ModAtten, RFblanking, ALC,
//  ArbRefSource, MarkerPolarity} and ReconFilter when it is set. ReconFilter is optional in
// either mode.
runtime::Value toValue(const SigGenSettings& settings);
SigGenSettings sigGenSettingsFromValue(const runtime::Value& v,
                                       MissingField missing = MissingField::Error);

// {waveformName, repetitions, marker1, marker2}
runtime::Value toValue(const SequenceElement& element);
SequenceElement sequenceElementFromValue(const runtime::Value& v);

// A 1 x n record array of sequence elements (empty for none).
runtime::Value toValue(std::span<const SequenceElement> elements);
// Reads a record array or a list of records; an empty value is an empty list.
std::vector<SequenceElement> sequenceElementsFromValue(const runtime::Value& v);

}  // namespace kelvane::instrument
