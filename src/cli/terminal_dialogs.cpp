#include "cli/terminal_dialogs.hpp"

#include <unistd.h>

#include <iostream>
#include <string>

#include "cli/terminal_text.hpp"

namespace kelvane::cli {

TerminalDialogs::TerminalDialogs(bool assumeYes)
    : assumeYes_(assumeYes), interactive_(::isatty(STDIN_FILENO) == 1) {}

std::string TerminalDialogs::question(const std::string& text, const std::string& title,
                                      const std::vector<std::string>& buttons,
                                      const std::string& defaultButton) {
  for (const auto& [presetTitle, answer] : presets_)
    if (presetTitle == title) return answer;
  std::cerr << terminalText(title) << ": " << terminalText(text) << '\n';
  if (assumeYes_ && !buttons.empty()) {
    std::cerr << "  answered \"" << terminalText(buttons.front()) << "\" (--yes)\n";
    return buttons.front();
  }
  if (!interactive_) {
    ++refused_;
    std::cerr << "  not answered: no terminal to ask on (--yes answers \""
              << (buttons.empty() ? std::string() : buttons.front()) << "\")\n";
    return {};
  }
  while (true) {
    for (std::size_t i = 0; i < buttons.size(); ++i)
      std::cerr << "  " << i + 1 << ") " << terminalText(buttons[i])
                << (buttons[i] == defaultButton ? " [default]" : "") << '\n';
    std::cerr << "Choose 1-" << buttons.size() << ": " << std::flush;
    std::string line;
    if (!std::getline(std::cin, line)) return {};  // end of input closes the box
    if (line.empty()) return defaultButton;
    try {
      const std::size_t n = std::stoul(line);
      if (n >= 1 && n <= buttons.size()) return buttons[n - 1];
    } catch (const std::exception&) {
      for (const auto& b : buttons)
        if (b == line) return b;
    }
    std::cerr << "  '" << line << "' is not one of the choices\n";
  }
}

void TerminalDialogs::answerLater(const std::string& title, const std::string& answer) {
  presets_.emplace_back(title, answer);
}

void TerminalDialogs::error(const std::string& text, const std::string& title) {
  lastError_ = text;
  std::cerr << terminalText(title) << ": " << terminalText(text) << '\n';
}

void TerminalDialogs::message(const std::string& text, const std::string& title) {
  if (quiet_) return;
  std::cerr << terminalText(title) << ": " << terminalText(text) << '\n';
}

std::optional<std::vector<std::string>> TerminalDialogs::input(
    const std::string& title, const std::vector<std::string>& prompts,
    const std::vector<std::string>& defaults) {
  if (!interactive_) return assumeYes_ ? std::optional(defaults) : std::nullopt;
  std::cerr << terminalText(title) << '\n';
  std::vector<std::string> lines;
  for (std::size_t i = 0; i < prompts.size(); ++i) {
    std::cerr << terminalText(prompts[i]) << ' '
              << (i < defaults.size() ? "[" + terminalText(defaults[i]) + "] " : "") << std::flush;
    std::string line;
    if (!std::getline(std::cin, line)) return std::nullopt;
    lines.push_back(line.empty() && i < defaults.size() ? defaults[i] : line);
  }
  return lines;
}

std::optional<std::filesystem::path> TerminalDialogs::openFile(const std::string&,
                                                               const std::string&,
                                                               const std::filesystem::path&) {
  return std::nullopt;
}

std::optional<std::filesystem::path> TerminalDialogs::saveFile(const std::string&,
                                                               const std::string&,
                                                               const std::filesystem::path&) {
  return std::nullopt;
}

}  // namespace kelvane::cli
