// The Debian package as `make package` builds it: CPack run into a scratch folder, its file list
// and Depends read with dpkg, and the tool run from the files the package unpacks to.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace {

namespace fs = std::filesystem;

struct Output {
  int code = -1;
  std::string text;
};

// Runs `command` with a shell, its standard output and error together.
Output run(const std::string& command) {
  Output out;
  FILE* pipe = ::popen((command + " 2>&1").c_str(), "r");
  if (!pipe) return out;
  char buf[4096];
  while (std::size_t n = std::fread(buf, 1, sizeof buf, pipe))
    out.text.append(buf, n);
  const int status = ::pclose(pipe);
  out.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return out;
}

bool has(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

class Package : public ::testing::Test {
 protected:
  void SetUp() override {
    scratch_ = fs::temp_directory_path() / ("kelvane-package-test-" + std::to_string(::getpid()));
    fs::remove_all(scratch_);
    fs::create_directories(scratch_);
  }
  void TearDown() override { fs::remove_all(scratch_); }
  fs::path scratch_;
};

TEST_F(Package, TheDebianPackageHoldsEverythingAndItsToolRunsFromWhereItUnpacks) {
  const fs::path out = scratch_ / "out";
  const Output built = run("'" KELVANE_CPACK "' -G DEB -B '" + out.string() +
                           "' --config '" KELVANE_BUILD_DIR "/CPackConfig.cmake'");
  ASSERT_EQ(built.code, 0) << built.text;
  fs::path deb;
  for (const auto& entry : fs::directory_iterator(out))
    if (entry.path().extension() == ".deb") deb = entry.path();
  ASSERT_FALSE(deb.empty()) << built.text;
  EXPECT_TRUE(has(deb.filename().string(), "kelvane_")) << deb;

  const Output contents = run("dpkg --contents '" + deb.string() + "'");
  ASSERT_EQ(contents.code, 0) << contents.text;
  for (const char* file :
       {"./usr/bin/kelvane-cli", "./usr/bin/kelvane", "./usr/bin/kelvane-siggen-sim",
        "./usr/lib/libQarn_FTM_c.so", "./usr/lib/kelvane/libkelvane-matio.so",
        "./usr/share/kelvane/layouts/Qarn_FTM_GUI_c.ui",
        "./usr/share/kelvane/layouts/splash.jpg", "./usr/share/man/man1/kelvane-cli.1.gz",
        "./usr/share/man/man1/kelvane-siggen-sim.1.gz",
        "./usr/share/bash-completion/completions/kelvane-cli",
        "./usr/share/applications/kelvane.desktop"})
    EXPECT_TRUE(has(contents.text, std::string(file) + "\n")) << file << " missing:\n"
                                                              << contents.text;

  // The Debian packages the programs and the library link.
  const Output depends = run("dpkg-deb --field '" + deb.string() + "' Depends");
  ASSERT_EQ(depends.code, 0) << depends.text;
  for (const char* package :
       {"libc6", "libstdc++6", "libmatio11", "libhdf5-103", "libnettle8", "libqt6widgets6"})
    EXPECT_TRUE(has(depends.text, package)) << package << " not in Depends: " << depends.text;

  // Unpacked into a scratch folder, the programs run from there: the tool, and the desktop
  // program finds its library beside it.
  const fs::path root = scratch_ / "root";
  const Output unpacked = run("dpkg -x '" + deb.string() + "' '" + root.string() + "'");
  ASSERT_EQ(unpacked.code, 0) << unpacked.text;
  const fs::path cli = root / "usr/bin/kelvane-cli";
  const Output version = run("cd '" + scratch_.string() + "' && '" + cli.string() + "' --version");
  EXPECT_EQ(version.code, 0) << version.text;
  EXPECT_EQ(version.text, "kelvane-cli " KELVANE_VERSION "\n");
  // MAT files go through the plugin of the package, loaded only when one is written or read in
  // version 7.3: not at start, nor for a version 5 file.
  const std::string inScratch = "cd '" + scratch_.string() + "' && LD_DEBUG=files '" + cli.string();
  const Output saved = run(inScratch + "' params save p.mat 2>&1");
  EXPECT_EQ(saved.code, 0) << saved.text;
  EXPECT_TRUE(has(saved.text, "file=" + root.string() + "/usr/lib/kelvane/libkelvane-matio.so"))
      << saved.text;
  const Output shown = run(inScratch + "' params show --params p.mat 2>&1");
  EXPECT_EQ(shown.code, 0) << shown.text;
  EXPECT_TRUE(has(shown.text, "\"trafficChannelPackets\": 8")) << shown.text;
  EXPECT_FALSE(has(shown.text, "libmatio")) << shown.text;
  EXPECT_FALSE(has(shown.text, "libhdf5")) << shown.text;
  const Output libraries = run("ldd '" + (root / "usr/bin/kelvane").string() + "'");
  EXPECT_TRUE(has(libraries.text, "libQarn_FTM_c.so => " + root.string() + "/")) << libraries.text;
  EXPECT_FALSE(has(libraries.text, "not found")) << libraries.text;

  // The manual page is help2man's, naming the tool.
  const Output page =
      run("gzip -dc '" + (root / "usr/share/man/man1/kelvane-cli.1.gz").string() + "'");
  EXPECT_TRUE(has(page.text, ".TH KELVANE-CLI \"1\"")) << page.text.substr(0, 400);
  EXPECT_TRUE(has(page.text, "kelvane-cli " KELVANE_VERSION)) << page.text.substr(0, 400);
}

// The completion offers the commands, and the formats item by item in a --format list.
TEST(BashCompletion, CompletesCommandsAndFormatLists) {
  const std::string script = KELVANE_SOURCE_DIR "/packaging/kelvane-cli.bash-completion";
  auto complete = [&](const std::string& words, int index) {
    return run("bash -c 'source \"" + script + "\"; COMP_WORDS=(" + words + "); COMP_CWORD=" +
               std::to_string(index) + "; _kelvane_cli; echo \"${COMPREPLY[*]}\"'")
        .text;
  };
  EXPECT_EQ(complete("kelvane-cli calc", 1), "calculate\n");
  EXPECT_EQ(complete("kelvane-cli calculate --format mat,sig", 3), "mat,sigmf mat,sigmf-cf32\n");
  EXPECT_EQ(complete("kelvane-cli download --ye", 2), "--yes\n");
  EXPECT_EQ(complete("kelvane-cli params s", 2), "show save\n");
}

}  // namespace
