// The core of the library: the Qt-free binders in their order, and the names of the operations
// that only the window part binds.
#include <algorithm>
#include <array>

#include "library/binders.hpp"

namespace kelvane::library {

namespace {

constexpr std::array<Binder, 8> kCoreBinders = {
    bindCoding, bindFilter, bindSynthesis,   bindInstrument,
    bindFrame,  bindApp,    bindToolkitCore, bindPlotsCore,
};

// Windows, dialogs, menus, images and plots: everything that needs the window toolkit.
constexpr std::array<std::string_view, 36> kWindowOperations = {
    "Qarn_FTM_c",
    "Qarn_FTM_GUI_c",
    "KR_AddMenu",
    "KR_Splash",
    "Velconfig_c",
    "VelConfigAdv_c",
    "Qarn_ChannelNumberToFreqGUI",
    "guihandles",
    "loadFigure",
    "resizeAllFonts",
    "guidata",
    "imread",
    "openfig",
    "positionChildWindow",
    "KR_About",
    "KR_PlotCCDF",
    "KR_PlotEyeDiagram",
    "KR_PlotIQTime",
    "KR_PlotScatterDiagram",
    "KR_PlotSpectrum",
    "KR_PlotWaterfall",
    "KR_SigGen",
    "readjpg",
    "movegui",
    "KR_Rotate",
    "KR_Zoom",
    "eyediagram",
    "subplot",
    "scatterplot",
    "waterfall",
    "rjpgc",
    "title",
    "xlabel",
    "ylabel",
    "clf",
    "freqzplot",
};

}  // namespace

std::span<const Binder> coreBinders() {
  return kCoreBinders;
}

std::span<const std::string_view> windowOperationNames() {
  return kWindowOperations;
}

bool isWindowOperation(std::string_view name) {
  return std::find(kWindowOperations.begin(), kWindowOperations.end(), name) !=
         kWindowOperations.end();
}

void initializeCore() {
  registry::initialize(coreBinders());
}

}  // namespace kelvane::library
