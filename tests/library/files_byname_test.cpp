// The application records, the parameter and configuration files and the waveform file helpers
// by name, through the shared library.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "library/byname.hpp"
#include "registry/registry.hpp"
#include "toolkit/dialogs.hpp"

namespace kelvane::registry {
namespace {

namespace fs = std::filesystem;

class FilesByName : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("kelvane-byname-" +
            std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    previous_ = fs::current_path();
    fs::current_path(dir_);
    Qarn_FTM_c_libInitialize();
  }
  void TearDown() override {
    Qarn_FTM_c_libTerminate();
    fs::current_path(previous_);
    fs::remove_all(dir_);
  }
  static Outputs ui(std::string_view op, std::vector<Value> args, int nargout = 1) {
    return library().findModule("rfCommonUI")->call(op, args, nargout);
  }
  static Outputs gui(std::string_view op) {
    return library().findModule("Qarn_FTM_GUI_c")->call(op, {}, 0);
  }
  static std::string bytes(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  }
  fs::path dir_, previous_;
  toolkit::ScriptedDialogs dialogs_;
  toolkit::ScopedDialogs scoped_{dialogs_};
};

TEST_F(FilesByName, TablesDeclareTheirCounts) {
  struct Row {
    const char* module;
    const char* name;
    int in, out;
  };
  const Row rows[] = {
      {"rfCommonUI", "addFileExtention", 2, 1},
      {"rfCommonUI", "saveParameters", 2, 0},
      {"rfCommonUI", "loadParameters", 2, 1},
      {"rfCommonUI", "saveConfig", 1, 0},
      {"rfCommonUI", "loadConfig", 0, 1},
      {"Qarn_FTM_GUI_c", "InitializeAppInfo", 0, 0},
      {"Qarn_FTM_GUI_c", "InitializeConfiguration", 0, 0},
      {"Qarn_FTM_GUI_c", "InitializeSigGenSettings", 0, 0},
      {"Qarn_FTM_GUI_c", "InitializeParameters", 0, 0},
  };
  for (const auto& r : rows) {
    const Entry* e = library().findModule(r.module)->find(r.name);
    ASSERT_NE(e, nullptr) << r.name;
    EXPECT_TRUE(e->built()) << r.name;
    EXPECT_EQ(e->maxInputs, r.in) << r.name;
    EXPECT_EQ(e->maxOutputs, r.out) << r.name;
  }
  for (const char* name : {"compareStruct", "saveMornathWaveform", "applyDacRes", "clock2str"})
    EXPECT_TRUE(library().operations().find(name)->built()) << name;
  try {
    ui("addFileExtention", {Value::text("a"), Value::text(".mat"), Value::text("x")});
    FAIL();
  } catch (const Error& e) {
    const std::string m = e.what();
    EXPECT_EQ(m.rfind("Run-time Error: File: rfCommonUI/addFileExtention Line: ", 0), 0u) << m;
    EXPECT_NE(m.find("declared number of inputs (2)."), std::string::npos) << m;
  }
}

TEST_F(FilesByName, StartupValuesAndTheInitializers) {
  EXPECT_EQ(getVariable("SigGenSettings").field("SamplingRate").toDouble(), 6144000);
  EXPECT_EQ(getVariable("parameters").field("Frequency").toDouble(), 1955000000);
  EXPECT_EQ(getVariable("parameters").field("ProjectedLength").toDouble(), 819200);
  EXPECT_EQ(getVariable("parameters").field("trafficChannelWaveformReps").toDouble(), 44);
  EXPECT_EQ(getVariable("configuration").field("type").str(), "GPIB");
  EXPECT_TRUE(getVariable("appInfo").field("LastCalcTimeStamp").isEmpty());

  Value p = getVariable("parameters");
  p.setField("oversampleRatio", Value::scalar(2));
  p.setField("Amplitude", Value::scalar(0));
  setVariable("parameters", p);
  gui("InitializeSigGenSettings");  // reads the current oversampling ratio
  EXPECT_EQ(getVariable("SigGenSettings").field("SamplingRate").toDouble(), 2457600);
  gui("InitializeParameters");
  EXPECT_EQ(getVariable("parameters").field("Amplitude").toDouble(), -30);
  gui("InitializeSigGenSettings");
  EXPECT_EQ(getVariable("SigGenSettings").field("SamplingRate").toDouble(), 6144000);

  Value c = getVariable("configuration");
  c.setField("type", Value::text("TCPIP"));
  setVariable("configuration", c);
  gui("InitializeConfiguration");
  EXPECT_EQ(getVariable("configuration").field("type").str(), "GPIB");
  Value a = getVariable("appInfo");
  a.setField("LastCalcTimeStamp", Value::row({2026, 1, 2, 3, 4, 5}));
  setVariable("appInfo", a);
  gui("InitializeAppInfo");
  EXPECT_TRUE(getVariable("appInfo").field("LastCalcTimeStamp").isEmpty());
}

TEST_F(FilesByName, ParameterFileRoundTripAndCompareStruct) {
  EXPECT_EQ(ui("addFileExtention", {Value::text("run"), Value::text(".mat")})[0].str(), "run.mat");
  Value p = getVariable("parameters");
  p.setField("trafficChannelWaveformName", Value::text("T1"));
  p.setField("controlChannelWaveformReps", Value::scalar(3));
  const std::string file = (dir_ / "p.mat").string();
  ui("saveParameters", {Value::text(file), p}, 0);
  EXPECT_EQ(call("compareStruct", {getVariable("parameters"), p})[0].toDouble(), 0);
  EXPECT_EQ(ui("loadParameters", {Value::text(file), Value()})[0].toDouble(), 1);
  EXPECT_EQ(call("compareStruct", {getVariable("parameters"), p})[0].toDouble(), 1);
  EXPECT_TRUE(dialogs_.shown().empty());

  // A refused file: one box, parameters as they were.
  std::ofstream(dir_ / "bad.mat") << "garbage";
  EXPECT_EQ(ui("loadParameters", {Value::text((dir_ / "bad.mat").string()), Value()})[0].toDouble(),
            0);
  ASSERT_EQ(dialogs_.shown().size(), 1u);
  EXPECT_EQ(dialogs_.shown()[0].title, "Error Loading File");
  EXPECT_EQ(call("compareStruct", {getVariable("parameters"), p})[0].toDouble(), 1);
}

TEST_F(FilesByName, ConfigurationFileInTheWorkingDirectory) {
  EXPECT_TRUE(ui("loadConfig", {})[0].isEmpty());
  Value c = getVariable("configuration");
  c.setField("LastParameterFilename", Value::text("/x/run.mat"));
  ui("saveConfig", {c}, 0);
  EXPECT_TRUE(fs::exists(dir_ / "defaults.mat"));
  const Value back = ui("loadConfig", {})[0];
  EXPECT_EQ(back.field("LastParameterFilename").str(), "/x/run.mat");
  setVariable("configuration", back);
  EXPECT_EQ(getVariable("configuration"), c);
}

// A saved connection the instrument cannot use (a text where the GPIB record belongs) is kept
// aside by the next save by name, as an unreadable one is, and the console says so.
TEST_F(FilesByName, AConfigurationThatCannotServeIsKeptBeforeASave) {
  std::vector<std::string> console;
  setConsole([&](std::string_view line) { console.emplace_back(line); });
  Value odd = getVariable("configuration");
  odd.setField("GPIB", Value::text("not a record"));
  ui("saveConfig", {odd}, 0);
  const std::string unusable = bytes(dir_ / "defaults.mat");
  ui("saveConfig", {getVariable("configuration")}, 0);
  EXPECT_EQ(bytes(dir_ / "defaults.mat.damaged"), unusable);
  ASSERT_EQ(console.size(), 1u);
  EXPECT_NE(console[0].find("kept as defaults.mat.damaged"), std::string::npos) << console[0];
  EXPECT_EQ(ui("loadConfig", {})[0], getVariable("configuration"));
  setConsole({});
}

TEST_F(FilesByName, WaveformFileHelpers) {
  // No input: 0 and nothing written; an input that is no waveform: 0.
  EXPECT_EQ(call("saveMornathWaveform", {})[0].toDouble(), 0);
  EXPECT_EQ(call("saveMornathWaveform", {Value::text("abc")})[0].toDouble(), 0);
  EXPECT_TRUE(fs::is_empty(dir_));
  // The default name "Vel-C" in the working directory; a column and a row give the same file.
  const Value row = Value::complexRow({{1, -1}, {0.5, 0}});
  const Value column = Value::complexColumn({{1, -1}, {0.5, 0}});
  EXPECT_EQ(call("saveMornathWaveform", {row})[0].toDouble(), 1);
  EXPECT_EQ(bytes(dir_ / "Vel-C"), std::string("\x7F\xFE\x80\x02\x3F\xFF\x00\x00", 8));
  EXPECT_EQ(call("saveMornathWaveform",
                 {column, Value::text((dir_ / "col").string()), Value::scalar(1)})[0]
                .toDouble(),
            1);
  EXPECT_EQ(bytes(dir_ / "col"), bytes(dir_ / "Vel-C"));
  EXPECT_EQ(
      call("saveMornathWaveform", {row, Value::text((dir_ / "no" / "x").string())})[0].toDouble(),
      0);
  EXPECT_THROW(call("saveMornathWaveform", {row, Value::text("x"), Value::scalar(1), Value()}),
               Error);

  // applyDacRes keeps the shape and a real waveform real.
  const Value q = call("applyDacRes", {column, Value::scalar(14)})[0];
  EXPECT_EQ(q.rows(), 2u);
  EXPECT_EQ(q.cols(), 1u);
  EXPECT_EQ(q.toComplex()[1], std::complex<double>(std::round(0.5 * 8191) / 8191, 0));
  const Value r = call("applyDacRes", {Value::row({0.5, -1}), Value::scalar(3)})[0];
  EXPECT_TRUE(r.isReal());
  EXPECT_EQ(r, Value::row({2.0 / 3, -1}));

  EXPECT_EQ(call("clock2str", {Value::row({2026, 12, 7, 9, 5, 3.8})})[0].str(),
            "07DEC2026 9:05:03");
  EXPECT_THROW(call("clock2str", {Value::row({2026, 13, 7, 9, 5, 3})}), runtime::Error);
}

TEST_F(FilesByName, TheCommonFrameDispatchesItsActionsByName) {
  EXPECT_EQ(call("rfCommonUI",
                 {Value::text("addFileExtention"), Value::text("run"), Value::text(".mat")})[0]
                .str(),
            "run.mat");
  // An unknown action is printed to the console and gives no outputs; a number does nothing.
  std::vector<std::string> console;
  setConsole([&](std::string_view line) { console.emplace_back(line); });
  EXPECT_TRUE(call("rfCommonUI", {Value::text("noSuchAction")}, 0).empty());
  EXPECT_TRUE(call("rfCommonUI", {Value::scalar(3)}, 0).empty());
  setConsole({});
  ASSERT_EQ(console.size(), 1u);
  EXPECT_NE(console[0].find("noSuchAction"), std::string::npos);
}

}  // namespace
}  // namespace kelvane::registry
