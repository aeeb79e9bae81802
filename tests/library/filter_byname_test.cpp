// The baseband filter and its design operations by name: counts, argument parsing and texts,
// selectors as numbers and texts, real and complex rows, and the warning on the console.
#include <gtest/gtest.h>

#include <complex>
#include <string>
#include <vector>

#include "library/byname.hpp"
#include "library/process.hpp"
#include "registry/registry.hpp"

namespace kelvane::registry {
namespace {

using byname::errorOf;
using byname::row;

class FilterByName : public ::testing::Test {
 protected:
  void SetUp() override {
    Qarn_FTM_c_libInitialize();
    library::installProcessHooks(
        {.console = [this](std::string_view line) { console.emplace_back(line); }});
  }
  void TearDown() override {
    library::installProcessHooks({});
    Qarn_FTM_c_libTerminate();
  }
  std::vector<std::string> console;
};

TEST_F(FilterByName, DeclaredCounts) {
  struct Count {
    const char* name;
    int in, out;
  };
  for (const Count& c :
       {Count{"Qarn_BasebandFilter", 3, 1}, Count{"FilterCoeff_IS95_Std", 1, 1},
        Count{"FilterCoeff_IS95_Acp", 1, 1}, Count{"remez2", -4, 3}, Count{"remezfrf", 6, 2},
        Count{"firchk", 3, 3}, Count{"remezmex", -1, -1}}) {
    const Entry* e = library().operations().find(c.name);
    ASSERT_NE(e, nullptr) << c.name;
    EXPECT_EQ(e->maxInputs, c.in) << c.name;
    EXPECT_EQ(e->maxOutputs, c.out) << c.name;
    EXPECT_TRUE(e->built()) << c.name;
  }
}

TEST_F(FilterByName, BasebandFilterSelectorsAndRows) {
  std::vector<std::complex<double>> chips(40);
  for (std::size_t i = 0; i < chips.size(); ++i)
    chips[i] = {i % 3 ? 1.0 : -1.0, i % 2 ? 1.0 : -1.0};
  const Value frame = Value::complexRow(chips);
  const Value std5 = call("Qarn_BasebandFilter", {frame, Value::scalar(5), Value::scalar(2)})[0];
  ASSERT_TRUE(std5.isComplex());
  EXPECT_EQ(std5.rows(), 1u);
  EXPECT_EQ(std5.cols(), 40u);
  EXPECT_EQ(call("Qarn_BasebandFilter", {frame, Value::scalar(5), Value::text("IS95-STD")})[0],
            std5);
  EXPECT_EQ(call("Qarn_BasebandFilter", {frame, Value::scalar(5), Value::scalar(4)})[0], std5);
  EXPECT_EQ(call("Qarn_BasebandFilter", {frame, Value::scalar(5), Value::scalar(0)})[0], std5);
  const Value acp = call("Qarn_BasebandFilter", {frame, Value::scalar(5), Value::scalar(3)})[0];
  EXPECT_EQ(call("Qarn_BasebandFilter", {frame, Value::scalar(5), Value::text("IS95-ACP")})[0],
            acp);
  EXPECT_NE(acp, std5);
  // Selector 1 and any other text hold: a running sum over five samples.
  const Value rect = call("Qarn_BasebandFilter", {frame, Value::scalar(5), Value::scalar(1)})[0];
  EXPECT_EQ(call("Qarn_BasebandFilter", {frame, Value::scalar(5), Value::text("rect")})[0], rect);
  EXPECT_EQ(rect.complexData()[1], chips[0] + chips[1]);
  // A real frame gives a real row, a column gives a row.
  const Value real = call("Qarn_BasebandFilter", {Value::column({1, 0, 0, 0, 0, 0, 0, 0, 0, 0}),
                                                  Value::scalar(2), Value::scalar(1)})[0];
  EXPECT_EQ(real, row({1, 1, 0, 0, 0, 0, 0, 0, 0, 0}));
  EXPECT_NE(errorOf("Qarn_BasebandFilter", {frame, Value::scalar(5), Value::list({})}),
            "(no error)");
}

TEST_F(FilterByName, DesignsAreRows) {
  const Value h = call("FilterCoeff_IS95_Std", {Value::scalar(5)})[0];
  EXPECT_EQ(h.rows(), 1u);
  EXPECT_EQ(h.cols(), 60u);
  EXPECT_EQ(call("FilterCoeff_IS95_Acp", {Value::scalar(5)})[0].cols(), 130u);
  EXPECT_EQ(errorOf("FilterCoeff_IS95_Std", {Value::scalar(0.25)}),
            "Filter order must be 3 or more.");
}

TEST_F(FilterByName, Remez2ParsesItsOptionalInputs) {
  const Value ff = row({0, 0.4, 0.5, 1}), aa = row({1, 1, 0, 0});
  const Outputs plain = call("remez2", {Value::scalar(20), ff, aa}, 2);
  ASSERT_EQ(plain.size(), 2u);
  EXPECT_EQ(plain[0].cols(), 21u);
  EXPECT_GT(plain[1].toDouble(), 0);
  // Weights, then a type; a type alone; an empty type is "f"; the list gives the grid density.
  const Value weighted = call("remez2", {Value::scalar(20), ff, aa, row({1, 10})})[0];
  EXPECT_NE(weighted, plain[0]);
  EXPECT_EQ(call("remez2", {Value::scalar(20), ff, aa, row({1, 10}), Value::text("f")})[0],
            weighted);
  EXPECT_EQ(call("remez2", {Value::scalar(20), ff, aa, Value::text("f")})[0], plain[0]);
  EXPECT_EQ(call("remez2", {Value::scalar(20), ff, aa, row({1, 10}), Value()})[0], weighted);
  EXPECT_EQ(call("remez2", {Value::scalar(20), ff, aa, Value::list({Value::scalar(16)})})[0],
            plain[0]);
  const Value dense = call(
      "remez2", {Value::scalar(20), ff, aa, row({1, 10}), Value::list({Value::scalar(64)})})[0];
  EXPECT_EQ(dense.cols(), 21u);
  EXPECT_NE(dense, weighted);
}

TEST_F(FilterByName, Remez2Errors) {
  const Value ff = row({0, 0.5, 0.6, 1}), aa = row({1, 1, 0, 0});
  EXPECT_EQ(errorOf("remez2", {Value::scalar(2), ff, aa}), "Filter order must be 3 or more.");
  EXPECT_EQ(errorOf("remez2", {Value::scalar(10), row({0, 0.5, 0.6}), row({1, 1, 0})}),
            "The number of frequency points must be even.");
  EXPECT_EQ(errorOf("remez2", {Value::scalar(10), ff, aa, row({1, 0})}),
            "All weights must be greater than zero.");
  EXPECT_EQ(errorOf("remez2", {Value::scalar(10), ff}), "Not enough input arguments.");
  EXPECT_EQ(errorOf("remez2", {Value::scalar(10), ff, aa, row({1, 1}), Value::text("f"),
                               Value::list({Value::scalar(16)}), Value::scalar(1)}),
            "Too many input arguments.");
  // Omitted features are refused, after the argument checks.
  EXPECT_NE(errorOf("remez2", {Value::scalar(10), ff, Value::text("myresponse")}), "(no error)");
  EXPECT_EQ(errorOf("remez2", {Value::scalar(2), ff, Value::text("myresponse")}),
            "Filter order must be 3 or more.");
  EXPECT_NE(errorOf("remez2", {Value::scalar(10), ff, aa, Value::text("h")}), "(no error)");
  EXPECT_NE(errorOf("remez2", {Value::scalar(10), ff, aa}, 3), "(no error)");
}

TEST_F(FilterByName, FirchkRemezfrfAndTheWarning) {
  const Outputs odd = call("firchk", {Value::scalar(5), row({0, 0, 1, 1})}, 3);
  ASSERT_EQ(odd.size(), 3u);
  EXPECT_EQ(odd[0].toDouble(), 6);
  EXPECT_EQ(odd[1].str(), "");
  EXPECT_EQ(odd[2].str(),
            "Odd order symmetric FIR filters must have a gain of zero \rat the Nyquist frequency. "
            "The order is being increased by one.");
  EXPECT_EQ(call("firchk", {Value::scalar(5), row({0, 0, 1, 1}), Value::scalar(1)}, 3)[0],
            Value::scalar(5));
  for (const Value& bad : {Value(), Value::text("5"), Value::complexScalar({5, 1}), row({5, 6})}) {
    EXPECT_EQ(call("firchk", {bad, row({1, 1, 0, 0})}, 3)[1].str(),
              "Filter order must be a real, positive integer.");
  }
  EXPECT_EQ(errorOf("firchk", {Value::scalar(5)}), "Not enough input arguments.");

  EXPECT_EQ(call("remezfrf", {Value::text("defaults"), Value()})[0].str(), "even");
  const Outputs frf = call("remezfrf",
                           {Value::scalar(10), row({0, 0.5, 0.6, 1}), row({0, 0.25, 0.8}),
                            row({1, 4}), row({1, 1, 0, 0})},
                           2);
  EXPECT_EQ(frf[0], row({1, 1, 0}));
  EXPECT_EQ(frf[1], row({1, 1, 4}));

  // An odd-order highpass: the warning reaches the console and the design grows by one tap.
  const Value h = call("remez2", {Value::scalar(11), row({0, 0.4, 0.5, 1}), row({0, 0, 1, 1})})[0];
  EXPECT_EQ(h.cols(), 13u);
  ASSERT_EQ(console.size(), 1u);
  EXPECT_EQ(console[0],
            "Warning: Odd order symmetric FIR filters must have a gain of zero \rat the Nyquist "
            "frequency. The order is being increased by one.");
}

TEST_F(FilterByName, RemezmexCore) {
  std::vector<double> grid, des, wt;
  for (int i = 0; i <= 40; ++i) {
    const double f = i / 40.0;
    if (f > 0.4 && f < 0.6) continue;
    grid.push_back(f);
    des.push_back(f <= 0.4 ? 1 : 0);
    wt.push_back(1);
  }
  const Outputs out = call("remezmex",
                           {Value::scalar(11), row({0, 1}), Value::row(grid), Value::row(des),
                            Value::row(wt), Value::scalar(1)},
                           3);
  ASSERT_EQ(out.size(), 3u);
  EXPECT_EQ(out[0].cols(), 11u);
  EXPECT_GT(std::abs(out[1].toDouble()), 0);
  EXPECT_EQ(out[2].cols(), 7u);  // nfcns + 1 extremal indices
  EXPECT_NE(errorOf("remezmex", {Value::scalar(11), row({0, 1})}), "(no error)");
  EXPECT_NE(errorOf("remezmex", {Value::scalar(11), row({0, 1}), Value::row(grid), Value::row(des),
                                 Value::row(wt), Value::scalar(2)}),
            "(no error)");
}

}  // namespace
}  // namespace kelvane::registry
