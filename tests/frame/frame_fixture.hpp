// A library with the application state bound to the named variables and, optionally, a main
// window module whose "redraw" counts its calls; scripted dialogs; a temporary folder.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "library/state_variables.hpp"
#include "registry/registry.hpp"
#include "toolkit/dialogs.hpp"

namespace kelvane::frame::testing {

namespace fs = std::filesystem;
using runtime::Value;

struct RedrawLog {
  static inline int calls = 0;
  static inline Value lastHandles;
};

inline void bindStateOnly(registry::Library& lib) {
  auto state = std::make_shared<app::AppState>();
  library::bindStateVariables(lib.variables(), state);
}

inline void bindStateAndWindow(registry::Library& lib) {
  bindStateOnly(lib);
  lib.module("Qarn_FTM_GUI_c").add("redraw", 1, 0, [](registry::Args args, int) {
    ++RedrawLog::calls;
    RedrawLog::lastHandles = args.empty() ? Value() : args[0];
    return registry::Outputs{};
  });
}

class FrameTest : public ::testing::Test {
 protected:
  explicit FrameTest(registry::Binder binder = bindStateAndWindow) : binder_(binder) {}

  void SetUp() override {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    dir_ = fs::temp_directory_path() /
           ("kelvane-frame-" + std::string(info->test_suite_name()) + "-" + info->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    const registry::Binder binders[] = {binder_};
    registry::initialize(binders);
    RedrawLog::calls = 0;
    RedrawLog::lastHandles = Value();
  }
  void TearDown() override {
    registry::terminate();
    fs::remove_all(dir_);
  }

  Value parameters() const { return registry::getVariable("parameters"); }

  static void writeBytes(const fs::path& p, const std::vector<char>& bytes) {
    std::ofstream(p, std::ios::binary)
        .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  }
  static std::vector<char> readBytes(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  }

  registry::Binder binder_;
  fs::path dir_;
  toolkit::ScriptedDialogs dialogs_;
  toolkit::ScopedDialogs scoped_{dialogs_};
};

}  // namespace kelvane::frame::testing
