// Instrument addresses in the tool's short forms and as VISA resource strings: what each sets in
// the configuration, the forms refused with their messages, the VISA form of a configuration,
// and the checks a configuration passes before it is saved.
#include "instrument/instrument_address.hpp"

#include <gtest/gtest.h>

namespace kelvane::instrument {
namespace {

Configuration applied(std::string_view text, Configuration start = {}) {
  const auto error = applyInstrumentAddress(text, start);
  EXPECT_FALSE(error.has_value()) << text << ": " << error.value_or("");
  return start;
}

std::string refused(std::string_view text) {
  Configuration c;
  c.type = "RS232";
  const auto error = applyInstrumentAddress(text, c);
  EXPECT_TRUE(error.has_value()) << text;
  EXPECT_EQ(c.type, "RS232") << text << ": a refused address changes nothing";
  return error.value_or("");
}

TEST(InstrumentAddress, VisaAndShortFormsSetTheirConnection) {
  const Configuration lan = applied("TCPIP0::192.168.0.5::5025::SOCKET");
  EXPECT_EQ(lan.type, "TCPIP");
  EXPECT_EQ(lan.TCPIP.address, "192.168.0.5:5025");
  EXPECT_EQ(lan.GPIB.primary, 19);  // the other connections' fields stay
  EXPECT_EQ(applied("tcpip::siggen.lab::5026::socket").TCPIP.address, "siggen.lab:5026");
  EXPECT_EQ(applied("TCPIP1::[fe80::1]::5025::SOCKET").TCPIP.address, "[fe80::1]:5025");
  EXPECT_EQ(applied("TCPIP1::[fe80::1]::5025::SOCKET").TCPIP.board, 1);
  EXPECT_EQ(applied("lan:10.0.0.7").TCPIP.address, "10.0.0.7");

  const Configuration gpib = applied("GPIB0::19::INSTR");
  EXPECT_EQ(gpib.type, "GPIB");
  EXPECT_EQ(gpib.GPIB.board, 0);
  EXPECT_EQ(gpib.GPIB.primary, 19);
  EXPECT_EQ(gpib.GPIB.secondary, -1);
  const Configuration secondary = applied("GPIB2::7::3::INSTR");
  EXPECT_EQ(secondary.GPIB.board, 2);
  EXPECT_EQ(secondary.GPIB.primary, 7);
  EXPECT_EQ(secondary.GPIB.secondary, 3);
  EXPECT_EQ(applied("GPIB::5").GPIB.primary, 5);
  EXPECT_EQ(applied("gpib:1,20,4").GPIB.secondary, 4);

  const Configuration com = applied("ASRL1::INSTR");
  EXPECT_EQ(com.type, "RS232");
  EXPECT_EQ(com.RS232.port, 1);
  EXPECT_EQ(com.RS232.device, "");
  const Configuration usb = applied("ASRL/dev/ttyUSB0::INSTR");
  EXPECT_EQ(usb.RS232.device, "/dev/ttyUSB0");
  EXPECT_EQ(usb.RS232.baudrate, 9600);
  const Configuration shortUsb = applied("serial:/dev/ttyUSB0,115200");
  EXPECT_EQ(shortUsb.RS232.device, "/dev/ttyUSB0");
  EXPECT_EQ(shortUsb.RS232.baudrate, 115200);
  // A port number replaces a device path set before.
  const Configuration back = applied("serial:3,19200", shortUsb);
  EXPECT_EQ(back.RS232.port, 3);
  EXPECT_EQ(back.RS232.device, "");
}

TEST(InstrumentAddress, OtherFormsAreRefusedWithTheirReason) {
  const std::string vxi = refused("TCPIP0::10.0.0.7::inst0::INSTR");
  EXPECT_EQ(vxi,
            "\"TCPIP0::10.0.0.7::inst0::INSTR\" is a VXI-11 or HiSLIP address; the signal "
            "generator is reached over its raw SCPI socket instead: write "
            "TCPIP0::10.0.0.7::5025::SOCKET (5025 is the usual port).");
  EXPECT_NE(refused("TCPIP0::10.0.0.7::hislip0").find("raw SCPI socket"), std::string::npos);
  EXPECT_NE(refused("TCPIP::siggen::INSTR").find("VXI-11"), std::string::npos);
  EXPECT_EQ(refused("TCPIP0::10.0.0.7::port::SOCKET"),
            "The instrument address \"TCPIP0::10.0.0.7::port::SOCKET\": the port must be a whole "
            "number, not \"port\".");
  EXPECT_NE(refused("TCPIP0::0.0.0.0::5025::SOCKET").find("No LAN address is set"),
            std::string::npos);
  EXPECT_EQ(refused("GPIB0::x::INSTR"),
            "The instrument address \"GPIB0::x::INSTR\": the primary address must be a whole "
            "number, not \"x\".");
  EXPECT_EQ(refused("usb0::1::INSTR")
                .rfind("\"usb0::1::INSTR\" is not an instrument address. "
                       "Write the instrument address as TCPIP0::",
                       0),
            0u);
  for (const char* bad : {"GPIBx::19::INSTR", "GPIB0", "ASRL::INSTR", "TCPIP0",
                          "TCPIP0::h::5025::SOCKET::x", "serial:", "gpib:1", "lan:"})
    EXPECT_FALSE(refused(bad).empty()) << bad;
  EXPECT_NE(refused("serial:2,fast").find("the baud rate must be a whole number"),
            std::string::npos);
}

TEST(InstrumentAddress, AConfigurationInVisaForm) {
  Configuration c;
  EXPECT_EQ(visaResource(c), "GPIB0::19::INSTR");
  c.GPIB.secondary = 2;
  EXPECT_EQ(visaResource(c), "GPIB0::19::2::INSTR");
  c.type = "rs232";
  EXPECT_EQ(visaResource(c), "ASRL1::INSTR");
  c.RS232.device = "/dev/ttyUSB1";
  EXPECT_EQ(visaResource(c), "ASRL/dev/ttyUSB1::INSTR");
  c.type = "TCPIP";
  c.TCPIP.address = "siggen.lab";
  EXPECT_EQ(visaResource(c), "TCPIP0::siggen.lab::5025::SOCKET");
  c.TCPIP.address = "[fe80::1]:6000";
  EXPECT_EQ(visaResource(c), "TCPIP0::[fe80::1]::6000::SOCKET");
  // Every VISA form reads back to the same connection.
  for (const char* text : {"TCPIP0::10.1.2.3::5025::SOCKET", "GPIB3::12::5::INSTR", "ASRL4::INSTR",
                           "ASRL/dev/ttyACM0::INSTR"})
    EXPECT_EQ(visaResource(applied(text)), text);
  c.type = "USB";
  EXPECT_EQ(visaResource(c), "");
}

TEST(InstrumentAddress, ConfigurationProblemsUseTheDialogsRanges) {
  EXPECT_TRUE(configurationProblems(Configuration{}).empty());
  Configuration c;
  c.type = "Ethernet";
  c.GPIB.board = 16;
  c.GPIB.primary = 19.5;
  c.GPIB.secondary = -2;
  c.RS232.port = 10;
  c.RS232.baudrate = 14400;
  c.RS232.handshake = "xon";
  c.RS232.device = "ttyUSB0";
  c.BBGtype = "016";
  EXPECT_EQ(configurationProblems(c),
            (std::vector<std::string>{
                "type must be GPIB, RS232 or TCPIP, not \"Ethernet\".",
                "GPIB.board must be a whole number from 0 to 15, not 16.",
                "GPIB.primary must be a whole number from 0 to 30, not 19.5.",
                "GPIB.secondary must be a whole number from -1 to 31, not -2.",
                "RS232.port must be a whole number from 1 to 9, not 10.",
                "RS232.baudrate must be one of 300, 600, 1200, 2400, 4800, 9600, 19200, 38400, "
                "57600, 115200, not 14400.",
                "RS232.handshake must be None, Xon/Xoff or RTS/CTS, not \"xon\".",
                "RS232.device must be a device path such as /dev/ttyUSB0, not \"ttyUSB0\".",
                "BBGtype must be 008 or 032, not \"016\".",
            }));
  // The LAN address counts only for a LAN connection: the start-up 0.0.0.0 is unset.
  Configuration lan;
  lan.type = "tcpip";
  ASSERT_EQ(configurationProblems(lan).size(), 1u);
  EXPECT_EQ(configurationProblems(lan)[0].rfind("TCPIP.address: No LAN address is set", 0), 0u);
  lan.TCPIP.address = "10.0.0.7:70000";
  EXPECT_NE(configurationProblems(lan)[0].find("invalid port"), std::string::npos);
}

}  // namespace
}  // namespace kelvane::instrument
