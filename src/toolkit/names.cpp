#include "toolkit/names.hpp"

#include <algorithm>
#include <array>

namespace kelvane::toolkit {

namespace {
// 20 reserved words, sorted.
constexpr std::array<std::string_view, 20> kKeywords = {
    "break",      "case",   "catch",    "classdef", "continue", "else",      "elseif",
    "end",        "for",    "function", "global",   "if",       "otherwise", "parfor",
    "persistent", "return", "spmd",     "switch",   "try",      "while",
};
constexpr std::size_t kMaxNameLength = 63;

bool isAsciiLetter(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}
}  // namespace

std::span<const std::string_view> keywords() {
  return kKeywords;
}

bool iskeyword(std::string_view name) {
  return std::binary_search(kKeywords.begin(), kKeywords.end(), name);
}

bool isvarname(std::string_view name) {
  if (name.empty() || name.size() > kMaxNameLength || !isAsciiLetter(name.front())) return false;
  const bool wordCharacters = std::all_of(name.begin(), name.end(), [](char c) {
    return isAsciiLetter(c) || (c >= '0' && c <= '9') || c == '_';
  });
  return wordCharacters && !iskeyword(name);
}

}  // namespace kelvane::toolkit
