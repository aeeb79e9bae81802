// The desktop program installed into a scratch prefix runs from there: its library, layouts and
// images are found beside it, never in the working folder or the build tree.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

namespace {

namespace fs = std::filesystem;

int run(const std::string& command) {
  const int status = std::system((command + " >/dev/null 2>&1").c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(Install, TheInstalledProgramRendersItsWindowsFromTheScratchPrefix) {
  const fs::path scratch = fs::temp_directory_path() / "kelvane-install-test";
  fs::remove_all(scratch);
  const fs::path prefix = scratch / "prefix";
  ASSERT_EQ(run("cmake --install '" KELVANE_BUILD_DIR "' --prefix '" + prefix.string() + "'"), 0);
  const fs::path program = prefix / "bin/kelvane";
  ASSERT_TRUE(fs::exists(program));
  EXPECT_EQ(run("'" + program.string() + "' --version | grep -q '^kelvane [0-9]'"), 0);
  EXPECT_TRUE(fs::exists(prefix / "bin/kelvane-cli"));
  EXPECT_TRUE(fs::exists(prefix / "share/kelvane/layouts/Qarn_FTM_GUI_c.ui"));
  EXPECT_TRUE(fs::exists(prefix / "share/kelvane/layouts/splash.jpg"));
  EXPECT_TRUE(fs::exists(prefix / "share/applications/kelvane.desktop"));
  // From an unrelated working folder, with the build tree out of reach.
  const fs::path work = scratch / "work";
  fs::create_directories(work);
  const fs::path shots = scratch / "shots";
  EXPECT_EQ(run("cd '" + work.string() + "' && env -u KELVANE_DATA_DIR '" + program.string() +
                "' -platform offscreen --screenshots '" + shots.string() + "'"),
            0);
  EXPECT_TRUE(fs::exists(shots / "main_window.png"));
  EXPECT_TRUE(fs::exists(shots / "splash.png"));
  EXPECT_TRUE(fs::exists(shots / "about.png"));
  for (const char* plot :
       {"spectrum", "waterfall", "ccdf", "iq", "iq-overlay", "eye", "scatter", "filter"})
    EXPECT_TRUE(fs::exists(shots / ("plot_" + std::string(plot) + ".png"))) << plot;
  // The installed kelvane-cli draws its plots through the installed desktop program beside it.
  EXPECT_EQ(run("cd '" + work.string() + "' && '" + (prefix / "bin/kelvane-cli").string() +
                "' plot ccdf --set trafficChannelPackets=1 --out ccdf.pdf >/dev/null"),
            0);
  EXPECT_TRUE(fs::exists(work / "ccdf.pdf"));
  fs::remove_all(scratch);
}

}  // namespace
