#include "simulator/scpi.hpp"

#include <array>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <utility>

namespace kelvane::simulator {

namespace {

constexpr std::array<std::pair<int, std::string_view>, 15> kErrors{{
    {0, "No error"},
    {-102, "Syntax error"},
    {-104, "Data type error"},
    {-108, "Parameter not allowed"},
    {-109, "Missing parameter"},
    {-113, "Undefined header"},
    {-131, "Invalid suffix"},
    {-161, "Invalid block data"},
    {-222, "Data out of range"},
    {-223, "Too much data"},
    {-224, "Illegal parameter value"},
    {-225, "Out of memory"},
    {-256, "File name not found"},
    {-257, "File name error"},
    {-350, "Queue overflow"},
}};

char upper(char c) {
  return static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
}

bool equalsUpper(std::string_view upperText, std::string_view received) {
  if (upperText.size() != received.size()) return false;
  for (std::size_t i = 0; i < received.size(); ++i)
    if (upper(received[i]) != upperText[i]) return false;
  return true;
}

std::string_view trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
    s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t'))
    s.remove_suffix(1);
  return s;
}

struct Suffix {
  std::string_view text;
  double factor;
};

// Suffixes per unit, upper case. For frequencies MHZ means megahertz, as SCPI has it.
std::span<const Suffix> suffixes(Unit unit) {
  static constexpr std::array<Suffix, 5> hertz{
      {{"HZ", 1.0}, {"KHZ", 1e3}, {"MHZ", 1e6}, {"MAHZ", 1e6}, {"GHZ", 1e9}}};
  static constexpr std::array<Suffix, 1> dbm{{{"DBM", 1.0}}};
  static constexpr std::array<Suffix, 1> db{{{"DB", 1.0}}};
  static constexpr std::array<Suffix, 1> pct{{{"PCT", 1.0}}};
  switch (unit) {
    case Unit::Hertz:
      return hertz;
    case Unit::DbMilliwatt:
      return dbm;
    case Unit::Decibel:
      return db;
    case Unit::Percent:
      return pct;
    case Unit::None:
      break;
  }
  return {};
}

}  // namespace

void raise(int code) {
  throw ScpiError{code};
}

std::string_view errorText(int code) {
  for (const auto& [c, text] : kErrors)
    if (c == code) return text;
  return "Unknown error";
}

std::string errorEntry(int code) {
  std::string out = code == 0 ? "+0" : std::to_string(code);
  out += ",\"";
  out += errorText(code);
  out += '"';
  return out;
}

bool mnemonicMatches(std::string_view pattern, std::string_view received) {
  std::string shortForm;
  std::string longForm;
  for (char c : pattern) {
    const bool isShortPart =
        std::isupper(static_cast<unsigned char>(c)) || std::isdigit(static_cast<unsigned char>(c));
    if (isShortPart && shortForm.size() == longForm.size()) shortForm.push_back(c);
    longForm.push_back(upper(c));
  }
  return equalsUpper(shortForm, received) || equalsUpper(longForm, received);
}

HeaderPattern::HeaderPattern(std::string_view pattern) {
  while (!pattern.empty()) {
    const auto colon = pattern.find(':');
    std::string_view token = pattern.substr(0, colon);
    pattern = colon == std::string_view::npos ? std::string_view{} : pattern.substr(colon + 1);
    Node node;
    if (token.size() >= 2 && token.front() == '[' && token.back() == ']') {
      node.optional = true;
      token = token.substr(1, token.size() - 2);
    }
    while (!token.empty()) {
      const auto bar = token.find('|');
      node.alternatives.emplace_back(token.substr(0, bar));
      token = bar == std::string_view::npos ? std::string_view{} : token.substr(bar + 1);
    }
    nodes_.push_back(std::move(node));
  }
}

bool HeaderPattern::matches(std::span<const std::string> nodes) const {
  return matchFrom(0, nodes, 0);
}

bool HeaderPattern::matchFrom(std::size_t p, std::span<const std::string> nodes,
                              std::size_t r) const {
  if (p == nodes_.size()) return r == nodes.size();
  const Node& node = nodes_[p];
  if (r < nodes.size()) {
    for (const auto& alt : node.alternatives)
      if (mnemonicMatches(alt, nodes[r]) && matchFrom(p + 1, nodes, r + 1)) return true;
  }
  return node.optional && matchFrom(p + 1, nodes, r);
}

void forEachUnquotedPiece(std::string_view text, char separator,
                          const std::function<void(std::size_t start, std::size_t end)>& piece) {
  char quote = 0;
  std::size_t start = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (quote != 0) {
      if (c == quote) quote = 0;
    } else if (c == '"' || c == '\'') {
      quote = c;
    } else if (c == separator) {
      piece(start, i);
      start = i + 1;
    }
  }
  piece(start, text.size());
}

std::vector<Param> splitParams(std::string_view text, std::size_t textBase,
                               std::span<Block> blocks) {
  std::vector<Param> out;
  if (trim(text).empty()) return out;
  std::size_t start = 0;
  std::size_t nextBlock = 0;
  auto take = [&](std::size_t end) {
    std::string_view raw = text.substr(start, end - start);
    const std::string_view item = trim(raw);
    if (item.empty()) raise(-109);
    Param p;
    if (item.front() == '"' || item.front() == '\'') {
      const char q = item.front();
      p.kind = Param::Kind::String;
      std::size_t i = 1;
      for (;;) {
        if (i >= item.size()) raise(-102);
        if (item[i] == q) {
          if (i + 1 < item.size() && item[i + 1] == q) {
            p.text.push_back(q);
            i += 2;
            continue;
          }
          break;
        }
        p.text.push_back(item[i++]);
      }
      if (i + 1 != item.size()) raise(-102);
    } else if (item.size() >= 2 && item[0] == '#' && item[1] >= '0' && item[1] <= '9') {
      // The block whose header ends inside this item.
      const std::size_t itemEnd = textBase + end;
      while (nextBlock < blocks.size() && blocks[nextBlock].textOffset <= textBase + start)
        ++nextBlock;
      if (nextBlock >= blocks.size() || blocks[nextBlock].textOffset > itemEnd) raise(-161);
      p.kind = Param::Kind::Block;
      p.block = &blocks[nextBlock++];
      p.text = std::string(item);
      // Nothing but blanks may follow the block header inside the item.
      const std::size_t after = p.block->textOffset - textBase;
      if (!trim(text.substr(after, end - after)).empty()) raise(-102);
    } else {
      p.text = std::string(item);
    }
    out.push_back(std::move(p));
  };
  forEachUnquotedPiece(text, ',', [&](std::size_t from, std::size_t to) {
    start = from;
    take(to);
  });
  return out;
}

double numberValue(const Param& p, Unit unit) {
  if (p.kind != Param::Kind::Data) raise(-104);
  std::string_view s = p.text;
  std::size_t i = 0;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
  const std::size_t mantissa = i;
  std::size_t digits = 0;
  while (i < s.size() && std::isdigit(static_cast<unsigned char>(s[i])))
    ++i, ++digits;
  if (i < s.size() && s[i] == '.') {
    ++i;
    while (i < s.size() && std::isdigit(static_cast<unsigned char>(s[i])))
      ++i, ++digits;
  }
  if (digits == 0) raise(-104);
  if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
    std::size_t j = i + 1;
    if (j < s.size() && (s[j] == '+' || s[j] == '-')) ++j;
    const std::size_t expDigits = j;
    while (j < s.size() && std::isdigit(static_cast<unsigned char>(s[j])))
      ++j;
    if (j > expDigits) i = j;  // otherwise the 'E' starts a suffix
  }
  double value = 0.0;
  const char* first = s.data() + mantissa;
  const auto [ptr, ec] = std::from_chars(first, s.data() + i, value);
  if (ec == std::errc::result_out_of_range) raise(-222);
  if (ec != std::errc{} || ptr != s.data() + i) raise(-104);
  if (s[0] == '-') value = -value;
  const std::string_view suffix = trim(s.substr(i));
  if (!suffix.empty()) {
    bool found = false;
    for (const Suffix& x : suffixes(unit)) {
      if (equalsUpper(x.text, suffix)) {
        value *= x.factor;
        found = true;
        break;
      }
    }
    if (!found) raise(-131);
  }
  if (!std::isfinite(value)) raise(-222);
  return value;
}

bool booleanValue(const Param& p) {
  if (p.kind == Param::Kind::Data) {
    if (equalsUpper("ON", p.text)) return true;
    if (equalsUpper("OFF", p.text)) return false;
    try {
      return std::lround(numberValue(p, Unit::None)) != 0;
    } catch (const ScpiError&) {
    }
  }
  raise(-224);
}

bool isKeyword(const Param& p, std::string_view pattern) {
  return p.kind == Param::Kind::Data && mnemonicMatches(pattern, p.text);
}

std::string formatNumber(double x) {
  char buf[40];
  if (x == 0.0) return "0";
  if (x == std::floor(x) && std::fabs(x) < 1e15)
    std::snprintf(buf, sizeof buf, "%.0f", x);
  else
    std::snprintf(buf, sizeof buf, "%.12g", x);
  return buf;
}

}  // namespace kelvane::simulator
