// The application-wide records: appInfo, parameters and figureList, with their start-up values
// and their conversions to and from the by-name record form (named variables, parameter files,
// compareStruct). Fields are declared in their record order, which is also the order of the
// converted records.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "runtime/value.hpp"

namespace kelvane::app {

inline constexpr const char* kParameterFileFormatId = "Qarn-FTM - Format 1.0";
inline constexpr const char* kDefaultTrafficName = "QarnFTM-Traffic";
inline constexpr const char* kDefaultControlName = "QarnFTM-Control";
inline constexpr const char* kDefaultSequenceName = "QarnFTM-Sequence";
// The ARB's sample clock is a whole multiple of the chip rate.
inline constexpr double kChipRate = 1228800;

// The waveform parameters edited in the main window, with their start-up values, in record
// order. Numbers are doubles as the record holds them (a loaded file may hold any number); the
// kind, range, unit and meaning of every field are in the parameter table (parameter_table.hpp),
// which validation reads to decide what the signal chain can serve.
struct Parameters {
  std::string ParameterFileFormat_ID = kParameterFileFormatId;
  double trafficChannelDRCValue = 4;
  double trafficChannelPayload = 5;
  double trafficChannelMACIndex = 7;
  double trafficChannelPackets = 8;
  double controlChannelDRCValue = 1;
  double pilotOffsetIndex = 0;
  double oversampleRatio = 5;
  double filterType = 2;
  double phaseEqualizationActive = 1;
  double mirrorSpectrumActive = 0;
  std::string trafficChannelWaveformName = kDefaultTrafficName;
  double trafficChannelWaveformReps = 44;
  std::string controlChannelWaveformName = kDefaultControlName;
  double controlChannelWaveformReps = 1;
  std::string sequenceFileName = kDefaultSequenceName;
  double autoCalculateReps = 1;
  double ProjectedLength = 819200;
  double BandClass = 1;
  double TransmitterType = 1;
  double ChannelNumber = 500;
  double Frequency = 1955000000;  // InitializeParameters derives it from the channel
  double Amplitude = -30;
};

// Information about the application and bookkeeping of the last calculation.
struct AppInfo {
  std::string Name = "Kelvane";
  std::string Platform = "c";
  double IsRelease = 1;
  std::string Rev = "A.02.01.045";
  std::string Date = "04-Apr-2002";
  std::string CopyrightMsg = "Copyright (c) 2002 The Kelvane developers.";
  std::string Notes = "Release Notes:";
  std::string NotesLine2 = "Kelvane signal generation for";
  std::string NotesLine3 = "Vel Q7710K series RF signal generators. This";
  std::string NotesLine4 = "application supports factory test mode for 1xEV";
  std::string NotesLine5 = "access terminals.";
  std::string NotesLine6 = "Waveforms follow the TIA/EIA IS-856 forward link.";
  std::string NotesLine7 = "Parameter files carry the format Qarn-FTM - Format 1.0.";
  std::string ApplicationFunction = "Qarn_FTM_GUI_c";
  std::string ParameterFileExtension = ".mat";
  std::vector<std::uint64_t> ClientWindows;  // window handles of open plot windows
  std::optional<Parameters> LastCaluclatedParameterSet;
  // Clock reading (year, month, day, hour, minute, seconds); none = nothing calculated yet.
  std::optional<std::array<double, 6>> LastCalcTimeStamp;
};

// Secondary windows of the main window.
struct FigureList {
  std::optional<std::uint64_t> AdvSettings;  // the hidden advanced settings dialog
};

// Conversions. Writing gives a 1 x 1 record with the fields in record order. Reading looks every
// field up by name and throws runtime::Error naming the record, the field and what was wrong (a
// missing field, a field of the wrong kind, a field the record does not have).
runtime::Value toValue(const Parameters& p);
runtime::Value toValue(const AppInfo& a);
runtime::Value toValue(const FigureList& f);
Parameters parametersFromValue(const runtime::Value& v, const std::string& name = "parameters");
AppInfo appInfoFromValue(const runtime::Value& v);
FigureList figureListFromValue(const runtime::Value& v);

// The field names of `parameters` in record order.
const std::vector<std::string>& parameterFieldNames();

}  // namespace kelvane::app
