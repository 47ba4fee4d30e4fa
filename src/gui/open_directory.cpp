#include "open_directory.h"

#include <QDir>
#include <QFileDialog>

#include "modal_runner.h"

namespace resmill::gui {

bool OpenDirectory::Execute() {
  chosenFolder_.clear();
  QFileDialog dialog(owner_);
  dialog.setObjectName(QStringLiteral("OpenDirectory"));
  if (!Title.isEmpty()) dialog.setWindowTitle(Title);
  dialog.setFileMode(QFileDialog::Directory);
  dialog.setOption(QFileDialog::ShowDirsOnly, true);
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  dialog.setDirectory(StartFolder.isEmpty() ? QDir::currentPath() : StartFolder);
  dialog.setSizeGripEnabled(EnableSizing);
  if (!EnableSizing) dialog.setFixedSize(dialog.sizeHint());

  if (runner_.Run(dialog) != QDialog::Accepted) return false;
  const QStringList chosen = dialog.selectedFiles();
  if (chosen.isEmpty() || chosen.front().isEmpty()) return false;
  chosenFolder_ = QDir::cleanPath(chosen.front());
  if (!NoChangeDir) QDir::setCurrent(chosenFolder_);  // a folder that cannot be entered is ignored
  return true;
}

}  // namespace resmill::gui
