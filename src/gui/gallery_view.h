#pragma once
// The gallery of the pending work: a grid of the target's pictures in number
// order with their marks, a filter, the source's pictures beside them in
// two-file work, and what can be done to a picture from there — open it in the
// desktop's editor, show its folder, replace it by a dropped file, revert it.
// Changes to the tree (from this window or any other program) show within a second.

#include <QFileSystemWatcher>
#include <QListView>
#include <QTimer>
#include <QUrl>
#include <QWidget>
#include <filesystem>
#include <functional>
#include <memory>
#include <vector>

#include "gallery_model.h"

class QAction;
class QComboBox;
class QLabel;
class QMovie;

namespace resmill::app {
struct Session;
}

namespace resmill::gui {

/// The grid itself: takes one dropped picture file on a picture.
class GalleryListView final : public QListView {
  Q_OBJECT

 public:
  explicit GalleryListView(QWidget* parent);
  /// The one local file among `urls` that a drop can pair with a picture.
  static std::optional<std::filesystem::path> DroppedFile(const QList<QUrl>& urls);

 signals:
  void fileDropped(const QModelIndex& index, const QString& file);

 protected:
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dragMoveEvent(QDragMoveEvent* event) override;
  void dropEvent(QDropEvent* event) override;
};

class GalleryView final : public QWidget {
  Q_OBJECT

 public:
  explicit GalleryView(QWidget* parent);
  ~GalleryView() override;

  /// Shows the pictures of the session's pending work; false (and an empty
  /// gallery) when there are none to show: nothing pending, a skin, no unpacked DRM.
  bool Show(const app::Session* session);
  /// Reads the tree again (after a command, or when a file changed).
  void Reload();

  /// Hands a file or folder to the desktop; QDesktopServices by default.
  std::function<bool(const QUrl&)> openUrl;

  GalleryModel& model() { return model_; }
  GalleryFilterModel& filterModel() { return filter_; }
  GalleryListView* view() const { return list_; }
  QComboBox* filterBox() const { return filterBox_; }
  QLabel* countLabel() const { return count_; }
  QAction* openAction() const { return openAction_; }
  QAction* showInFolderAction() const { return showInFolderAction_; }
  QAction* revertAction() const { return revertAction_; }
  /// The picture numbers selected, in number order.
  std::vector<int> SelectedNumbers() const;
  /// The row of the animation playing under the pointer, -1 for none.
  int PlayingRow() const;
  /// Starts or ends the animation of the picture at a view index (what the pointer does).
  void Hover(const QModelIndex& index);

 signals:
  /// A file was dropped on a picture of the target.
  void replaceRequested(int number, const QString& file);
  /// "Revert to original" for these pictures.
  void revertRequested(const std::vector<int>& numbers);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void OpenPicture(const QModelIndex& index);
  void ShowInFolder();
  void UpdateWanted();
  void UpdateCount();
  void WatchFolders();
  void StopMovie();

  const app::Session* session_ = nullptr;
  GalleryModel model_;
  GalleryFilterModel filter_;
  QComboBox* filterBox_;
  QLabel* count_;
  GalleryListView* list_;
  QAction* openAction_;
  QAction* showInFolderAction_;
  QAction* revertAction_;
  QFileSystemWatcher watcher_;
  /// Gathers the bursts of changes a save by another program makes into one reload.
  QTimer reloadTimer_;
  QTimer wantedTimer_;
  QMovie* movie_ = nullptr;
  int movieRow_ = -1;
};

}  // namespace resmill::gui
