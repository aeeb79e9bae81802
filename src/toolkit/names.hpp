// Names the windows' code may use as record fields: a handles record has one field per tag that
// is a valid name.
#pragma once

#include <span>
#include <string_view>

namespace kelvane::toolkit {

// A letter, then letters, digits and underscores, at most 63 characters, and no reserved word:
// isvarname("txtFrequency") is true; isvarname("2nd"), isvarname("end") are false.
bool isvarname(std::string_view name);

// The reserved words of the array language (break, case, ..., while), in alphabetical order.
std::span<const std::string_view> keywords();
bool iskeyword(std::string_view name);

}  // namespace kelvane::toolkit
