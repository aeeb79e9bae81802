// The coding operations and the slot bursts by name: counts, bits as 0/1 doubles, the modParams
// record, shapes of matrix results and the error texts that cross the boundary.
#include <gtest/gtest.h>

#include <complex>
#include <string>
#include <vector>

#include "library/byname.hpp"
#include "library/convert_coding.hpp"
#include "registry/registry.hpp"

namespace kelvane::registry {
namespace {

using byname::errorOf;

class CodingByName : public ::testing::Test {
 protected:
  void SetUp() override { Qarn_FTM_c_libInitialize(); }
  void TearDown() override { Qarn_FTM_c_libTerminate(); }
};

Value one(std::string_view name, std::vector<Value> args) {
  Outputs out = call(name, std::move(args), 1);
  EXPECT_EQ(out.size(), 1u) << name;
  return out.empty() ? Value() : out[0];
}

Value zerosRow(std::size_t n) {
  return Value::row(std::vector<double>(n, 0.0));
}

bool contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

TEST_F(CodingByName, EveryOperationIsBuiltWithItsCounts) {
  struct Count {
    const char* name;
    int in, out;
  };
  const std::vector<Count> counts{{"Qarn_FwdTrfChnModParams", 1, 1},
                                  {"Qarn_PhysicalLayerFCS", 1, 1},
                                  {"Qarn_FwdTrfPhysicalLayerPacket", 1, 1},
                                  {"Qarn_FwdSyncMessagePacket", 1, 1},
                                  {"de2bi", 3, 1},
                                  {"bi2de", 2, 1},
                                  {"reverseBits", 2, 1},
                                  {"Qarn_FwdEncoder", 2, 1},
                                  {"Qarn_TurboCoder", 2, 1},
                                  {"Qarn_ConstituentEncoder", 1, 3},
                                  {"Qarn_TurboInterleaver", 1, 1},
                                  {"Qarn_TurboPuncturing", 7, 1},
                                  {"Qarn_FwdScrambler", 3, 1},
                                  {"Qarn_FwdChannelInterleaver", 2, 1},
                                  {"Qarn_FwdSymbolPermuter", 4, 1},
                                  {"Qarn_FwdTrfChn", 6, 1},
                                  {"Qarn_FwdTrfModulator", 2, 1},
                                  {"Qarn_IQmap", 2, 1},
                                  {"Qarn_FwdTrfRepSeq", 2, 1},
                                  {"Qarn_FwdTrfDemux", 1, 1},
                                  {"Qarn_FwdTrfWalshCover", 1, 1},
                                  {"Qarn_FwdTrfChnGain", 1, 1},
                                  {"Qarn_FwdTrfSummer", 1, 1},
                                  {"Qarn_Repeat", 2, 1},
                                  {"Qarn_SignalMap", 1, 1},
                                  {"Qarn_WalshCover", 2, 1},
                                  {"Qarn_WalshMatrix", 1, 1},
                                  {"Qarn_FwdPilot", 0, 1},
                                  {"Qarn_FwdTrfPreamble", 2, 1},
                                  {"Qarn_FwdMACslot", 4, 1}};
  for (const Count& c : counts) {
    const Entry* e = library().operations().find(c.name);
    ASSERT_NE(e, nullptr) << c.name;
    EXPECT_EQ(e->maxInputs, c.in) << c.name;
    EXPECT_EQ(e->maxOutputs, c.out) << c.name;
    EXPECT_TRUE(e->built()) << c.name;
  }
}

TEST_F(CodingByName, ModParamsRecordAndItsOutputCount) {
  const Value m = one("Qarn_FwdTrfChnModParams", {Value::scalar(4)});
  ASSERT_TRUE(m.isRecord());
  const std::vector<std::string> names{"drcValue",
                                       "dataRate",
                                       "slots",
                                       "bits",
                                       "codeRate",
                                       "modulationType",
                                       "preambleTDMChips",
                                       "pilotTDMChips",
                                       "macTDMChips",
                                       "dataTDMChips",
                                       "modulationSymbolsProvided",
                                       "modulationSymbolsRequired"};
  EXPECT_EQ(m.fieldNames(), names);
  EXPECT_EQ(m.field("dataRate").toDouble(), 307.2);
  EXPECT_EQ(m.field("modulationSymbolsRequired").toDouble(), 3072);

  const Value none = one("Qarn_FwdTrfChnModParams", {Value::scalar(0)});
  EXPECT_EQ(none, Value::record({{"drcValue", Value::scalar(0)}}));

  const std::string text = errorOf("Qarn_FwdTrfChnModParams", {Value::scalar(4)}, 2);
  EXPECT_TRUE(contains(text, "Run-time Error: File: Qarn_FwdTrfChnModParams Line: ")) << text;
  EXPECT_TRUE(contains(text,
                       "The function \"Qarn_FwdTrfChnModParams\" was called with more than "
                       "the declared number of outputs (1)."))
      << text;
}

TEST_F(CodingByName, ModParamsConversionReadsFieldsByName) {
  const Value m = one("Qarn_FwdTrfChnModParams", {Value::scalar(10)});
  const coding::ModParams typed = Convert<coding::ModParams>::from(m);
  EXPECT_EQ(typed, coding::FwdTrfChnModParamsTable[9]);
  EXPECT_EQ(Convert<coding::ModParams>::to(typed), m);

  // Field order does not matter; a missing field is named.
  Value shuffled = Value::record();
  for (auto it = m.fieldNames().rbegin(); it != m.fieldNames().rend(); ++it)
    shuffled.setField(*it, m.field(*it));
  EXPECT_EQ(Convert<coding::ModParams>::from(shuffled), typed);
  Value partial = m;
  partial.removeField("codeRate");
  try {
    Convert<coding::ModParams>::from(partial);
    FAIL();
  } catch (const runtime::Error& e) {
    EXPECT_TRUE(contains(e.what(), "codeRate")) << e.what();
  }
  // The one-field record of an unknown DRC cannot drive the chain.
  const std::string text = errorOf(
      "Qarn_FwdTrfChn", {zerosRow(1024), one("Qarn_FwdTrfChnModParams", {Value::scalar(13)}),
                         Value::scalar(5), Value::scalar(1), Value::scalar(1), Value::scalar(1)});
  EXPECT_TRUE(contains(text, "no field")) << text;
  // The scrambler reads drcValue only.
  const Value scrambled =
      one("Qarn_FwdScrambler",
          {zerosRow(40), Value::record({{"drcValue", Value::scalar(1)}}), Value::scalar(0)});
  EXPECT_EQ(scrambled.realData()[6], 1);
  EXPECT_EQ(scrambled.realData()[7], 0);
}

TEST_F(CodingByName, PacketsAreRowsOfZeroOneDoubles) {
  const Value packet = one("Qarn_FwdSyncMessagePacket", {Value::scalar(511)});
  ASSERT_EQ(packet.rows(), 1u);
  ASSERT_EQ(packet.cols(), 1024u);
  // PilotPN (bits 67..75) all ones; FCS 0xB148 at bits 1003..1018.
  for (std::size_t i = 66; i < 75; ++i)
    EXPECT_EQ(packet.realData()[i], 1) << i;
  const std::vector<double> fcs(packet.realData().begin() + 1002, packet.realData().begin() + 1018);
  EXPECT_EQ(one("bi2de", {Value::row(fcs), Value::text("left-msb")}), Value::scalar(0xB148));

  EXPECT_EQ(errorOf("Qarn_FwdSyncMessagePacket", {Value::scalar(512)}),
            "Specified number of columns in output matrix is too small.");
  EXPECT_TRUE(contains(errorOf("Qarn_FwdTrfPhysicalLayerPacket", {zerosRow(1000)}), "got 1000"));
  EXPECT_TRUE(
      contains(errorOf("Qarn_FwdTrfPhysicalLayerPacket", {Value::row({0, 2})}), "expected bits"));
  EXPECT_EQ(one("Qarn_FwdTrfPhysicalLayerPacket", {zerosRow(2004)}), zerosRow(2048));
  // The FCS counts any non-zero element as a one, and reads a matrix column by column.
  EXPECT_EQ(one("Qarn_PhysicalLayerFCS", {Value::row({0, 5, -1})}),
            one("Qarn_PhysicalLayerFCS", {Value::matrix(1, 3, {0, 1, 1})}));
  EXPECT_EQ(one("Qarn_PhysicalLayerFCS", {Value::matrix(2, 2, {1, 0, 0, 1})}),
            one("Qarn_PhysicalLayerFCS", {Value::row({1, 0, 0, 1})}));
}

TEST_F(CodingByName, BitFieldConversions) {
  EXPECT_EQ(one("de2bi", {Value::scalar(6), Value::scalar(4), Value::text("left-msb")}),
            Value::row({0, 1, 1, 0}));
  EXPECT_EQ(one("de2bi", {Value::scalar(11)}), Value::row({1, 1, 0, 1}));
  EXPECT_EQ(one("de2bi", {Value::row({1, 6}), Value::text("left-msb")}),
            Value::matrix(2, 3, {0, 1, 0, 1, 1, 0}));
  EXPECT_EQ(one("bi2de", {Value::matrix(2, 3, {0, 1, 0, 1, 1, 0}), Value::text("left-msb")}),
            Value::column({1, 6}));
  EXPECT_EQ(one("reverseBits", {Value::scalar(1), Value::scalar(5)}), Value::scalar(16));
  EXPECT_EQ(errorOf("de2bi", {Value::scalar(16), Value::scalar(4)}),
            "Specified number of columns in output matrix is too small.");
  EXPECT_EQ(errorOf("de2bi", {Value::scalar(-3), Value::scalar(4)}),
            "Input must contain only finite real positive integers.");
  EXPECT_EQ(errorOf("de2bi", {Value::scalar(3), Value::scalar(4), Value::text("up")}),
            "Invalid string flag.");
  EXPECT_EQ(errorOf("bi2de", {Value::row({1, 3})}),
            "The elements of the matrix are larger than the base can represent.");
}

TEST_F(CodingByName, TurboStagesAndTheirOutputs) {
  Outputs three = call("Qarn_ConstituentEncoder", {Value::row({1, 0, 0, 0, 0, 0, 0, 0})}, 3);
  ASSERT_EQ(three.size(), 3u);
  EXPECT_EQ(three[0], Value::row({1, 0, 0, 0, 0, 0, 0, 0, 0, 1, 1}));
  EXPECT_EQ(three[1], Value::row({1, 1, 1, 1, 0, 0, 1, 0, 1, 0, 1}));
  EXPECT_EQ(three[2], Value::row({1, 1, 0, 1, 1, 1, 0, 0, 1, 1, 1}));

  std::vector<double> numbered(1018);
  for (std::size_t i = 0; i < numbered.size(); ++i)
    numbered[i] = static_cast<double>(i);
  const Value interleaved = one("Qarn_TurboInterleaver", {Value::row(numbered)});
  EXPECT_EQ(interleaved.realData()[0], 27);
  EXPECT_EQ(interleaved.realData()[1017], 992);

  const Value m = one("Qarn_FwdTrfChnModParams", {Value::scalar(1)});
  EXPECT_EQ(one("Qarn_FwdEncoder", {zerosRow(1024), m}).cols(), 5120u);
  EXPECT_EQ(one("Qarn_TurboCoder", {zerosRow(1018), Value::scalar(1.0 / 3)}).cols(), 3072u);
  EXPECT_TRUE(contains(errorOf("Qarn_TurboCoder", {zerosRow(1018), Value::scalar(0.5)}), "rate"));
  const Value s = Value::row({1, 2, 3, 4});
  EXPECT_EQ(one("Qarn_TurboPuncturing", {s, s, s, s, s, s, Value::scalar(1.0 / 3)}).cols(), 21u);
}

TEST_F(CodingByName, InterleaverTakesNumberedSymbols) {
  std::vector<double> numbered(3072);
  for (std::size_t i = 0; i < numbered.size(); ++i)
    numbered[i] = static_cast<double>(i + 1);
  const Value out = one("Qarn_FwdChannelInterleaver",
                        {Value::row(numbered), one("Qarn_FwdTrfChnModParams", {Value::scalar(6)})});
  EXPECT_EQ(out.realData()[1], 1537);
  EXPECT_EQ(one("Qarn_FwdSymbolPermuter", {Value::row({1, 2, 3, 4, 5, 6, 7, 8}), Value::scalar(2),
                                           Value::scalar(4), Value::text("u")}),
            Value::row({1, 5, 3, 7, 6, 2, 8, 4}));
  EXPECT_TRUE(contains(errorOf("Qarn_FwdSymbolPermuter", {Value::row({1, 2}), Value::scalar(1),
                                                          Value::scalar(2), Value::text("X")}),
                       "\"U\" or \"V\""));
  EXPECT_TRUE(contains(
      errorOf("Qarn_FwdScrambler",
              {zerosRow(8), one("Qarn_FwdTrfChnModParams", {Value::scalar(1)}), Value::scalar(64)}),
      "macIndex"));
}

TEST_F(CodingByName, ChainAndItsStagesKeepTheirShapes) {
  const Value m = one("Qarn_FwdTrfChnModParams", {Value::scalar(6)});
  const Value chips = one("Qarn_FwdTrfChn", {zerosRow(1024), m, Value::scalar(5), Value::scalar(1),
                                             Value::scalar(1), Value::scalar(1)});
  ASSERT_TRUE(chips.isComplex());
  EXPECT_EQ(chips.rows(), 1u);
  EXPECT_EQ(chips.cols(), 1536u);
  EXPECT_NEAR(chips.complexData()[0].real(), -1.0607, 5e-5);
  EXPECT_NEAR(chips.complexData()[0].imag(), -0.3536, 5e-5);

  const Value symbols = one("Qarn_FwdTrfModulator", {Value::row({0, 0, 1, 1}), Value::scalar(1)});
  EXPECT_EQ(symbols.cols(), 2u);
  const Value point = one("Qarn_IQmap", {Value::row({1, 1, 1, 1}), Value::scalar(3)});
  EXPECT_NEAR(point.complexData()[0].real(), -1 / std::sqrt(10.0), 1e-15);

  const Value demuxed = one("Qarn_FwdTrfDemux", {Value::row({1, 2, 3})});
  EXPECT_EQ(demuxed.rows(), 16u);
  EXPECT_EQ(demuxed.cols(), 1u);
  EXPECT_TRUE(demuxed.isReal());
  const Value covered = one("Qarn_FwdTrfWalshCover", {demuxed});
  EXPECT_EQ(covered.rows(), 16u);
  EXPECT_EQ(covered.cols(), 16u);
  const Value gained = one("Qarn_FwdTrfChnGain", {Value::matrix(2, 1, {4, 8})});
  EXPECT_EQ(gained, Value::matrix(2, 1, {1, 2}));
  const Value summed = one("Qarn_FwdTrfSummer", {one("Qarn_FwdTrfChnGain", {covered})});
  EXPECT_EQ(summed.rows(), 1u);
  EXPECT_EQ(summed.cols(), 16u);
  EXPECT_TRUE(contains(errorOf("Qarn_FwdTrfSummer", {Value::row({1, 2})}), "16 rows"));
  EXPECT_EQ(one("Qarn_FwdTrfRepSeq", {Value::row({1, 2, 3}), Value::scalar(5)}),
            Value::row({1, 2, 3, 1, 2}));
  EXPECT_TRUE(contains(errorOf("Qarn_FwdTrfChn", {zerosRow(1024), m, Value::scalar(5)}),
                       "Not enough input arguments"));
}

TEST_F(CodingByName, SequenceHelpersAndSlotBursts) {
  EXPECT_EQ(one("Qarn_Repeat", {Value::row({1, 2, 3}), Value::scalar(2)}),
            Value::row({1, 2, 3, 1, 2, 3}));
  EXPECT_EQ(one("Qarn_Repeat", {Value::row({1, 2, 3}), Value::scalar(0)}).numel(), 0u);
  EXPECT_EQ(one("Qarn_SignalMap", {Value::row({0, 1, 1, 0})}), Value::row({1, -1, -1, 1}));
  EXPECT_EQ(one("Qarn_SignalMap", {Value::matrix(2, 2, {0, 1, 1, 0})}),
            Value::matrix(2, 2, {1, -1, -1, 1}));
  EXPECT_EQ(one("Qarn_WalshCover", {Value::row({2, -1}), Value::row({1, -1})}),
            Value::row({2, -2, -1, 1}));
  EXPECT_EQ(one("Qarn_WalshMatrix", {Value::scalar(2)}), Value::matrix(2, 2, {1, 1, 1, -1}));
  EXPECT_EQ(one("Qarn_WalshMatrix", {Value::scalar(48)}).rows(), 32u);

  EXPECT_EQ(one("Qarn_FwdPilot", {}), Value::row(std::vector<double>(96, 1.0)));
  EXPECT_EQ(one("Qarn_FwdTrfPreamble", {Value::scalar(3), Value::scalar(32)}).cols(), 1024u);
  EXPECT_TRUE(
      contains(errorOf("Qarn_FwdTrfPreamble", {Value::scalar(64), Value::scalar(2)}), "MACindex"));

  const Value mac =
      one("Qarn_FwdMACslot", {zerosRow(59), zerosRow(59), Value::scalar(0), Value::scalar(0)});
  EXPECT_TRUE(mac.isComplex());
  EXPECT_EQ(mac.cols(), 256u);
  const Value column = Value::column(std::vector<double>(59, 0.0));
  EXPECT_TRUE(contains(
      errorOf("Qarn_FwdMACslot", {zerosRow(59), column, Value::scalar(0), Value::scalar(0)}),
      "same shape"));
  EXPECT_TRUE(contains(
      errorOf("Qarn_FwdMACslot", {zerosRow(58), zerosRow(58), Value::scalar(0), Value::scalar(0)}),
      "at least 59"));
  EXPECT_TRUE(contains(errorOf("Qarn_FwdMACslot",
                               {zerosRow(59), zerosRow(59), Value::row({0, 1}), Value::scalar(0)}),
                       "single values"));
}

}  // namespace
}  // namespace kelvane::registry
