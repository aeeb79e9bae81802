// The instrument I/O configuration dialog through its real controls: lists by platform, clamps,
// the older record layout, the connection test, and a whole session against the simulator
// program that survives a restart.
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>

#include "app/state.hpp"
#include "app/window/main_window_fixture.hpp"
#include "frame/window/io_dialog.hpp"
#include "support/program.hpp"
#include "toolkit/figures.hpp"
#include "toolkit/qt_dialogs.hpp"

namespace kelvane::frame::window {
namespace {

using runtime::Value;
namespace tk = kelvane::toolkit;
using Box = toolkit::ScriptedDialogs::BoxKind;

Value record(std::vector<std::pair<std::string, Value>> fields) {
  return Value::record(std::move(fields));
}

Value configuration(const char* type, double primary, double baud) {
  return record(
      {{"type", Value::text(type)},
       {"GPIB", record({{"board", Value::scalar(0)},
                        {"primary", Value::scalar(primary)},
                        {"secondary", Value::scalar(-1)}})},
       {"RS232", record({{"port", Value::scalar(2)},
                         {"baudrate", Value::scalar(baud)},
                         {"handshake", Value::text("RTS/CTS")}})},
       {"TCPIP", record({{"address", Value::text("10.0.0.9")}, {"board", Value::scalar(0)}})},
       {"BBGtype", Value::text("008")}});
}

class IoDialog : public testing::MainWindowTest {
 protected:
  // Opens the dialog by name; `inside` gets its handles while it waits.
  std::vector<Value> open(std::vector<Value> args,
                          const std::function<void(const Value&)>& inside) {
    tk::whenModal([inside](QWidget* d) { inside(tk::guidata(tk::handleOf(d))); });
    return registry::call("KR_SigGen", std::move(args), 2);
  }
  static std::string selected(const Value& d, const char* tag) {
    auto* combo = qobject_cast<QComboBox*>(tk::objectOf(d.field(tag)));
    return combo->currentText().toStdString();
  }
  static int count(const Value& d, const char* tag) {
    return qobject_cast<QComboBox*>(tk::objectOf(d.field(tag)))->count();
  }
  static void press(const Value& d, const char* tag) {
    qobject_cast<QPushButton*>(tk::objectOf(d.field(tag)))->click();
  }
};

TEST_F(IoDialog, PlatformCOffersGpibAndLanAndClampsTheAddresses) {
  const auto out =
      open({fig_, configuration("RS232", 40, 115200), Value::text("c")}, [](const Value& d) {
        EXPECT_EQ(selected(d, "pmConnection"), "GPIB");
        EXPECT_EQ(count(d, "pmConnection"), 2);
        EXPECT_EQ(selected(d, "pmPrimaryAddress"), "30");
        // The baud clamp spans the whole list: 115200 stays 115200.
        EXPECT_EQ(selected(d, "pmBaudRate"), "115200");
        EXPECT_EQ(selected(d, "pmHandShake"), "RTS/CTS");
        EXPECT_EQ(count(d, "pmSecondaryAddress"), 33);
        EXPECT_EQ(selected(d, "pmSecondaryAddress"), "none");
        EXPECT_NE(tk::get(d.field("pmHandShake"), "TooltipString").str().find("RTS/CTS Pacing"),
                  std::string::npos);
        press(d, "pbOK");
      });
  ASSERT_EQ(out.size(), 2u);
  EXPECT_EQ(out[0].str(), "OK");
  EXPECT_EQ(out[1].field("type").str(), "GPIB");
  EXPECT_EQ(out[1].field("GPIB").field("primary").toDouble(), 30);
  EXPECT_EQ(out[1].field("RS232").field("baudrate").toDouble(), 115200);
  EXPECT_EQ(out[1].field("BBGtype").str(), "008");  // the other fields are kept
}

TEST_F(IoDialog, TheCloseBoxIsACancelAndTheCallerKeepsItsRecord) {
  const Value config = configuration("TCPIP", 19, 50);
  const auto out = open({fig_, config, Value::text("")}, [](const Value& d) {
    EXPECT_EQ(selected(d, "pmConnection"), "TCP/IP");
    EXPECT_EQ(count(d, "pmConnection"), 3);
    EXPECT_EQ(selected(d, "pmBaudRate"), "300");  // below the list: its smallest entry
    tk::windowOf(d.field("figureVisaAddress"))->close();
  });
  EXPECT_EQ(out[0].str(), "Cancel");
  EXPECT_EQ(out[1], config);
  // A platform that is no model titles the dialog.
  open({fig_, config, Value::text("Bench")}, [](const Value& d) {
    EXPECT_EQ(tk::get(d.field("figureVisaAddress"), "Name").str(), "Bench IO Connection");
    press(d, "pbCancel");
  });
}

TEST_F(IoDialog, ListTextsAndTheOlderRecordLayout) {
  open({fig_, configuration("GPIB", 19, 9600), Value::text("b")}, [](const Value& d) {
    const Value connection = d.field("pmConnection");
    EXPECT_EQ(count(d, "pmConnection"), 2);  // RS232 and GPIB for platform "b"
    EXPECT_EQ(ConvertStringToIndex(connection, "gpib"), 2);
    EXPECT_EQ(ConvertStringToIndex(connection, "Ethernet"), 1);  // not listed: the first
    EXPECT_EQ(ConvertIndexToString(connection, 7), "RS232");
    const Value older = record({{"Connection", Value::scalar(1)},
                                {"GPIBboard", Value::scalar(1)},
                                {"Primary", Value::scalar(7)},
                                {"Secondary", Value::scalar(3)},
                                {"RS232Port", Value::scalar(4)},
                                {"BaudRate", Value::scalar(19200)},
                                {"HandShake", Value::scalar(2)},
                                {"BBGtype", Value::text("032")}});
    const Value now = reStructureConfig(older, d);
    EXPECT_EQ(now.field("type").str(), "RS232");
    EXPECT_EQ(now.field("GPIB").field("primary").toDouble(), 7);
    EXPECT_EQ(now.field("RS232").field("handshake").str(), "RTS/CTS");
    EXPECT_EQ(now.field("TCPIP").field("address").str(), "0.0.0.0");
    EXPECT_FALSE(now.hasField("Connection"));
    EXPECT_EQ(now.field("BBGtype").str(), "032");
    const Value unchanged = configuration("GPIB", 19, 9600);
    EXPECT_EQ(reStructureConfig(unchanged, d), unchanged);
    // Entry 3 (LAN) is refused on a model without it: the selection goes back.
    auto* combo = qobject_cast<QComboBox*>(tk::objectOf(connection));
    combo->setCurrentIndex(0);
    combo->activated(0);
    EXPECT_EQ(selected(d, "pmConnection"), "RS232");
    EXPECT_TRUE(qobject_cast<QWidget*>(tk::objectOf(d.field("configRS232")))
                    ->isVisibleTo(tk::windowOf(connection)));
    press(d, "pbCancel");
  });
}

// The whole session: LAN chosen and tested against the simulator program, a parameter file
// saved, Exit; after a restart the title, the dialog and a download all use what was saved.
TEST_F(IoDialog, ASessionOnTheSimulatorSurvivesARestart) {
  testing::Program sim(testing::simulatorProgram(), {"--port", "0"});
  const std::string address = "127.0.0.1:" + std::to_string(sim.portFromBanner());
  std::string status;
  tk::whenModal([&](QWidget* w) {
    const Value d = tk::guidata(tk::handleOf(w));
    auto* connection = qobject_cast<QComboBox*>(tk::objectOf(d.field("pmConnection")));
    connection->setCurrentIndex(1);  // platform "c": GPIB, TCP/IP
    connection->activated(1);
    auto* edit = qobject_cast<QLineEdit*>(tk::objectOf(d.field("editTCPIPAddress")));
    edit->setText(QString::fromStdString(address));
    press(d, "pbCheckHardware");
    status = tk::get(d.field("lblStatus"), "String").str();
    press(d, "pbOK");
  });
  registry::call("rfCommonUI",
                 {Value::text("menuConfigSigGenIO_Callback"), Value(), Value(), handles_}, 0);
  EXPECT_NE(status.find("Q7710K simulator"), std::string::npos) << status;
  EXPECT_EQ(app::currentState().configuration.type, "TCPIP");
  EXPECT_EQ(app::currentState().configuration.TCPIP.address, address);
  dialogs_.answerFile(dir_ / "session");
  registry::call("rfCommonUI", {Value::text("menuFileSaveAs_Callback"), Value(), Value(), handles_},
                 0);
  registry::call("rfCommonUI", {Value::text("menuFileExit_Callback"), Value(), Value(), handles_},
                 0);
  testing::settle();

  Qarn_FTM_c_libTerminate();
  Qarn_FTM_c_libInitialize();
  library::installProcessHooks({.dialogs = &dialogs_});
  fig_ = registry::call("Qarn_FTM_GUI_c", {}, 1).at(0);
  handles_ = handlesOf(fig_);
  EXPECT_NE(tk::get(fig_, "Name").str().find((dir_ / "session.mat").string()), std::string::npos);
  tk::whenModal([&](QWidget* w) {
    const Value d = tk::guidata(tk::handleOf(w));
    EXPECT_EQ(selected(d, "pmConnection"), "TCP/IP");
    EXPECT_EQ(tk::get(d.field("editTCPIPAddress"), "String").str(), address);
    press(d, "pbCancel");
  });
  registry::call("rfCommonUI",
                 {Value::text("menuConfigSigGenIO_Callback"), Value(), Value(), handles_}, 0);
  dialogs_.answer("Yes");  // calculate first
  press(handles_, "pbDownload");
  EXPECT_EQ(dialogs_.shown().back().title, "Download Completed");
}

}  // namespace
}  // namespace kelvane::frame::window
