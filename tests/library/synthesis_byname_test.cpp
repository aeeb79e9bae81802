// The waveform synthesis, its helpers and the test data by name: counts, shapes and
// orientations, optional inputs and error texts.
#include <gtest/gtest.h>

#include <array>
#include <complex>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "library/byname.hpp"
#include "registry/registry.hpp"

namespace kelvane::registry {
namespace {

using byname::column;
using byname::errorOf;
using byname::row;

using cd = std::complex<double>;

class SynthesisByName : public ::testing::Test {
 protected:
  void SetUp() override { Qarn_FTM_c_libInitialize(); }
  void TearDown() override { Qarn_FTM_c_libTerminate(); }
};

Value num(double x) {
  return Value::scalar(x);
}

TEST_F(SynthesisByName, DeclaredCountsAndBuilt) {
  struct Count {
    const char* name;
    int in, out;
  };
  for (const Count& c :
       {Count{"lfsr", 4, 1}, Count{"CircularShiftRight", 2, 1}, Count{"Qarn_PNiSequence", 1, 1},
        Count{"Qarn_PNqSequence", 1, 1}, Count{"Qarn_FwdQuadSpreading", 2, 1},
        Count{"Qarn_FwdPhaseEq", 2, 1}, Count{"eqlrfilt", 1, 2}, Count{"bilinear", 4, 2},
        Count{"circularShift", 4, 1}, Count{"upsample", 2, 1}, Count{"upsampleMarker", 2, 1},
        Count{"Qarn_FwdModulatedWaveform", 10, 2}, Count{"GenerateBitStream", 3, 1},
        Count{"PNgenerator", 5, 1}, Count{"extendVector", 2, 1},
        Count{"Qarn_ChannelNumberToFrequency", 3, 1}}) {
    const Entry* e = library().operations().find(c.name);
    ASSERT_NE(e, nullptr) << c.name;
    EXPECT_EQ(e->maxInputs, c.in) << c.name;
    EXPECT_EQ(e->maxOutputs, c.out) << c.name;
    EXPECT_TRUE(e->built()) << c.name;
  }
  EXPECT_NE(errorOf("Qarn_ChannelNumberToFrequency", {num(1), num(1), num(500), num(1)})
                .find("was called with more than the declared number of inputs (3)."),
            std::string::npos);
}

TEST_F(SynthesisByName, ShiftRegisterAndPNSequences) {
  EXPECT_EQ(call("lfsr", {num(3), row({1, 1, 0, 1}), num(7), row({0, 0, 1})})[0],
            row({0, 0, 1, 0, 1, 1, 1}));
  EXPECT_NE(errorOf("lfsr", {num(3), row({1, 0.5, 0}), num(7), row({0, 0, 1})}), "(no error)");
  const Value pnI = call("Qarn_PNiSequence", {num(2)})[0];
  EXPECT_EQ(pnI.rows(), 1u);
  EXPECT_EQ(pnI.cols(), 65536u);
  EXPECT_EQ(pnI.realData()[15], 1.0);
  EXPECT_EQ(call("Qarn_PNqSequence", {num(1)})[0].cols(), 32768u);
  EXPECT_EQ(errorOf("Qarn_PNiSequence", {num(0)}),
            "CircularShiftRight: shift count 15 exceeds the length 0");

  EXPECT_EQ(call("CircularShiftRight", {row({1, 2, 3, 4, 5}), num(2)})[0], row({4, 5, 1, 2, 3}));
  EXPECT_EQ(call("CircularShiftRight", {row({1, 2, 3, 4, 5}), num(-3)})[0], row({1, 2, 3, 4, 5}));
  EXPECT_EQ(call("CircularShiftRight", {column({1, 2, 3}), num(1)})[0], column({3, 1, 2}));
  const Value z = Value::complexRow({cd(1, 1), cd(2, -2), cd(3, 3)});
  EXPECT_EQ(call("CircularShiftRight", {z, num(1)})[0],
            Value::complexRow({cd(3, 3), cd(1, 1), cd(2, -2)}));
  EXPECT_NE(errorOf("CircularShiftRight", {row({1, 2}), num(3)}), "(no error)");
}

TEST_F(SynthesisByName, SpreadingKeepsTheShape) {
  std::vector<double> ones(2 * 32768, 1.0);
  const Value frames = Value::matrix(2, 32768, ones);
  const Value out = call("Qarn_FwdQuadSpreading", {frames, num(0)})[0];
  ASSERT_TRUE(out.isComplex());
  EXPECT_EQ(out.rows(), 2u);
  EXPECT_EQ(out.cols(), 32768u);
  // Elements in column-major order are spread in order: element 1 and 2 by PN chips 1 and 2.
  EXPECT_EQ(out.complexData()[0], cd(1, 1));
  EXPECT_EQ(out.complexData()[15], cd(-1, -1));
  EXPECT_NE(errorOf("Qarn_FwdQuadSpreading", {row({1, 2, 3}), num(0)}), "(no error)");
}

TEST_F(SynthesisByName, PhaseEqualizerAndItsDesign) {
  const Outputs ba = call("eqlrfilt", {num(5 * 1228800.0)}, 2);
  ASSERT_EQ(ba.size(), 2u);
  EXPECT_NEAR(ba[0].realData()[0], 0.641981147653297, 1e-15);
  EXPECT_EQ(ba[1].realData()[0], 1.0);
  const Outputs bl =
      call("bilinear",
           {row({1, -1.36 * 1979203.3717615698, 1979203.3717615698 * 1979203.3717615698}),
            row({1, 1.36 * 1979203.3717615698, 1979203.3717615698 * 1979203.3717615698}),
            num(5 * 1228800.0), num(500000)},
           2);
  EXPECT_EQ(bl[0], ba[0]);
  EXPECT_EQ(bl[1], ba[1]);
  EXPECT_EQ(errorOf("bilinear", {row({1, 2, 3}), row({1, 1}), num(1000), num(100)}),
            "Numerator cannot be higher order than denominator.");

  std::vector<double> x(500, 0.0);
  x[0] = 1;
  const Value y = call("Qarn_FwdPhaseEq", {Value::row(x), num(4)})[0];
  EXPECT_TRUE(y.isComplex());
  EXPECT_EQ(y.rows(), 1u);
  EXPECT_EQ(y.cols(), 500u);
  EXPECT_NE(errorOf("Qarn_FwdPhaseEq", {Value::row(std::vector<double>(50, 1.0)), num(4)}),
            "(no error)");
}

TEST_F(SynthesisByName, CircularShiftDefaultsAndTexts) {
  const std::string usage = "Usage: circularShift(matrix, [amount], [position], [ 'r' | 'c' ] ";
  EXPECT_EQ(errorOf("circularShift", {}), usage);
  EXPECT_EQ(call("circularShift", {row({1, 2, 3, 4, 5})})[0], row({5, 1, 2, 3, 4}));
  EXPECT_EQ(call("circularShift", {row({1, 2, 3, 4, 5}), num(-2)})[0], row({3, 4, 5, 1, 2}));
  EXPECT_EQ(call("circularShift", {row({1, 2, 3, 4, 5}), num(7)})[0], row({4, 5, 1, 2, 3}));
  const Value m = Value::matrix(2, 2, {1, 3, 2, 4});  // [1 2; 3 4]
  EXPECT_EQ(errorOf("circularShift", {m, num(1), num(3)}), "Row does not exist");
  EXPECT_EQ(errorOf("circularShift", {m, num(1), num(3), Value::text("c")}),
            "Column does not exist");
  EXPECT_EQ(call("circularShift", {m, num(1), num(2), Value::text("c")})[0],
            Value::matrix(2, 2, {1, 3, 4, 2}));
  const Value z = Value::complexRow({cd(1, -1), cd(2, 0)});
  EXPECT_EQ(call("circularShift", {z})[0], Value::complexRow({cd(2, 0), cd(1, -1)}));
}

TEST_F(SynthesisByName, UpsamplingOrientations) {
  EXPECT_EQ(call("upsample", {row({1, 2, 3}), num(2)})[0], row({1, 0, 2, 0, 3, 0}));
  EXPECT_EQ(call("upsample", {column({1, 2}), num(3)})[0], column({1, 0, 0, 2, 0, 0}));
  EXPECT_EQ(call("upsample", {Value::complexRow({cd(1, -2)}), num(2)})[0],
            Value::complexColumn({cd(1, -2), cd(0, 0)}));  // one column: a column
  EXPECT_EQ(call("upsampleMarker", {row({1, 0, 0, 1}), num(3)})[0],
            row({1, 1, 1, 0, 0, 0, 0, 0, 0, 1, 1, 1}));
  EXPECT_EQ(call("upsampleMarker", {num(1), num(2)})[0], row({1, 1}));
  EXPECT_NE(errorOf("upsampleMarker", {column({1, 0}), num(2)}), "(no error)");
  EXPECT_NE(errorOf("upsample", {row({1, 2}), num(0)}), "(no error)");
  EXPECT_NE(errorOf("upsample", {row({1, 2}), num(1.5)}), "(no error)");
}

TEST_F(SynthesisByName, SequenceLengthsAreLimitedWithAMessage) {
  // One limit for every length by name, 2^26 elements, checked before anything is allocated.
  const std::string beyond = " exceeds the limit of 67108864 elements by name";
  EXPECT_EQ(errorOf("upsample", {row({1, 2}), num(2147483647)}),
            "upsample: the length 4294967294 (2 elements x factor 2147483647)" + beyond);
  EXPECT_EQ(errorOf("upsample", {row({1, 2}), num(33554433)}),
            "upsample: the length 67108866 (2 elements x factor 33554433)" + beyond);
  EXPECT_EQ(errorOf("upsampleMarker", {row({1, 0}), num(2147483647)}),
            "upsampleMarker: the length 4294967294 (2 elements x factor 2147483647)" + beyond);
  EXPECT_EQ(errorOf("extendVector", {row({1, 0}), num(1e12)}),
            "extendVector: the length 1e+12" + beyond);
  EXPECT_EQ(errorOf("extendVector", {row({1, 0}), num(1e300)}),
            "extendVector: the length 1e+300" + beyond);
  EXPECT_EQ(errorOf("extendVector", {row({1, 0}), num(67108865)}),
            "extendVector: the length 67108865" + beyond);
  EXPECT_EQ(errorOf("PNgenerator", {num(9), num(1e12)}), "PNgenerator: the length 1e+12" + beyond);
  EXPECT_EQ(errorOf("PNgenerator", {num(31)}),
            "PNgenerator: the length 2147483647 (one period of the 31-stage register; dataLength "
            "asks for fewer bits)" +
                beyond);
  EXPECT_EQ(errorOf("PNgenerator", {num(40)}),
            "PNgenerator: the length 2147483647 (one period of the 31-stage register; dataLength "
            "asks for fewer bits)" +
                beyond);
  EXPECT_EQ(call("PNgenerator", {num(31), num(40)})[0].cols(), 40u);
  EXPECT_EQ(errorOf("lfsr", {num(3), row({1, 1, 0, 1}), num(1e12), row({0, 0, 1})}),
            "lfsr: the length 1e+12" + beyond);
  EXPECT_EQ(errorOf("GenerateBitStream", {num(1), num(1e12)}),
            "GenerateBitStream: the length 1e+12" + beyond);
  EXPECT_EQ(errorOf("GenerateBitStream", {num(5), num(67108865)}),
            "GenerateBitStream: the length 67108865" + beyond);
  EXPECT_EQ(errorOf("Qarn_PNiSequence", {num(1e12)}),
            "Qarn_PNiSequence: the length 3.2768e+16 (1e+12 repetitions of 32768 chips)" + beyond);
  EXPECT_EQ(errorOf("Qarn_PNqSequence", {num(2049)}),
            "Qarn_PNqSequence: the length 67141632 (2049 repetitions of 32768 chips)" + beyond);
}

TEST_F(SynthesisByName, TestDataAndChannelFrequencies) {
  EXPECT_EQ(call("GenerateBitStream", {num(3), num(5)})[0], row({0, 1, 0, 1, 0}));
  EXPECT_EQ(call("GenerateBitStream", {num(7), num(8), row({1, 0, 1})})[0],
            row({1, 0, 1, 1, 0, 1, 1, 0}));
  EXPECT_TRUE(call("GenerateBitStream", {num(3)})[0].isEmpty());
  EXPECT_EQ(errorOf("GenerateBitStream", {num(8), num(5)}),
            "GenerateBitStream: payload type 8 is not one of 1 to 7");
  EXPECT_NE(errorOf("GenerateBitStream", {num(7), num(5)}), "(no error)");

  EXPECT_EQ(call("PNgenerator", {num(9), num(5)})[0], row({1, 1, 1, 1, 1}));
  EXPECT_EQ(call("PNgenerator", {})[0].cols(), 511u);
  EXPECT_EQ(call("PNgenerator", {row({3, 4}), num(20)})[0],
            call("PNgenerator", {num(9), num(20)})[0]);
  EXPECT_EQ(call("PNgenerator", {num(3), row({1, 2})})[0].cols(), 7u);  // one period
  EXPECT_EQ(call("PNgenerator", {num(9), num(-4)})[0], row({1}));
  EXPECT_EQ(call("PNgenerator", {num(9), num(10), num(1)})[0], row({0, 0, 0, 0, 0, 0, 0, 0, 0, 1}));
  EXPECT_EQ(call("PNgenerator", {num(5), num(5), num(0), num(7)})[0], row({0, 0, 0, 0, 1}));

  EXPECT_EQ(call("extendVector", {row({1, 0, 1}), num(2)})[0], row({1, 0}));
  EXPECT_NE(errorOf("extendVector", {row({1, 0, 1}), num(-1)}), "(no error)");

  EXPECT_NEAR(call("Qarn_ChannelNumberToFrequency", {num(1), num(1), num(500)})[0].toDouble(), 1955,
              1e-9);
  EXPECT_EQ(call("Qarn_ChannelNumberToFrequency", {num(0), num(1), num(800)})[0].toDouble(), 0);
}

// A packet record list of `drc` packets (1024 bits each) as the calculate flow builds it.
Value packetList(std::size_t count, double drc, double macIndex) {
  Value list;
  for (std::size_t i = 0; i < count; ++i) {
    std::vector<double> bits(1024);
    for (std::size_t k = 0; k < bits.size(); ++k)
      bits[k] = static_cast<double>((k * 7 + i) % 3 == 0);
    list.appendRecord(Value::record(
        {{"drcValue", num(drc)}, {"packet", Value::row(bits)}, {"macIndex", num(macIndex)}}));
  }
  return list;
}

std::vector<Value> waveformArgs(Value packets, Value filterType = num(2)) {
  return {std::move(packets),    Value(), Value(), Value(), Value(), num(0), num(4),
          std::move(filterType), num(1),  num(0)};
}

TEST_F(SynthesisByName, ModulatedWaveformRowAndMarkerMatrix) {
  const Outputs out = call("Qarn_FwdModulatedWaveform", waveformArgs(packetList(2, 4, 7)), 2);
  ASSERT_EQ(out.size(), 2u);
  const Value& w = out[0];
  const Value& m = out[1];
  ASSERT_TRUE(w.isComplex());
  EXPECT_EQ(w.rows(), 1u);
  EXPECT_EQ(w.cols(), 16u * 2048 * 4);
  ASSERT_TRUE(m.isReal());
  EXPECT_EQ(m.rows(), 2u);
  EXPECT_EQ(m.cols(), w.cols());
  // Marker 1: 4 samples at every half slot; marker 2: 4 data slots of 1824 chips, 12 of 208.
  double m1 = 0, m2 = 0;
  for (std::size_t n = 0; n < m.cols(); ++n) {
    const double a = m.realData()[2 * n], b = m.realData()[2 * n + 1];
    ASSERT_TRUE((a == 0 || a == 1) && (b == 0 || b == 1)) << n;
    m1 += a, m2 += b;
  }
  EXPECT_EQ(m1, 16 * 2 * 4);
  EXPECT_EQ(m2, (4 * 1824 + 12 * 208) * 4);
  // The filter selector as text, and one output only.
  const Outputs text =
      call("Qarn_FwdModulatedWaveform", waveformArgs(packetList(2, 4, 7), Value::text("IS95-STD")));
  EXPECT_EQ(text[0], w);
  // An empty packet list and the rectangular hold by a text that names no design.
  const Value idle =
      call("Qarn_FwdModulatedWaveform", waveformArgs(Value(), Value::text("rect")))[0];
  EXPECT_EQ(idle.cols(), 16u * 2048 * 4);
}

TEST_F(SynthesisByName, ModulatedWaveformInputsAndErrors) {
  std::vector<Value> args = waveformArgs(packetList(1, 1, 3));
  args.resize(4);  // the gains are not read without MAC rows, but raGains' successors are
  EXPECT_EQ(errorOf("Qarn_FwdModulatedWaveform", args),
            "Not enough input arguments: pilotOffsetIndex (input 6) is missing.");
  // MAC rows need their gains.
  std::vector<Value> mac = waveformArgs(Value());
  mac[3] = column({1, 0});
  mac.resize(4);
  EXPECT_EQ(errorOf("Qarn_FwdModulatedWaveform", mac),
            "Not enough input arguments: raGains (input 5) is missing.");
  mac = waveformArgs(Value());
  mac[3] = column({1, 0});
  mac[4] = column({1, 1});
  EXPECT_NE(errorOf("Qarn_FwdModulatedWaveform", mac).find("rpcGains has 0 rows"),
            std::string::npos);
  mac = waveformArgs(Value());
  mac[1] = Value::matrix(2, 59, std::vector<double>(118, 1.0));
  mac[2] = Value::matrix(2, 59, std::vector<double>(118, 0.5));
  mac[3] = column({1, 0});
  mac[4] = column({0.25, 0.25});
  EXPECT_EQ(call("Qarn_FwdModulatedWaveform", mac)[0].cols(), 16u * 2048 * 4);
  mac[4] = row({0.25, 0.25});
  EXPECT_NE(errorOf("Qarn_FwdModulatedWaveform", mac).find("raGains must be a real column"),
            std::string::npos);
  mac[4] = column({0.25});
  EXPECT_NE(errorOf("Qarn_FwdModulatedWaveform", mac).find("raGains has 1 rows"),
            std::string::npos);
  // Errors of the operations called come through: an unknown DRC value.
  EXPECT_NE(errorOf("Qarn_FwdModulatedWaveform", waveformArgs(packetList(1, 13, 3))).find("13"),
            std::string::npos);
  std::vector<Value> bad = waveformArgs(packetList(1, 1, 3));
  bad[6] = num(2.5);
  EXPECT_NE(errorOf("Qarn_FwdModulatedWaveform", bad).find("oversamplingRate"), std::string::npos);
  bad = waveformArgs(Value::record({{"drcValue", num(1)}, {"macIndex", num(3)}}));
  EXPECT_NE(errorOf("Qarn_FwdModulatedWaveform", bad).find("fwdChnParams(1)"), std::string::npos);
}

std::string readAll(const std::string& path) {
  std::ifstream in(path);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

TEST(SynthesisCommandLine, WaveformMatFileReadsInSciPy) {
  if (std::system("/usr/bin/python3 -c 'import scipy.io' > /dev/null 2>&1") != 0)
    GTEST_SKIP() << "/usr/bin/python3 has no scipy";
  // The tool of the same build: <build>/src/cli beside this test's <build>/tests/library.
  const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe");
  const std::string cli = (self.parent_path() / "../../src/cli/kelvane-cli").string();
  ASSERT_TRUE(std::filesystem::exists(cli)) << cli;
  const std::string dir = ::testing::TempDir();
  const std::string mat = dir + "synthesis_waveform.mat", report = dir + "synthesis_waveform.txt";

  std::string bits = "[";
  for (int k = 0; k < 1024; ++k)
    bits += (k ? "," : "") + std::to_string((k * 7) % 3 == 0);
  bits += "]";
  const std::string packets = "'[{\"drcValue\":4,\"packet\":" + bits + ",\"macIndex\":7}]'";
  const std::string run = cli + " call Qarn_FwdModulatedWaveform " + packets +
                          " '[]' '[]' '[]' '[]' 0 4 2 1 0 --nargout 2 --mat " + mat;
  ASSERT_EQ(std::system(run.c_str()), 0) << run;
  const std::string script =
      "/usr/bin/python3 -c \"import scipy.io as s; d = s.loadmat('" + mat +
      "'); w = d['out1']; m = d['out2']; print(w.shape[0], w.shape[1], w.dtype, m.shape[0], "
      "m.shape[1], int(m[0].sum()), int(m[1].sum()), repr(w[0, 0].real), repr(w[0, 0].imag), "
      "repr(w[0, 12345].real), repr(w[0, 12345].imag))\" > " +
      report;
  ASSERT_EQ(std::system(script.c_str()), 0) << script;

  Qarn_FTM_c_libInitialize();
  Value list;
  std::vector<double> packet(1024);
  for (std::size_t k = 0; k < 1024; ++k)
    packet[k] = (k * 7) % 3 == 0;
  list.appendRecord(
      Value::record({{"drcValue", num(4)}, {"packet", Value::row(packet)}, {"macIndex", num(7)}}));
  const Outputs out = call("Qarn_FwdModulatedWaveform", waveformArgs(std::move(list)), 2);
  Qarn_FTM_c_libTerminate();
  const auto z = out[0].complexData();
  std::istringstream got(readAll(report));
  std::size_t rows = 0, cols = 0, mrows = 0, mcols = 0;
  std::string dtype;
  double m1 = 0, m2 = 0, re0 = 0, im0 = 0, re1 = 0, im1 = 0;
  got >> rows >> cols >> dtype >> mrows >> mcols >> m1 >> m2 >> re0 >> im0 >> re1 >> im1;
  EXPECT_EQ(rows, 1u);
  EXPECT_EQ(cols, 16u * 2048 * 4);
  EXPECT_EQ(dtype, "complex128");
  EXPECT_EQ(mrows, 2u);
  EXPECT_EQ(mcols, cols);
  EXPECT_EQ(m1, 16 * 2 * 4);
  EXPECT_EQ(m2, (2 * 1824 + 14 * 208) * 4);
  EXPECT_EQ(re0, z[0].real());
  EXPECT_EQ(im0, z[0].imag());
  EXPECT_EQ(re1, z[12345].real());
  EXPECT_EQ(im1, z[12345].imag());
}

}  // namespace
}  // namespace kelvane::registry
