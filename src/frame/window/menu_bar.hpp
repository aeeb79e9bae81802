// The application's standard menu bar: File, Plot, Configuration, Special and Help, every item
// calling the common frame's dispatcher rfCommonUI with its callback name.
#pragma once

#include <optional>
#include <span>
#include <string_view>

#include "runtime/value.hpp"

namespace kelvane::frame::window {

// Adds the menu bar to `figure` and returns {File, Plot, Config, Special, Help} with the five
// menus' handles; without a figure it creates nothing and returns an empty value. The
// Baseband Generator submenu exists only when appInfo.Platform is "c" (`platform`).
runtime::Value KR_AddMenu(const std::optional<runtime::Value>& figure, std::string_view platform);

// The names of the two memory options, as their menu items show them before " (8 Msamples)"
// and " (32 Msamples)".
inline constexpr std::string_view kMemoryOption8 = "Option 008";
inline constexpr std::string_view kMemoryOption32 = "Option 032";

}  // namespace kelvane::frame::window
