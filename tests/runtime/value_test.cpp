#include "runtime/value.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace kelvane::runtime {
namespace {

TEST(Value, ShapesAndKinds) {
  EXPECT_EQ(Value().kind(), Kind::Empty);
  EXPECT_TRUE(Value().isEmpty());
  const Value r = Value::row({1, 2, 3});
  EXPECT_EQ(r.rows(), 1u);
  EXPECT_EQ(r.cols(), 3u);
  const Value c = Value::column({1, 2});
  EXPECT_EQ(c.rows(), 2u);
  EXPECT_EQ(c.cols(), 1u);
  EXPECT_TRUE(Value::text("").isEmpty());
  EXPECT_EQ(Value::text("abc").cols(), 3u);
  EXPECT_TRUE(Value::emptyMatrix(1, 0).isEmpty());
  EXPECT_THROW(Value::matrix(2, 2, {1, 2, 3}), Error);
}

TEST(Value, MatrixIsColumnMajorAndPrints) {
  // [1 2; 3 4] stored column-major as 1 3 2 4.
  const Value m = Value::matrix(2, 2, {1, 3, 2, 4});
  EXPECT_EQ(m.toString(), "[1, 2; 3, 4]");
  EXPECT_EQ(Value::row({0.5, -2}).toString(), "[0.5, -2]");
  EXPECT_EQ(Value::complexScalar({1, -2}).toString(), "1 - 2i");
  EXPECT_EQ(Value::text("a\"b").toString(), "\"a\\\"b\"");
  EXPECT_EQ(Value::int32(-1).toString(), "int32(-1)");
}

TEST(Value, RecordsKeepFieldOrderAndArrays) {
  Value rec = Value::record();
  rec.setField("b", Value::scalar(2));
  rec.setField("a", Value::text("x"));
  ASSERT_EQ(rec.fieldNames(), (std::vector<std::string>{"b", "a"}));
  EXPECT_EQ(rec.field("a").str(), "x");
  EXPECT_THROW(rec.field("zz"), Error);
  EXPECT_EQ(rec.toString(), "{b: 2, a: \"x\"}");

  // A 1 x n record array, as the packet list is.
  Value list = Value::recordArray({"drcValue", "packet", "macIndex"}, 2);
  list.field("drcValue", 1) = Value::scalar(4);
  EXPECT_EQ(list.numel(), 2u);
  EXPECT_EQ(list.element(1).field("drcValue").toDouble(), 4.0);
  EXPECT_TRUE(list.element(0).field("drcValue").isEmpty());
  // Setting a new field on one element adds it (empty) to all.
  list.setField("extra", Value::scalar(1), 0);
  EXPECT_TRUE(list.field("extra", 1).isEmpty());

  Value appended;
  appended.appendRecord(rec);
  appended.appendRecord(rec);
  EXPECT_EQ(appended.numel(), 2u);
  Value other = Value::record({{"a", Value()}});
  EXPECT_THROW(appended.appendRecord(other), Error);

  rec.removeField("b");
  EXPECT_EQ(rec.fieldNames(), std::vector<std::string>{"a"});
}

TEST(Value, EqualityIsStructuralAndNaNNeverEqual) {
  EXPECT_EQ(Value::row({1, 2}), Value::row({1, 2}));
  EXPECT_NE(Value::row({1, 2}), Value::column({1, 2}));
  EXPECT_NE(Value::scalar(1), Value::int32(1));
  EXPECT_NE(Value::scalar(1), Value::complexScalar({1, 0}));
  const double nan = std::numeric_limits<double>::quiet_NaN();
  EXPECT_NE(Value::scalar(nan), Value::scalar(nan));
  EXPECT_NE(Value::record({{"a", Value::scalar(1)}, {"b", Value()}}),
            Value::record({{"b", Value()}, {"a", Value::scalar(1)}}));
  EXPECT_EQ(Value::list({Value::text("a"), Value::scalar(1)}),
            Value::list({Value::text("a"), Value::scalar(1)}));
}

TEST(Value, ConversionsToTypedForms) {
  EXPECT_EQ(Value::scalar(3).toDouble(), 3.0);
  EXPECT_THROW(Value::row({1, 2}).toDouble(), Error);
  EXPECT_THROW(Value::text("3").toDouble(), Error);
  EXPECT_EQ(Value::complexScalar({2, 0}).toDouble(), 2.0);
  EXPECT_THROW(Value::complexScalar({2, 1}).toDouble(), Error);
  const auto z = Value::row({1, 2}).toComplex();
  ASSERT_EQ(z.size(), 2u);
  EXPECT_EQ(z[1], std::complex<double>(2, 0));
  EXPECT_THROW(Value::complexRow({{1, 1}}).toDoubles(), Error);
  EXPECT_TRUE(Value().toDoubles().empty());
  EXPECT_EQ(Value::row({1, 2, 3, 4}).reshaped(2, 2), Value::matrix(2, 2, {1, 2, 3, 4}));
  EXPECT_THROW(Value::text("x").items(), Error);
  EXPECT_EQ(Value::handle(7).handleId(), 7u);
}

// Printing a value nested beyond any real record stops at 64 levels instead of following it.
TEST(Value, PrintingStopsAtSixtyFourLevels) {
  Value deep = Value::scalar(1);
  for (int level = 0; level < 200; ++level)
    deep = level % 2 ? Value::record({{"a", deep}}) : Value::list({deep});
  const std::string text = deep.toString();
  EXPECT_LT(text.size(), 2000u);
  EXPECT_NE(text.find("{... nested more than 64 deep}"), std::string::npos) << text;
  Value shallow = Value::scalar(1);
  for (int level = 0; level < 64; ++level)
    shallow = Value::record({{"a", shallow}});
  EXPECT_EQ(shallow.toString().find("nested"), std::string::npos);
}

}  // namespace
}  // namespace kelvane::runtime
