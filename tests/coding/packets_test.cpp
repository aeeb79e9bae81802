// Frame check sequence, traffic and control channel packets, and the bit field conversions.
#include <gtest/gtest.h>

#include <algorithm>
#include <limits>
#include <string>
#include <vector>

#include "bit_strings.hpp"
#include "coding/binary.hpp"
#include "coding/error.hpp"
#include "coding/fcs.hpp"
#include "coding/packets.hpp"

namespace kelvane::coding {
namespace {

using testing::bitsOf;
using testing::bitsOfBytes;

std::string errorOf(auto&& f) {
  try {
    f();
  } catch (const Error& e) {
    return e.what();
  }
  return "no error";
}

Bits fcsOf(unsigned value) {
  return de2bi(value, 16, "left-msb");
}

TEST(PhysicalLayerFCS, StandardCheckValues) {
  EXPECT_EQ(Qarn_PhysicalLayerFCS(bitsOfBytes("123456789")), fcsOf(0x31C3));
  EXPECT_EQ(Qarn_PhysicalLayerFCS(bitsOfBytes("abc")), fcsOf(0x9DD6));
  EXPECT_EQ(Qarn_PhysicalLayerFCS(Bits{}), Bits(16, 0));
  EXPECT_EQ(Qarn_PhysicalLayerFCS(Bits(1002, 0)), Bits(16, 0));
  // Any non-zero element is a one.
  Bits loose = bitsOfBytes("abc");
  for (auto& b : loose)
    b *= 7;
  EXPECT_EQ(Qarn_PhysicalLayerFCS(loose), fcsOf(0x9DD6));
}

TEST(TrafficPacket, PayloadsArePaddedAndTerminated) {
  for (std::size_t k = 1; k <= 4; ++k) {
    SCOPED_TRACE(k);
    Bits data(1002 * k);
    for (std::size_t i = 0; i < data.size(); ++i)
      data[i] = (i * 7 + i / 3) % 2;
    const Bits packet = Qarn_FwdTrfPhysicalLayerPacket(data);
    ASSERT_EQ(packet.size(), 1024 * k);
    Bits content;
    for (std::size_t p = 0; p < k; ++p) {
      if (p > 0) content.insert(content.end(), 22, 0);
      content.insert(content.end(), data.begin() + 1002 * p, data.begin() + 1002 * (p + 1));
    }
    const Bits fcs = Qarn_PhysicalLayerFCS(content);
    EXPECT_TRUE(std::equal(content.begin(), content.end(), packet.begin()));
    EXPECT_TRUE(std::equal(fcs.begin(), fcs.end(), packet.end() - 22));
    EXPECT_EQ(Bits(packet.end() - 6, packet.end()), Bits(6, 0));
  }
}

TEST(TrafficPacket, TwoPayloadLayoutPositions) {
  Bits data(2004, 1);
  const Bits packet = Qarn_FwdTrfPhysicalLayerPacket(data);
  ASSERT_EQ(packet.size(), 2048u);
  // 1-based: bits 1003..1024 PAD, payload 2 from 1025, FCS 2027..2042, tail 2043..2048.
  EXPECT_EQ(Bits(packet.begin() + 1002, packet.begin() + 1024), Bits(22, 0));
  EXPECT_EQ(packet[1001], 1);
  EXPECT_EQ(packet[1024], 1);
  EXPECT_EQ(packet[2025], 1);
  Bits content(packet.begin(), packet.begin() + 2026);
  EXPECT_EQ(Bits(packet.begin() + 2026, packet.begin() + 2042), Qarn_PhysicalLayerFCS(content));
  EXPECT_EQ(Bits(packet.begin() + 2042, packet.end()), Bits(6, 0));
  EXPECT_EQ(Qarn_FwdTrfPhysicalLayerPacket(Bits(1002, 0)), Bits(1024, 0));
}

TEST(TrafficPacket, OtherLengthsAreRefusedNamingTheLength) {
  for (std::size_t n : {0u, 1001u, 1003u, 5010u}) {
    const std::string text = errorOf([&] { Qarn_FwdTrfPhysicalLayerPacket(Bits(n, 0)); });
    EXPECT_NE(text.find("got " + std::to_string(n)), std::string::npos) << text;
  }
  Bits notBits(1002, 0);
  notBits[5] = 2;
  EXPECT_THROW(Qarn_FwdTrfPhysicalLayerPacket(notBits), Error);
}

// The Control Channel packet field by field, most significant bit first.
Bits syncPacketReference(unsigned pilotPN, unsigned fcs) {
  std::string s =
      "1 1 1 00 1 00"                                   // Control Channel header
      "00001100 0 1 0000 00"                            // MAC layer header
      "00001010"                                        // ConnectionLayerHeader
      "00 0000 0 0"                                     // stream, SLP-F, SLP-D headers
      "0 0001011"                                       // SNP header
      "00 00000001 00000000";                           // MessageID, revisions
  s += testing::textOf(de2bi(pilotPN, 9, "left-msb"));  // PilotPN
  s += "0011000001111111001111001100100000000";         // SystemTime
  s += std::string(888, '0') + "00";                    // Pad, Reserved
  s += testing::textOf(fcsOf(fcs)) + "000000";          // FCS, TAIL
  return bitsOf(s);
}

TEST(SyncMessagePacket, FieldsAndFrameCheckSequences) {
  EXPECT_EQ(syncPacketReference(0, 0x9B2B).size(), 1024u);
  EXPECT_EQ(Qarn_FwdSyncMessagePacket(0), syncPacketReference(0, 0x9B2B));
  EXPECT_EQ(Qarn_FwdSyncMessagePacket(1), syncPacketReference(1, 0x2585));
  EXPECT_EQ(Qarn_FwdSyncMessagePacket(511), syncPacketReference(511, 0xB148));
  const Bits p0 = Qarn_FwdSyncMessagePacket(0);
  EXPECT_EQ(Bits(p0.begin() + 1002, p0.begin() + 1018), bitsOf("1001101100101011"));
  // The system time field holds 26036640000.
  const std::vector<double> time(p0.begin() + 75, p0.begin() + 112);
  EXPECT_EQ(bi2de(time, "left-msb"), 26036640000.0);
}

TEST(SyncMessagePacket, OffsetsOutsideNineBitsAreRefused) {
  EXPECT_EQ(errorOf([] { Qarn_FwdSyncMessagePacket(512); }),
            "Specified number of columns in output matrix is too small.");
  EXPECT_EQ(errorOf([] { Qarn_FwdSyncMessagePacket(-1); }),
            "Input must contain only finite real positive integers.");
  EXPECT_EQ(errorOf([] { Qarn_FwdSyncMessagePacket(2.5); }),
            "Input must contain only finite real positive integers.");
}

TEST(BitFields, De2biAndBi2deRoundTrip) {
  EXPECT_EQ(de2bi(6, 4, "left-msb"), (Bits{0, 1, 1, 0}));
  EXPECT_EQ(de2bi(6, 4, "right-msb"), (Bits{0, 1, 1, 0}));
  EXPECT_EQ(de2bi(6, 4), (Bits{0, 1, 1, 0}));
  EXPECT_EQ(de2bi(11, 5, "left-msb"), (Bits{0, 1, 0, 1, 1}));
  EXPECT_EQ(de2bi(11, 5), (Bits{1, 1, 0, 1, 0}));
  EXPECT_EQ(de2bi(11), (Bits{1, 1, 0, 1}));
  EXPECT_EQ(de2bi(0), (Bits{0}));
  EXPECT_EQ(de2bi(511, 9, "left-msb"), Bits(9, 1));
  // Beyond 2^53 every double is whole and converts exactly.
  EXPECT_EQ(de2bi(0x1p60, 61, "left-msb")[0], 1);
  EXPECT_EQ(de2bi(0x1p60).size(), 61u);

  EXPECT_EQ(bi2de(std::vector<double>{0, 1, 1, 0}, "left-msb"), 6);
  EXPECT_EQ(bi2de(std::vector<double>{1, 1, 0, 1, 0}), 11);
  EXPECT_EQ(bi2de(std::vector<double>{}), 0);
  for (double d : {0.0, 1.0, 5.0, 300.0, 26036640000.0}) {
    const Bits b = de2bi(d, 40, "left-msb");
    EXPECT_EQ(bi2de(std::vector<double>(b.begin(), b.end()), "left-msb"), d);
  }

  EXPECT_EQ(reverseBits(1, 5), 16);
  EXPECT_EQ(reverseBits(3, 5), 24);
  EXPECT_EQ(reverseBits(256, 10), 2);
  EXPECT_EQ(reverseLowBits(1, 9), 256u);
  for (std::uint32_t n = 0; n < 32; ++n)
    EXPECT_EQ(reverseBits(n, 5), reverseLowBits(n, 5));
}

TEST(BitFields, ErrorsCarryTheirTexts) {
  EXPECT_EQ(errorOf([] { de2bi(16, 4); }),
            "Specified number of columns in output matrix is too small.");
  for (double bad : {-1.0, 0.5, std::numeric_limits<double>::infinity(),
                     std::numeric_limits<double>::quiet_NaN()})
    EXPECT_EQ(errorOf([&] { de2bi(bad, 4); }),
              "Input must contain only finite real positive integers.");
  EXPECT_EQ(errorOf([] { de2bi(3, 4, "msb"); }), "Invalid string flag.");
  EXPECT_EQ(errorOf([] { de2bi(3, 4, "Left-MSB"); }), "Invalid string flag.");
  EXPECT_THROW(de2bi(3, 0), Error);
  EXPECT_THROW(de2bi(3, 2.5), Error);
  EXPECT_EQ(errorOf([] {
              bi2de(std::vector<double>{0, 2, 1});
            }),
            "The elements of the matrix are larger than the base can represent.");
  EXPECT_EQ(errorOf([] { bi2de(std::vector<double>{1, 0}, "lsb"); }), "Invalid string flag.");
  EXPECT_EQ(errorOf([] { reverseBits(32, 5); }),
            "Specified number of columns in output matrix is too small.");
}

}  // namespace
}  // namespace kelvane::coding
