#include "qt_user_interface.h"

#include <QMainWindow>
#include <QMessageBox>

#include "file_filter.h"
#include "modal_runner.h"
#include "open_directory.h"
#include "qt_text.h"

namespace resmill::gui {

QtUserInterface::QtUserInterface(ModalRunner& runner, QMainWindow& mainWindow, QLabel& statusLabel)
    : runner_(runner),
      mainWindow_(mainWindow),
      statusLabel_(statusLabel),
      openDialog_(&mainWindow),
      saveDialog_(&mainWindow),
      progress_(&mainWindow) {
  openDialog_.setObjectName(QStringLiteral("OpenDialog"));
  openDialog_.setAcceptMode(QFileDialog::AcceptOpen);
  openDialog_.setFileMode(QFileDialog::ExistingFile);
  openDialog_.setOption(QFileDialog::HideNameFilterDetails, true);

  // Unlike the old dialog this one asks before replacing an existing file: the
  // file chosen by mistake is often the phone's original flash file.
  saveDialog_.setObjectName(QStringLiteral("SaveDialog"));
  saveDialog_.setAcceptMode(QFileDialog::AcceptSave);
  saveDialog_.setFileMode(QFileDialog::AnyFile);
  saveDialog_.setOption(QFileDialog::HideNameFilterDetails, true);
  saveDialog_.setDefaultSuffix(QStringLiteral("shx"));
  // Save As replaces an existing file without a question; the new file is written
  // beside it and renamed into place only when complete, so the old one is never half-lost.
  saveDialog_.setOption(QFileDialog::DontConfirmOverwrite, true);
  saveDialog_.setNameFilters(ToQtNameFilters("SHX files|*.shx"));
}

QWidget* QtUserInterface::Owner(MessageOwner owner) const {
  // A message raised while a dialog is open (the port table's messages in
  // Build Setup) sits on that dialog, so it cannot hide behind it.
  if (QWidget* open = runner_.Current()) return open;
  return owner == MessageOwner::MainWindow ? &mainWindow_ : nullptr;
}

void QtUserInterface::ShowMessage(std::string_view text, std::string_view caption, MessageOwner owner) {
  QMessageBox box(QMessageBox::NoIcon, ToQString(caption), ToQString(text), QMessageBox::Ok, Owner(owner));
  runner_.Run(box);
}

bool QtUserInterface::Confirm(std::string_view text, std::string_view caption, MessageOwner owner) {
  QMessageBox box(QMessageBox::NoIcon, ToQString(caption), ToQString(text), QMessageBox::Ok | QMessageBox::Cancel,
                  Owner(owner));
  box.setDefaultButton(QMessageBox::Ok);
  return runner_.Run(box) == QMessageBox::Ok;
}

std::optional<std::filesystem::path> QtUserInterface::ChooseOpenFile(std::string_view title,
                                                                     std::string_view filter) {
  openDialog_.setWindowTitle(ToQString(title));
  openDialog_.setNameFilters(ToQtNameFilters(filter));
  openDialog_.selectFile(QString());
  if (runner_.Run(openDialog_) != QDialog::Accepted) return std::nullopt;
  const QStringList chosen = openDialog_.selectedFiles();
  if (chosen.isEmpty() || chosen.front().isEmpty()) return std::nullopt;
  return QStringToPath(chosen.front());
}

std::optional<std::filesystem::path> QtUserInterface::ChooseSaveFile(std::string_view title, std::string_view filter,
                                                                     std::string_view defaultExtension) {
  QString suffix = ToQString(defaultExtension);
  if (suffix.startsWith(u'.')) suffix.remove(0, 1);
  saveDialog_.setWindowTitle(ToQString(title));
  saveDialog_.setNameFilters(ToQtNameFilters(filter));
  saveDialog_.setDefaultSuffix(suffix);
  if (runner_.Run(saveDialog_) != QDialog::Accepted) return std::nullopt;
  const QStringList chosen = saveDialog_.selectedFiles();
  if (chosen.isEmpty() || chosen.front().isEmpty()) return std::nullopt;
  return QStringToPath(chosen.front());
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

void QtUserInterface::SetStatusText(std::string_view text) {
  statusLabel_.setText(ToQString(text));
  statusLabel_.repaint();
}

}  // namespace resmill::gui
