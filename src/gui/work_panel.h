#pragma once
// The main window's client area: what to do first when nothing is pending,
// and what is pending and where its pictures are when work waits. A picture
// gallery of the pending work is meant to take the place of the text here.

#include <QString>
#include <QUrl>
#include <QWidget>
#include <functional>

class QLabel;
class QPushButton;

namespace resmill::gui {

/// What the panel shows; made by the main window from the session.
struct PendingWork {
  bool pending = false;
  /// One line on what was opened and what can be done next.
  QString what;
  /// Where the pictures to edit are.
  QString picturesFolder;
};

class WorkPanel final : public QWidget {
  Q_OBJECT

 public:
  static constexpr const char* kFirstSteps = "Open a flash file or skin (Ctrl+O) to begin";

  explicit WorkPanel(QWidget* parent);

  void Show(const PendingWork& work);

  QString Text() const;
  QPushButton* openFolderButton() const { return openFolder_; }
  /// Hands a folder to the desktop's file manager; QDesktopServices by default.
  std::function<bool(const QUrl&)> openUrl;

 private:
  QLabel* text_;
  QLabel* folder_;
  QPushButton* openFolder_;
  QString picturesFolder_;
};

}  // namespace resmill::gui
