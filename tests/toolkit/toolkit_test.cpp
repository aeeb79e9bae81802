// The toolkit through real windows: handles, properties, positions, callbacks by name, modal
// waits and the Qt dialogs.
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <fstream>

#include "support/window_fixture.hpp"
#include "toolkit/callbacks.hpp"
#include "toolkit/figures.hpp"
#include "toolkit/layouts.hpp"
#include "toolkit/qt_dialogs.hpp"

namespace kelvane::toolkit {
namespace {

using runtime::Value;
using testing::WindowTest;

// A small window whose controls call back TestModule.
constexpr const char* kTestLayout = R"(<?xml version="1.0" encoding="UTF-8"?>
<ui version="4.0"><class>testWindow</class>
<widget class="QWidget" name="testWindow">
 <property name="geometry"><rect><x>0</x><y>0</y><width>300</width><height>200</height></rect></property>
 <property name="windowTitle"><string>Test</string></property>
 <property name="module" stdset="0"><string>TestModule</string></property>
 <widget class="QLineEdit" name="txtEdit">
  <property name="geometry"><rect><x>10</x><y>20</y><width>100</width><height>30</height></rect></property>
  <property name="callback" stdset="0"><string>txtEdit_Callback</string></property>
 </widget>
 <widget class="QComboBox" name="pdList">
  <property name="geometry"><rect><x>10</x><y>60</y><width>100</width><height>30</height></rect></property>
  <property name="callback" stdset="0"><string>pdList_Callback</string></property>
  <item><property name="text"><string>one</string></property></item>
  <item><property name="text"><string>two</string></property></item>
 </widget>
 <widget class="QCheckBox" name="chkFlag">
  <property name="geometry"><rect><x>10</x><y>100</y><width>100</width><height>30</height></rect></property>
  <property name="text"><string>Flag</string></property>
  <property name="callback" stdset="0"><string>chkFlag_Callback</string></property>
 </widget>
 <widget class="QPushButton" name="pbGo">
  <property name="geometry"><rect><x>150</x><y>150</y><width>100</width><height>30</height></rect></property>
  <property name="text"><string>Go</string></property>
  <property name="callback" stdset="0"><string>pbGo_Callback</string></property>
 </widget>
 <widget class="QLabel" name="lblNote"><property name="text"><string>note</string></property></widget>
 <widget class="QLabel" name="end"><property name="text"><string>a reserved word</string></property></widget>
</widget><resources/><connections/></ui>)";

struct Call {
  std::string callback;
  Value source;
  std::size_t inputs;
  Value handles;
};

class Toolkit : public WindowTest {
 protected:
  void SetUp() override {
    WindowTest::SetUp();
    registry::Table& t = registry::library().module("TestModule");
    for (const char* name :
         {"txtEdit_Callback", "pdList_Callback", "chkFlag_Callback", "pbGo_Callback"})
      t.add(name, -4, -1, [this, name = std::string(name)](registry::Args args, int) {
        calls_.push_back({name, args[0], args.size(), args.size() > 2 ? args[2] : Value()});
        if (name == "pbGo_Callback") throw runtime::Error("the go button failed");
        return registry::Outputs{};
      });
    std::ofstream(dir_ / "test.ui") << kTestLayout;
    QWidget* w = loadLayout(dir_ / "test.ui");
    window_ = handleOf(w);
    guidata(window_, guihandles(window_));
  }
  template <class T>
  T* widget(const char* tagName) {
    return qobject_cast<T*>(findTag(windowOf(window_), tagName));
  }
  Value h(const char* tagName) { return handleOf(findTag(windowOf(window_), tagName)); }

  Value window_;
  std::vector<Call> calls_;
};

TEST_F(Toolkit, HandlesNameLiveObjectsAndDeletedOnesAreInvalid) {
  const Value edit = h("txtEdit");
  EXPECT_EQ(edit, h("txtEdit"));  // one object, one handle
  EXPECT_TRUE(isValidHandle(edit));
  EXPECT_TRUE(isValidHandle(Value::handle(kRootHandle)));
  EXPECT_TRUE(isRoot(Value::scalar(0)));
  EXPECT_EQ(get(edit, "Parent"), window_);
  EXPECT_EQ(get(window_, "Type").str(), "figure");
  deleteObject(window_);
  EXPECT_FALSE(isValidHandle(edit));  // its controls went with it, at once
  testing::settle();
  for (const Value& gone : {window_, edit}) {
    try {
      get(gone, "Tag");
      FAIL() << "a deleted object answered";
    } catch (const runtime::Error& e) {
      EXPECT_STREQ(e.what(), "Invalid handle");
    }
  }
  EXPECT_THROW(objectOf(Value::handle(987654)), runtime::Error);
  EXPECT_THROW(objectOf(Value::text("txtEdit")), runtime::Error);
}

TEST_F(Toolkit, PropertiesByNameMapOntoTheControls) {
  set(h("txtEdit"), "String", Value::text("42"));
  EXPECT_EQ(widget<QLineEdit>("txtEdit")->text(), "42");
  set(h("txtEdit"), "Value", Value::scalar(7));  // an edit field keeps its last accepted number
  EXPECT_EQ(get(h("txtEdit"), "Value").toDouble(), 7);

  EXPECT_EQ(get(h("pdList"), "Value").toDouble(), 1);
  set(h("pdList"), "Value", Value::scalar(2));
  EXPECT_EQ(widget<QComboBox>("pdList")->currentIndex(), 1);
  EXPECT_THROW(set(h("pdList"), "Value", Value::scalar(3)), runtime::Error);
  set(h("pdList"), "String", Value::list({Value::text("a"), Value::text("b"), Value::text("c")}));
  EXPECT_EQ(get(h("pdList"), "String").items().size(), 3u);
  EXPECT_EQ(get(h("pdList"), "Style").str(), "popupmenu");

  set(h("chkFlag"), "Value", Value::scalar(1));
  EXPECT_TRUE(widget<QCheckBox>("chkFlag")->isChecked());
  set(h("pbGo"), "Enable", Value::text("off"));
  EXPECT_FALSE(widget<QPushButton>("pbGo")->isEnabled());
  EXPECT_EQ(get(h("pbGo"), "Enable").str(), "off");
  EXPECT_THROW(set(h("pbGo"), "Enable", Value::text("maybe")), runtime::Error);
  set(h("txtEdit"), "TooltipString", Value::text("two\nlines"));
  EXPECT_EQ(widget<QLineEdit>("txtEdit")->toolTip(), "two\nlines");
  set(h("txtEdit"), "FontSize", Value::scalar(12));
  EXPECT_EQ(get(h("txtEdit"), "FontSize").toDouble(), 12);

  set(window_, "Name", Value::text("Kelvane"));
  EXPECT_EQ(windowOf(window_)->windowTitle(), "Kelvane");
  set(window_, "NumberTitle", Value::text("on"));
  EXPECT_EQ(windowOf(window_)->windowTitle(),
            QString("Figure %1: Kelvane").arg(window_.handleId()));
  set(window_, "Pointer", Value::text("watch"));
  EXPECT_EQ(windowOf(window_)->cursor().shape(), Qt::WaitCursor);
  set(window_, "Color", Value::row({1, 0, 0}));
  EXPECT_EQ(get(window_, "Color"), Value::row({1, 0, 0}));
}

TEST_F(Toolkit, AnUnknownPropertyNamesTheTagAndTheProperty) {
  try {
    get(h("lblNote"), "Checked");
    FAIL();
  } catch (const runtime::Error& e) {
    EXPECT_STREQ(e.what(), "lblNote has no property \"Checked\"");
  }
  EXPECT_THROW(set(window_, "String", Value::text("x")), runtime::Error);   // a window has none
  EXPECT_THROW(set(window_, "Type", Value::text("axes")), runtime::Error);  // read-only
  EXPECT_FALSE(hasProperty(window_, "FontSize"));
  EXPECT_TRUE(hasProperty(h("txtEdit"), "FontSize"));
}

TEST_F(Toolkit, PositionsCountFromTheBottomLeftInPixelsOrFractions) {
  const Value root = Value::handle(kRootHandle);
  const auto screen = get(root, "ScreenSize").toDoubles();
  ASSERT_EQ(screen.size(), 4u);
  EXPECT_EQ(screen[0], 1);
  EXPECT_EQ(screen[1], 1);
  // A window at the bottom-left corner of the screen.
  set(window_, "Position", Value::row({1, 1, 300, 200}));
  const QRect g = windowOf(window_)->geometry();
  EXPECT_EQ(g.x() - QApplication::primaryScreen()->geometry().x(), 0);
  EXPECT_EQ(g.bottom() + 1 - QApplication::primaryScreen()->geometry().y(), screen[3]);
  EXPECT_EQ(get(window_, "Position"), Value::row({1, 1, 300, 200}));
  // A control 150 px from the left, 20 px up from the window's bottom (Qt: y = 150 in 200).
  EXPECT_EQ(get(h("pbGo"), "Position"), Value::row({151, 21, 100, 30}));
  set(h("pbGo"), "Position", Value::row({11, 171, 50, 20}));
  EXPECT_EQ(findTag(windowOf(window_), "pbGo")->property("geometry").toRect(),
            QRect(10, 10, 50, 20));
  set(h("pbGo"), "Units", Value::text("normalized"));
  EXPECT_EQ(get(h("pbGo"), "Position"),
            Value::row({10.0 / 300, 170.0 / 200, 50.0 / 300, 20.0 / 200}));
  set(h("pbGo"), "Position", Value::row({0.5, 0.5, 0.25, 0.25}));
  set(h("pbGo"), "Units", Value::text("pixels"));
  EXPECT_EQ(get(h("pbGo"), "Position"), Value::row({151, 101, 75, 50}));
  EXPECT_THROW(set(h("pbGo"), "Units", Value::text("inches")), runtime::Error);
  // The root's resolution can stand for another screen.
  set(root, "screenpixelsperinch", Value::scalar(120));
  EXPECT_EQ(get(root, "screenpixelsperinch").toDouble(), 120);
}

TEST_F(Toolkit, EachControlCallsItsModuleByNameWithHandleEventAndHandles) {
  QWidget* w = windowOf(window_);
  w->show();
  QLineEdit* edit = widget<QLineEdit>("txtEdit");
  edit->setFocus();
  QTest::keyClicks(edit, "12");
  QTest::keyClick(edit, Qt::Key_Return);
  widget<QComboBox>("pdList")->activated(1);
  widget<QCheckBox>("chkFlag")->click();
  widget<QPushButton>("pbGo")->click();
  ASSERT_EQ(calls_.size(), 4u);
  EXPECT_EQ(calls_[0].callback, "txtEdit_Callback");
  EXPECT_EQ(calls_[0].source, h("txtEdit"));
  EXPECT_EQ(calls_[0].inputs, 3u);  // handle, empty event, handles
  EXPECT_EQ(calls_[0].handles, guidata(window_));
  EXPECT_EQ(calls_[1].callback, "pdList_Callback");
  EXPECT_EQ(calls_[2].callback, "chkFlag_Callback");
  EXPECT_EQ(calls_[3].callback, "pbGo_Callback");
  // The failing callback was printed and the window stays usable.
  EXPECT_TRUE(consoleHas("the go button failed"));
  // An edit left without a change calls nothing.
  QTest::keyClick(edit, Qt::Key_Return);
  EXPECT_EQ(calls_.size(), 4u);
  // A programmatic change is no operator action.
  set(h("pdList"), "Value", Value::scalar(1));
  EXPECT_EQ(calls_.size(), 4u);
}

TEST_F(Toolkit, ModalWaitEndsOnResumeOrDeletion) {
  QWidget* w = windowOf(window_);
  bool ran = false;
  whenModal([&](QWidget* modal) {
    ran = true;
    EXPECT_TRUE(isWaiting(w));
    EXPECT_EQ(modal, w);
    resume(w);
  });
  waitFor(w);
  EXPECT_TRUE(ran);
  EXPECT_FALSE(isWaiting(w));
  EXPECT_EQ(w->windowModality(), Qt::NonModal);  // modal only while waited for
  whenModal([&](QWidget*) { deleteObject(window_); });
  waitFor(w);
  EXPECT_FALSE(isValidHandle(window_));
  EXPECT_EQ(pendingModalActions(), 0u);
}

TEST_F(Toolkit, QtDialogsReturnTheChosenButtonOrNoneWhenClosed) {
  QtDialogs qt;
  whenModal([](QWidget* modal) { pressButton(modal, "Recalculate & Download"); });
  EXPECT_EQ(qt.question("Go?", "Title", {"Yes", "Recalculate & Download", "Cancel"}, "Cancel"),
            "Recalculate & Download");
  whenModal([](QWidget* modal) { modal->close(); });
  const std::string closed = qt.question("Go?", "Title", {"Yes", "No"}, "No");
  EXPECT_TRUE(closed == "No" || closed.empty()) << closed;  // Escape and close mean the default
  whenModal([](QWidget* modal) { pressButton(modal, "OK"); });
  qt.error("bad", "Error");
  whenModal([](QWidget* modal) {
    auto* field = modal->findChild<QLineEdit*>();
    field->setText("7");
    pressButton(modal, "OK");
  });
  EXPECT_EQ(qt.input("Eye", {"Symbols:", "Delay:"}, {"1", "0"}),
            (std::vector<std::string>{"7", "0"}));
  whenModal([](QWidget* modal) { pressButton(modal, "Cancel"); });
  EXPECT_FALSE(qt.input("Eye", {"Symbols:"}, {"1"}).has_value());
}

TEST_F(Toolkit, OpenfigReusesOrOpensAnewAndKnowsOnlyLayoutNames) {
  const Value a = openfig("KR_Splash.fig", OpenPolicy::New);
  const Value b = openfig("KR_Splash", OpenPolicy::Reuse);
  EXPECT_EQ(a, b);
  const Value c = openfig("KR_Splash", OpenPolicy::New);
  EXPECT_NE(c, a);
  try {
    openfig("KR_Splash.txt", OpenPolicy::New);
    FAIL();
  } catch (const runtime::Error& e) {
    EXPECT_STREQ(e.what(), "Argument must be a .fig file");
  }
  try {
    openPolicy(Value::text("always"));
    FAIL();
  } catch (const runtime::Error& e) {
    EXPECT_STREQ(e.what(), "Second input argument must be 'new' or 'reuse'.");
  }
  EXPECT_THROW(openfig("NoSuchWindow", OpenPolicy::New), runtime::Error);
  // By name, the same rules.
  const Value again =
      registry::call("openfig", {Value::text("KR_Splash"), Value::text("reuse")}, 1).at(0);
  EXPECT_TRUE(again == a || again == c);
}

TEST_F(Toolkit, GuihandlesListsTaggedObjectsWithValidNamesAndGuidataKeepsAWindowsRecord) {
  const Value handles = guihandles(window_);
  EXPECT_TRUE(handles.hasField("testWindow"));
  EXPECT_TRUE(handles.hasField("txtEdit"));
  EXPECT_TRUE(handles.hasField("pbGo"));
  EXPECT_FALSE(handles.hasField("end"));  // a reserved word is no field name
  EXPECT_EQ(handles.fieldNames().front(), "testWindow");
  guidata(h("pbGo"), Value::record({{"x", Value::scalar(1)}}));  // through any object
  EXPECT_EQ(guidata(window_).field("x").toDouble(), 1);
}

TEST_F(Toolkit, MoveguiPutsAWindowOnTheScreen) {
  const QRect screen = QApplication::primaryScreen()->availableGeometry();
  QWidget* w = windowOf(window_);
  w->move(screen.right() + 500, screen.bottom() + 500);
  movegui(window_, Value::text("onscreen"));
  EXPECT_TRUE(screen.contains(w->geometry())) << w->geometry().x() << "," << w->geometry().y();
  movegui(window_, Value::text("northwest"));
  EXPECT_EQ(w->pos(), screen.topLeft());
  movegui(window_, Value::text("center"));
  EXPECT_NEAR(w->geometry().center().x(), screen.center().x(), 1);
  EXPECT_THROW(movegui(window_, Value::text("upstairs")), runtime::Error);
}

}  // namespace
}  // namespace kelvane::toolkit

namespace kelvane::toolkit {
namespace {

TEST_F(Toolkit, JpegImagesAndNamesByName) {
  const auto splash = (layoutsFolder() / "splash.jpg").string();
  const Value image = registry::call("imread", {Value::text(splash), Value::text("jpg")}, 1).at(0);
  ASSERT_TRUE(image.isList());
  ASSERT_EQ(image.items().size(), 3u);  // red, green, blue
  EXPECT_EQ(image.items()[0].cols(), 520u);
  EXPECT_EQ(image.items()[0].rows(), 300u);
  EXPECT_EQ(registry::call("readjpg", {Value::text(splash)}, 1).at(0), image);
  set(h("lblNote"), "CData", image);
  EXPECT_EQ(get(h("lblNote"), "CData").items()[0].rows(), 300u);
  EXPECT_THROW(registry::call("imread", {Value::text(splash), Value::text("png")}, 1),
               std::exception);
  EXPECT_THROW(registry::call("rjpgc", {Value::text((dir_ / "none.jpg").string())}, 1),
               std::exception);

  auto is = [](const char* op, Value v) {
    return registry::call(op, {std::move(v)}, 1).at(0).toDouble();
  };
  EXPECT_EQ(is("isvarname", Value::text("txtFrequency")), 1);
  EXPECT_EQ(is("isvarname", Value::text("2nd")), 0);
  EXPECT_EQ(is("isvarname", Value::text("end")), 0);  // a reserved word
  EXPECT_EQ(is("isvarname", Value::text(std::string(64, 'a'))), 0);
  EXPECT_EQ(is("isvarname", Value::scalar(3)), 0);
  EXPECT_EQ(is("iskeyword", Value::text("while")), 1);
  EXPECT_EQ(is("iskeyword", Value::text("While")), 0);
  EXPECT_EQ(registry::call("iskeyword", {}, 1).at(0).items().size(), 20u);
}

}  // namespace
}  // namespace kelvane::toolkit
