#pragma once
// The one seam through which core talks to the user. The window, resmill-cli
// and the tests each implement it; core never draws, prints or exits itself.

#include <optional>
#include <string>
#include <string_view>

namespace resmill {

/// The progress window: always used as Show, SetCaption, SetPosition…, Close.
class Progress {
 public:
  virtual ~Progress() = default;
  /// Makes the window visible with the bar at 0.
  virtual void Show() = 0;
  virtual void SetCaption(std::string_view caption) = 0;
  /// 0 … 100.
  virtual void SetPosition(int percent) = 0;
  virtual void Close() = 0;
};

class NullProgress final : public Progress {
 public:
  void Show() override {}
  void SetCaption(std::string_view) override {}
  void SetPosition(int) override {}
  void Close() override {}
};

/// Shows the progress window with a caption and closes it when the step ends,
/// also when the step ends with an error.
class ProgressStep {
 public:
  ProgressStep(Progress& progress, std::string_view caption) : progress_(progress) {
    progress_.Show();
    progress_.SetCaption(caption);
  }
  ~ProgressStep() { progress_.Close(); }
  ProgressStep(const ProgressStep&) = delete;
  ProgressStep& operator=(const ProgressStep&) = delete;
  void SetPosition(int percent) {
    if (percent != last_) {
      last_ = percent;
      progress_.SetPosition(percent);
    }
  }

 private:
  Progress& progress_;
  int last_ = -1;
};

/// Message boxes are owned by the desktop except the Build messages, owned by the main window.
enum class MessageOwner { Desktop, MainWindow };

struct IconSize {
  int width = 0;
  int height = 0;
};

class UserInterface {
 public:
  virtual ~UserInterface() = default;

  /// A message box with an OK button.
  virtual void ShowMessage(std::string_view text, std::string_view caption, MessageOwner owner) = 0;
  /// A message box with OK and Cancel; true for OK.
  virtual bool Confirm(std::string_view text, std::string_view caption, MessageOwner owner) = 0;
  /// The icon-size question for `iconName`, offering `proposed`; nothing when cancelled.
  virtual std::optional<IconSize> AskIconSize(std::string_view iconName, IconSize proposed) = 0;
  /// The main window's status bar.
  virtual void SetStatusText(std::string_view text) = 0;
  virtual Progress& ProgressWindow() = 0;
};

}  // namespace resmill
