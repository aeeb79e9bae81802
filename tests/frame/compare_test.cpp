// addFileExtention and compareStruct.
#include <gtest/gtest.h>

#include <cmath>

#include "app/records.hpp"
#include "frame/parameter_file.hpp"

namespace kelvane::frame {
namespace {

using runtime::Value;

TEST(AddFileExtention, AppendsUnlessTheNameEndsInExactlyTheExtension) {
  EXPECT_EQ(addFileExtention("a", ".mat"), "a.mat");  // shorter than the extension
  EXPECT_EQ(addFileExtention("run.mat", ".mat"), "run.mat");
  EXPECT_EQ(addFileExtention("run.MAT", ".mat"), "run.MAT.mat");  // case-sensitive
  EXPECT_EQ(addFileExtention("/tmp/x/run", ".mat"), "/tmp/x/run.mat");
  EXPECT_EQ(addFileExtention(".mat", ".mat"), ".mat");
  EXPECT_EQ(addFileExtention("", ".mat"), ".mat");
  EXPECT_EQ(addFileExtention("runmat", ".mat"), "runmat.mat");
  EXPECT_EQ(addFileExtention("run", ""), "run");
}

TEST(CompareStruct, EqualRecordsAndEveryKindOfDifference) {
  const Value p = app::toValue(app::Parameters{});
  EXPECT_TRUE(compareStruct(p, p));

  Value caseChanged = p;
  caseChanged.setField("sequenceFileName", Value::text("qarnftm-sequence"));
  EXPECT_FALSE(compareStruct(p, caseChanged));

  Value nan = p;
  nan.setField("Frequency", Value::scalar(std::nan("")));
  EXPECT_FALSE(compareStruct(nan, nan));  // a NaN element equals nothing, not even itself

  // The same fields in another order differ.
  const Value ab = Value::record({{"a", Value::scalar(1)}, {"b", Value::text("x")}});
  const Value ba = Value::record({{"b", Value::text("x")}, {"a", Value::scalar(1)}});
  EXPECT_FALSE(compareStruct(ab, ba));

  Value fewer = p;
  fewer.removeField("Amplitude");
  EXPECT_FALSE(compareStruct(p, fewer));
  EXPECT_FALSE(compareStruct(fewer, p));

  // Not records.
  EXPECT_FALSE(compareStruct(Value::scalar(1), Value::scalar(1)));
  EXPECT_FALSE(compareStruct(p, Value()));

  auto one = [](Value v) { return Value::record({{"f", std::move(v)}}); };
  // Both empty are equal whatever their kind; text against number differs.
  EXPECT_TRUE(compareStruct(one(Value()), one(Value::text(""))));
  EXPECT_TRUE(compareStruct(one(Value::emptyMatrix(1, 0)), one(Value())));
  EXPECT_FALSE(compareStruct(one(Value::text("1")), one(Value::scalar(1))));
  EXPECT_FALSE(compareStruct(one(Value::text("")), one(Value::scalar(0))));
  // Numbers: sizes must agree; the storage class and a zero imaginary part do not matter.
  EXPECT_FALSE(compareStruct(one(Value::row({1, 2})), one(Value::column({1, 2}))));
  EXPECT_TRUE(compareStruct(one(Value::row({1, 2})), one(Value::row({1, 2}))));
  EXPECT_FALSE(compareStruct(one(Value::row({1, 2})), one(Value::row({1, 3}))));
  EXPECT_TRUE(compareStruct(one(Value::int32(19)), one(Value::scalar(19))));
  EXPECT_TRUE(compareStruct(one(Value::complexScalar({2, 0})), one(Value::scalar(2))));
  EXPECT_FALSE(compareStruct(one(Value::complexScalar({2, 1})), one(Value::scalar(2))));
  // Lists are not compared: they always differ.
  EXPECT_FALSE(
      compareStruct(one(Value::list({Value::scalar(1)})), one(Value::list({Value::scalar(1)}))));
  // Nested records compare recursively.
  EXPECT_TRUE(compareStruct(one(ab), one(ab)));
  EXPECT_FALSE(compareStruct(one(ab), one(ba)));
  Value deep = one(ab);
  deep.field("f").setField("b", Value::text("X"));
  EXPECT_FALSE(compareStruct(one(ab), deep));
}

// Records nested beyond any real one are refused with a message instead of followed.
TEST(CompareStruct, RecordsNestedMoreThanSixtyFourDeepAreRefused) {
  auto nested = [](int levels) {
    Value v = Value::scalar(1);
    for (int level = 0; level < levels; ++level)
      v = Value::record({{"a", v}});
    return v;
  };
  EXPECT_TRUE(compareStruct(nested(64), nested(64)));
  for (const auto& [a, b] : {std::pair(nested(65), nested(65)), std::pair(nested(2), nested(300)),
                             std::pair(nested(300), nested(2))}) {
    try {
      compareStruct(a, b);
      ADD_FAILURE() << "compared records nested beyond 64 levels";
    } catch (const runtime::Error& e) {
      EXPECT_NE(std::string(e.what()).find("nested more than 64 deep"), std::string::npos)
          << e.what();
    }
  }
}

}  // namespace
}  // namespace kelvane::frame
