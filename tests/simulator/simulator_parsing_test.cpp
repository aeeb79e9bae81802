// The simulator's parsing pieces without a connection: messages and blocks cut at every byte,
// header mnemonics, numbers with suffixes, and the file checksum.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "simulator/crc32.hpp"
#include "simulator/message_reader.hpp"
#include "simulator/scpi.hpp"
#include "simulator_wire.hpp"

namespace kelvane::simulator {
namespace {

std::vector<Message> feedPieces(const std::string& stream, const std::vector<std::size_t>& cuts,
                                std::uint64_t keepLimit = 1u << 20) {
  MessageReader reader(keepLimit);
  std::vector<Message> out;
  const auto collect = [&](Message&& m) { out.push_back(std::move(m)); };
  std::size_t from = 0;
  for (std::size_t cut : cuts) {
    EXPECT_EQ(reader.feed({stream.data() + from, cut - from}, collect),
              MessageReader::Result::Consumed);
    from = cut;
  }
  reader.feed({stream.data() + from, stream.size() - from}, collect);
  EXPECT_FALSE(reader.midMessage());
  return out;
}

std::string bytesOf(const Block& b) {
  return std::string(b.data.begin(), b.data.end());
}

TEST(SimulatorMessages, BlockWithLineFeedsSurvivesEveryCut) {
  const std::string data = wire::bigEndian(wire::awkwardWords(7));  // 28 bytes, LFs inside
  ASSERT_NE(data.find('\n'), std::string::npos);
  const std::string stream =
      ":MMEM:DATA \"WFM1:a\"," + wire::block(data) + "\n*OPC?\n :source:rad:arb:state off\n";
  // One cut at every position (inside "#<d><len>", inside the data, exactly at its end, at the
  // line feed), then every byte on its own.
  for (std::size_t cut = 1; cut < stream.size(); ++cut) {
    const auto messages = feedPieces(stream, {cut});
    ASSERT_EQ(messages.size(), 3u) << "cut at " << cut;
    EXPECT_EQ(messages[0].text, ":MMEM:DATA \"WFM1:a\",#228") << "cut at " << cut;
    ASSERT_EQ(messages[0].blocks.size(), 1u);
    EXPECT_EQ(bytesOf(messages[0].blocks[0]), data) << "cut at " << cut;
    EXPECT_EQ(messages[0].blocks[0].textOffset, messages[0].text.size());
    EXPECT_EQ(messages[1].text, "*OPC?");
    EXPECT_EQ(messages[2].text, " :source:rad:arb:state off");
  }
  std::vector<std::size_t> everyByte;
  for (std::size_t i = 1; i < stream.size(); ++i)
    everyByte.push_back(i);
  const auto messages = feedPieces(stream, everyByte);
  ASSERT_EQ(messages.size(), 3u);
  EXPECT_EQ(bytesOf(messages[0].blocks[0]), data);
  EXPECT_EQ(messages[0].blocks[0].crc,
            crc32End(crc32Update(crc32Begin(), messages[0].blocks[0].data)));
}

TEST(SimulatorMessages, BlockForms) {
  // Several blocks in one message, a zero-length block, a CR before the line feed.
  auto m = feedPieces("X #15abcde,#10,'#3' \r\n", {});
  ASSERT_EQ(m.size(), 1u);
  EXPECT_EQ(m[0].text, "X #15,#10,'#3' ");
  ASSERT_EQ(m[0].blocks.size(), 2u);
  EXPECT_EQ(bytesOf(m[0].blocks[0]), "abcde");
  EXPECT_EQ(m[0].blocks[1].length, 0u);

  // "#H1F" is a non-decimal number, not a block; "#0" runs to the line feed.
  m = feedPieces("A #H1F\nB #0raw;bytes\n", {3, 9});
  ASSERT_EQ(m.size(), 2u);
  EXPECT_TRUE(m[0].blocks.empty());
  EXPECT_EQ(m[0].text, "A #H1F");
  ASSERT_EQ(m[1].blocks.size(), 1u);
  EXPECT_TRUE(m[1].blocks[0].indefinite);
  EXPECT_EQ(bytesOf(m[1].blocks[0]), "raw;bytes");

  // Too few length digits; a block longer than kept is counted, not stored.
  m = feedPieces("C #3x\nD #14abcd\nE\n", {}, 3);
  ASSERT_EQ(m.size(), 3u);
  EXPECT_TRUE(m[0].badBlockHeader);
  EXPECT_TRUE(m[1].blocks[0].discarded);
  EXPECT_TRUE(m[1].blocks[0].data.empty());
  EXPECT_EQ(m[2].text, "E");
}

// Fuzz finding (fuzz/corpus/fuzz_message_reader/regress-indefinite-discarded-crc): an
// indefinite block that outgrows the keep limit must read the same whether its bytes arrive at
// once or one by one; its checksum once differed with the arrival.
TEST(SimulatorMessages, AnIndefiniteBlockDiscardedMidwayDoesNotDependOnArrival) {
  const std::string stream = "D #0abcdefghij\nE\n";
  std::vector<std::size_t> everyByte;
  for (std::size_t i = 1; i < stream.size(); ++i)
    everyByte.push_back(i);
  const auto whole = feedPieces(stream, {}, 4);
  const auto pieces = feedPieces(stream, everyByte, 4);
  ASSERT_EQ(whole.size(), 2u);
  ASSERT_EQ(pieces.size(), 2u);
  const Block& a = whole[0].blocks.at(0);
  const Block& b = pieces[0].blocks.at(0);
  EXPECT_TRUE(a.discarded && b.discarded);
  EXPECT_EQ(a.length, 10u);
  EXPECT_EQ(b.length, 10u);
  EXPECT_TRUE(b.data.empty());
  EXPECT_EQ(a.crc, b.crc);
}

TEST(SimulatorMessages, CutFaultStopsAfterExactlyNBlockBytes) {
  const std::string stream = "D #210abcdefghij\nNEXT\n";
  for (std::uint64_t n : {0u, 1u, 9u}) {
    MessageReader reader(1u << 20);
    int messages = 0;
    // Delivered in two pieces, so the cut may fall in either.
    auto r = reader.feed(
        {stream.data(), 8}, [&](Message&&) { ++messages; }, n);
    if (r == MessageReader::Result::Consumed)
      r = reader.feed(
          {stream.data() + 8, stream.size() - 8}, [&](Message&&) { ++messages; }, n);
    EXPECT_EQ(r, MessageReader::Result::Cut) << n;
    EXPECT_EQ(messages, 0) << n;
  }
  // A block no longer than N is not cut.
  MessageReader reader(1u << 20);
  int messages = 0;
  EXPECT_EQ(reader.feed(
                stream, [&](Message&&) { ++messages; }, 10),
            MessageReader::Result::Consumed);
  EXPECT_EQ(messages, 2);
}

TEST(SimulatorScpi, MnemonicsInShortAndLongFormAnyCase) {
  EXPECT_TRUE(mnemonicMatches("FREQuency", "freq"));
  EXPECT_TRUE(mnemonicMatches("FREQuency", "FREQUENCY"));
  EXPECT_TRUE(mnemonicMatches("FREQuency", "Frequency"));
  EXPECT_FALSE(mnemonicMatches("FREQuency", "FREQU"));
  EXPECT_FALSE(mnemonicMatches("FREQuency", "FRE"));
  EXPECT_TRUE(mnemonicMatches("IQATtenuation", "IQAT"));
  EXPECT_TRUE(mnemonicMatches("ARB", "arb"));

  const HeaderPattern power("[SOURce]:POWer:[LEVel]:[IMMediate]:[AMPLitude]");
  using Nodes = std::vector<std::string>;
  EXPECT_TRUE(power.matches(Nodes{"source", "power", "level", "immediate", "amplitude"}));
  EXPECT_TRUE(power.matches(Nodes{"POW"}));
  EXPECT_TRUE(power.matches(Nodes{"sour", "pow", "ampl"}));
  EXPECT_FALSE(power.matches(Nodes{"source"}));
  EXPECT_FALSE(power.matches(Nodes{"pow", "alc"}));
  const HeaderPattern freq("[SOURce]:FREQuency:[CW|FIXed]");
  EXPECT_TRUE(freq.matches(Nodes{"source", "freq", "fix"}));
  EXPECT_TRUE(freq.matches(Nodes{"FREQ", "CW"}));
  EXPECT_FALSE(freq.matches(Nodes{"FREQ", "CW", "FIX"}));
}

TEST(SimulatorScpi, NumbersSuffixesAndBooleans) {
  const auto data = [](std::string t) { return Param{Param::Kind::Data, std::move(t), nullptr}; };
  EXPECT_DOUBLE_EQ(numberValue(data("1955000000Hz"), Unit::Hertz), 1955000000.0);
  EXPECT_DOUBLE_EQ(numberValue(data("2.1MHz"), Unit::Hertz), 2.1e6);
  EXPECT_DOUBLE_EQ(numberValue(data("250.0khz"), Unit::Hertz), 250e3);
  EXPECT_DOUBLE_EQ(numberValue(data("1.955 GHZ"), Unit::Hertz), 1.955e9);
  EXPECT_DOUBLE_EQ(numberValue(data("-30dbm"), Unit::DbMilliwatt), -30.0);
  EXPECT_DOUBLE_EQ(numberValue(data("+6.144E6"), Unit::Hertz), 6.144e6);
  EXPECT_DOUBLE_EQ(numberValue(data(".5"), Unit::None), 0.5);
  const auto code = [&](std::string t, Unit u) {
    try {
      numberValue(data(std::move(t)), u);
    } catch (const ScpiError& e) {
      return e.code;
    }
    return 0;
  };
  EXPECT_EQ(code("30dbm", Unit::Hertz), -131);
  EXPECT_EQ(code("95", Unit::None), 0);
  EXPECT_EQ(code("95x", Unit::None), -131);
  EXPECT_EQ(code("abc", Unit::None), -104);
  EXPECT_EQ(code("-", Unit::None), -104);
  EXPECT_EQ(code("1e999", Unit::None), -222);

  EXPECT_TRUE(booleanValue(data("on")));
  EXPECT_TRUE(booleanValue(data("ON")));
  EXPECT_TRUE(booleanValue(data("1")));
  EXPECT_FALSE(booleanValue(data("off")));
  EXPECT_FALSE(booleanValue(data("0")));
  EXPECT_THROW(booleanValue(data("maybe")), ScpiError);

  EXPECT_EQ(formatNumber(1955000000), "1955000000");
  EXPECT_EQ(formatNumber(-30), "-30");
  EXPECT_EQ(formatNumber(95.25), "95.25");
  EXPECT_EQ(errorEntry(-256), "-256,\"File name not found\"");
  EXPECT_EQ(errorEntry(0), "+0,\"No error\"");
}

TEST(SimulatorScpi, ParametersStringsAndBlocks) {
  std::vector<Block> blocks(1);
  const std::string text = " \"SEQ:a\"\"b\", 'x,y' ,44,#14";
  blocks[0].textOffset = 100 + text.size();
  const auto params = splitParams(text, 100, blocks);
  ASSERT_EQ(params.size(), 4u);
  EXPECT_EQ(params[0].kind, Param::Kind::String);
  EXPECT_EQ(params[0].text, "SEQ:a\"b");
  EXPECT_EQ(params[1].text, "x,y");
  EXPECT_EQ(params[2].kind, Param::Kind::Data);
  EXPECT_EQ(params[2].text, "44");
  EXPECT_EQ(params[3].kind, Param::Kind::Block);
  EXPECT_EQ(params[3].block, &blocks[0]);
  EXPECT_TRUE(splitParams("  ", 0, {}).empty());
  EXPECT_THROW(splitParams("\"open", 0, {}), ScpiError);
  EXPECT_THROW(splitParams("1,,2", 0, {}), ScpiError);
  EXPECT_THROW(splitParams("\"a\"b", 0, {}), ScpiError);
}

TEST(SimulatorChecksum, Crc32CheckValueAndPieces) {
  const std::string check = "123456789";
  const auto bytes = std::span(reinterpret_cast<const std::uint8_t*>(check.data()), check.size());
  EXPECT_EQ(crc32End(crc32Update(crc32Begin(), bytes)), 0xCBF43926u);
  // Fed in pieces of every split, the running CRC gives the same value (the 8-byte steps and
  // the byte tail agree).
  const std::string data = wire::bigEndian(wire::awkwardWords(40));
  const auto all = std::span(reinterpret_cast<const std::uint8_t*>(data.data()), data.size());
  const std::uint32_t whole = crc32End(crc32Update(crc32Begin(), all));
  for (std::size_t cut = 0; cut <= all.size(); cut += 3)
    EXPECT_EQ(crc32End(crc32Update(crc32Update(crc32Begin(), all.first(cut)), all.subspan(cut))),
              whole);
}

}  // namespace
}  // namespace kelvane::simulator
