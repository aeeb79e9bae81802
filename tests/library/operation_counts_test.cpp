// The library's 115 operations with their documented counts: the registry's declarations
// against a list written here from the documented interfaces, and every operation built in the
// desktop library (the command-line tool builds all but the window operations).
#include <gtest/gtest.h>

#include <array>
#include <string_view>

#include "library/binders.hpp"
#include "library/byname.hpp"
#include "registry/registry.hpp"

namespace kelvane::registry {
namespace {

struct Counts {
  std::string_view name;
  int inputs;
  int outputs;
};

// In the registry's order, written from the documented interfaces rather than read from the
// registry. Where the counts come from:
// - The module table: Qarn_FTM_c (0, 0); the dispatchers and external modules (-1, -1); the
//   dialogs returning (response, config) (-1, 2); Qarn_FwdModulatedWaveform (10, 2); the
//   instrument I/O; the turbo coder's parts; remez2 (-4, 3); lfsr; the six plot windows; buffer.
// - The signal chain, coding, instrument and file operations (e.g. Qarn_FwdTrfChnModParams
//   (1, 1), Qarn_ChannelNumberToFrequency (3, 1), saveMornathWaveform (3, 1), applyDacRes (2, 1),
//   clock2str (1, 1)).
// - The window helpers: KR_Splash () -> handle and "called with any argument it does nothing"
//   (-1, 1); loadFigure (2, 1), positionChildWindow (2, 0), resizeAllFonts (1, 0), KR_About
//   (2, 0), openfig (2, 1), guihandles (1, 1), guidata (2, 1), imread (file, "jpg") -> image
//   (2, 1), readjpg, which imread hands the file name and which returns the image (1, 1),
//   movegui (window, position) (2, 0), isvarname and iskeyword (1, 1); KR_AddMenu (1, 1).
// - The plot frame: KR_Zoom and KR_Rotate take no inputs and give none (0, 0);
//   eyediagram(x, n, period, offset, plotstring, h) -> figure (6, 1), scatterplot(x, n, offset,
//   plotstring, h) -> figure (5, 1).
// - The generic routines, in their standard forms: subplot, title, xlabel, ylabel, clf and
//   waterfall (a variable list, one output), freqz (-1, -1), freqzplot (-1, 0), psdoptions
//   (-1, -1), datawrap (x, n) and dividenowarn (num, den) (2, 1), buffer (-1, -1), db (-1, 1).
constexpr std::array<Counts, 115> kDocumentedCounts{{
    {"Qarn_FTM_c", 0, 0},
    {"Qarn_FTM_GUI_c", -1, -1},
    {"KR_AddMenu", 1, 1},
    {"KR_Splash", -1, 1},
    {"VelCreateWaveformSequence_c", 3, 2},
    {"VelDownLoadWrap", 4, 2},
    {"VelPlayWaveformSequence_c", 3, 2},
    {"Velconfig_c", -1, -1},
    {"VelConfigAdv_c", -1, 2},
    {"GenerateBitStream", 3, 1},
    {"Qarn_ChannelNumberToFreqGUI", -1, -1},
    {"Qarn_ChannelNumberToFrequency", 3, 1},
    {"Qarn_FwdModulatedWaveform", 10, 2},
    {"Qarn_FwdSyncMessagePacket", 1, 1},
    {"Qarn_FwdTrfChnModParams", 1, 1},
    {"Qarn_FwdTrfPhysicalLayerPacket", 1, 1},
    {"compareStruct", 2, 1},
    {"guihandles", 1, 1},
    {"loadFigure", 2, 1},
    {"resizeAllFonts", 1, 0},
    {"rfCommonUI", -1, -1},
    {"guidata", 2, 1},
    {"imread", 2, 1},
    {"openfig", 2, 1},
    {"positionChildWindow", 2, 0},
    {"hwReturnLocal", 1, 2},
    {"hwSend", 2, 2},
    {"hwDownload", 6, 2},
    {"hwQuery", 2, 2},
    {"PNgenerator", 5, 1},
    {"extendVector", 2, 1},
    {"Qarn_BasebandFilter", 3, 1},
    {"Qarn_FwdMACslot", 4, 1},
    {"Qarn_FwdPhaseEq", 2, 1},
    {"Qarn_FwdPilot", 0, 1},
    {"Qarn_FwdQuadSpreading", 2, 1},
    {"Qarn_FwdTrfChn", 6, 1},
    {"Qarn_FwdTrfPreamble", 2, 1},
    {"upsample", 2, 1},
    {"upsampleMarker", 2, 1},
    {"Qarn_PhysicalLayerFCS", 1, 1},
    {"de2bi", 3, 1},
    {"isvarname", 1, 1},
    {"KR_About", 2, 0},
    {"KR_PlotCCDF", 3, 1},
    {"KR_PlotEyeDiagram", 6, 1},
    {"KR_PlotIQTime", 5, 1},
    {"KR_PlotScatterDiagram", 6, 1},
    {"KR_PlotSpectrum", 4, 1},
    {"KR_PlotWaterfall", 5, 1},
    {"KR_SigGen", -1, 2},
    {"VelPlay", 3, 2},
    {"VelPlay_c", 3, 2},
    {"applyDacRes", 2, 1},
    {"clock2str", 1, 1},
    {"saveMornathWaveform", 3, 1},
    {"readjpg", 1, 1},
    {"movegui", 2, 0},
    {"formatconfig", 1, 1},
    {"hwIO", -1, -1},
    {"lfsr", 4, 1},
    {"FilterCoeff_IS95_Acp", 1, 1},
    {"FilterCoeff_IS95_Std", 1, 1},
    {"Qarn_Repeat", 2, 1},
    {"Qarn_SignalMap", 1, 1},
    {"Qarn_WalshCover", 2, 1},
    {"Qarn_WalshMatrix", 1, 1},
    {"circularShift", 4, 1},
    {"eqlrfilt", 1, 2},
    {"CircularShiftRight", 2, 1},
    {"Qarn_PNiSequence", 1, 1},
    {"Qarn_PNqSequence", 1, 1},
    {"Qarn_FwdChannelInterleaver", 2, 1},
    {"Qarn_FwdEncoder", 2, 1},
    {"Qarn_FwdScrambler", 3, 1},
    {"Qarn_FwdTrfChnGain", 1, 1},
    {"Qarn_FwdTrfDemux", 1, 1},
    {"Qarn_FwdTrfModulator", 2, 1},
    {"Qarn_FwdTrfRepSeq", 2, 1},
    {"Qarn_FwdTrfSummer", 1, 1},
    {"Qarn_FwdTrfWalshCover", 1, 1},
    {"iskeyword", 1, 1},
    {"KR_Rotate", 0, 0},
    {"KR_Zoom", 0, 0},
    {"eyediagram", 6, 1},
    {"subplot", -1, 1},
    {"scatterplot", 5, 1},
    {"waterfall", -1, 1},
    {"VerifyComm", 1, 2},
    {"rjpgc", -1, -1},
    {"remez2", -4, 3},
    {"bilinear", 4, 2},
    {"title", -1, 1},
    {"xlabel", -1, 1},
    {"ylabel", -1, 1},
    {"Qarn_FwdSymbolPermuter", 4, 1},
    {"Qarn_TurboCoder", 2, 1},
    {"Qarn_IQmap", 2, 1},
    {"clf", -1, 1},
    {"hwPing", 1, 2},
    {"firchk", 3, 3},
    {"freqz", -1, -1},
    {"remezfrf", 6, 2},
    {"remezmex", -1, -1},
    {"bi2de", 2, 1},
    {"Qarn_ConstituentEncoder", 1, 3},
    {"Qarn_TurboInterleaver", 1, 1},
    {"Qarn_TurboPuncturing", 7, 1},
    {"datawrap", 2, 1},
    {"signal/private/dividenowarn", 2, 1},
    {"freqzplot", -1, 0},
    {"psdoptions", -1, -1},
    {"reverseBits", 2, 1},
    {"buffer", -1, -1},
    {"signal/private/db", -1, 1},
}};

TEST(OperationCounts, TheRegistryDeclaresTheDocumentedCounts) {
  const auto declared = libraryDeclarations();
  ASSERT_EQ(declared.size(), kDocumentedCounts.size());
  for (std::size_t i = 0; i < declared.size(); ++i) {
    EXPECT_EQ(declared[i].name, kDocumentedCounts[i].name) << "position " << i + 1;
    EXPECT_EQ(declared[i].maxInputs, kDocumentedCounts[i].inputs) << kDocumentedCounts[i].name;
    EXPECT_EQ(declared[i].maxOutputs, kDocumentedCounts[i].outputs) << kDocumentedCounts[i].name;
  }
}

TEST(OperationCounts, EveryOperationIsBuiltInTheDesktopLibrary) {
  Qarn_FTM_c_libInitialize();
  const auto& entries = library().operations().entries();
  ASSERT_EQ(entries.size(), 115u);
  for (std::size_t i = 0; i < entries.size(); ++i) {
    EXPECT_TRUE(entries[i].built()) << entries[i].name;
    EXPECT_EQ(entries[i].maxInputs, kDocumentedCounts[i].inputs) << entries[i].name;
    EXPECT_EQ(entries[i].maxOutputs, kDocumentedCounts[i].outputs) << entries[i].name;
  }
  Qarn_FTM_c_libTerminate();
}

TEST(OperationCounts, TheCoreBuildsEveryOperationButTheWindowOnes) {
  library::initializeCore();
  for (const auto& e : library().operations().entries())
    EXPECT_NE(e.built(), library::isWindowOperation(e.name)) << e.name;
  terminate();
}

TEST(OperationCounts, ReadjpgTakesTheFileNameAndGivesTheImage) {
  Qarn_FTM_c_libInitialize();
  try {
    call("readjpg", {Value::text("a.jpg"), Value::text("extra")}, 1);
    ADD_FAILURE() << "two inputs were accepted";
  } catch (const Error& e) {
    EXPECT_NE(std::string(e.what()).find("inputs (1)"), std::string::npos) << e.what();
  }
  try {
    call("readjpg", {Value::text("a.jpg")}, 2);
    ADD_FAILURE() << "two outputs were accepted";
  } catch (const Error& e) {
    EXPECT_NE(std::string(e.what()).find("outputs (1)"), std::string::npos) << e.what();
  }
  Qarn_FTM_c_libTerminate();
}

}  // namespace
}  // namespace kelvane::registry
