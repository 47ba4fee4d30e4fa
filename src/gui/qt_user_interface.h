#pragma once
// The window's side of the user-interface seam: message boxes, the file and
// folder dialogs, the icon-size question, the status bar and the progress
// window, all run through the ModalRunner.

#include <QFileDialog>
#include <QLabel>
#include <functional>

#include "platform/user_interface.h"
#include "progress_window.h"

class QMainWindow;

namespace resmill::gui {

class ModalRunner;

class QtUserInterface final : public UserInterface {
 public:
  QtUserInterface(ModalRunner& runner, QMainWindow& mainWindow, QLabel& statusLabel);

  void ShowMessage(std::string_view text, std::string_view caption, MessageOwner owner) override;
  bool Confirm(std::string_view text, std::string_view caption, MessageOwner owner) override;
  std::optional<std::filesystem::path> ChooseOpenFile(std::string_view title, std::string_view filter) override;
  std::optional<std::filesystem::path> ChooseSaveFile(std::string_view title, std::string_view filter,
                                                      std::string_view defaultExtension) override;
  std::optional<std::filesystem::path> ChooseFolder(std::string_view title,
                                                    const std::filesystem::path& startFolder) override;
  std::optional<IconSize> AskIconSize(std::string_view iconName, IconSize proposed) override;
  void SetStatusText(std::string_view text) override;
  Progress& ProgressWindow() override { return progress_; }

  gui::ProgressWindow& progressWindow() { return progress_; }
  QFileDialog& openDialog() { return openDialog_; }
  QFileDialog& saveDialog() { return saveDialog_; }

  /// The icon-size dialog, set once it exists (it is created after the main window).
  std::function<std::optional<IconSize>(std::string_view iconName, IconSize proposed)> iconSizeQuestion;

 private:
  QWidget* Owner(MessageOwner owner) const;

  ModalRunner& runner_;
  QMainWindow& mainWindow_;
  QLabel& statusLabel_;
  QFileDialog openDialog_;
  QFileDialog saveDialog_;
  gui::ProgressWindow progress_;
};

}  // namespace resmill::gui
