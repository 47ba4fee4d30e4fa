#pragma once
// The pictures of the pending work as rows of a list model: the target's
// pictures in number order, each with the source picture Port would put in its
// place. Thumbnails and states are worked out off the interface thread, only
// for the rows a view asks for, and kept in a cache bounded by bytes; a reload
// keeps what it knew of every file that did not change.

#include <QAbstractListModel>
#include <QCache>
#include <QImage>
#include <QSortFilterProxyModel>
#include <QThreadPool>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <vector>

#include "app/picture_catalogue.h"

namespace resmill::gui {

/// What the gallery shows of a catalogue entry's file, so that a file changed by
/// an outside program is seen as a different picture.
struct FileStamp {
  std::filesystem::path file;  ///< empty: the picture has no file
  std::int64_t bytes = -1;
  std::int64_t modified = 0;   ///< nanoseconds of the file clock
  bool operator==(const FileStamp&) const = default;
};
FileStamp StampOf(const std::optional<std::filesystem::path>& file);

class GalleryModel final : public QAbstractListModel {
  Q_OBJECT

 public:
  enum Role {
    NumberRole = Qt::UserRole + 1,
    KindRole,          ///< "RAW", "GIF", "BMP"
    SizeRole,          ///< "176x220", or "?"
    AnimatedRole,      ///< bool
    StateRole,         ///< int app::PictureState, or -1 while not known yet
    ProblemRole,       ///< why the save stops, for an unreadable picture
    FileRole,          ///< the file the save takes (QString), empty when there is none
    SourceNumberRole,  ///< the source picture Port puts here, 0 for none (or one-file work)
    SourceImageRole,   ///< that picture's thumbnail (QImage), null while not known
    SourceFileRole,
  };

  /// Thumbnails fit this square.
  static constexpr int kThumbnailSide = 72;
  /// Thumbnail bytes kept in all (a 7,000-picture DRM's whole set would take more).
  static constexpr qint64 kCacheBytes = qint64{48} << 20;

  explicit GalleryModel(QObject* parent = nullptr);
  ~GalleryModel() override;

  /// Shows `target`'s pictures, paired with `source`'s as Port pairs them when
  /// there is a source. Rows stay where they are when the DRM is the same one
  /// (a reload after an edit); what a changed file showed is forgotten.
  void Load(std::shared_ptr<const app::PictureCatalogue> target,
            std::shared_ptr<const app::PictureCatalogue> source);
  void Clear();

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;

  bool TwoFiles() const { return source_ != nullptr; }
  /// Rows whose thumbnails are wanted now (what a view shows); thumbnails of other
  /// rows that were asked for and not started are dropped. An empty set wants all.
  void SetWanted(std::set<int> rows);
  /// Works out the state of every row (for a filter), in the background.
  void ExamineAll();
  /// Shows `frame` in place of the row's thumbnail (a playing animation); a null image ends that.
  void SetLiveFrame(int row, const QImage& frame);
  /// True when no work is queued or running.
  bool Idle() const { return pending_.empty() && examinePending_ == 0; }
  /// The stamp of the row's file as the row knows it (taken when the row was first needed).
  const FileStamp& StampAt(int row) const { return TargetStamp(row); }
  /// Blocks until the background work is done (for tests and measurements).
  void WaitForDone();

 signals:
  /// Every row's state is known (after ExamineAll, or once each row was looked at).
  void allExamined();

 private:
  struct Row {
    const app::PictureEntry* entry = nullptr;
    /// Taken when the row is first drawn or examined: a DRM of thousands of pictures
    /// opens without a look at each file.
    mutable std::optional<FileStamp> stamp;
    std::optional<app::PictureStatus> status;
    std::optional<int> source;
    std::optional<std::filesystem::path> sourceFile;
    mutable std::optional<FileStamp> sourceStamp;
  };
  const FileStamp& TargetStamp(int row) const;
  const FileStamp& SourceStamp(int row) const;
  struct Look {
    QImage image;
  };
  void Request(int row, int slot) const;
  void Deliver(quint64 generation, int row, int slot, const FileStamp& stamp, std::optional<app::PictureStatus> status,
               QImage image, bool skipped);
  QImage Thumbnail(int row, int slot) const;
  static QString CacheKey(const FileStamp& stamp, int slot);

  std::shared_ptr<const app::PictureCatalogue> target_;
  std::shared_ptr<const app::PictureCatalogue> source_;
  std::vector<Row> rows_;
  quint64 generation_ = 0;
  mutable QCache<QString, Look> cache_;
  mutable std::set<std::pair<int, int>> pending_;  ///< (row, slot)
  mutable int priority_ = 0;
  int examinePending_ = 0;
  int liveRow_ = -1;
  QImage liveFrame_;
  struct Wanted {
    std::mutex mutex;
    std::set<int> rows;
  };
  std::shared_ptr<Wanted> wanted_ = std::make_shared<Wanted>();
  mutable QThreadPool pool_;
};

/// Which pictures the gallery shows.
enum class GalleryFilter { All, Edited, Empty, Unreadable };

/// The gallery's rows through a filter; rows whose state is not known yet wait outside it.
class GalleryFilterModel final : public QSortFilterProxyModel {
  Q_OBJECT

 public:
  explicit GalleryFilterModel(QObject* parent = nullptr);
  void SetFilter(GalleryFilter filter);
  GalleryFilter Filter() const { return filter_; }

 protected:
  bool filterAcceptsRow(int sourceRow, const QModelIndex& sourceParent) const override;

 private:
  GalleryFilter filter_ = GalleryFilter::All;
};

}  // namespace resmill::gui
