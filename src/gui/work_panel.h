#pragma once
// The main window's client area: what to do first when nothing is pending,
// and what is pending and where its pictures are when work waits, above a
// gallery of the pending work's pictures.

#include <QString>
#include <QUrl>
#include <QWidget>
#include <functional>

class QLabel;
class QPushButton;
class QVBoxLayout;

namespace resmill::app {
struct Session;
}

namespace resmill::gui {

class GalleryView;

/// What the panel shows; made by the main window from the session.
struct PendingWork {
  bool pending = false;
  /// One line on what was opened and what can be done next.
  QString what;
  /// Where the pictures to edit are.
  QString picturesFolder;
  /// The session whose pictures the gallery shows; none shows no gallery.
  const app::Session* session = nullptr;
};

class WorkPanel final : public QWidget {
  Q_OBJECT

 public:
  static constexpr const char* kFirstSteps = "Open a flash file or skin (Ctrl+O) to begin";

  explicit WorkPanel(QWidget* parent);

  void Show(const PendingWork& work);

  QString Text() const;
  QPushButton* openFolderButton() const { return openFolder_; }
  GalleryView* gallery() const { return gallery_; }
  /// Hands a folder or file to the desktop (file manager, picture editor); QDesktopServices by default.
  std::function<bool(const QUrl&)> openUrl;

 private:
  QLabel* text_;
  QLabel* folder_;
  QPushButton* openFolder_;
  GalleryView* gallery_;
  QVBoxLayout* layout_;
  QString picturesFolder_;
};

}  // namespace resmill::gui
