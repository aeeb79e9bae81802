// The flow's boxes on the terminal. A question is asked on the terminal when standard input is
// one; without a terminal it is refused (closed, no answer) unless --yes answers it with its
// first button ("Yes", "OK"). Errors and messages go to standard error.
#pragma once

#include "toolkit/dialogs.hpp"

namespace kelvane::cli {

class TerminalDialogs : public toolkit::Dialogs {
 public:
  explicit TerminalDialogs(bool assumeYes);

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

  // Questions refused because there was no terminal and no --yes.
  int refused() const { return refused_; }
  // Answers every later question titled `title` with `answer` without asking: a question the
  // command has already asked once for the whole job.
  void answerLater(const std::string& title, const std::string& answer);
  // The text of the last error box, or "".
  const std::string& lastError() const { return lastError_; }
  // Errors and messages not printed (--quiet keeps errors only; --json keeps errors).
  void setQuiet(bool quiet) { quiet_ = quiet; }

 private:
  bool assumeYes_;
  bool interactive_;
  bool quiet_ = false;
  int refused_ = 0;
  std::string lastError_;
  std::vector<std::pair<std::string, std::string>> presets_;
};

}  // namespace kelvane::cli
