#pragma once
// Every message box of the window is made here: sized so that its caption and
// text show whole (a window manager cuts a caption that is wider than the box),
// and with the icon that says what kind of message it is.

#include <QMessageBox>
#include <string_view>

namespace resmill::gui {

class ModalRunner;

/// The icon for a message of the workflow by its caption: errors the error
/// icon, warnings and unfinished work the warning icon, a question the
/// question icon, and a completion (empty caption) the information icon.
QMessageBox::Icon IconForCaption(std::string_view caption);

/// The width a box needs so that the window manager's title bar shows
/// `caption` whole beside its buttons.
int WidthForCaption(const QString& caption);

/// Widens `box` to at least WidthForCaption of its title, and enough to keep
/// each line of its text on one line (a folder name above all) unless that
/// would make it wider than half the screen; the rest wraps and is never cut.
void FitToContents(QMessageBox& box);

struct MessageBoxSpec {
  QMessageBox::Icon icon = QMessageBox::NoIcon;
  QString caption;
  QString text;
  /// Shown below the text, in the normal font.
  QString detail;
  QMessageBox::StandardButtons buttons = QMessageBox::Ok;
  QMessageBox::StandardButton defaultButton = QMessageBox::NoButton;
};

/// Runs the box modally through `runner`; the button pressed.
int RunMessageBox(ModalRunner& runner, QWidget* owner, const MessageBoxSpec& spec);

/// The window's report of a failure: "<what> failed." and the reason, with the error icon.
void ReportError(ModalRunner& runner, QWidget* owner, const QString& what, const QString& reason);

}  // namespace resmill::gui
