// The start-up of the records: saved connection, parameter file, settings, derived values.
#include "app/startup.hpp"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "frame/parameter_file.hpp"
#include "instrument/records_value.hpp"

namespace kelvane::app {
namespace {

namespace fs = std::filesystem;

// Runs each test in a scratch folder: "defaults.mat" is read from the working folder.
class StartUp : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("kelvane-startup-" +
            std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    previous_ = fs::current_path();
    fs::current_path(dir_);
  }
  void TearDown() override {
    fs::current_path(previous_);
    fs::remove_all(dir_);
  }
  fs::path dir_, previous_;
  AppState state_;
};

TEST_F(StartUp, FileThenSettingsThenTheDerivedValues) {
  Parameters saved;
  saved.trafficChannelDRCValue = 1;  // 16 slots
  saved.trafficChannelPackets = 16;  // 16 traffic frames
  saved.oversampleRatio = 2;
  frame::writeParameterFile("line3.mat", toValue(saved));

  const StartUpReport r = startUp(
      state_, {.parameterFile = "line3", .settings = {"oversampleRatio=8", "sequenceFileName=S"}});
  EXPECT_TRUE(r.warnings.empty());
  EXPECT_EQ(state_.parameters.trafficChannelDRCValue, 1);
  EXPECT_EQ(state_.parameters.oversampleRatio, 8);  // the setting wins over the file
  EXPECT_EQ(state_.parameters.sequenceFileName, "S");
  EXPECT_EQ(state_.configuration.LastParameterFilename, "line3.mat");
  EXPECT_EQ(state_.parameters.ProjectedLength, (16 + 4) * 32768 * 8);
  EXPECT_EQ(state_.parameters.trafficChannelWaveformReps, 2);  // fix(44 / 16)
  EXPECT_EQ(state_.sigGenSettings.SamplingRate, 1228800 * 8);
  EXPECT_EQ(state_.sigGenSettings.Frequency, 1955000000);
}

TEST_F(StartUp, ARefusedFileOrSettingLeavesTheParametersAsTheyWere) {
  const Parameters before = state_.parameters;
  std::ofstream("bad.mat") << "not a MAT file";
  EXPECT_THROW(startUp(state_, {.parameterFile = "bad.mat", .settings = {}}), StartUpError);
  auto kindOf = [&](std::vector<std::string> settings) {
    try {
      startUp(state_, {.parameterFile = "", .settings = std::move(settings)});
    } catch (const StartUpError& e) {
      return std::make_pair(e.kind(), std::string(e.what()));
    }
    return std::make_pair(StartUpError::Kind::Usage, std::string("(no error)"));
  };
  EXPECT_EQ(kindOf({"trafficChannelPackets=4", "noSuchField=1"}),
            std::make_pair(StartUpError::Kind::Refused,
                           std::string("parameters has no field 'noSuchField'")));
  EXPECT_EQ(kindOf({"oversampleRatio=many"}),
            std::make_pair(StartUpError::Kind::Refused,
                           std::string("parameters.oversampleRatio takes a number, not 'many'")));
  EXPECT_EQ(kindOf({"=3"}).second, "--set takes FIELD=VALUE, not '=3'");
  EXPECT_EQ(kindOf({"=3"}).first, StartUpError::Kind::Usage);
  EXPECT_EQ(toValue(state_.parameters), toValue(before));
}

TEST_F(StartUp, TheSavedConnectionReplacesTheStartupOneUnlessUnusable) {
  instrument::Configuration c;
  c.type = "TCPIP";
  c.TCPIP.address = "10.1.2.3";
  frame::writeConfigFile(instrument::toValue(c));
  startUp(state_, {});
  EXPECT_EQ(state_.configuration.TCPIP.address, "10.1.2.3");

  runtime::Value odd = instrument::toValue(c);
  odd.setField("GPIB", runtime::Value::text("not a record"));
  frame::writeConfigFile(odd);
  AppState fresh;
  const StartUpReport r = startUp(fresh, {});
  ASSERT_EQ(r.warnings.size(), 1u);
  EXPECT_NE(r.warnings[0].find("defaults.mat is not usable"), std::string::npos) << r.warnings[0];
  EXPECT_EQ(fresh.configuration.type, "GPIB");
}

// A damaged "defaults.mat" leaves the start-up connection in force, with a warning naming the
// file and what is wrong with it.
TEST_F(StartUp, ADamagedSavedConnectionIsReported) {
  instrument::Configuration c;
  c.GPIB.board = 2;
  c.GPIB.primary = 7;
  frame::writeConfigFile(instrument::toValue(c));
  const auto size = fs::file_size("defaults.mat");
  fs::resize_file("defaults.mat", size - 8);
  const StartUpReport r = startUp(state_, {});
  ASSERT_EQ(r.warnings.size(), 1u);
  EXPECT_NE(r.warnings[0].find("the saved connection could not be read"), std::string::npos)
      << r.warnings[0];
  EXPECT_NE(r.warnings[0].find("File defaults.mat: "), std::string::npos) << r.warnings[0];
  EXPECT_NE(r.warnings[0].find("remain"), std::string::npos) << r.warnings[0];
  EXPECT_EQ(state_.configuration.GPIB.board, 0);
  EXPECT_EQ(state_.configuration.GPIB.primary, 19);
}

}  // namespace
}  // namespace kelvane::app
