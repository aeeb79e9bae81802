// The main window started for a test, with helpers that act as the operator does: type into a
// field and press Return, pick a list entry.
#pragma once

#include <QComboBox>
#include <QLineEdit>
#include <QTest>

#include "app/state.hpp"
#include "support/window_fixture.hpp"

namespace kelvane::testing {

namespace tk = kelvane::toolkit;

// Types into the edit field `h` as the operator does: select all, clear, type, Return.
inline void typeInto(const runtime::Value& h, const char* typed) {
  auto* edit = qobject_cast<QLineEdit*>(tk::objectOf(h));
  edit->setFocus();
  edit->selectAll();
  QTest::keyClick(edit, Qt::Key_Backspace);
  QTest::keyClicks(edit, typed);
  QTest::keyClick(edit, Qt::Key_Return);
}

class MainWindowTest : public WindowTest {
 protected:
  void SetUp() override {
    WindowTest::SetUp();
    fig_ = registry::call("Qarn_FTM_GUI_c", {}, 1).at(0);
    handles_ = handlesOf(fig_);
  }
  Value h(const char* t) const { return handles_.field(t); }
  std::string text(const char* t) const { return tk::get(h(t), "String").str(); }
  double value(const char* t) const { return tk::get(h(t), "Value").toDouble(); }
  void type(const char* t, const char* typed) { typeInto(h(t), typed); }
  // Picks a list entry as the operator does: the selection changes, then the list reports it.
  void choose(const char* t, int entry) {
    auto* combo = qobject_cast<QComboBox*>(tk::objectOf(h(t)));
    combo->setCurrentIndex(entry - 1);
    combo->activated(entry - 1);
  }
  const app::Parameters& params() const { return app::currentState().parameters; }

  Value fig_, handles_;
};

}  // namespace kelvane::testing
