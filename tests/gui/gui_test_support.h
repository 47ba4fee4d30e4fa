#pragma once
// Helpers of the window tests: one QApplication on Qt's offscreen platform,
// and a ModalRunner that answers each dialog from a script instead of a person.

#include <QDialog>
#include <QSize>
#include <QString>
#include <QStringList>
#include <deque>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "modal_runner.h"

class QAction;

namespace resmill::gui::test {

/// Creates the application on first use (offscreen, whatever DISPLAY says).
void EnsureApp();

/// One dialog or message box as it was shown.
struct ShownDialog {
  QString objectName;
  QString title;
  QString text;        ///< a message box's text
  QString detail;      ///< a message box's informative text
  bool message = false;
  QWidget* parent = nullptr;
  int icon = 0;        ///< a message box's QMessageBox::Icon
  int defaultButton = 0;  ///< a message box's default QMessageBox::StandardButton
  QSize size;          ///< a message box's size as shown
  bool textWhole = false;  ///< every text of the message box had the room it needs
  QString fileName;    ///< a file dialog's file name as it opened
  QStringList nameFilters;  ///< a file dialog's filters
};

class ScriptedRunner final : public ModalRunner {
 public:
  using Handler = std::function<int(QDialog&)>;

  /// Answers for dialogs other than message boxes, in order. A dialog without
  /// an answer left fails the test and is cancelled.
  std::deque<Handler> answers;
  /// Buttons pressed in message boxes, in order; OK once they run out.
  std::deque<int> messageAnswers;
  std::vector<ShownDialog> shown;

  /// The message boxes shown, as "caption: text".
  std::vector<std::string> Messages() const;

 protected:
  int Exec(QDialog& dialog) override;
};

/// True when every label and button in `widget` (shown) has the room its text
/// needs; `problem` names the first that has not.
bool TextsFit(const QWidget& widget, std::string* problem = nullptr);

/// The least width a window needs so that a title bar shows `caption` whole:
/// the caption in bold, and room for the window icon and three buttons.
int CaptionRoom(const QString& caption);

/// Runs `body` with the application's font at `pointSize`, then puts the font back.
void WithFontSize(double pointSize, const std::function<void()>& body);

/// Answers a file or folder dialog with `path`.
ScriptedRunner::Handler Choose(const std::filesystem::path& path);
/// Answers any dialog with Cancel.
ScriptedRunner::Handler Cancel();
/// Runs `body` on the dialog, then answers with OK.
ScriptedRunner::Handler Accept(std::function<void(QDialog&)> body = {});
/// Runs `body` on the dialog, then answers with Cancel.
ScriptedRunner::Handler Reject(std::function<void(QDialog&)> body);

}  // namespace resmill::gui::test
