// kelvane-cli for scripts: its command line, the parameter reference, the carrier that follows the
// channel, instrument addresses, talking to the instrument, and JSON output.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <string>

#include "cli/cli_fixture.hpp"
#include "instrument/fake_instrument.hpp"

namespace {

using kelvane::testing::Cli;
using kelvane::testing::kSmall;
using kelvane::testing::Result;

std::size_t count(const std::string& text, const std::string& part) {
  std::size_t n = 0;
  for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
    ++n;
  return n;
}

TEST_F(Cli, TheCommandLineNamesWhatWasMeantOnceWithOneUsageLine) {
  Result r = cli("--version");
  EXPECT_EQ(r.code, 0);
  EXPECT_EQ(r.out.rfind("kelvane-cli ", 0), 0u) << r.out;
  r = cli("calcualte");
  EXPECT_EQ(r.code, 2);
  EXPECT_EQ(r.err,
            "kelvane-cli: unknown command 'calcualte'; did you mean calculate?\n"
            "usage: kelvane-cli COMMAND ... (--help lists them)\n");
  r = cli("download --instrumnet sim");
  EXPECT_EQ(r.code, 2);
  EXPECT_EQ(r.err.rfind("kelvane-cli: unknown option --instrumnet; did you mean --instrument?\n"
                        "usage: kelvane-cli download [--params FILE.mat] [--set FIELD=VALUE]",
                        0),
            0u)
      << r.err;
  EXPECT_EQ(count(r.err, "\n"), 2u) << r.err;
  // A file that cannot be read: one line, one prefix, the reason once.
  r = cli("calculate --params missing.mat");
  EXPECT_EQ(r.code, 3);
  EXPECT_EQ(r.err, "kelvane-cli: File missing.mat: cannot be read: No such file or directory\n");
  r = cli("params check missing.mat");
  EXPECT_EQ(r.err, "kelvane-cli: File missing.mat: cannot be read: No such file or directory\n");
  // --help lists every command.
  r = cli("--help");
  EXPECT_EQ(r.code, 0);
  for (const char* c : {"ops", "call", "calculate", "download", "refresh", "params", "config",
                        "idn", "query", "send"})
    EXPECT_NE(r.out.find(std::string("  ") + c + " "), std::string::npos) << c;
  // The simulator has the same door.
  const std::string sim = "'" KELVANE_SIM "' ";
  EXPECT_EQ(std::system((sim + "--version | grep -q '^kelvane-siggen-sim '").c_str()), 0);
  EXPECT_NE(std::system((sim + "--memory 16 2>/dev/null").c_str()), 0);
}

TEST_F(Cli, TheParameterReferenceAndNearestNames) {
  Result r = cli("params list --json");
  ASSERT_EQ(r.code, 0) << r.err;
  const auto list = nlohmann::json::parse(r.out);
  ASSERT_EQ(list.size(), 23u);
  EXPECT_EQ(list[0]["name"], "ParameterFileFormat_ID");
  const auto frequency = std::find_if(list.begin(), list.end(),
                                      [](const auto& f) { return f["name"] == "Frequency"; });
  ASSERT_NE(frequency, list.end());
  EXPECT_EQ((*frequency)["unit"], "Hz");
  EXPECT_EQ((*frequency)["accepts"], "100000 to 6000000000 Hz");
  EXPECT_EQ((*frequency)["startup"], 1955000000.0);
  const auto band = std::find_if(list.begin(), list.end(),
                                 [](const auto& f) { return f["name"] == "BandClass"; });
  ASSERT_NE(band, list.end());
  EXPECT_EQ((*band)["choices"].size(), 10u);
  r = cli("params list");
  EXPECT_NE(r.out.find("Amplitude [dBm]  RF output power\n    accepts: -136 to 20 dBm\n"
                       "    start-up: -30\n"),
            std::string::npos)
      << r.out;
  // A lowercase or misspelt name is the common mistake.
  r = cli("calculate --set amplitude=-40");
  EXPECT_EQ(r.code, 3);
  EXPECT_EQ(r.err, "kelvane-cli: parameters has no field 'amplitude'; did you mean Amplitude?\n");
  r = cli("params show --set trafficChannelPakets=4");
  EXPECT_NE(r.err.find("did you mean trafficChannelPackets"), std::string::npos) << r.err;
}

TEST_F(Cli, TheCarrierFollowsTheChannelAndStaysInTheGeneratorsRange) {
  Result r = cli("params show --set BandClass=6 --set ChannelNumber=25");
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(nlohmann::json::parse(r.out)["Frequency"], 2110000000 + 25 * 50000);
  // Frequency set as well wins over the channel.
  r = cli("params show --set BandClass=6 --set ChannelNumber=25 --set Frequency=2.2e9");
  EXPECT_EQ(nlohmann::json::parse(r.out)["Frequency"], 2.2e9);
  r = cli("calculate --set BandClass=6 --set ChannelNumber=5000");
  EXPECT_EQ(r.code, 3);
  EXPECT_EQ(r.err, "kelvane-cli: Invalid channel number.\n");
  // Outside 100 kHz .. 6 GHz: refused before anything is calculated or sent.
  for (const char* f : {"99999", "6.5e9"}) {
    r = cli(std::string("download --instrument lan:127.0.0.1:1 --set Frequency=") + f);
    EXPECT_EQ(r.code, 3) << f;
    EXPECT_NE(r.err.find("Frequency must be a finite number of Hz from 100000 to 6000000000"),
              std::string::npos)
        << r.err;
    EXPECT_EQ(r.out.find("samples"), std::string::npos);
  }
  EXPECT_EQ(cli("params save edge --set Frequency=6e9").code, 0);
}

TEST_F(Cli, InstrumentsByVisaAddressAndFromScripts) {
  kelvane::testing::FakeInstrument fake;
  const std::string visa = "TCPIP0::127.0.0.1::" + std::to_string(fake.port()) + "::SOCKET";
  Result r = cli("idn --instrument " + visa);
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(r.out, "Kelvane,FakeQ7710K,0,1.0\n");
  r = cli("query ':SOUR:FREQ?' --instrument lan:127.0.0.1:" + std::to_string(fake.port()));
  EXPECT_EQ(r.code, 0) << r.err;
  r = cli("query '*CLS' --instrument " + visa);
  EXPECT_EQ(r.code, 2);
  EXPECT_NE(r.err.find("not a query"), std::string::npos);
  r = cli("send ':OUTP:STAT OFF' --instrument " + visa);
  EXPECT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(fake.commands().back(), ":OUTP:STAT OFF");
  // VXI-11 and HiSLIP are refused with the form that works.
  r = cli("idn --instrument TCPIP0::10.0.0.7::inst0::INSTR");
  EXPECT_EQ(r.code, 2);
  EXPECT_NE(r.err.find("write TCPIP0::10.0.0.7::5025::SOCKET"), std::string::npos) << r.err;
  r = cli("idn --instrument GPIB0::31::INSTR");
  EXPECT_EQ(r.code, 2);
  EXPECT_NE(r.err.find("GPIB0::31::INSTR"), std::string::npos) << r.err;
  // The simulator answers an instrument's errors: send reports them and fails.
  r = cli("send ':NO:SUCH:COMMAND' --instrument sim");
  EXPECT_EQ(r.code, 1);
  EXPECT_NE(r.err.find("-113"), std::string::npos) << r.err;
  r = cli("query ':SYST:VERS?' --instrument sim");
  EXPECT_EQ(r.out, "1999.0\n");

  // The saved connection in VISA form; out-of-range values never reach the file.
  ASSERT_EQ(cli("config set GPIB0::19::3::INSTR").code, 0);
  auto c = nlohmann::json::parse(cli("config show").out);
  EXPECT_EQ(c["type"], "GPIB");
  EXPECT_EQ(c["GPIB"]["secondary"], 3);
  EXPECT_EQ(c["resource"], "GPIB0::19::3::INSTR");
  const std::string before = kelvane::testing::slurp(dir_ / "defaults.mat");
  for (const char* bad :
       {"GPIB.primary=31", "RS232.baudrate=1234", "type=USB", "TCPIP0::h::inst0::INSTR"}) {
    r = cli(std::string("config set ") + bad);
    EXPECT_EQ(r.code, 3) << bad;
    EXPECT_EQ(kelvane::testing::slurp(dir_ / "defaults.mat"), before) << bad;
  }
  ASSERT_EQ(cli("config set serial:/dev/ttyUSB0,115200").code, 0);
  c = nlohmann::json::parse(cli("config show").out);
  EXPECT_EQ(c["resource"], "ASRL/dev/ttyUSB0::INSTR");
  EXPECT_EQ(c["RS232"]["baudrate"], 115200);
}

TEST_F(Cli, JsonAndQuietOutputForScripts) {
  Result r = cli("calculate --json " + kSmall);
  ASSERT_EQ(r.code, 0) << r.err;
  auto j = nlohmann::json::parse(r.out);
  EXPECT_EQ(j["status"], 0);
  ASSERT_EQ(j["waveforms"].size(), 2u);
  EXPECT_EQ(j["waveforms"][0]["name"], "QarnFTM-Traffic");
  EXPECT_GT(j["waveforms"][0]["samples"].get<double>(), 0);
  EXPECT_GT(j["waveforms"][1]["papr_db"].get<double>(), 0);
  r = cli("download --json --yes --instrument sim --format mornath " + kSmall);
  ASSERT_EQ(r.code, 0) << r.err;
  j = nlohmann::json::parse(r.out);
  EXPECT_EQ(j["instrument"].get<std::string>().rfind("Kelvane,", 0), 0u) << j;
  EXPECT_EQ(j["waveforms"][1]["files"][0], "./QarnFTM-Control.bin");
  EXPECT_NE(j["message"].get<std::string>().find("download complete"), std::string::npos);
  // A refusal still answers in JSON, with its exit code.
  r = cli("calculate --json --set Frequency=1");
  EXPECT_EQ(r.code, 3);
  EXPECT_EQ(nlohmann::json::parse(r.out)["status"], 3);
  r = cli("download --quiet --yes --instrument sim " + kSmall);
  EXPECT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err.find("%"), std::string::npos) << r.err;  // no progress
  // Without --json the identification is printed before the download.
  r = cli("download --yes --instrument sim " + kSmall);
  EXPECT_NE(r.out.find("signal generator: Kelvane,"), std::string::npos) << r.out;
}

}  // namespace
