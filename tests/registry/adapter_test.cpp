#include "registry/adapter.hpp"

#include <gtest/gtest.h>

namespace kelvane::registry {
namespace {

double add(double a, std::optional<double> b) {
  return a + b.value_or(10);
}

std::tuple<BitRow, std::string, int> split(const BitRow& bits, const std::string& tag) {
  return {BitRow(bits.rbegin(), bits.rend()), tag + "!", static_cast<int>(bits.size())};
}

void nothing() {}

TEST(Adapter, ConvertsInputsOptionalsAndTupleOutputs) {
  Operation op = typed(add);
  std::vector<Value> one = {Value::scalar(1)};
  EXPECT_EQ(op(one, 1)[0].toDouble(), 11.0);
  std::vector<Value> two = {Value::scalar(1), Value::scalar(2)};
  EXPECT_EQ(op(two, 1)[0].toDouble(), 3.0);
  EXPECT_THROW(op({}, 1), runtime::Error);  // the required input is missing
  std::vector<Value> three = {Value::scalar(1), Value::scalar(2), Value::scalar(3)};
  EXPECT_THROW(op(three, 1), runtime::Error);

  Operation s = typed(split);
  std::vector<Value> in = {Value::row({1, 0, 0}), Value::text("t")};
  Outputs out = s(in, 3);
  ASSERT_EQ(out.size(), 3u);
  EXPECT_EQ(out[0], Value::row({0, 0, 1}));
  EXPECT_EQ(out[1].str(), "t!");
  EXPECT_EQ(out[2].toDouble(), 3.0);

  EXPECT_TRUE(typed(nothing)({}, 0).empty());
  Operation lambda =
      typed([](int n) { return std::vector<double>(static_cast<std::size_t>(n), 1.0); });
  std::vector<Value> n = {Value::scalar(2)};
  EXPECT_EQ(lambda(n, 1)[0], Value::row({1, 1}));
}

TEST(Adapter, RefusesValuesOfTheWrongKindWithTheInputNumber) {
  Operation s = typed(split);
  std::vector<Value> notBits = {Value::row({1, 2}), Value::text("t")};
  try {
    s(notBits, 1);
    FAIL();
  } catch (const runtime::Error& e) {
    EXPECT_NE(std::string(e.what()).find("input 1"), std::string::npos) << e.what();
  }
  Operation whole = typed([](int n) { return n; });
  std::vector<Value> frac = {Value::scalar(2.5)};
  EXPECT_THROW(whole(frac, 1), runtime::Error);
  std::vector<Value> text = {Value::text("x")};
  EXPECT_THROW(whole(text, 1), runtime::Error);
}

}  // namespace
}  // namespace kelvane::registry

namespace kelvane::registry {
namespace {

int sum3(int a, int b, int c) {
  return a + b + c;
}

TEST(Adapter, ReportsTheFirstBadInputAndRangeChecksWholeNumbers) {
  Operation op = typed(sum3);
  std::vector<Value> one = {Value::scalar(1)};
  try {
    op(one, 1);
    FAIL();
  } catch (const runtime::Error& e) {
    EXPECT_NE(std::string(e.what()).find("input 2 is missing"), std::string::npos) << e.what();
  }
  std::vector<Value> huge = {Value::scalar(1), Value::scalar(1e30), Value::scalar(3e9)};
  try {
    op(huge, 1);
    FAIL();
  } catch (const runtime::Error& e) {
    EXPECT_NE(std::string(e.what()).find("input 2"), std::string::npos) << e.what();
  }
  Operation u = typed([](unsigned n) { return n; });
  std::vector<Value> neg = {Value::scalar(-1)};
  EXPECT_THROW(u(neg, 1), runtime::Error);
}

}  // namespace
}  // namespace kelvane::registry
