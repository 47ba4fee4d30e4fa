#pragma once
// Every modal dialog and message box of the window is run through one
// ModalRunner. The program runs them with exec(); the tests answer them
// without a person and without waiting.

#include <QDialog>
#include <QPointer>
#include <vector>

namespace resmill::gui {

class ModalRunner {
 public:
  virtual ~ModalRunner() = default;

  /// Runs `dialog` modally. Returns its result: a QDialog::DialogCode, or the
  /// QMessageBox::StandardButton pressed for a message box.
  int Run(QDialog& dialog) {
    running_.push_back(&dialog);
    struct Pop {
      std::vector<QPointer<QDialog>>& stack;
      ~Pop() { stack.pop_back(); }
    } pop{running_};
    return Exec(dialog);
  }

  /// The innermost dialog running now; messages raised meanwhile sit on it.
  QDialog* Current() const { return running_.empty() ? nullptr : running_.back().data(); }

 protected:
  virtual int Exec(QDialog& dialog) { return dialog.exec(); }

 private:
  std::vector<QPointer<QDialog>> running_;
};

}  // namespace resmill::gui
