// Window layouts: Qt Designer files (.ui) under the program's data folder, loaded at run time.
// The data folder is found relative to the library (never the working folder):
// <folder of libQarn_FTM_c.so>/<KELVANE_DATA_FROM_LIBRARY>, e.g. ../share/kelvane, or the
// folder named by the environment variable KELVANE_DATA_DIR.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

class QWidget;

namespace kelvane::toolkit {

// The folder holding "layouts/" and the images.
std::filesystem::path dataFolder();
std::filesystem::path layoutsFolder();

// The layout file of a window name: "Qarn_FTM_GUI_c.fig" and "Qarn_FTM_GUI_c" both name
// layouts/Qarn_FTM_GUI_c.ui.
std::filesystem::path layoutFile(const std::string& name);

// Every layout under layouts/, sorted.
std::vector<std::filesystem::path> allLayouts();

// Loads a layout as a hidden window with its callbacks wired; throws runtime::Error naming the
// file when it is missing or not a layout.
QWidget* loadLayout(const std::filesystem::path& file);

}  // namespace kelvane::toolkit
