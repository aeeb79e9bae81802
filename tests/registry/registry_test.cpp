#include "registry/registry.hpp"

#include <gtest/gtest.h>

#include <array>
#include <set>
#include <string>

namespace kelvane::registry {
namespace {

int& releases() {
  static int n = 0;
  return n;
}

void bindSample(Library& lib) {
  // Two operations of the library table, bound as a subsystem would.
  lib.operations().bind("Qarn_FwdTrfChnModParams",
                        [](Args args, int) { return Outputs{args.empty() ? Value() : args[0]}; });
  lib.operations().bind("Qarn_FwdModulatedWaveform", [](Args args, int) {
    return Outputs{Value::scalar(static_cast<double>(args.size())), Value::scalar(2)};
  });
  Table& gui = lib.module("Qarn_FTM_GUI_c");
  gui.add("InitializeFigures", 0, 1, [](Args, int) { return Outputs{Value::handle(1)}; });
  gui.add("trafficChannelDataRate_Callback", -4, -1, [](Args args, int nargout) {
    return Outputs(static_cast<std::size_t>(std::max(nargout, 1)),
                   Value::scalar(static_cast<double>(args.size())));
  });
  gui.add("failing", 0, 0, [](Args, int) -> Outputs { throw std::runtime_error("boom"); });
  lib.atTerminate([] { ++releases(); });
}

class Lifecycle : public ::testing::Test {
 protected:
  void SetUp() override { initialize(binders_); }
  void TearDown() override {
    if (initialized()) terminate();
    setConsole({});
  }
  std::array<Binder, 1> binders_{bindSample};
};

TEST(RegistryTable, HoldsTheLibraryNamesInOrderWithTheirCounts) {
  auto decl = libraryDeclarations();
  ASSERT_EQ(decl.size(), 115u);
  EXPECT_STREQ(decl.front().name, "Qarn_FTM_c");
  EXPECT_STREQ(decl[12].name, "Qarn_FwdModulatedWaveform");
  EXPECT_EQ(decl[12].maxInputs, 10);
  EXPECT_EQ(decl[12].maxOutputs, 2);
  EXPECT_STREQ(decl.back().name, "signal/private/db");
  std::set<std::string> unique;
  for (const auto& d : decl)
    unique.insert(d.name);
  EXPECT_EQ(unique.size(), 115u);
  Library lib;
  ASSERT_EQ(lib.operations().entries().size(), 115u);
  EXPECT_EQ(lib.operations().entries()[5].name, "VelDownLoadWrap");
  const Entry* remez2 = lib.operations().find("remez2");
  ASSERT_NE(remez2, nullptr);
  EXPECT_EQ(remez2->maxInputs, -4);
}

TEST_F(Lifecycle, RunTimeErrorsNameTheDeclaredCounts) {
  // Too many inputs for Qarn_FwdModulatedWaveform (10).
  try {
    call("Qarn_FwdModulatedWaveform", std::vector<Value>(11), 1);
    FAIL();
  } catch (const Error& e) {
    const std::string msg = e.what();
    EXPECT_NE(msg.find("The function \"Qarn_FwdModulatedWaveform\" was called with more than the "
                       "declared number of inputs (10)."),
              std::string::npos)
        << msg;
    EXPECT_EQ(msg.find("Line: 0"), std::string::npos) << "a bound operation reports its line";
  }
  EXPECT_EQ(call("Qarn_FwdModulatedWaveform", std::vector<Value>(10), 2).size(), 2u);
  // Asking Qarn_FwdTrfChnModParams for two outputs.
  try {
    call("Qarn_FwdTrfChnModParams", {Value::scalar(4)}, 2);
    FAIL();
  } catch (const Error& e) {
    EXPECT_NE(std::string(e.what()).find("declared number of outputs (1)."), std::string::npos);
  }
  // The two prescribed texts in full.
  try {
    call("Qarn_FTM_c", {Value::scalar(1)}, 0);
    FAIL();
  } catch (const Error& e) {
    EXPECT_STREQ(e.what(),
                 "Run-time Error: File: Qarn_FTM_c Line: 1 Column: 1 The function \"Qarn_FTM_c\" "
                 "was called with more than the declared number of inputs (0).");
  }
  const Table* gui = library().findModule("Qarn_FTM_GUI_c");
  ASSERT_NE(gui, nullptr);
  try {
    gui->call("InitializeFigures", {}, 2);
    FAIL();
  } catch (const Error& e) {
    EXPECT_STREQ(e.what(),
                 "Run-time Error: File: Qarn_FTM_GUI_c/InitializeFigures Line: 41 Column: 1 The "
                 "function \"Qarn_FTM_GUI_c/InitializeFigures\" was called with more than the "
                 "declared number of outputs (1).");
  }
}

TEST_F(Lifecycle, UnknownAndUnbuiltNamesFailClearly) {
  EXPECT_THROW(call("noSuchOperation", {}, 1), Error);
  try {
    call("remezmex", {}, 1);
    FAIL();
  } catch (const Error& e) {
    EXPECT_NE(std::string(e.what()).find("\"remezmex\" is not built"), std::string::npos);
  }
}

TEST_F(Lifecycle, DispatcherCallbacksTakeExtraInputsAndGuardErrors) {
  const Table& gui = *library().findModule("Qarn_FTM_GUI_c");
  // A callback: control handle, event value, handles record, and any further inputs.
  std::vector<Value> args = {Value::text("trafficChannelDataRate_Callback"),
                             Value::handle(3),
                             Value(),
                             Value::record(),
                             Value::scalar(1),
                             Value::scalar(2)};
  Outputs out = dispatch(gui, args, 3);
  ASSERT_EQ(out.size(), 3u);
  EXPECT_EQ(out[0].toDouble(), 5.0);

  std::vector<std::string> console;
  setConsole([&](std::string_view line) { console.emplace_back(line); });
  EXPECT_TRUE(dispatch(gui, std::vector<Value>{Value::text("failing")}, 0).empty());
  EXPECT_TRUE(dispatch(gui, std::vector<Value>{Value::text("notThere")}, 0).empty());
  ASSERT_EQ(console.size(), 2u);
  EXPECT_EQ(console[0], "boom");
  // A first argument that is not text does nothing, not even print.
  EXPECT_TRUE(dispatch(gui, std::vector<Value>{Value::scalar(5)}, 1).empty());
  EXPECT_EQ(console.size(), 2u);
}

TEST_F(Lifecycle, VariablesReadEmptyUntilSetAndCanBeBound) {
  EXPECT_EQ(Variables::names().size(), 16u);
  EXPECT_TRUE(getVariable("trafficWaveform").isEmpty());
  setVariable("parameters", Value::record({{"a", Value::scalar(1)}}));
  EXPECT_EQ(getVariable("parameters").field("a").toDouble(), 1.0);
  EXPECT_THROW(getVariable("notAVariable"), Error);

  double stored = 0;
  library().variables().bindAccessors(
      "frequency", [&] { return Value::scalar(stored); }, [&](Value v) { stored = v.toDouble(); });
  setVariable("frequency", Value::scalar(1955));
  EXPECT_EQ(stored, 1955.0);
  EXPECT_EQ(getVariable("frequency").toDouble(), 1955.0);
}

TEST_F(Lifecycle, CallsOutsideTheLifecycleFail) {
  const int before = releases();
  terminate();
  EXPECT_EQ(releases(), before + 1);
  EXPECT_FALSE(initialized());
  try {
    call("Qarn_FwdTrfChnModParams", {Value::scalar(1)}, 1);
    FAIL();
  } catch (const Error& e) {
    EXPECT_NE(std::string(e.what()).find("terminated"), std::string::npos);
  }
  EXPECT_THROW(getVariable("appInfo"), Error);
  // The library can be initialized again, with fresh variables.
  initialize(binders_);
  EXPECT_TRUE(getVariable("parameters").isEmpty());
  EXPECT_THROW(initialize(binders_), Error);
}

}  // namespace
}  // namespace kelvane::registry
