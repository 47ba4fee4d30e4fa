#pragma once
// TOpenDirectory: the folder chooser of the Settings and Build Setup dialogs,
// on Qt's folder dialog. It lists folders only, accepts the folder shown or
// the subfolder clicked, and leaves the process's current directory alone
// unless NoChangeDir is cleared.

#include <QString>

class QWidget;

namespace resmill::gui {

class ModalRunner;

class OpenDirectory {
 public:
  OpenDirectory(ModalRunner& runner, QWidget* owner) : runner_(runner), owner_(owner) {}

  /// Dialog caption; empty leaves the dialog's own caption.
  QString Title;
  /// The dialog can be resized.
  bool EnableSizing = true;
  /// When false, an accepted folder becomes the process's current directory.
  /// ResMill keeps its bare-name files in the program folder, so it never
  /// clears this: browsing must not move where those files go.
  bool NoChangeDir = true;
  /// Folder shown first; empty means the current directory.
  QString StartFolder;

  /// The folder accepted by the last Execute; empty after a cancel.
  const QString& ChosenFolder() const { return chosenFolder_; }

  /// Runs the dialog modally; true when the user accepted a folder.
  bool Execute();

 private:
  ModalRunner& runner_;
  QWidget* owner_;
  QString chosenFolder_;
};

}  // namespace resmill::gui
