// The configuration file "defaults.mat" in the working directory, and a parameter file read by
// a program no one here wrote (SciPy).
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "app/records.hpp"
#include "frame/parameter_file.hpp"
#include "frame_fixture.hpp"
#include "instrument/records_value.hpp"
#include "runtime/matfile.hpp"

namespace kelvane::frame::testing {
namespace {

class ConfigFile : public FrameTest {
 protected:
  void SetUp() override {
    FrameTest::SetUp();
    previous_ = fs::current_path();
    fs::current_path(dir_);
  }
  void TearDown() override {
    fs::current_path(previous_);
    FrameTest::TearDown();
  }
  fs::path previous_;
};

TEST_F(ConfigFile, SavedConfigurationIsReadBack) {
  EXPECT_TRUE(loadConfig().isEmpty());  // no file yet: the built-in values stay
  instrument::Configuration c;
  c.type = "TCPIP";
  c.TCPIP.address = "192.168.0.12";
  c.GPIB.secondary = 4;
  c.BBGtype = instrument::kBbg8Msamples;
  c.LastParameterFilename = "/data/line 3/run.mat";
  saveConfig(instrument::toValue(c));
  ASSERT_TRUE(fs::exists(dir_ / "defaults.mat"));
  const Value back = loadConfig();
  EXPECT_EQ(back, instrument::toValue(c)) << back.toString();
  // It replaces the configuration by name as the frame's start-up does.
  registry::setVariable("configuration", back);
  EXPECT_EQ(registry::getVariable("configuration"), instrument::toValue(c));
}

TEST_F(ConfigFile, ErrorsAreSilent) {
  // An unreadable or foreign file reads as no configuration.
  writeBytes(dir_ / "defaults.mat", {'M', 'A', 'T', 'L', 'A', 'B'});
  EXPECT_TRUE(loadConfig().isEmpty());
  runtime::writeMatFile("defaults.mat",
                        std::vector<runtime::MatVariable>{{"fileParameters", Value::text("x")}});
  EXPECT_TRUE(loadConfig().isEmpty());
  runtime::writeMatFile("defaults.mat",
                        std::vector<runtime::MatVariable>{{"other", Value::record()}});
  EXPECT_TRUE(loadConfig().isEmpty());

  // A configuration that cannot be written is not reported and leaves the old file.
  saveConfig(instrument::toValue(instrument::Configuration{}));
  const auto before = readBytes(dir_ / "defaults.mat");
  fs::permissions(dir_, fs::perms::owner_read | fs::perms::owner_exec);
  const bool canStillWrite = ::access(dir_.c_str(), W_OK) == 0;  // root ignores permissions
  instrument::Configuration c;
  c.type = "RS232";
  saveConfig(instrument::toValue(c));
  fs::permissions(dir_, fs::perms::owner_all);
  if (!canStillWrite) {
    EXPECT_EQ(readBytes(dir_ / "defaults.mat"), before);
  }
  fs::remove(dir_ / "defaults.mat");
  fs::create_directory(dir_ / "defaults.mat");
  EXPECT_NO_THROW(saveConfig(instrument::toValue(c)));
  EXPECT_TRUE(loadConfig().isEmpty());
  EXPECT_TRUE(dialogs_.shown().empty());
}

// A damaged "defaults.mat" (cut by 8 bytes) reads as no configuration, but the console says
// why; a save over it first keeps it as "defaults.mat.damaged" (replacing an older copy) and
// says so. A readable file is replaced without a word.
TEST_F(ConfigFile, ADamagedFileIsReportedAndKeptBeforeItIsReplaced) {
  std::vector<std::string> console;
  registry::setConsole([&](std::string_view line) { console.emplace_back(line); });
  instrument::Configuration c;
  c.GPIB.board = 2;
  c.GPIB.primary = 7;
  c.RS232.baudrate = 9600;
  saveConfig(instrument::toValue(c));
  auto cut = [&] {
    auto bytes = readBytes(dir_ / "defaults.mat");
    bytes.resize(bytes.size() - 8);
    writeBytes(dir_ / "defaults.mat", bytes);
    return bytes;
  };
  const auto damaged = cut();
  EXPECT_TRUE(loadConfig().isEmpty());
  ASSERT_EQ(console.size(), 1u);
  EXPECT_NE(console[0].find("could not be read"), std::string::npos) << console[0];
  EXPECT_NE(console[0].find("File defaults.mat: "), std::string::npos) << console[0];
  EXPECT_NE(console[0].find("remain"), std::string::npos) << console[0];  // the reason

  instrument::Configuration next;
  next.type = "TCPIP";
  next.TCPIP.address = "10.0.0.7";
  saveConfig(instrument::toValue(next));
  EXPECT_EQ(readBytes(dir_ / "defaults.mat.damaged"), damaged);
  ASSERT_EQ(console.size(), 2u);
  EXPECT_NE(console[1].find("kept as defaults.mat.damaged"), std::string::npos) << console[1];
  EXPECT_EQ(loadConfig(), instrument::toValue(next));

  // A second damaged file replaces the older copy; a readable one is replaced silently.
  const auto again = cut();
  saveConfig(instrument::toValue(c));
  EXPECT_EQ(readBytes(dir_ / "defaults.mat.damaged"), again);
  saveConfig(instrument::toValue(next));
  EXPECT_EQ(readBytes(dir_ / "defaults.mat.damaged"), again);
  EXPECT_EQ(console.size(), 3u);
  EXPECT_TRUE(dialogs_.shown().empty());
  registry::setConsole({});
}

// The typed reading and writing behind them: the problem and the note as texts, a record the
// caller's check refuses kept aside like a damaged file, and a damaged file that cannot be kept
// aside is not replaced.
TEST_F(ConfigFile, TheTypedReadAndWriteSayWhatHappened) {
  EXPECT_EQ(readConfigFile().problem, "");  // none saved yet
  EXPECT_EQ(writeConfigFile(instrument::toValue(instrument::Configuration{})), "");
  ConfigRead r = readConfigFile();
  EXPECT_EQ(r.problem, "");
  EXPECT_EQ(r.fileParameters, instrument::toValue(instrument::Configuration{}));

  const ConfigCheck refuse = [](const Value&) { return std::optional<std::string>("no GPIB"); };
  r = readConfigFile(refuse);
  EXPECT_EQ(r.problem, "File defaults.mat: no GPIB");
  EXPECT_TRUE(r.fileParameters.isEmpty());
  const auto before = readBytes(dir_ / "defaults.mat");
  EXPECT_EQ(writeConfigFile(Value::record({{"type", Value::text("TCPIP")}}), refuse),
            "defaults.mat could not be read, so it is kept as defaults.mat.damaged "
            "(File defaults.mat: no GPIB)");
  EXPECT_EQ(readBytes(dir_ / "defaults.mat.damaged"), before);

  runtime::writeMatFile("defaults.mat",
                        std::vector<runtime::MatVariable>{{"other", Value::record()}});
  EXPECT_EQ(readConfigFile().problem, "File defaults.mat: holds no record fileParameters");
  const auto foreign = readBytes(dir_ / "defaults.mat");
  fs::remove(dir_ / "defaults.mat.damaged");
  fs::create_directory(dir_ / "defaults.mat.damaged");
  try {
    writeConfigFile(Value::record());
    ADD_FAILURE() << "replaced a file it could not keep";
  } catch (const runtime::Error& e) {
    EXPECT_NE(std::string(e.what()).find("it is not replaced"), std::string::npos) << e.what();
  }
  EXPECT_EQ(readBytes(dir_ / "defaults.mat"), foreign);
}

// Runs `command`, returning its standard output and exit status.
std::pair<std::string, int> run(const std::string& command) {
  std::string out;
  FILE* p = ::popen(command.c_str(), "r");
  if (!p) return {"", -1};
  char buf[512];
  while (std::fgets(buf, sizeof buf, p))
    out += buf;
  const int status = ::pclose(p);
  return {out, status};
}

using ParameterFileForeignReader = FrameTest;

TEST_F(ParameterFileForeignReader, SciPyReadsEveryField) {
  if (run("/usr/bin/python3 -c 'import scipy.io' 2>/dev/null").second != 0)
    GTEST_SKIP() << "/usr/bin/python3 has no scipy (python3-scipy)";
  app::Parameters p;
  p.trafficChannelWaveformName = "Trf.wfm_1";
  p.Frequency = 824.7e6;
  const fs::path file = dir_ / "scipy.mat";
  saveParameters(file.string(), app::toValue(p));
  ASSERT_TRUE(dialogs_.shown().empty());
  const std::string script =
      "import scipy.io, sys\n"
      "m = scipy.io.loadmat(sys.argv[1], squeeze_me=True, chars_as_strings=True)\n"
      "fp = m['fileParameters']\n"
      "print(str(m['filename']))\n"
      "for name in fp.dtype.names:\n"
      "    v = fp[name].item()\n"
      "    print(name + '=' + (v if isinstance(v, str) else repr(float(v))))\n";
  const fs::path py = dir_ / "read.py";
  std::ofstream(py) << script;
  const auto [out, status] = run("/usr/bin/python3 " + py.string() + " " + file.string());
  ASSERT_EQ(status, 0) << out;
  std::string expected = file.string() + "\n";
  const Value v = app::toValue(p);
  for (const auto& name : v.fieldNames()) {
    const Value& f = v.field(name);
    char num[64];
    if (!f.isText()) std::snprintf(num, sizeof num, "%.1f", f.toDouble());
    expected += name + "=" + (f.isText() ? f.str() : std::string(num)) + "\n";
  }
  EXPECT_EQ(out, expected);
}

}  // namespace
}  // namespace kelvane::frame::testing
