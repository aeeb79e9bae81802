// The instrument I/O configuration dialog (module KR_SigGen): how the signal generator is
// reached (GPIB, RS-232 or LAN), its address, and a connection test. The dialog frame and its
// three groups of controls are four layouts; the groups are moved into the frame when it opens.
// The dialog's state travels in its handles record: handlesGPIB, handlesRS232 and handlesTCPIP
// (each group's controls), handlesLastConnection (the last valid connection entry), Model (0
// unspecified, 1 platform "b", 2 platform "c"), config (the starting record) and answer.
#pragma once

#include <optional>
#include <string>
#include <utility>

#include "runtime/value.hpp"

namespace kelvane::frame::window {

// KR_SigGen(parent, config, platform) -> (response, config): shows the dialog modally; "OK" with
// the record whose nine connection fields come from the controls, or "Cancel" with the record
// as it was. `platform` "b" or "c" (any case) selects the model; any other text titles the
// dialog (text + " IO Connection").
std::pair<std::string, runtime::Value> ioDialog(const std::optional<runtime::Value>& parent,
                                                const std::optional<runtime::Value>& config,
                                                const std::optional<runtime::Value>& platform);

// The connection fields at their defaults (GPIB board 0 address 19, serial port 1 at 9600 baud
// with Xon/Xoff, LAN 0.0.0.0), every other field of `configIn` (BBGtype, ...) kept.
runtime::Value initConfig(const runtime::Value& configIn);
// A record of the older layout (Connection, GPIBboard, Primary, Secondary, RS232Port,
// BaudRate, HandShake) in today's; a record without Connection comes back unchanged.
runtime::Value reStructureConfig(const runtime::Value& oldConfig, const runtime::Value& handles);
// The first entry of the list equal to `text` without regard to case ("TCPIP" is "TCP/IP"),
// or 1; and the entry at `index` (the first outside the list), "TCP/IP" given as "TCPIP".
double ConvertStringToIndex(const runtime::Value& list, const std::string& text);
std::string ConvertIndexToString(const runtime::Value& list, double index);
// The connection entries of a model: 0 "RS232", "GPIB", "TCP/IP"; 1 "RS232", "GPIB"; 2 "GPIB",
// "TCP/IP". Sets them in pmConnection and returns them.
runtime::Value UpdateConnectionSelections(const runtime::Value& handles, double model);
void UpdateGuiObjects(const runtime::Value& handles, const runtime::Value& config);
runtime::Value UpdateConfig(const runtime::Value& handles);
void UpdateRS232HandShakingToolTip(const runtime::Value& handles);
void showControls(const runtime::Value& handles);
runtime::Value addControls(const runtime::Value& frame, const runtime::Value& group);
void EnableGuiObjects(const runtime::Value& handles);
void UpdateIoAddress(const runtime::Value& handles);

// The callbacks by name (pmConnection_Callback, pbCheckHardware_Callback, pbOK_Callback, ...).
void ioCallback(const std::string& callback, const runtime::Value& h,
                const runtime::Value& handles);
bool isIoCallback(const std::string& callback);

}  // namespace kelvane::frame::window
