#include "frame/window/io_dialog.hpp"

#include <QApplication>
#include <QComboBox>
#include <QLayout>
#include <QWidget>
#include <algorithm>
#include <cctype>
#include <cmath>
#include <map>

#include "instrument/lan_address.hpp"
#include "instrument/transport.hpp"
#include "registry/registry.hpp"
#include "runtime/text.hpp"
#include "toolkit/figures.hpp"
#include "toolkit/modal.hpp"
#include "toolkit/objects.hpp"
#include "toolkit/properties.hpp"

namespace kelvane::frame::window {

using runtime::Value;
namespace tk = kelvane::toolkit;

namespace {

const char* const kGroups[] = {"configGPIB", "configRS232", "configTCPIP"};
const char* const kGroupFields[] = {"handlesGPIB", "handlesRS232", "handlesTCPIP"};
// Types by connection kind, in the order of kGroups.
const char* const kTypes[] = {"GPIB", "RS232", "TCPIP"};

double number(const Value& handles, const char* field, double otherwise) {
  if (!handles.isRecord() || !handles.hasField(field) || !handles.field(field).isReal() ||
      handles.field(field).numel() != 1)
    return otherwise;
  return handles.field(field).toDouble();
}

std::string upper(std::string s) {
  for (auto& c : s)
    c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

// A numeric field of a sub-record, or `otherwise` when missing or not a number.
double sub(const Value& config, const char* record, const char* field, double otherwise) {
  if (!config.hasField(record) || !config.field(record).isRecord() ||
      !config.field(record).hasField(field))
    return otherwise;
  const Value& v = config.field(record).field(field);
  return v.isReal() && v.numel() == 1 ? v.toDouble() : otherwise;
}

std::string subText(const Value& config, const char* record, const char* field,
                    const std::string& otherwise) {
  if (!config.hasField(record) || !config.field(record).isRecord() ||
      !config.field(record).hasField(field) || !config.field(record).field(field).isText())
    return otherwise;
  return config.field(record).field(field).str();
}

void setSub(Value& config, const char* record, const char* field, Value v) {
  Value r = config.hasField(record) && config.field(record).isRecord() ? config.field(record)
                                                                       : Value::record();
  r.setField(field, std::move(v));
  config.setField(record, std::move(r));
}

std::vector<std::string> entries(const Value& list) {
  std::vector<std::string> out;
  const Value items = tk::get(list, "String");
  for (const Value& item : items.items())
    out.push_back(item.str());
  return out;
}

// The baud rates of the list as numbers.
std::pair<double, double> baudRange(const Value& handles) {
  double lo = INFINITY, hi = -INFINITY;
  for (const auto& e : entries(tk::tagged(handles, "pmBaudRate")))
    if (const auto n = runtime::parseNumber(e)) {
      lo = std::min(lo, *n);
      hi = std::max(hi, *n);
    }
  return {lo, hi};
}

// Step 3 of the opening: the starting record in today's layout, clamped to the lists. The baud
// rate is clamped to the smallest and largest entry of the list (the first two entries would
// silently turn a saved 115200 into 600).
Value startingRecord(const std::optional<Value>& config, const Value& handles) {
  if (!config || !config->isRecord() || config->numel() != 1) return initConfig(Value::record());
  Value c = reStructureConfig(*config, handles);
  auto clampSub = [&](const char* record, const char* field, double lo, double hi, double dflt) {
    setSub(c, record, field, Value::scalar(std::clamp(sub(c, record, field, dflt), lo, hi)));
  };
  clampSub("GPIB", "board", 0, 15, 0);
  clampSub("GPIB", "primary", 0, 30, 19);
  clampSub("GPIB", "secondary", -1, 31, -1);
  clampSub("RS232", "port", 1, 9, 1);
  const auto [lo, hi] = baudRange(handles);
  clampSub("RS232", "baudrate", lo, hi, 9600);
  setSub(c, "TCPIP", "board", Value::scalar(0));
  return c;
}

void setStatus(const Value& handles, const std::string& text) {
  tk::set(tk::tagged(handles, "lblStatus"), "String", Value::text(text));
}

// Moves the three groups' controls into the frame and records them in the handles.
Value buildDialog(const Value& frame) {
  Value handles = tk::guihandles(frame);
  for (int g = 0; g < 3; ++g) {
    const Value group =
        tk::openfig(std::string("KR_SigGen_") + (kGroups[g] + 6), tk::OpenPolicy::New);
    handles.setField(kGroupFields[g], addControls(frame, group));
  }
  Value all = tk::guihandles(frame);
  for (const auto& name : handles.fieldNames())
    if (!all.hasField(name)) all.setField(name, handles.field(name));
  all.setField("handlesLastConnection", Value::scalar(2));
  return all;
}

void placeOn(const Value& frame, const std::optional<Value>& parent) {
  try {
    if (!parent || !tk::isValidHandle(*parent) || tk::isRoot(*parent)) return;
    const auto p = tk::get(*parent, "Position").toDoubles();
    const auto d = tk::get(frame, "Position").toDoubles();
    tk::set(frame, "Position",
            Value::row({p[0] + p[2] / 2 - d[2] / 2, p[1] + p[3] - d[3], d[2], d[3]}));
  } catch (const std::exception&) {
    // A window that cannot be placed is shown where it is.
  }
}

double modelOf(const std::optional<Value>& platform, const Value& frame) {
  if (!platform || !platform->isText()) return 0;
  const std::string p = upper(platform->str());
  if (p == "B") return 1;
  if (p == "C") return 2;
  tk::set(frame, "Name", Value::text(platform->str() + " IO Connection"));
  return 0;
}

void checkHardware(const Value& handles) {
  tk::BusyPointer watch(tk::windowOf(tk::tagged(handles, "figureVisaAddress")));
  std::string text;
  try {
    const Value config = UpdateConfig(handles);
    setStatus(handles, "... Checking ...");
    QApplication::processEvents();  // the status is painted before the test blocks
    const auto out = registry::call("VerifyComm", {config}, 2);
    text = out.size() > 1 && out[1].isText() ? out[1].str() : "";
  } catch (const std::exception& e) {
    text = e.what();
  }
  setStatus(handles, text);
}

void answer(const Value& h, const char* text) {
  Value handles = tk::guidata(h);
  handles.setField("answer", Value::text(text));
  tk::guidata(h, handles);
  tk::resume(tk::windowOf(h));
}

void connectionChosen(const Value& handles) {
  const Value list = tk::tagged(handles, "pmConnection");
  const double model = number(handles, "Model", 0);
  double entry = tk::get(list, "Value").toDouble();
  double last = number(handles, "handlesLastConnection", 2);
  if ((model == 1 || model == 2) && entry == 3) {
    if (last == 3) last = model == 1 ? 2 : 1;
    entry = last;
    tk::set(list, "Value", Value::scalar(entry));
  }
  Value stored = tk::guidata(list);
  stored.setField("handlesLastConnection", Value::scalar(entry));
  tk::guidata(list, stored);
  showControls(stored);
}

void addressEdited(const Value& handles) {
  const std::string text = tk::get(tk::tagged(handles, "editTCPIPAddress"), "String").str();
  const auto parsed = instrument::parseLanAddress(text);
  setStatus(handles, parsed.address ? "" : parsed.error);
}

// The device path the configuration names instead of a port number ("/dev/ttyUSB0"), or "".
std::string deviceOf(const Value& handles) {
  return handles.hasField("config") && handles.field("config").isRecord()
             ? subText(handles.field("config"), "RS232", "device", "")
             : std::string();
}

void describePorts(const Value& handles) {
  auto* ports = qobject_cast<QComboBox*>(tk::objectOf(tk::tagged(handles, "pmPortNumber")));
  for (int i = 0; i < ports->count(); ++i)
    ports->setItemData(i, QString::fromStdString(instrument::serialDevice(i + 1)), Qt::ToolTipRole);
  const int port = ports->currentIndex() + 1;
  const std::string device = deviceOf(handles);
  ports->setToolTip(
      QString("Serial port %1 is %2")
          .arg(port)
          .arg(QString::fromStdString(device.empty() ? instrument::serialDevice(port) : device)));
}

// A port chosen in the list replaces a device path set from the command line.
void portChosen(const Value& h, const Value& handles) {
  Value stored = handles;
  if (!deviceOf(stored).empty()) {
    Value config = stored.field("config");
    Value serial = config.field("RS232");
    serial.removeField("device");
    config.setField("RS232", serial);
    stored.setField("config", config);
    tk::guidata(h, stored);
  }
  describePorts(stored);
}

}  // namespace

Value initConfig(const Value& configIn) {
  Value c = configIn.isRecord() && configIn.numel() == 1 ? configIn : Value::record();
  c.setField("type", Value::text("GPIB"));
  setSub(c, "GPIB", "board", Value::scalar(0));
  setSub(c, "GPIB", "primary", Value::scalar(19));
  setSub(c, "GPIB", "secondary", Value::scalar(-1));
  setSub(c, "RS232", "port", Value::scalar(1));
  setSub(c, "RS232", "baudrate", Value::scalar(9600));
  setSub(c, "RS232", "handshake", Value::text("Xon/Xoff"));
  setSub(c, "TCPIP", "address", Value::text("0.0.0.0"));
  setSub(c, "TCPIP", "board", Value::scalar(0));
  return c;
}

Value reStructureConfig(const Value& oldConfig, const Value& handles) {
  if (!oldConfig.isRecord() || !oldConfig.hasField("Connection")) return oldConfig;
  Value c = oldConfig;
  const Value& connection = c.field("Connection");
  const bool serial = connection.isReal() && connection.numel() == 1 && connection.toDouble() == 1;
  auto old = [&](const char* name, double dflt) {
    return c.hasField(name) && c.field(name).isReal() && c.field(name).numel() == 1
               ? c.field(name).toDouble()
               : dflt;
  };
  Value out = c;
  out.setField("type", Value::text(serial ? "RS232" : "GPIB"));
  setSub(out, "GPIB", "board", Value::scalar(old("GPIBboard", 0)));
  setSub(out, "GPIB", "primary", Value::scalar(old("Primary", 19)));
  setSub(out, "GPIB", "secondary", Value::scalar(old("Secondary", -1)));
  setSub(out, "RS232", "port", Value::scalar(old("RS232Port", 1)));
  setSub(out, "RS232", "baudrate", Value::scalar(old("BaudRate", 9600)));
  std::string handshake = "Xon/Xoff";
  if (handles.isRecord() && handles.hasField("pmHandShake")) {
    const auto list = entries(handles.field("pmHandShake"));
    const double i = old("HandShake", 1);
    if (i >= 0 && i < static_cast<double>(list.size()))
      handshake = list[static_cast<std::size_t>(i)];
  }
  setSub(out, "RS232", "handshake", Value::text(handshake));
  setSub(out, "TCPIP", "address", Value::text("0.0.0.0"));
  setSub(out, "TCPIP", "board", Value::scalar(0));
  for (const char* f :
       {"Connection", "GPIBboard", "Primary", "Secondary", "RS232Port", "BaudRate", "HandShake"})
    if (out.hasField(f)) out.removeField(f);
  return out;
}

double ConvertStringToIndex(const Value& list, const std::string& text) {
  const std::string wanted = upper(text) == "TCPIP" ? "TCP/IP" : upper(text);
  const auto items = entries(list);
  for (std::size_t i = 0; i < items.size(); ++i)
    if (upper(items[i]) == wanted) return static_cast<double>(i + 1);
  return 1;
}

std::string ConvertIndexToString(const Value& list, double index) {
  const auto items = entries(list);
  if (items.empty()) return "";
  const bool inside = index >= 1 && index <= static_cast<double>(items.size());
  const std::string s = items[inside ? static_cast<std::size_t>(index) - 1 : 0];
  return s == "TCP/IP" ? "TCPIP" : s;
}

Value UpdateConnectionSelections(const Value& handles, double model) {
  std::vector<Value> list;
  if (model != 2) list.push_back(Value::text("RS232"));
  list.push_back(Value::text("GPIB"));
  if (model != 1) list.push_back(Value::text("TCP/IP"));
  const Value l = Value::list(list);
  tk::set(tk::tagged(handles, "pmConnection"), "String", l);
  return l;
}

void UpdateGuiObjects(const Value& handles, const Value& config) {
  try {
    const double model = number(handles, "Model", 0);
    std::string type = config.hasField("type") && config.field("type").isText()
                           ? upper(config.field("type").str())
                           : "GPIB";
    if ((model == 1 && type == "TCPIP") || (model == 2 && type == "RS232")) type = "GPIB";
    UpdateConnectionSelections(handles, model);
    const Value connection = tk::tagged(handles, "pmConnection");
    tk::set(connection, "Value", Value::scalar(ConvertStringToIndex(connection, type)));
    auto select = [&](const char* tag, double entry) {
      const Value list = tk::tagged(handles, tag);
      const double n = static_cast<double>(entries(list).size());
      tk::set(list, "Value", Value::scalar(std::clamp(std::round(entry), 1.0, n)));
    };
    select("pmGpibBoard", sub(config, "GPIB", "board", 0) + 1);
    select("pmPrimaryAddress", sub(config, "GPIB", "primary", 19) + 1);
    select("pmSecondaryAddress", sub(config, "GPIB", "secondary", -1) + 2);
    select("pmPortNumber", sub(config, "RS232", "port", 1));
    const Value baud = tk::tagged(handles, "pmBaudRate");
    tk::set(baud, "Value",
            Value::scalar(ConvertStringToIndex(
                baud, runtime::numToText(std::round(sub(config, "RS232", "baudrate", 9600))))));
    const Value hs = tk::tagged(handles, "pmHandShake");
    tk::set(hs, "Value",
            Value::scalar(ConvertStringToIndex(hs, subText(config, "RS232", "handshake", ""))));
    tk::set(tk::tagged(handles, "editTCPIPAddress"), "String",
            Value::text(subText(config, "TCPIP", "address", "")));
    Value stored = tk::guidata(connection);
    stored.setField("handlesLastConnection", tk::get(connection, "Value"));
    tk::guidata(connection, stored);
  } catch (const std::exception& e) {
    setStatus(handles, e.what());
  }
}

Value UpdateConfig(const Value& handles) {
  Value c = handles.hasField("config") && handles.field("config").isRecord()
                ? handles.field("config")
                : initConfig(Value::record());
  const auto entry = [&](const char* tag) {
    return tk::get(tk::tagged(handles, tag), "Value").toDouble();
  };
  const Value connection = tk::tagged(handles, "pmConnection");
  c.setField("type", Value::text(ConvertIndexToString(connection, entry("pmConnection"))));
  setSub(c, "GPIB", "board", Value::scalar(entry("pmGpibBoard") - 1));
  setSub(c, "GPIB", "primary", Value::scalar(entry("pmPrimaryAddress") - 1));
  setSub(c, "GPIB", "secondary", Value::scalar(entry("pmSecondaryAddress") - 2));
  setSub(c, "RS232", "port", Value::scalar(entry("pmPortNumber")));
  const Value baud = tk::tagged(handles, "pmBaudRate");
  setSub(c, "RS232", "baudrate",
         Value::scalar(
             runtime::parseNumber(ConvertIndexToString(baud, entry("pmBaudRate"))).value_or(9600)));
  setSub(
      c, "RS232", "handshake",
      Value::text(ConvertIndexToString(tk::tagged(handles, "pmHandShake"), entry("pmHandShake"))));
  setSub(c, "TCPIP", "address", tk::get(tk::tagged(handles, "editTCPIPAddress"), "String"));
  setSub(c, "TCPIP", "board", Value::scalar(0));
  return c;
}

void UpdateRS232HandShakingToolTip(const Value& handles) {
  const double entry = tk::get(tk::tagged(handles, "pmHandShake"), "Value").toDouble();
  const char* receive = entry == 2 ? "Xon" : "None";
  const char* rtsCts = entry == 3 ? "RTS/CTS Pacing" : "Off";
  const std::string tip = std::string("Set the following Instrument Parameters\r\n") +
                          "  Transmit Pace = None\r\n" + "  Receive Pace  = " + receive + "\r\n" +
                          "  RTS/CTS       = " + rtsCts;
  tk::set(tk::tagged(handles, "pmHandShake"), "TooltipString", Value::text(tip));
  tk::set(tk::tagged(handles, "lblHandShake"), "TooltipString", Value::text(tip));
}

void showControls(const Value& handles) {
  const Value connection = tk::tagged(handles, "pmConnection");
  const std::string type =
      ConvertIndexToString(connection, tk::get(connection, "Value").toDouble());
  for (int g = 0; g < 3; ++g)
    if (handles.hasField(kGroups[g]))
      tk::set(handles.field(kGroups[g]), "Visible", Value::text(type == kTypes[g] ? "on" : "off"));
  if (QWidget* w = tk::windowOf(connection)) w->adjustSize();
}

Value addControls(const Value& frame, const Value& group) {
  QWidget* dialog = tk::windowOf(frame);
  QWidget* host = dialog->findChild<QWidget*>("groupsHost");
  QWidget* moving = tk::windowOf(group);
  if (!host || !moving) throw runtime::Error("The I/O dialog cannot take the control group.");
  std::vector<Value> moved = {group};
  const Value groupHandles = tk::guihandles(group);
  for (const auto& name : groupHandles.fieldNames())
    if (name != tk::tagOf(moving)) moved.push_back(groupHandles.field(name));
  // The group becomes a part of the frame: the frame's window runs its controls' callbacks.
  moving->setWindowFlags(Qt::Widget);
  moving->setAttribute(Qt::WA_DeleteOnClose, false);
  moving->setParent(host);
  host->layout()->addWidget(moving);
  moving->show();
  return Value::list(std::move(moved));
}

void EnableGuiObjects(const Value& handles) {
  for (const auto& name : handles.fieldNames()) {
    const Value& h = handles.field(name);
    if (h.isHandle() && tk::isValidHandle(h) && !tk::isRoot(h) && tk::hasProperty(h, "Enable"))
      tk::set(h, "Enable", Value::text("on"));
  }
}

void UpdateIoAddress(const Value& handles) {
  const Value c = UpdateConfig(handles);
  const std::string type = c.field("type").str();
  std::string address;
  if (type == "GPIB") {
    address = "GPIB" + runtime::numToText(sub(c, "GPIB", "board", 0)) +
              "::" + runtime::numToText(sub(c, "GPIB", "primary", 19));
    const double secondary = sub(c, "GPIB", "secondary", -1);
    if (secondary >= 0) address += "::" + runtime::numToText(secondary);
    address += "::INSTR";
  } else if (type == "RS232") {
    const std::string device = subText(c, "RS232", "device", "");
    address = device.empty()
                  ? "ASRL" + runtime::numToText(sub(c, "RS232", "port", 1)) + "::INSTR (" +
                        instrument::serialDevice(static_cast<int>(sub(c, "RS232", "port", 1))) + ")"
                  : "ASRL" + device + "::INSTR";
  } else {
    address = subText(c, "TCPIP", "address", "");
  }
  setStatus(handles, address);
}

bool isIoCallback(const std::string& callback) {
  static const char* const kNames[] = {
      "pmConnection_Callback",       "pbCheckHardware_Callback", "pbOK_Callback",
      "pbCancel_Callback",           "pmGpibBoard_Callback",     "pmPrimaryAddress_Callback",
      "pmSecondaryAddress_Callback", "pmPortNumber_Callback",    "pmBaudRate_Callback",
      "pmHandShake_Callback",        "editTCPIPAddress_Callback"};
  return std::any_of(std::begin(kNames), std::end(kNames),
                     [&](const char* n) { return callback == n; });
}

void ioCallback(const std::string& callback, const Value& h, const Value& handles) {
  const Value stored = tk::guidata(h);
  const Value& current = stored.isRecord() ? stored : handles;
  if (callback == "pmConnection_Callback") return connectionChosen(current);
  if (callback == "pbCheckHardware_Callback") return checkHardware(current);
  if (callback == "pbOK_Callback") return answer(h, "OK");
  if (callback == "pbCancel_Callback") return answer(h, "Cancel");
  if (callback == "pmHandShake_Callback") return UpdateRS232HandShakingToolTip(current);
  if (callback == "pmPortNumber_Callback") return portChosen(h, current);
  if (callback == "editTCPIPAddress_Callback") return addressEdited(current);
  // The board, address and baud lists have no effect beyond their selection.
  if (!isIoCallback(callback))
    throw runtime::Error("The I/O dialog has no callback \"" + callback + "\".");
}

std::pair<std::string, Value> ioDialog(const std::optional<Value>& parent,
                                       const std::optional<Value>& config,
                                       const std::optional<Value>& platform) {
  const Value frame = tk::openfig("KR_SigGen", tk::OpenPolicy::New);
  tk::set(frame, "Color",
          tk::get(Value::handle(tk::kRootHandle), "defaultUicontrolBackgroundColor"));
  Value handles = buildDialog(frame);
  handles.setField("Model", Value::scalar(modelOf(platform, frame)));
  const Value start = startingRecord(config, handles);
  handles.setField("config", start);
  tk::guidata(frame, handles);
  placeOn(frame, parent);
  try {
    registry::call("resizeAllFonts", {handles}, 0);
  } catch (const std::exception&) {
    // fonts stay as drawn
  }
  tk::set(tk::tagged(handles, "pmBaudRate"), "TooltipString",
          Value::text("Select the communication baud rate.\r\nNOTE: This must agree with the "
                      "instrument."));
  tk::set(tk::tagged(handles, "pmPrimaryAddress"), "TooltipString",
          Value::text("Select the primary address of your source.\r\nThe default factory setting "
                      "is 19."));
  UpdateGuiObjects(handles, start);
  handles = tk::guidata(frame);
  UpdateRS232HandShakingToolTip(handles);
  describePorts(handles);
  showControls(handles);
  tk::set(frame, "Visible", Value::text("on"));
  tk::waitFor(tk::windowOf(frame));
  const Value unchanged = config.value_or(start);
  if (!tk::isValidHandle(frame)) return {"Cancel", unchanged};
  const Value after = tk::guidata(frame);
  const std::string response = after.hasField("answer") && after.field("answer").isText()
                                   ? after.field("answer").str()
                                   : "Cancel";
  const Value result = response == "OK" ? UpdateConfig(after) : unchanged;
  tk::deleteObject(frame);
  return {response, result};
}

}  // namespace kelvane::frame::window
