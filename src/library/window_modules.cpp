#include "library/window_modules.hpp"

#include <initializer_list>

namespace kelvane::library {

namespace {

struct Op {
  const char* name;
  int maxInputs;
  int maxOutputs;
};

struct Module {
  const char* name;
  std::initializer_list<Op> operations;
  std::initializer_list<const char*> callbacks;
};

// 32 + 8 + 16 + 11 + 23 + 32 entries.
const std::initializer_list<Module> kModules = {
    {"Qarn_FTM_GUI_c",
     {{"InitializeFigures", 0, 1},
      {"InitializeAppInfo", 0, 0},
      {"InitializeConfiguration", 0, 0},
      {"InitializeSigGenSettings", 0, 0},
      {"InitializeParameters", 0, 0},
      {"InitializeFigure", 1, 0},
      {"redraw", 1, 0},
      {"redrawFormatParameters", 1, 0},
      {"validateFileNameText", 2, 1},
      {"validateTextFieldParseInt", 3, 1},
      {"areWaveformsReady", -4, 1}},
     {"trafficChannelDataRate_Callback",
      "trafficChannelPayload_Callback",
      "trafficChannelMACIndex_Callback",
      "trafficChannelPackets_Callback",
      "pilotOffsetIndex_Callback",
      "controlChannelDataRate_Callback",
      "trafficWaveformName_Callback",
      "controlWaveformName_Callback",
      "trafficWaveformReps_Callback",
      "controlWaveformReps_Callback",
      "sequenceFile_Callback",
      "oversampleRatio_Callback",
      "filterType_Callback",
      "phaseEqualization_Callback",
      "mirrorSpectrum_Callback",
      "autoCalculateReps_Callback",
      "calculateButton_Callback",
      "downloadButton_Callback",
      "refreshButton_Callback",
      "CDMAFrequency_Callback",
      "AmplitudeTextField_Callback"}},
    {"Velconfig_c",
     {{"InitializeSigGenScreenObjects", 1, 0},
      {"redrawSigGenSettings", 1, 0},
      {"updateFrequency", 1, 0}},
     {"txtFrequency_Callback", "pdFrequencyUnits_Callback", "txtAmplitude_Callback",
      "txtWaveformTitle_Callback", "pbAdvancedSettings_Callback"}},
    {"VelConfigAdv_c",
     {{"defaultSettings", 0, 0},
      {"InitializeFigure", 1, 0},
      {"redrawAll", 1, 0},
      {"updateSamplingRate", 1, 0}},
     {"pdBBfilter_Callback", "chkRFblanking_Callback", "chkALC_Callback", "chkBBrefSource_Callback",
      "chkMarkerPolarity_Callback", "pdSamplingRateUnits_Callback", "txtSamplingRate_Callback",
      "txtScaling_Callback", "txtModAtten_Callback", "pbOK_Callback", "pbCancel_Callback",
      "closeFig_Callback"}},
    {"Qarn_ChannelNumberToFreqGUI",
     {{"calculateFrequency", 1, 1},
      {"getParametersFromUI", 1, 3},
      {"getPreferences", 0, 3},
      {"setPreferences", 3, 0}},
     {"AN_RadioButtonCallback", "AT_RadioButtonCallback", "ApplyButton_Callback",
      "BandClassComboBox_Callback", "CancelButton_Callback", "ChannelNumberTextField_Callback",
      "CDMAFreqDialog_CloseRequestFcn"}},
    {"KR_SigGen",
     {{"EnableGuiObjects", 1, 0},
      {"UpdateIoAddress", 1, 0},
      {"ConvertStringToIndex", 2, 1},
      {"ConvertIndexToString", 2, 1},
      {"UpdateGuiObjects", 2, 0},
      {"UpdateConnectionSelections", 2, 1},
      {"UpdateConfig", 1, 1},
      {"UpdateRS232HandShakingToolTip", 1, 0},
      {"addControls", 2, 1},
      {"showControls", 1, 0},
      {"reStructureConfig", 2, 1},
      {"initConfig", 1, 1}},
     {"pmConnection_Callback", "pbCheckHardware_Callback", "pbOK_Callback", "pbCancel_Callback",
      "pmGpibBoard_Callback", "pmPrimaryAddress_Callback", "pmSecondaryAddress_Callback",
      "pmPortNumber_Callback", "pmBaudRate_Callback", "pmHandShake_Callback",
      "editTCPIPAddress_Callback"}},
    {"rfCommonUI",
     {{"InitializeFigure", 1, 0},
      {"redrawAppTitle", 1, 0},
      {"executeCalculation", 1, 0},
      {"addFileExtention", 2, 1},
      {"saveParameters", 2, 0},
      {"saveWaveform", 1, 0},
      {"loadParameters", 2, 1},
      {"checkWaveformReady", 2, 1},
      {"AppShutDown", 0, 0},
      {"saveConfig", 1, 0},
      {"loadConfig", 0, 1}},
     {"menuFileNew_Callback",
      "menuFileOpen_Callback",
      "menuFileSave_Callback",
      "menuFileSaveAs_Callback",
      "menuFileExportData_Callback",
      "menuFileExit_Callback",
      "menuPlotSpectrum_Callback",
      "menuPlotWaterfall_Callback",
      "menuPlotIQTime_Callback",
      "menuPlotIQTimeSameAxes_Callback",
      "menuPlotEyeDiagram_Callback",
      "menuPlotScatterDiagram_Callback",
      "menuPlotCCDF_Callback",
      "menuConfigSigGenIO_Callback",
      "menuConfigBBG1Opt1_Callback",
      "menuConfigBBG1Opt2_Callback",
      "menuSpecialSaveWave_Callback",
      "menuHelpAbout_Callback",
      "pbCalculate_Callback",
      "pbDownload_Callback",
      "pbRefresh_Callback"}},
};

void declareIfAbsent(registry::Table& t, const char* name, int in, int out) {
  if (!t.find(name)) t.declare(name, in, out);
}

}  // namespace

void declareWindowModules(registry::Library& lib) {
  for (const Module& m : kModules) {
    registry::Table& t = lib.module(m.name);
    for (const Op& op : m.operations)
      declareIfAbsent(t, op.name, op.maxInputs, op.maxOutputs);
    for (const char* cb : m.callbacks)
      declareIfAbsent(t, cb, kCallbackInputs, kCallbackOutputs);
  }
}

}  // namespace kelvane::library
