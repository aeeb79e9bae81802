// The LAN address forms the transport and the command-line tool accept, and the ones they refuse
// with a message naming the address.
#include "instrument/lan_address.hpp"

#include <gtest/gtest.h>

namespace kelvane::instrument {
namespace {

LanAddress accepted(std::string_view text) {
  const LanAddressParse p = parseLanAddress(text);
  EXPECT_TRUE(p.address.has_value()) << text << ": " << p.error;
  EXPECT_EQ(p.error, "") << text;
  return p.address.value_or(LanAddress{});
}

std::string refused(std::string_view text) {
  const LanAddressParse p = parseLanAddress(text);
  EXPECT_FALSE(p.address.has_value()) << text;
  return p.error;
}

TEST(LanAddress, HostsAndDottedAddressesTakeTheDefaultPort) {
  const LanAddress dotted = accepted("192.168.0.20");
  EXPECT_EQ(dotted.host, "192.168.0.20");
  EXPECT_EQ(dotted.port, 5025);
  EXPECT_EQ(accepted("siggen.lab").host, "siggen.lab");
  EXPECT_EQ(accepted("siggen.lab").port, kDefaultLanPort);
  EXPECT_EQ(lanLabel(dotted), "192.168.0.20:5025");
}

TEST(LanAddress, PortsBracketsAndBlanks) {
  const LanAddress withPort = accepted("  10.0.0.7:5026\t");
  EXPECT_EQ(withPort.host, "10.0.0.7");
  EXPECT_EQ(withPort.port, 5026);
  EXPECT_EQ(accepted("localhost:1").port, 1);
  EXPECT_EQ(accepted("localhost:65535").port, 65535);

  const LanAddress v6 = accepted("[fe80::1]:6000");
  EXPECT_EQ(v6.host, "fe80::1");
  EXPECT_EQ(v6.port, 6000);
  EXPECT_EQ(lanLabel(v6), "[fe80::1]:6000");
  EXPECT_EQ(accepted("[::1]").port, 5025);
  const LanAddress bare = accepted("fe80::2");  // more than one colon: no port
  EXPECT_EQ(bare.host, "fe80::2");
  EXPECT_EQ(bare.port, 5025);
}

TEST(LanAddress, BadPortsAreRefusedNamingTheAddressAndThePort) {
  EXPECT_EQ(refused("127.0.0.1:99999"),
            "The LAN address \"127.0.0.1:99999\" has an invalid port \"99999\".");
  EXPECT_EQ(refused("host:0"), "The LAN address \"host:0\" has an invalid port \"0\".");
  EXPECT_EQ(refused(" host: "), "The LAN address \"host:\" has an invalid port \"\".");
  EXPECT_EQ(refused("host:50x"), "The LAN address \"host:50x\" has an invalid port \"50x\".");
  EXPECT_EQ(refused("[::1]:-1"), "The LAN address \"[::1]:-1\" has an invalid port \"-1\".");
}

TEST(LanAddress, BadBracketsAreRefused) {
  EXPECT_EQ(refused("[fe80::1"), "The LAN address \"[fe80::1\" is not valid.");
  EXPECT_EQ(refused("[fe80::1]6000"), "The LAN address \"[fe80::1]6000\" is not valid.");
}

TEST(LanAddress, TheUnsetAddressesAreRefused) {
  for (const char* text : {"", "   ", "0.0.0.0", "::", "[::]:5025", "0.0.0.0:5025", ":5025"}) {
    EXPECT_EQ(refused(text), "No LAN address is set for the signal generator (TCPIP.address is \"" +
                                 std::string(text) + "\"). Set it in the I/O configuration.");
  }
}

}  // namespace
}  // namespace kelvane::instrument
