#include "toolkit/dialogs.hpp"

#include <gtest/gtest.h>

namespace kelvane::toolkit {
namespace {

TEST(Dialogs, ScriptedAnswersInOrderAndRecordsEveryBox) {
  ScriptedDialogs script;
  ScopedDialogs scope(script);
  script.answer("Yes");
  EXPECT_EQ(dialogs().question("Go on?", "Title", {"Yes", "No", "Cancel"}, "Cancel"), "Yes");
  // An exhausted script closes the box: no answer.
  EXPECT_EQ(dialogs().question("Again?", "Title", {"Yes", "No"}, "No"), "");
  dialogs().error("bad", "Download Error");
  dialogs().message("done", "Download Completed");
  EXPECT_FALSE(dialogs().input("Eye", {"a:", "b:"}, {"1", "0"}).has_value());
  script.answerFile("/tmp/x.mat");
  EXPECT_EQ(dialogs().saveFile("Save As", "*.mat", "/tmp"), std::filesystem::path("/tmp/x.mat"));
  ASSERT_EQ(script.shown().size(), 6u);
  EXPECT_EQ(script.count(ScriptedDialogs::BoxKind::Question), 2u);
  EXPECT_EQ(script.shown()[0].defaultButton, "Cancel");
  EXPECT_EQ(script.shown()[2].title, "Download Error");
  EXPECT_EQ(script.shown()[5].title, "Save As");
  EXPECT_EQ(script.shown()[5].text, "/tmp");  // the starting folder
  EXPECT_EQ(script.shown()[5].buttons, std::vector<std::string>{"*.mat"});
}

TEST(Dialogs, ScopeRestoresTheSilentDialogs) {
  Dialogs* before = &dialogs();
  {
    ScriptedDialogs script;
    ScopedDialogs scope(script);
    EXPECT_EQ(&dialogs(), &script);
  }
  EXPECT_EQ(&dialogs(), before);
  // The silent dialogs close every question.
  EXPECT_EQ(dialogs().question("q", "t", {"OK", "Cancel"}, "Cancel"), "");
}

}  // namespace
}  // namespace kelvane::toolkit
