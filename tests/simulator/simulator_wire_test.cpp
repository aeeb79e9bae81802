// The simulated signal generator over TCP: every command text the instrument operations send,
// header forms, downloads with awkward bytes and awkward arrival, sequences, selection, memory
// limit, the error queue, *RST and *CLS, several clients, and the state record.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "simulator/crc32.hpp"
#include "simulator/simulator.hpp"
#include "simulator_wire.hpp"

namespace kelvane::simulator {
namespace {

using wire::TcpClient;

class SimulatorWire : public ::testing::Test {
 protected:
  void SetUp() override { sim_.start(); }
  void TearDown() override { sim_.stop(); }

  // Downloads `words` (and markers when given) as the transport does, ending with *OPC?.
  void download(TcpClient& c, const std::string& name, const std::vector<std::int16_t>& words,
                const std::string& markers = {}) {
    c.send(":MMEM:DATA \"WFM1:" + name + "\"," + wire::block(wire::bigEndian(words)) + "\n");
    if (!markers.empty()) c.send(":MMEM:DATA \"MKR1:" + name + "\"," + wire::block(markers) + "\n");
    EXPECT_EQ(c.query("*OPC?"), "1");
  }

  nlohmann::json settings() const { return sim_.state()["settings"]; }

  static SimulatorOptions smallMemory() {
    SimulatorOptions o;
    o.memorySamples = 4096;
    return o;
  }
  Simulator sim_{smallMemory()};
};

TEST_F(SimulatorWire, SequencePlayCommandsAsSent) {
  TcpClient c(sim_.port());
  download(c, "ctl", wire::awkwardWords(16));
  download(c, "trf", wire::awkwardWords(32));
  // The sequence building and playing texts, exactly as the operations send them.
  const std::vector<std::string> commands = {
      ":source:rad:arb:seq \"SEQ:name\",\"WFM1:ctl\",1,1,1,\"WFM1:trf\",44,1,1",
      ":source:rad:arb:state off",
      ":source:rad:arb:wav \"SEQ:name\"",
      ":source:freq:fix 1955000000Hz",
      ":source:power:level:immediate:amplitude -30dbm",
      ":source:rad:arb:clock:srate 6144000Hz",
      ":source:dm:bbfilter 2.1MHz",
      ":source:rad:ARB:rscaling 95",
      ":source:DM:IQAT:AUTO off",
      ":source:DM:IQAT 0",
      ":pow:alc:state off",
      ":source:rad:arb:marker:rfblank off",
      ":source:rad:arb:marker:polarity Pos",
      ":source:rad:arb:clock:ref int",
      ":source:rad:arb:state on",
      ":output:mod on",
      ":output:state on",
  };
  for (const auto& cmd : commands) {
    c.command(cmd);
    EXPECT_EQ(c.query(":SYST:ERR?"), "+0,\"No error\"") << cmd;
  }
  const auto s = sim_.state();
  EXPECT_EQ(s["sequences"]["name"],
            nlohmann::json::parse(R"([{"waveform":"ctl","repetitions":1,"marker1":1,"marker2":1},
                                      {"waveform":"trf","repetitions":44,"marker1":1,"marker2":1}])"));
  EXPECT_EQ(s["selected"], nlohmann::json::parse(R"({"kind":"sequence","name":"name"})"));
  const auto& st = s["settings"];
  EXPECT_EQ(st["frequencyHz"], 1955000000.0);
  EXPECT_EQ(st["powerDbm"], -30.0);
  EXPECT_EQ(st["sampleClockHz"], 6144000.0);
  EXPECT_EQ(st["basebandFilter"], "2.1MHz");
  EXPECT_EQ(st["runtimeScaling"], 95.0);
  EXPECT_EQ(st["iqAttenuationAuto"], false);
  EXPECT_EQ(st["iqAttenuationDb"], 0.0);
  EXPECT_EQ(st["alc"], false);
  EXPECT_EQ(st["rfBlanking"], false);
  EXPECT_EQ(st["markerPolarity"], "positive");
  EXPECT_EQ(st["clockReference"], "internal");
  EXPECT_EQ(s["states"],
            nlohmann::json::parse(R"({"arb":true,"modulation":true,"rfOutput":true})"));
  EXPECT_EQ(c.query(":SOUR:RAD:ARB:STATe?"), "1");
  EXPECT_EQ(c.query(":SOUR:RAD:ARB:SEQ? \"SEQ:name\""), "\"WFM1:ctl\",1,1,1,\"WFM1:trf\",44,1,1");
  // The log keeps every message as received, in order, block bytes left out.
  const auto& log = s["commands"];
  EXPECT_EQ(log[0], ":MMEM:DATA \"WFM1:ctl\",#264");
  EXPECT_EQ(log[1], "*OPC?");
  EXPECT_EQ(log[4], commands[0]);
  EXPECT_EQ(log.back(), ":SYST:ERR?");
}

TEST_F(SimulatorWire, SingleWaveformPlayCommandsWithLeadingBlanks) {
  TcpClient c(sim_.port());
  download(c, "wave", wire::awkwardWords(8));
  // The single-waveform texts: a leading blank, and a blank after the quoted name.
  const std::vector<std::string> commands = {
      " :source:rad:arb:state off",
      " :source:rad:arb:wav \"arbi:wave\" ",
      " :source:freq:fix 1955000000Hz",
      " :source:power:level:immediate:amplitude -30dbm",
      " :source:rad:arb:clock:srate 6144000Hz",
      " :source:dm:bbfilter 40MHz",
      " :source:rad:ARB:rscaling 95",
      ":source:DM:IQAT:AUTO off",
      ":source:DM:IQAT 12",
      " :pow:alc:state on",
      " :source:rad:arb:marker:rfblank on",
      " :source:rad:arb:marker:polarity Neg",
      " :source:rad:arb:clock:ref ext",
      " :source:rad:arb:rfilter 250.0khz",
      " :source:rad:arb:state on",
      " :output:state on",
  };
  for (const auto& cmd : commands)
    c.command(cmd);
  EXPECT_TRUE(c.errors().empty());
  const auto s = sim_.state();
  EXPECT_EQ(s["selected"], nlohmann::json::parse(R"({"kind":"waveform","name":"wave"})"));
  const auto& st = s["settings"];
  EXPECT_EQ(st["basebandFilter"], "40MHz");
  EXPECT_EQ(st["iqAttenuationDb"], 12.0);
  EXPECT_EQ(st["alc"], true);
  EXPECT_EQ(st["rfBlanking"], true);
  EXPECT_EQ(st["markerPolarity"], "negative");
  EXPECT_EQ(st["clockReference"], "external");
  EXPECT_EQ(st["reconstructionFilter"], "250kHz");
  EXPECT_EQ(s["states"]["arb"], true);
  EXPECT_EQ(s["states"]["rfOutput"], true);
  EXPECT_EQ(s["states"]["modulation"], false);  // this list leaves modulation as it was
  EXPECT_EQ(c.query(":SOUR:RAD:ARB:WAV?"), "\"WFM1:wave\"");
}

TEST_F(SimulatorWire, FilterAndSwitchChoices) {
  TcpClient c(sim_.port());
  const auto set = [&](const std::string& cmd, const char* field) {
    c.command(cmd);
    EXPECT_TRUE(c.errors().empty()) << cmd;
    return settings()[field];
  };
  EXPECT_EQ(set(":source:dm:bbfilter Through", "basebandFilter"), "Through");
  EXPECT_EQ(set(":source:dm:bbfilter 2.1MHz", "basebandFilter"), "2.1MHz");
  EXPECT_EQ(set(":source:dm:bbfilter THR", "basebandFilter"), "Through");
  EXPECT_EQ(set(" :source:rad:arb:rfilter 2.5Mhz", "reconstructionFilter"), "2.5MHz");
  EXPECT_EQ(set(" :source:rad:arb:rfilter 8Mhz", "reconstructionFilter"), "8MHz");
  EXPECT_EQ(set(" :source:rad:arb:rfilter through", "reconstructionFilter"), "Through");
  EXPECT_EQ(set(":pow:alc:state on", "alc"), true);
  EXPECT_EQ(set(":pow:alc:state off", "alc"), false);
  EXPECT_EQ(set(":source:rad:arb:marker:rfblank on", "rfBlanking"), true);
  EXPECT_EQ(set(":source:rad:arb:marker:rfblank off", "rfBlanking"), false);
  EXPECT_EQ(set(":source:rad:arb:marker:polarity Neg", "markerPolarity"), "negative");
  EXPECT_EQ(set(":source:rad:arb:marker:polarity Pos", "markerPolarity"), "positive");
  EXPECT_EQ(set(":source:rad:arb:clock:ref ext", "clockReference"), "external");
  EXPECT_EQ(set(":source:rad:arb:clock:ref int", "clockReference"), "internal");
  // Values that are not a choice are refused and change nothing.
  c.command(":source:dm:bbfilter 5MHz");
  c.command(":source:rad:arb:rfilter 1Mhz");
  c.command(":source:rad:arb:marker:polarity up");
  EXPECT_EQ(c.errors(), (std::vector<std::string>{"-224,\"Illegal parameter value\"",
                                                  "-224,\"Illegal parameter value\"",
                                                  "-224,\"Illegal parameter value\""}));
  EXPECT_EQ(settings()["basebandFilter"], "Through");
  EXPECT_EQ(settings()["reconstructionFilter"], "Through");
}

TEST_F(SimulatorWire, HeadersInShortAndLongFormAndAnyCase) {
  TcpClient c(sim_.port());
  c.command(":SOURce:FREQuency:FIXed 1.2GHz");
  EXPECT_EQ(c.query(":sour:freq?"), "1200000000");
  c.command("FREQ 2000000000");  // the optional SOURce node left out, no leading colon
  EXPECT_EQ(c.query(":Source:Frequency:CW?"), "2000000000");
  c.command(":POW -10DBM");
  EXPECT_EQ(c.query(":SOUR:POW:LEV:IMM:AMPL?"), "-10");
  c.command(":SOURCE:RADIO:ARB:CLOCK:SRATE 1.2288MHZ");
  EXPECT_EQ(c.query(":RAD:ARB:CLOC:SRAT?"), "1228800");
  c.command(":SOUR:DM:IQATTENUATION:AUTO ON");
  EXPECT_EQ(c.query(":sour:dm:iqat:auto?"), "1");
  c.command(":OUTP:MOD:STAT 0");
  EXPECT_EQ(c.query(":OUTPUT:MODULATION?"), "0");
  // Several commands in one message, the later ones relative to the first one's path.
  c.command(":SOUR:RAD:ARB:RSC 50;CLOC:SRAT 2e6;:OUTP ON");
  EXPECT_EQ(c.query(":SOUR:RAD:ARB:RSC?;:OUTP?;*IDN?"),
            "50;1;" + sim_.state()["identification"].get<std::string>());
  EXPECT_EQ(settings()["sampleClockHz"], 2e6);
  EXPECT_TRUE(c.errors().empty());
  // The ARB state query answers 1 or 0.
  c.command(":SOUR:RAD:ARB:STATe OFF");
  EXPECT_EQ(c.query(":SOUR:RAD:ARB:STATe?"), "0");
  c.command(":SOUR:RAD:ARB:STATe ON");
  EXPECT_EQ(c.query(":SOUR:RAD:ARB:STATe?"), "1");
}

TEST_F(SimulatorWire, UnknownHeadersAndBadParameters) {
  TcpClient c(sim_.port());
  c.command(":source:frequ:fix 1e9");  // a mnemonic neither short nor long
  c.command(":sour:freq:fix:cw 1e9");  // too many nodes
  c.command("*FOO");
  c.command(":SYST:ERR");               // a query-only header without '?'
  c.command(":source:freq:fix 1e3Hz");  // below 100 kHz
  c.command(":source:freq:fix 1e9dbm");
  c.command(":source:power:level:immediate:amplitude");
  c.command(":output:state on,off");
  c.command(":MMEM:DATA \"WFM1:x\",12");
  EXPECT_EQ(c.errors(), (std::vector<std::string>{
                            "-113,\"Undefined header\"", "-113,\"Undefined header\"",
                            "-113,\"Undefined header\"", "-113,\"Undefined header\"",
                            "-222,\"Data out of range\"", "-131,\"Invalid suffix\"",
                            "-109,\"Missing parameter\"", "-108,\"Parameter not allowed\"",
                            "-104,\"Data type error\""}));
  EXPECT_EQ(settings()["frequencyHz"], 1e9);  // the default stays
  // A failed query in a message answers nothing for itself; the others still answer.
  EXPECT_EQ(c.query(":FOO?;*OPC?"), "1");
  EXPECT_EQ(c.errors(), std::vector<std::string>{"-113,\"Undefined header\""});
}

TEST_F(SimulatorWire, DownloadDecodesBackWithAwkwardBytesAndArrival) {
  TcpClient c(sim_.port());
  const auto words = wire::awkwardWords(300);
  const std::string data = wire::bigEndian(words);
  std::string markers;
  for (int i = 0; i < 300; ++i)
    markers.push_back(static_cast<char>(i % 4 == 0 ? 1 : i % 3 ? 0 : 2));
  markers[5] = '\n';  // bit 1 set, and a line feed byte
  const std::string message = ":MMEM:DATA \"WFM1:trf\"," + wire::block(data) + "\n";
  // Pieces with pauses: inside the header, the digit count, the length, the data, right at the
  // block's end, and the line feed alone.
  const std::size_t hash = message.find('#');
  const std::vector<std::size_t> cuts = {hash,
                                         hash + 1,
                                         hash + 2,
                                         hash + 3,
                                         hash + 5,
                                         hash + 100,
                                         hash + 5 + data.size(),
                                         message.size() - 1};
  std::size_t from = 0;
  for (std::size_t cut : cuts) {
    c.send(message.substr(from, cut - from));
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    from = cut;
  }
  c.send(message.substr(from));
  c.send(":MMEM:DATA \"MKR1:trf\"," + wire::block(markers) + "\n");
  EXPECT_EQ(c.query("*OPC?"), "1");
  EXPECT_TRUE(c.errors().empty());

  EXPECT_EQ(sim_.waveformWords("trf"), words);
  EXPECT_EQ(sim_.markerBytes("trf"), std::vector<std::uint8_t>(markers.begin(), markers.end()));
  const auto s = sim_.state();
  const auto& wfm = s["files"]["WFM1"]["trf"];
  EXPECT_EQ(wfm["samples"], 300);
  EXPECT_EQ(wfm["bytes"], 1200);
  int peak = 0;
  for (std::int16_t w : words)
    peak = std::max(peak, std::abs(int{w}));
  EXPECT_EQ(wfm["peak"], peak);
  const auto crc = [](const std::string& b) {
    return crc32End(crc32Update(
        crc32Begin(), std::span(reinterpret_cast<const std::uint8_t*>(b.data()), b.size())));
  };
  EXPECT_EQ(wfm["crc32"], crc(data));
  const auto& mkr = s["files"]["MKR1"]["trf"];
  EXPECT_EQ(mkr["samples"], 300);
  EXPECT_EQ(mkr["crc32"], crc(markers));
  int m1 = 0, m2 = 0;
  for (char b : markers)
    m1 += b & 1, m2 += (b >> 1) & 1;
  EXPECT_EQ(mkr["marker1Samples"], m1);
  EXPECT_EQ(mkr["marker2Samples"], m2);

  // A second download under the same name replaces the file.
  download(c, "trf", {1, -1});
  EXPECT_EQ(sim_.waveformWords("trf"), (std::vector<std::int16_t>{1, -1}));
  // 1 sample (4 bytes) and the 300 marker bytes of the earlier markers: 76 samples of 4 bytes.
  EXPECT_EQ(sim_.state()["memory"]["usedSamples"], 76);
  // Lengths that are no whole number of samples, or none at all.
  c.send(":MMEM:DATA \"WFM1:odd\",#13abc\n:MMEM:DATA \"WFM1:none\",#10\n");
  EXPECT_EQ(c.errors(), (std::vector<std::string>{"-161,\"Invalid block data\"",
                                                  "-161,\"Invalid block data\""}));
  EXPECT_FALSE(sim_.waveformWords("odd"));
  EXPECT_FALSE(sim_.waveformWords("none"));
}

// Blocks of megabytes are read straight into their place; the end of a block and the next
// message arrive in one piece. The bytes, checksums, peak and marker counts must not notice.
TEST(SimulatorLargeBlocks, ReadStraightIntoPlaceKeepEveryByteAndCount) {
  Simulator sim;
  sim.start();
  TcpClient c(sim.port());
  constexpr std::size_t kSamples = 600'001;  // words not a multiple of eight: a tail of two
  auto words = wire::awkwardWords(kSamples);
  words.back() = -32768;  // the peak, in the tail
  const std::string data = wire::bigEndian(words);
  std::string markers(kSamples, '\0');
  std::size_t m1 = 0, m2 = 0;
  for (std::size_t i = 0; i < kSamples; ++i) {
    markers[i] = static_cast<char>((i * 7 + i / 3) % 5 == 0 ? 3 : (i % 11 == 0 ? 2 : i % 13 == 0));
    m1 += markers[i] & 1;
    m2 += (markers[i] >> 1) & 1;
  }
  const std::string first = ":MMEM:DATA \"WFM1:big\"," + wire::block(data) + "\n";
  const std::string second = ":MMEM:DATA \"MKR1:big\"," + wire::block(markers) + "\n*OPC?\n";
  // The waveform in three pieces with pauses; the markers and the query in one send.
  const std::size_t third = first.size() / 3;
  c.send(first.substr(0, third));
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  c.send(first.substr(third, third));
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  c.send(first.substr(2 * third) + second);
  EXPECT_EQ(c.readLine(), "1");
  EXPECT_TRUE(c.errors().empty());

  EXPECT_EQ(sim.waveformWords("big"), words);
  EXPECT_EQ(sim.markerBytes("big"), std::vector<std::uint8_t>(markers.begin(), markers.end()));
  const auto s = sim.state();
  const auto crc = [](const std::string& b) {
    return crc32End(crc32Update(
        crc32Begin(), std::span(reinterpret_cast<const std::uint8_t*>(b.data()), b.size())));
  };
  EXPECT_EQ(s["files"]["WFM1"]["big"]["peak"], 32768);
  EXPECT_EQ(s["files"]["WFM1"]["big"]["crc32"], crc(data));
  EXPECT_EQ(s["files"]["MKR1"]["big"]["crc32"], crc(markers));
  EXPECT_EQ(s["files"]["MKR1"]["big"]["marker1Samples"], m1);
  EXPECT_EQ(s["files"]["MKR1"]["big"]["marker2Samples"], m2);
  sim.stop();
}

TEST_F(SimulatorWire, FileNamesInSequencesAndSelection) {
  TcpClient c(sim_.port());
  download(c, "a", {1, 2});
  c.command(":source:rad:arb:seq \"SEQ:s\",\"WFM1:a\",1,1,1,\"WFM1:missing\",44,1,1");
  c.command(":source:rad:arb:wav \"SEQ:s\"");
  c.command(" :source:rad:arb:wav \"arbi:missing\" ");
  c.command(":source:rad:arb:wav \"NVWFM:a\"");
  EXPECT_EQ(c.errors(), std::vector<std::string>(4, "-256,\"File name not found\""));
  EXPECT_TRUE(sim_.state()["sequences"].empty());
  EXPECT_TRUE(sim_.state()["selected"].is_null());
  EXPECT_EQ(c.query(":SOUR:RAD:ARB:WAV?"), "\"\"");

  // A sequence without elements, with a count that is not a whole element, with bad values.
  c.command(":source:rad:arb:seq \"SEQ:s\"");
  c.command(":source:rad:arb:seq \"SEQ:s\",\"WFM1:a\",1,1");
  c.command(":source:rad:arb:seq \"SEQ:s\",\"WFM1:a\",0,1,1");
  c.command(":source:rad:arb:seq \"SEQ:s\",\"WFM1:a\",2.5,1,1");
  c.command(":source:rad:arb:seq \"NOSEQ:s\",\"WFM1:a\",1,1,1");
  c.command(":MMEM:DATA \"WFM1:\",#14abcd");
  EXPECT_EQ(c.errors(), (std::vector<std::string>{
                            "-109,\"Missing parameter\"", "-109,\"Missing parameter\"",
                            "-222,\"Data out of range\"", "-224,\"Illegal parameter value\"",
                            "-257,\"File name error\"", "-257,\"File name error\""}));
  EXPECT_TRUE(sim_.state()["sequences"].empty());

  c.command(":source:rad:arb:seq \"SEQ:s\",\"WFM1:a\",3,0,1");
  c.command(":source:rad:arb:wav \"SEQ:s\"");
  EXPECT_TRUE(c.errors().empty());
  EXPECT_EQ(c.query(":SOUR:RAD:ARB:WAV?"), "\"SEQ:s\"");
}

TEST_F(SimulatorWire, MemoryLimit) {
  TcpClient c(sim_.port());  // 4096 samples of memory
  download(c, "a", std::vector<std::int16_t>(2 * 3000, 7));
  // 1097 samples do not fit beside 3000; nothing is stored.
  download(c, "b", std::vector<std::int16_t>(2 * 1097, 7));
  EXPECT_EQ(c.errors(), std::vector<std::string>{"-225,\"Out of memory\""});
  EXPECT_FALSE(sim_.waveformWords("b"));
  download(c, "b", std::vector<std::int16_t>(2 * 1096, 7));
  EXPECT_TRUE(c.errors().empty());
  EXPECT_EQ(sim_.state()["memory"]["freeSamples"], 0);
  // Replacing a file may use the memory it frees; a block larger than the whole memory is read
  // to its end (the next command still parses) and refused.
  download(c, "a", std::vector<std::int16_t>(2 * 3000, 9));
  c.send(":MMEM:DATA \"WFM1:huge\"," + wire::block(std::string(4 * 5000, '\n')) + "\n");
  EXPECT_EQ(c.query("*OPC?"), "1");
  EXPECT_EQ(c.errors(), std::vector<std::string>{"-225,\"Out of memory\""});
  EXPECT_EQ(sim_.waveformWords("a"), std::vector<std::int16_t>(2 * 3000, 9));
  const auto mem = sim_.state()["memory"];
  EXPECT_EQ(
      mem, nlohmann::json::parse(R"({"capacitySamples":4096,"usedSamples":4096,"freeSamples":0})"));
}

TEST_F(SimulatorWire, StatusRegistersAndCommonQueries) {
  TcpClient c(sim_.port());
  // Power-on is the first event; reading the register clears it.
  EXPECT_EQ(c.query("*ESR?"), "128");
  EXPECT_EQ(c.query("*ESR?"), "0");
  EXPECT_EQ(c.query("*STB?"), "0");
  // A command error and an execution error set their event bits; the queue sets bit 2.
  c.send(":bogus\n");
  c.send(":source:freq:fix 99e9\n");
  EXPECT_EQ(c.query("*STB?"), "4");
  c.command("*ESE 48");
  EXPECT_EQ(c.query("*ESE?"), "48");
  EXPECT_EQ(c.query("*STB?"), "36");  // event summary: the enabled bits are set
  c.command("*SRE 36");
  EXPECT_EQ(c.query("*SRE?"), "36");
  EXPECT_EQ(c.query("*STB?"), "100");  // and the service request summary
  EXPECT_EQ(c.query("*ESR?"), "48");
  EXPECT_EQ(c.query("*STB?"), "68");  // the errors are still queued
  c.command("*CLS");
  EXPECT_EQ(c.query("*STB?"), "0");
  // *OPC marks operation complete; *WAI, *TST? and the versions.
  c.command("*OPC;*WAI");
  EXPECT_EQ(c.query("*ESR?"), "1");
  EXPECT_EQ(c.query("*TST?"), "0");
  EXPECT_EQ(c.query(":SYST:VERS?"), "1999.0");
  EXPECT_EQ(c.query("*OPT?"), "4096");  // this simulator's memory is not a whole Msample count
  // Register values outside 0..255 or not whole are refused.
  c.send("*ESE 256\n");
  c.send("*SRE 1.5\n");
  c.send("*ESE\n");
  EXPECT_EQ(c.errors(), (std::vector<std::string>{"-222,\"Data out of range\"",
                                                  "-224,\"Illegal parameter value\"",
                                                  "-109,\"Missing parameter\""}));
  EXPECT_EQ(c.query("*ESE?"), "48");
  for (const auto& [samples, option] :
       std::vector<std::pair<std::size_t, std::string>>{{8u << 20, "008"}, {32u << 20, "032"}}) {
    SimulatorOptions o;
    o.memorySamples = samples;
    Simulator other(o);
    other.start();
    TcpClient d(other.port());
    EXPECT_EQ(d.query("*OPT?"), option);
  }
}

TEST_F(SimulatorWire, ResetAndClear) {
  TcpClient c(sim_.port());
  download(c, "a", {1, 2});
  c.command(
      ":source:rad:arb:wav \"arbi:a\";:source:rad:arb:state on;:output:state on;:output:mod on");
  c.command(":source:freq:fix 2e9;:source:dm:bbfilter 40MHz;:source:DM:IQAT 3");
  c.command(":bogus");
  c.command(":bogus2");
  c.command("*CLS");
  EXPECT_EQ(c.query(":SYST:ERR?"), "+0,\"No error\"");
  c.command(":bogus");
  c.command("*RST");
  EXPECT_EQ(c.query("*OPC?"), "1");
  const auto s = sim_.state();
  // *RST resets settings and states, keeps files, sequences, selection and the error queue.
  EXPECT_EQ(s["settings"]["frequencyHz"], 1e9);
  EXPECT_EQ(s["settings"]["basebandFilter"], "Through");
  EXPECT_EQ(s["settings"]["iqAttenuationAuto"], true);
  EXPECT_EQ(s["states"],
            nlohmann::json::parse(R"({"arb":false,"modulation":false,"rfOutput":false})"));
  EXPECT_EQ(s["files"]["WFM1"].size(), 1u);
  EXPECT_EQ(s["selected"]["name"], "a");
  EXPECT_EQ(s["errorQueue"], nlohmann::json::parse(R"(["-113,\"Undefined header\""])"));
  c.command("*RST 1");
  EXPECT_EQ(c.errors(), (std::vector<std::string>{"-113,\"Undefined header\"",
                                                  "-108,\"Parameter not allowed\""}));
}

TEST_F(SimulatorWire, ErrorQueueOverflowKeepsOldestAndMarksLoss) {
  TcpClient c(sim_.port());
  for (int i = 0; i < 35; ++i)
    c.command(":nothing" + std::to_string(i));
  const auto errors = c.errors();
  ASSERT_EQ(errors.size(), 30u);
  EXPECT_EQ(errors.front(), "-113,\"Undefined header\"");
  EXPECT_EQ(errors.back(), "-350,\"Queue overflow\"");
}

TEST_F(SimulatorWire, ClientsOneAfterAnotherAndAtOnce) {
  {
    TcpClient first(sim_.port());
    download(first, "first", {1, 1});
  }
  TcpClient a(sim_.port());
  TcpClient b(sim_.port());
  // Interleaved downloads on two connections: each block is parsed on its own connection.
  const std::string da = wire::bigEndian(std::vector<std::int16_t>(200, 10));
  const std::string db = wire::bigEndian(std::vector<std::int16_t>(200, 20));
  const std::string ma = ":MMEM:DATA \"WFM1:a\"," + wire::block(da) + "\n";
  const std::string mb = ":MMEM:DATA \"WFM1:b\"," + wire::block(db) + "\n";
  a.send(ma.substr(0, 100));
  b.send(mb.substr(0, 150));
  a.send(ma.substr(100));
  b.send(mb.substr(150));
  EXPECT_EQ(a.query("*OPC?"), "1");
  EXPECT_EQ(b.query("*OPC?"), "1");
  EXPECT_EQ(sim_.waveformWords("a"), std::vector<std::int16_t>(200, 10));
  EXPECT_EQ(sim_.waveformWords("b"), std::vector<std::int16_t>(200, 20));
  EXPECT_EQ(sim_.waveformWords("first"), (std::vector<std::int16_t>{1, 1}));
  EXPECT_EQ(sim_.state()["connections"]["accepted"], 3);
}

TEST_F(SimulatorWire, StateQueryAnswersTheStateOnOneLine) {
  TcpClient c(sim_.port());
  download(c, "a", {5, -5}, std::string("\x03", 1));
  c.command(":nope");
  const std::string line = c.query(":SYST:KELV:STAT?");
  const auto s = nlohmann::json::parse(line);
  EXPECT_EQ(s["files"]["WFM1"]["a"]["samples"], 1);
  EXPECT_EQ(s["files"]["MKR1"]["a"]["marker2Samples"], 1);
  EXPECT_EQ(s["errorQueue"][0], "-113,\"Undefined header\"");
  EXPECT_EQ(s["commands"].back(), ":SYST:KELV:STAT?");
  EXPECT_EQ(s["memory"]["capacitySamples"], 4096);
  EXPECT_EQ(s["connections"]["open"], 1);
  for (const char* key :
       {"identification", "memory", "files", "sequences", "selected", "settings", "states",
        "errorQueue", "commands", "commandsDropped", "connections", "faults"})
    EXPECT_TRUE(s.contains(key)) << key;
  // Bytes outside printable ASCII in a message are logged escaped, so the state stays JSON.
  c.command(std::string(":odd\x01\xff", 6));
  EXPECT_EQ(nlohmann::json::parse(c.query(":SYST:KELV:STAT?"))["commands"].at(s["commands"].size()),
            ":odd\\x01\\xFF");
}

}  // namespace
}  // namespace kelvane::simulator
