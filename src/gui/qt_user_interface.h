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
  /// Each call runs a new dialog, so it starts with an empty file name (a name
  /// left from the last choice would be taken by a plain Enter); it opens in
  /// the folder of the last file chosen.
  std::optional<std::filesystem::path> ChooseOpenFile(std::string_view title, std::string_view filter);
  std::optional<std::filesystem::path> ChooseSaveFile(std::string_view title, std::string_view filter,
                                                      std::string_view defaultExtension);
  std::optional<std::filesystem::path> ChooseFolder(std::string_view title, const std::filesystem::path& startFolder);
  std::optional<IconSize> AskIconSize(std::string_view iconName, IconSize proposed) override;
  void SetStatusText(std::string_view text) override;
  void ShowStatus(const QString& text);
  Progress& ProgressWindow() override { return progress_; }

  gui::ProgressWindow& progressWindow() { return progress_; }

  /// The icon-size dialog, set once it exists (it is created after the main window).
  std::function<std::optional<IconSize>(std::string_view iconName, IconSize proposed)> iconSizeQuestion;
  /// More to say below a message of the workflow, in the window only (the
  /// command line prints the message as it stands). Empty: nothing more.
  std::function<QString(std::string_view text)> messageDetail;

 private:
  QWidget* Owner(MessageOwner owner) const;
  std::optional<std::filesystem::path> RunFileDialog(QFileDialog& dialog);

  ModalRunner& runner_;
  QMainWindow& mainWindow_;
  QLabel& statusLabel_;
  QString lastFolder_;
  gui::ProgressWindow progress_;
};

}  // namespace resmill::gui
