#pragma once
// The user interface of resmill-cli: message boxes become lines, the icon-size
// question is answered from the command's arguments, and progress is a bar on
// standard error when that is a terminal.

#include <optional>
#include <ostream>

#include "platform/user_interface.h"

namespace resmill::cli {

class ConsoleProgress final : public Progress {
 public:
  ConsoleProgress(std::ostream& err, bool enabled) : err_(err), enabled_(enabled) {}
  void Show() override;
  void SetCaption(std::string_view caption) override;
  void SetPosition(int percent) override;
  void Close() override;

 private:
  void Draw();
  std::ostream& err_;
  bool enabled_;
  bool visible_ = false;
  std::string caption_;
  int percent_ = 0;
};

class ConsoleUi final : public UserInterface {
 public:
  ConsoleUi(std::ostream& out, std::ostream& err, bool progressBar)
      : out_(out), err_(err), progress_(err, progressBar) {}

  /// The answer to every icon-size question; nothing = Cancel.
  std::optional<IconSize> iconSizeAnswer;

  void ShowMessage(std::string_view text, std::string_view caption, MessageOwner owner) override;
  bool Confirm(std::string_view text, std::string_view caption, MessageOwner owner) override;
  std::optional<IconSize> AskIconSize(std::string_view iconName, IconSize proposed) override;
  void SetStatusText(std::string_view text) override;
  Progress& ProgressWindow() override { return progress_; }

  const std::string& StatusText() const { return status_; }

 private:
  std::ostream& out_;
  std::ostream& err_;
  ConsoleProgress progress_;
  std::string status_;
};

}  // namespace resmill::cli
