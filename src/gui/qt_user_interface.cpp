#include "qt_user_interface.h"

#include <QMainWindow>

#include "file_filter.h"
#include "message_box.h"
#include "modal_runner.h"
#include "open_directory.h"
#include "qt_text.h"

namespace resmill::gui {

QtUserInterface::QtUserInterface(ModalRunner& runner, QMainWindow& mainWindow, QLabel& statusLabel)
    : runner_(runner), mainWindow_(mainWindow), statusLabel_(statusLabel), progress_(&mainWindow) {}

QWidget* QtUserInterface::Owner(MessageOwner owner) const {
  // A message raised while a dialog is open (the port table's messages in
  // Build Setup) sits on that dialog, so it cannot hide behind it.
  if (QWidget* open = runner_.Current()) return open;
  return owner == MessageOwner::MainWindow ? &mainWindow_ : nullptr;
}

void QtUserInterface::ShowMessage(std::string_view text, std::string_view caption, MessageOwner owner) {
  MessageBoxSpec spec;
  spec.icon = IconForCaption(caption);
  spec.caption = ToQString(caption);
  spec.text = ToQString(text);
  if (messageDetail) spec.detail = messageDetail(text);
  RunMessageBox(runner_, Owner(owner), spec);
}

bool QtUserInterface::Confirm(std::string_view text, std::string_view caption, MessageOwner owner) {
  MessageBoxSpec spec;
  spec.icon = QMessageBox::Question;
  spec.caption = ToQString(caption);
  spec.text = ToQString(text);
  spec.buttons = QMessageBox::Ok | QMessageBox::Cancel;
  spec.defaultButton = QMessageBox::Ok;
  return RunMessageBox(runner_, Owner(owner), spec) == QMessageBox::Ok;
}

std::optional<std::filesystem::path> QtUserInterface::RunFileDialog(QFileDialog& dialog) {
  dialog.setOption(QFileDialog::HideNameFilterDetails, true);
  if (!lastFolder_.isEmpty()) dialog.setDirectory(lastFolder_);
  if (runner_.Run(dialog) != QDialog::Accepted) return std::nullopt;
  const QStringList chosen = dialog.selectedFiles();
  if (chosen.isEmpty() || chosen.front().isEmpty()) return std::nullopt;
  lastFolder_ = QFileInfo(chosen.front()).absolutePath();
  return QStringToPath(chosen.front());
}

std::optional<std::filesystem::path> QtUserInterface::ChooseOpenFile(std::string_view title,
                                                                     std::string_view filter) {
  QFileDialog dialog(&mainWindow_, ToQString(title));
  dialog.setObjectName(QStringLiteral("OpenDialog"));
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  dialog.setFileMode(QFileDialog::ExistingFile);
  dialog.setNameFilters(ToQtNameFilters(filter));
  return RunFileDialog(dialog);
}

std::optional<std::filesystem::path> QtUserInterface::ChooseSaveFile(std::string_view title, std::string_view filter,
                                                                     std::string_view defaultExtension) {
  QString suffix = ToQString(defaultExtension);
  if (suffix.startsWith(u'.')) suffix.remove(0, 1);
  QFileDialog dialog(&mainWindow_, ToQString(title));
  dialog.setObjectName(QStringLiteral("SaveDialog"));
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setFileMode(QFileDialog::AnyFile);
  dialog.setNameFilters(ToQtNameFilters(filter));
  dialog.setDefaultSuffix(suffix);
  // Save As replaces an existing file without a question; the new file is written
  // beside it and renamed into place only when complete, so the old one is never half-lost.
  dialog.setOption(QFileDialog::DontConfirmOverwrite, true);
  return RunFileDialog(dialog);
}

std::optional<std::filesystem::path> QtUserInterface::ChooseFolder(std::string_view title,
                                                                   const std::filesystem::path& startFolder) {
  OpenDirectory chooser(runner_, &mainWindow_);
  chooser.Title = ToQString(title);
  chooser.StartFolder = PathToQString(startFolder);
  if (!chooser.Execute()) return std::nullopt;
  return QStringToPath(chooser.ChosenFolder());
}

std::optional<IconSize> QtUserInterface::AskIconSize(std::string_view iconName, IconSize proposed) {
  if (!iconSizeQuestion) return std::nullopt;
  return iconSizeQuestion(iconName, proposed);
}

void QtUserInterface::SetStatusText(std::string_view text) { ShowStatus(ToQString(text)); }

void QtUserInterface::ShowStatus(const QString& text) {
  statusLabel_.setText(text);
  statusLabel_.setToolTip(text);
  // Commands run without returning to the event loop: draw the news now.
  statusLabel_.repaint();
}

}  // namespace resmill::gui
