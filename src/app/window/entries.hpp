// What every numeric entry of the application's windows says when its text holds no number.
#pragma once

namespace kelvane::app::window {

inline constexpr const char* kParseError = "Value entered cannot be parsed to valid scalar value.";

// The modal error box of an entry that holds no number ("Error").
void showParseError();

}  // namespace kelvane::app::window
