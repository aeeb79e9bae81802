// Every modal box of the program behind one interface: the window implements it with Qt, the
// command-line tool on the terminal, tests with a script. Dialogs return their answer to the
// caller and never act on the application themselves.
#pragma once

#include <deque>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace kelvane::toolkit {

class Dialogs {
 public:
  virtual ~Dialogs() = default;

  // A modal question; returns the label of the chosen button, or "" when the box was closed.
  virtual std::string question(const std::string& text, const std::string& title,
                               const std::vector<std::string>& buttons,
                               const std::string& defaultButton) = 0;
  // Modal error and message boxes; each returns when the operator has closed it.
  virtual void error(const std::string& text, const std::string& title) = 0;
  virtual void message(const std::string& text, const std::string& title) = 0;
  // A modal input box of one line per prompt; no value when cancelled.
  virtual std::optional<std::vector<std::string>> input(
      const std::string& title, const std::vector<std::string>& prompts,
      const std::vector<std::string>& defaults) = 0;
  // File dialogs titled `title`, showing the files of `filter` (such as "*.mat"), opened in
  // `folder` (empty: the working folder); no value when cancelled.
  virtual std::optional<std::filesystem::path> openFile(const std::string& title,
                                                        const std::string& filter,
                                                        const std::filesystem::path& folder) = 0;
  virtual std::optional<std::filesystem::path> saveFile(const std::string& title,
                                                        const std::string& filter,
                                                        const std::filesystem::path& folder) = 0;
};

// The dialogs in force for the process; without one set, a silent implementation that prints
// boxes to standard error and closes every question and file dialog (no answer).
Dialogs& dialogs();
// Installs `d` (not owned; nullptr restores the silent one) and returns the previous one.
Dialogs* setDialogs(Dialogs* d);

// Restores the previous dialogs at the end of a scope (tests, the command-line tool).
class ScopedDialogs {
 public:
  explicit ScopedDialogs(Dialogs& d) : previous_(setDialogs(&d)) {}
  ~ScopedDialogs() { setDialogs(previous_); }
  ScopedDialogs(const ScopedDialogs&) = delete;
  ScopedDialogs& operator=(const ScopedDialogs&) = delete;

 private:
  Dialogs* previous_;
};

// Scripted dialogs for tests: answers are taken in order from a queue (an exhausted queue closes
// the box), and every box shown is recorded.
class ScriptedDialogs : public Dialogs {
 public:
  enum class BoxKind { Question, Error, Message, Input, OpenFile, SaveFile };
  struct Shown {
    BoxKind kind;
    std::string text;   // the box's text, or a file dialog's starting folder
    std::string title;
    std::vector<std::string> buttons;  // question buttons, input prompts, or the file filter
    std::string defaultButton;
  };

  void answer(std::string a) { answers_.push_back(std::move(a)); }
  void answerInput(std::vector<std::string> lines) { inputs_.push_back(std::move(lines)); }
  void answerFile(std::filesystem::path p) { files_.push_back(std::move(p)); }

  const std::vector<Shown>& shown() const { return shown_; }
  std::size_t count(BoxKind kind) const;
  void clear() { shown_.clear(); }

  std::string question(const std::string& text, const std::string& title,
                       const std::vector<std::string>& buttons,
                       const std::string& defaultButton) override;
  void error(const std::string& text, const std::string& title) override;
  void message(const std::string& text, const std::string& title) override;
  std::optional<std::vector<std::string>> input(const std::string& title,
                                                const std::vector<std::string>& prompts,
                                                const std::vector<std::string>& defaults) override;
  std::optional<std::filesystem::path> openFile(const std::string& title, const std::string& filter,
                                                const std::filesystem::path& folder) override;
  std::optional<std::filesystem::path> saveFile(const std::string& title, const std::string& filter,
                                                const std::filesystem::path& folder) override;

 private:
  std::deque<std::string> answers_;
  std::deque<std::vector<std::string>> inputs_;
  std::deque<std::filesystem::path> files_;
  std::vector<Shown> shown_;
};

}  // namespace kelvane::toolkit
