// The generic window operations the windows' code relies on: opening a window from its layout
// with a reuse policy, collecting a window's tagged objects into its handles record, storing
// data with a window, and moving a window on the screen.
#pragma once

#include <string>
#include <string_view>

#include "runtime/value.hpp"

class QObject;
class QWidget;

namespace kelvane::toolkit {

enum class OpenPolicy { New, Reuse };

// Opens the layout named `filename` (".fig" added when missing; another extension is refused
// with "Argument must be a .fig file"); Reuse returns the window already open from that layout.
// The window is moved fully onto the screen and, when visible, raised. Returns its handle.
runtime::Value openfig(const std::string& filename, OpenPolicy policy);
// The by-name policy text: "new" or "reuse", else "Second input argument must be 'new' or
// 'reuse'."
OpenPolicy openPolicy(const runtime::Value& text);

// A record with one field per object of the window whose tag is a valid name (isvarname),
// holding its handle: the window itself, its controls, menus and menu items, in that order.
runtime::Value guihandles(const runtime::Value& object);

// The data stored with the window of `object`, and storing it.
runtime::Value guidata(const runtime::Value& object);
void guidata(const runtime::Value& object, const runtime::Value& data);

// Moves a window: "onscreen" (fully onto the screen, moved as little as possible), "center",
// "north", "south", "east", "west", "northeast", "northwest", "southeast", "southwest", or a
// [left bottom] offset from the screen's edges (negative: from the right or top edge).
void movegui(const runtime::Value& window, const runtime::Value& position);

// The handle in field `tag` of a handles record; throws runtime::Error naming the tag when the
// record has no such field ("The window has no object tagged pbOK.").
runtime::Value tagged(const runtime::Value& handles, std::string_view tag);

// The object of `window` tagged `tag`, or nullptr.
QObject* findTag(QWidget* window, const std::string& tag);

}  // namespace kelvane::toolkit
