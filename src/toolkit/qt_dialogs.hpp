// The modal boxes and file dialogs of the desktop program, over Qt: each opens modally, tells
// the toolkit that something modal started (so tests can act in it) and returns the answer to
// its caller.
#pragma once

#include "toolkit/dialogs.hpp"

class QWidget;

namespace kelvane::toolkit {

class QtDialogs : public Dialogs {
 public:
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
};

// Presses the button labelled `label` (access-key ampersands ignored) in the box or window
// `modal`, as tests do from a whenModal action; false when it has none.
bool pressButton(QWidget* modal, const std::string& label);

}  // namespace kelvane::toolkit
