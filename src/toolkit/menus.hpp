// Menus by handle: a window's menu bar, its menus, submenus and items. An item names a callback
// and the module whose dispatcher runs it (for the common menu bar, "rfCommonUI").
#pragma once

#include <string>

#include "runtime/value.hpp"

class QObject;

namespace kelvane::toolkit {

struct MenuItemSpec {
  std::string label;     // "&" before the access key, e.g. "Save &As..."
  std::string tag;       // e.g. "menuFileSaveAs"
  std::string callback;  // e.g. "menuFileSaveAs_Callback"; "" for none
  std::string module;    // the dispatcher the callback goes to; "" for the window's module
  // Instead of a callback: a menu command (callbacks.hpp), e.g. "print" or "KR_Zoom", run with
  // the item's window as the current figure.
  std::string command;
  bool visible = true;
  bool enabled = true;
  bool separatorAbove = false;
};

// A top-level menu in the window's menu bar (created when the window has none). A `standard`
// menu is one of the toolkit's own figure menus, which the window's "MenuBar" shows or hides.
runtime::Value addMenu(const runtime::Value& window, const std::string& label,
                       const std::string& tag, bool standard = false);
// A submenu of `menu`, shown as an item with its own items.
runtime::Value addSubmenu(const runtime::Value& menu, const MenuItemSpec& spec);
// An item of `menu`.
runtime::Value addMenuItem(const runtime::Value& menu, const MenuItemSpec& spec);

// Draws (or removes) a separator line above a menu item or submenu.
void setSeparatorAbove(QObject* item, bool on);

}  // namespace kelvane::toolkit
