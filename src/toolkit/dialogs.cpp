#include "toolkit/dialogs.hpp"

#include <algorithm>
#include <iostream>

namespace kelvane::toolkit {

namespace {

class SilentDialogs : public Dialogs {
 public:
  std::string question(const std::string& text, const std::string& title,
                       const std::vector<std::string>&, const std::string&) override {
    std::cerr << title << ": " << text << " (no answer: closed)\n";
    return {};
  }
  void error(const std::string& text, const std::string& title) override {
    std::cerr << title << ": " << text << '\n';
  }
  void message(const std::string& text, const std::string& title) override {
    std::cerr << title << ": " << text << '\n';
  }
  std::optional<std::vector<std::string>> input(const std::string&, const std::vector<std::string>&,
                                                const std::vector<std::string>&) override {
    return std::nullopt;
  }
  std::optional<std::filesystem::path> openFile(const std::string&, const std::string&,
                                                const std::filesystem::path&) override {
    return std::nullopt;
  }
  std::optional<std::filesystem::path> saveFile(const std::string&, const std::string&,
                                                const std::filesystem::path&) override {
    return std::nullopt;
  }
};

SilentDialogs silent;
Dialogs* current = &silent;

}  // namespace

Dialogs& dialogs() {
  return *current;
}

Dialogs* setDialogs(Dialogs* d) {
  Dialogs* previous = current;
  current = d ? d : &silent;
  return previous == &silent ? nullptr : previous;
}

std::size_t ScriptedDialogs::count(BoxKind kind) const {
  return static_cast<std::size_t>(
      std::count_if(shown_.begin(), shown_.end(), [&](const Shown& s) { return s.kind == kind; }));
}

std::string ScriptedDialogs::question(const std::string& text, const std::string& title,
                                      const std::vector<std::string>& buttons,
                                      const std::string& defaultButton) {
  shown_.push_back({BoxKind::Question, text, title, buttons, defaultButton});
  if (answers_.empty()) return {};
  std::string a = std::move(answers_.front());
  answers_.pop_front();
  return a;
}

void ScriptedDialogs::error(const std::string& text, const std::string& title) {
  shown_.push_back({BoxKind::Error, text, title, {}, {}});
}

void ScriptedDialogs::message(const std::string& text, const std::string& title) {
  shown_.push_back({BoxKind::Message, text, title, {}, {}});
}

std::optional<std::vector<std::string>> ScriptedDialogs::input(
    const std::string& title, const std::vector<std::string>& prompts,
    const std::vector<std::string>& /*defaults*/) {
  shown_.push_back({BoxKind::Input, {}, title, prompts, {}});
  if (inputs_.empty()) return std::nullopt;
  auto lines = std::move(inputs_.front());
  inputs_.pop_front();
  return lines;
}

std::optional<std::filesystem::path> ScriptedDialogs::openFile(const std::string& title,
                                                              const std::string& filter,
                                                              const std::filesystem::path& folder) {
  shown_.push_back({BoxKind::OpenFile, folder.string(), title, {filter}, {}});
  if (files_.empty()) return std::nullopt;
  auto p = std::move(files_.front());
  files_.pop_front();
  return p;
}

std::optional<std::filesystem::path> ScriptedDialogs::saveFile(const std::string& title,
                                                              const std::string& filter,
                                                              const std::filesystem::path& folder) {
  shown_.push_back({BoxKind::SaveFile, folder.string(), title, {filter}, {}});
  if (files_.empty()) return std::nullopt;
  auto p = std::move(files_.front());
  files_.pop_front();
  return p;
}

}  // namespace kelvane::toolkit
