// Shared by the tests of the windows: the whole library initialized (core and window part), the
// process-wide dialogs scripted, the console captured, a scratch working folder (the saved
// configuration lives there), no splash wait, and every window gone after each test.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QPointer>
#include <QWidget>
#include <filesystem>
#include <string>
#include <vector>

#include "app/window/main_window.hpp"
#include "library/process.hpp"
#include "registry/registry.hpp"
#include "toolkit/dialogs.hpp"
#include "toolkit/modal.hpp"
#include "toolkit/objects.hpp"
#include "toolkit/properties.hpp"

extern "C" void Qarn_FTM_c_libInitialize();
extern "C" void Qarn_FTM_c_libTerminate();

namespace kelvane::testing {

namespace fs = std::filesystem;
using runtime::Value;

// Lets posted events and deferred deletions run.
inline void settle() {
  for (int i = 0; i < 3; ++i) {
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QApplication::processEvents();
  }
}

// Deletes every window without a parent; the others (dialogs, a combo box's list) go with it.
// A combo box's list deleted before its combo box crashed the combo box's own deletion.
inline void closeAllWindows() {
  std::vector<QPointer<QWidget>> windows;
  for (QWidget* w : QApplication::topLevelWidgets())
    if (!w->parentWidget()) windows.emplace_back(w);
  for (auto& w : windows)
    delete w.data();
  settle();
}

class WindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    toolkit::application();
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    dir_ = fs::temp_directory_path() /
           ("kelvane-" + std::string(info->test_suite_name()) + "-" + info->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    previous_ = fs::current_path();
    fs::current_path(dir_);
    Qarn_FTM_c_libInitialize();
    library::installProcessHooks({.dialogs = &dialogs_, .console = [this](std::string_view line) {
                                    console_.emplace_back(line);
                                  }});
    app::window::setSplashWait(false);
    toolkit::clearModalActions();
  }

  void TearDown() override {
    closeAllWindows();
    toolkit::clearModalActions();
    toolkit::resetScreenResolution();
    library::installProcessHooks({});
    app::window::setSplashWait(true);
    app::window::setStartUpClock(app::window::steadyClock());
    Qarn_FTM_c_libTerminate();
    fs::current_path(previous_);
    fs::remove_all(dir_);
  }

  // The handles record of a window.
  static Value handlesOf(const Value& window) {
    return registry::call("guihandles", {window}, 1).at(0);
  }
  static Value tag(const Value& handles, const char* name) { return handles.field(name); }

  bool consoleHas(const std::string& text) const {
    for (const auto& line : console_)
      if (line.find(text) != std::string::npos) return true;
    return false;
  }

  fs::path dir_, previous_;
  toolkit::ScriptedDialogs dialogs_;
  std::vector<std::string> console_;
};

}  // namespace kelvane::testing
