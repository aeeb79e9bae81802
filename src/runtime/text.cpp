#include "runtime/text.hpp"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace kelvane::runtime {

std::string numToText(double x) {
  if (std::isnan(x)) return "NaN";
  if (std::isinf(x)) return x > 0 ? "Inf" : "-Inf";
  if (x == std::trunc(x) && std::fabs(x) < 1e15) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.0f", x == 0 ? 0.0 : x);  // no "-0"
    return buf;
  }
  char buf[64];
  auto res = std::to_chars(buf, buf + sizeof buf, x, std::chars_format::general);
  return std::string(buf, res.ptr);
}

std::string formatG(double x) {
  if (std::isnan(x)) return "NaN";
  if (std::isinf(x)) return x > 0 ? "Inf" : "-Inf";
  char buf[64];
  std::snprintf(buf, sizeof buf, "%g", x);
  return buf;
}

std::optional<double> parseNumber(std::string_view text) {
  auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; };
  while (!text.empty() && blank(text.front()))
    text.remove_prefix(1);
  while (!text.empty() && blank(text.back()))
    text.remove_suffix(1);
  if (text.empty()) return std::nullopt;
  // Only sign, digits, one decimal point and an exponent: no hex, no inf/nan words.
  std::size_t i = 0;
  if (text[i] == '+' || text[i] == '-') ++i;
  std::size_t digits = 0;
  while (i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])))
    ++i, ++digits;
  if (i < text.size() && text[i] == '.') {
    ++i;
    while (i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])))
      ++i, ++digits;
  }
  if (digits == 0) return std::nullopt;
  if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
    ++i;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
    std::size_t expDigits = 0;
    while (i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])))
      ++i, ++expDigits;
    if (expDigits == 0) return std::nullopt;
  }
  if (i != text.size()) return std::nullopt;
  const std::string s(text);
  return std::strtod(s.c_str(), nullptr);
}

std::optional<std::vector<double>> parseNumberList(std::string_view text) {
  auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; };
  while (!text.empty() && blank(text.front()))
    text.remove_prefix(1);
  while (!text.empty() && blank(text.back()))
    text.remove_suffix(1);
  if (!text.empty() && text.front() == '[') {
    if (text.back() != ']') return std::nullopt;
    text = text.substr(1, text.size() - 2);
  }
  std::vector<double> numbers;
  std::size_t start = 0;
  while (start <= text.size()) {
    std::size_t end = start;
    while (end < text.size() && !blank(text[end]) && text[end] != ',' && text[end] != ';')
      ++end;
    if (end > start) {
      const auto n = parseNumber(text.substr(start, end - start));
      if (!n) return std::nullopt;
      numbers.push_back(*n);
    }
    start = end + 1;
  }
  return numbers;
}

namespace {
std::string expandEscapes(std::string_view f) {
  std::string out;
  for (std::size_t i = 0; i < f.size(); ++i) {
    if (f[i] == '\\' && i + 1 < f.size()) {
      switch (f[i + 1]) {
        case 'n':
          out += '\n', ++i;
          continue;
        case 'r':
          out += '\r', ++i;
          continue;
        case 't':
          out += '\t', ++i;
          continue;
        case '\\':
          out += '\\', ++i;
          continue;
        default:
          break;
      }
    }
    out += f[i];
  }
  return out;
}

std::string formatOne(const std::string& spec, char conv, const FormatArg& arg) {
  char buf[512];
  std::string fmt = spec;
  if (conv == 's') {
    const std::string s = std::holds_alternative<std::string>(arg)
                              ? std::get<std::string>(arg)
                              : numToText(std::get<double>(arg));
    fmt += 's';
    const int n = std::snprintf(nullptr, 0, fmt.c_str(), s.c_str());
    std::string out(static_cast<std::size_t>(n > 0 ? n : 0), '\0');
    std::snprintf(out.data(), out.size() + 1, fmt.c_str(), s.c_str());
    return out;
  }
  double x = 0;
  if (std::holds_alternative<double>(arg)) {
    x = std::get<double>(arg);
  } else {
    // A text given to a numeric conversion prints as text, as in the runtime.
    return std::get<std::string>(arg);
  }
  switch (conv) {
    case 'd':
    case 'i':
    case 'u':
    case 'x':
    case 'c':
      // A number that is not whole, or too large for a 64-bit integer, prints with %e.
      if (x != std::trunc(x) || std::isinf(x) || std::isnan(x) || !(std::fabs(x) < 0x1p63)) {
        if (std::isnan(x) || std::isinf(x)) return numToText(x);
        fmt += 'e';
        std::snprintf(buf, sizeof buf, fmt.c_str(), x);
        return buf;
      }
      if (conv == 'c') {
        return std::string(1, static_cast<char>(static_cast<long long>(x)));
      }
      fmt += conv == 'x' ? "llx" : "lld";
      std::snprintf(buf, sizeof buf, fmt.c_str(), static_cast<long long>(x));
      return buf;
    default:
      if (std::isnan(x) || std::isinf(x)) return numToText(x);
      fmt += conv;
      std::snprintf(buf, sizeof buf, fmt.c_str(), x);
      return buf;
  }
}
}  // namespace

std::string sprintfText(std::string_view format, std::span<const FormatArg> args) {
  const std::string f = expandEscapes(format);
  std::string out;
  std::size_t next = 0;
  for (std::size_t i = 0; i < f.size(); ++i) {
    if (f[i] != '%') {
      out += f[i];
      continue;
    }
    if (i + 1 < f.size() && f[i + 1] == '%') {
      out += '%';
      ++i;
      continue;
    }
    std::size_t j = i + 1;
    while (j < f.size() && std::string_view("-+ #0").find(f[j]) != std::string_view::npos)
      ++j;
    while (j < f.size() && (std::isdigit(static_cast<unsigned char>(f[j])) || f[j] == '.'))
      ++j;
    if (j >= f.size()) {
      out += f.substr(i);
      break;
    }
    const char conv = f[j];
    if (std::string_view("sdiugGfeExc").find(conv) == std::string_view::npos) {
      out += f.substr(i, j - i + 1);
      i = j;
      continue;
    }
    if (next >= args.size()) break;
    out += formatOne(f.substr(i, j - i), conv, args[next++]);
    i = j;
  }
  return out;
}

namespace {

// Optimal string alignment distance (insertions, deletions, substitutions, adjacent swaps), case
// folded: "Frequncy" and "frequency" are both close to "Frequency".
std::size_t editDistance(std::string_view a, std::string_view b) {
  auto low = [](char c) { return static_cast<char>(std::tolower(static_cast<unsigned char>(c))); };
  const std::size_t n = a.size(), m = b.size();
  std::vector<std::size_t> d((n + 1) * (m + 1));
  auto at = [&](std::size_t i, std::size_t j) -> std::size_t& { return d[i * (m + 1) + j]; };
  for (std::size_t i = 0; i <= n; ++i)
    at(i, 0) = i;
  for (std::size_t j = 0; j <= m; ++j)
    at(0, j) = j;
  for (std::size_t i = 1; i <= n; ++i)
    for (std::size_t j = 1; j <= m; ++j) {
      const std::size_t cost = low(a[i - 1]) == low(b[j - 1]) ? 0 : 1;
      at(i, j) = std::min({at(i - 1, j) + 1, at(i, j - 1) + 1, at(i - 1, j - 1) + cost});
      if (i > 1 && j > 1 && low(a[i - 1]) == low(b[j - 2]) && low(a[i - 2]) == low(b[j - 1]))
        at(i, j) = std::min(at(i, j), at(i - 2, j - 2) + 1);
    }
  return at(n, m);
}

}  // namespace

std::vector<std::string> nearestNames(std::string_view word,
                                      std::span<const std::string> candidates) {
  const std::size_t limit = std::max<std::size_t>(2, word.size() / 3);
  std::vector<std::pair<std::size_t, std::string>> close;
  for (const auto& c : candidates)
    if (const std::size_t d = editDistance(word, c); d <= limit) close.emplace_back(d, c);
  std::stable_sort(close.begin(), close.end(),
                   [](const auto& x, const auto& y) { return x.first < y.first; });
  std::vector<std::string> out;
  for (std::size_t i = 0; i < close.size() && i < 3; ++i)
    out.push_back(close[i].second);
  return out;
}

}  // namespace kelvane::runtime
