#include "gallery_model.h"

#include <QMetaObject>
#include <QRunnable>
#include <algorithm>
#include <exception>
#include <system_error>

#include "app/picture_gallery.h"
#include "qt_text.h"

namespace resmill::gui {

namespace fs = std::filesystem;

namespace {

/// Rows examined by one background job of ExamineAll.
constexpr int kExamineBatch = 64;

QImage ToImage(const app::Thumbnail& thumbnail) {
  QImage image(thumbnail.width, thumbnail.height, QImage::Format_ARGB32);
  for (int y = 0; y < thumbnail.height; ++y) {
    std::copy_n(thumbnail.argb.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(thumbnail.width),
                thumbnail.width, reinterpret_cast<std::uint32_t*>(image.scanLine(y)));
  }
  return image;
}

QImage DrawQuietly(const app::PictureCatalogue& catalogue, int number, int side) {
  try {
    if (std::optional<app::Thumbnail> thumbnail = app::MakeThumbnail(catalogue, number, side)) {
      return ToImage(*thumbnail);
    }
  } catch (const std::exception&) {
    // Drawn as a picture that cannot be drawn; the state says why.
  }
  return {};
}

}  // namespace

FileStamp StampOf(const std::optional<fs::path>& file) {
  FileStamp stamp;
  if (!file) return stamp;
  stamp.file = *file;
  std::error_code error;
  const auto bytes = fs::file_size(*file, error);
  if (error) return stamp;
  const auto modified = fs::last_write_time(*file, error);
  if (error) return stamp;
  stamp.bytes = static_cast<std::int64_t>(bytes);
  stamp.modified = std::chrono::duration_cast<std::chrono::nanoseconds>(modified.time_since_epoch()).count();
  return stamp;
}

GalleryModel::GalleryModel(QObject* parent) : QAbstractListModel(parent), cache_(kCacheBytes) {
  // One thread stays free for the window on a small machine.
  pool_.setMaxThreadCount(std::clamp(QThread::idealThreadCount() - 1, 1, 4));
}

GalleryModel::~GalleryModel() {
  pool_.clear();
  pool_.waitForDone();
}

void GalleryModel::Load(std::shared_ptr<const app::PictureCatalogue> target,
                        std::shared_ptr<const app::PictureCatalogue> source) {
  std::vector<Row> rows;
  rows.reserve(target ? target->Pictures().size() : 0);
  if (target) {
    for (const app::PictureEntry& entry : target->Pictures()) rows.push_back({&entry, std::nullopt, {}, {}, {}, {}});
    if (source) {
      const app::PortPairing pairing = app::PairForPort(*target, *source);
      if (pairing.compatible) {
        for (const app::PicturePair& pair : pairing.pairs) {
          if (!pair.source) continue;
          Row& row = rows[static_cast<std::size_t>(pair.target) - 1];
          row.source = *pair.source;
          row.sourceFile = source->Picture(*pair.source).file;
        }
      }
    }
  }
  const bool sameDrm = target_ && target && rows.size() == rows_.size() &&
                       target_->DrmPackFolder() == target->DrmPackFolder() && (source_ != nullptr) == (source != nullptr);
  if (!sameDrm) {
    beginResetModel();
    ++generation_;
    pending_.clear();
    liveRow_ = -1;
    liveFrame_ = QImage();
    target_ = std::move(target);
    source_ = std::move(source);
    rows_ = std::move(rows);
    endResetModel();
    return;
  }
  // The same pictures again: what is known of a file that did not change stays.
  for (std::size_t i = 0; i < rows.size(); ++i) {
    if (!rows_[i].stamp) continue;  // never drawn nor examined: nothing to keep
    rows[i].stamp = StampOf(rows[i].entry->file);
    if (*rows[i].stamp == *rows_[i].stamp) rows[i].status = rows_[i].status;
  }
  target_ = std::move(target);
  source_ = std::move(source);
  rows_ = std::move(rows);
  // Rows keep pointers into the catalogue they were made from: every row is re-pointed, every row told.
  if (!rows_.empty()) emit dataChanged(index(0), index(static_cast<int>(rows_.size()) - 1));
}

void GalleryModel::Clear() { Load(nullptr, nullptr); }

int GalleryModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

Qt::ItemFlags GalleryModel::flags(const QModelIndex& index) const {
  if (!index.isValid()) return Qt::NoItemFlags;
  return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsDropEnabled;
}

QString GalleryModel::CacheKey(const FileStamp& stamp, int slot) {
  return QStringLiteral("%1|%2|%3|%4").arg(slot).arg(stamp.bytes).arg(stamp.modified).arg(PathToQString(stamp.file));
}

QImage GalleryModel::Thumbnail(int row, int slot) const {
  const Row& r = rows_[static_cast<std::size_t>(row)];
  if (slot == 2 && !r.source) return {};
  const FileStamp& stamp = slot == 1 ? TargetStamp(row) : SourceStamp(row);
  // A picture without a file has nothing to draw, but its state is still to be found.
  if (stamp.file.empty() || stamp.bytes < 0) {
    if (slot == 1 && !r.status) Request(row, slot);
    return {};
  }
  if (const Look* look = cache_.object(CacheKey(stamp, slot))) {
    if (slot == 1 && !r.status) Request(row, slot);
    return look->image;
  }
  Request(row, slot);
  return {};
}

QVariant GalleryModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= static_cast<int>(rows_.size())) return {};
  const int row = index.row();
  const Row& r = rows_[static_cast<std::size_t>(row)];
  const app::PictureEntry& entry = *r.entry;
  switch (role) {
    case Qt::DisplayRole:
      return QStringLiteral("%1 %2 %3")
          .arg(entry.number)
          .arg(ToQString(app::KindName(entry.kind)), ToQString(app::SizeLabel(entry)));
    case Qt::DecorationRole:
      if (row == liveRow_ && !liveFrame_.isNull()) return liveFrame_;
      return Thumbnail(row, 1);
    case Qt::ToolTipRole: {
      QString tip = QStringLiteral("Picture %1: %2 %3").arg(entry.number).arg(ToQString(app::KindName(entry.kind)),
                                                                            ToQString(app::SizeLabel(entry)));
      if (entry.animated) tip += QStringLiteral(", animated");
      if (entry.file) tip += u'\n' + PathToQString(*entry.file);
      if (r.status) {
        tip += QStringLiteral("\nThe save stores it: %1").arg(ToQString(app::StatusText(entry, *r.status)));
      }
      if (r.source) tip += QStringLiteral("\nPort puts source picture %1 here").arg(*r.source);
      return tip;
    }
    case NumberRole: return entry.number;
    case KindRole: return ToQString(app::KindName(entry.kind));
    case SizeRole: return ToQString(app::SizeLabel(entry));
    case AnimatedRole: return entry.animated;
    case StateRole: return r.status ? static_cast<int>(r.status->state) : -1;
    case ProblemRole: return r.status ? ToQString(r.status->problem) : QString();
    case FileRole: return entry.file ? PathToQString(*entry.file) : QString();
    case SourceNumberRole: return r.source.value_or(0);
    case SourceImageRole: return Thumbnail(row, 2);
    case SourceFileRole: return r.sourceFile ? PathToQString(*r.sourceFile) : QString();
    default: return {};
  }
}

void GalleryModel::Request(int row, int slot) const {
  if (!pending_.insert({row, slot}).second) return;
  const Row& r = rows_[static_cast<std::size_t>(row)];
  std::shared_ptr<const app::PictureCatalogue> catalogue = slot == 1 ? target_ : source_;
  const int number = slot == 1 ? r.entry->number : r.source.value_or(0);
  const FileStamp stamp = slot == 1 ? TargetStamp(row) : SourceStamp(row);
  const bool examine = slot == 1 && !r.status;
  auto* model = const_cast<GalleryModel*>(this);
  const quint64 generation = generation_;
  std::shared_ptr<Wanted> wanted = wanted_;
  // The latest request runs first: it is what the view shows now.
  priority_ = std::min(priority_ + 1, 1 << 30);
  pool_.start(QRunnable::create([=] {
    bool draw = true;
    {
      std::lock_guard lock(wanted->mutex);
      draw = wanted->rows.empty() || wanted->rows.contains(row);
    }
    if (!draw && !examine) {
      QMetaObject::invokeMethod(model, [=] { model->Deliver(generation, row, slot, stamp, {}, {}, true); },
                                Qt::QueuedConnection);
      return;
    }
    std::optional<app::PictureStatus> status;
    if (examine) status = app::ExamineShown(*catalogue, number);
    QImage image = draw ? DrawQuietly(*catalogue, number, kThumbnailSide) : QImage();
    QMetaObject::invokeMethod(
        model, [=] { model->Deliver(generation, row, slot, stamp, status, image, !draw); }, Qt::QueuedConnection);
  }),
              priority_);
}

void GalleryModel::Deliver(quint64 generation, int row, int slot, const FileStamp& stamp,
                           std::optional<app::PictureStatus> status, QImage image, bool skipped) {
  if (generation != generation_) return;
  pending_.erase({row, slot});
  if (row >= static_cast<int>(rows_.size())) return;
  Row& r = rows_[static_cast<std::size_t>(row)];
  const QModelIndex at = index(row);
  if ((slot == 1 ? TargetStamp(row) : SourceStamp(row)) != stamp) {
    emit dataChanged(at, at);  // the file changed while it was drawn: the view asks again
    return;
  }
  if (status && slot == 1 && !r.status) r.status = std::move(status);
  if (!skipped && !stamp.file.empty() && stamp.bytes >= 0) {
    const qint64 cost = std::max<qint64>(1, image.sizeInBytes());
    cache_.insert(CacheKey(stamp, slot), new Look{std::move(image)}, cost);
  }
  if (skipped) {
    std::lock_guard lock(wanted_->mutex);
    if (!wanted_->rows.empty() && !wanted_->rows.contains(row)) return;
  }
  emit dataChanged(at, at);
}

void GalleryModel::SetWanted(std::set<int> rows) {
  std::lock_guard lock(wanted_->mutex);
  wanted_->rows = std::move(rows);
}

void GalleryModel::ExamineAll() {
  std::vector<int> unknown;
  for (std::size_t i = 0; i < rows_.size(); ++i) {
    if (!rows_[i].status) unknown.push_back(static_cast<int>(i));
  }
  if (unknown.empty()) {
    emit allExamined();
    return;
  }
  auto* model = this;
  const quint64 generation = generation_;
  for (std::size_t begin = 0; begin < unknown.size(); begin += kExamineBatch) {
    struct Item {
      int row;
      int number;
      FileStamp stamp;
    };
    std::vector<Item> items;
    for (std::size_t i = begin; i < std::min(unknown.size(), begin + kExamineBatch); ++i) {
      const Row& r = rows_[static_cast<std::size_t>(unknown[i])];
      items.push_back({unknown[i], r.entry->number, TargetStamp(unknown[i])});
    }
    ++examinePending_;
    std::shared_ptr<const app::PictureCatalogue> catalogue = target_;
    // Below the thumbnails the view waits for.
    pool_.start(QRunnable::create([=] {
      std::vector<app::PictureStatus> statuses;
      for (const Item& item : items) statuses.push_back(app::ExamineShown(*catalogue, item.number));
      QMetaObject::invokeMethod(
          model,
          [=] {
            if (generation != model->generation_) return;
            for (std::size_t i = 0; i < items.size(); ++i) {
              const Item& item = items[i];
              if (item.row >= static_cast<int>(model->rows_.size())) continue;
              Row& r = model->rows_[static_cast<std::size_t>(item.row)];
              if (model->TargetStamp(item.row) != item.stamp || r.status) continue;
              r.status = statuses[i];
              emit model->dataChanged(model->index(item.row), model->index(item.row), {StateRole});
            }
            if (--model->examinePending_ == 0) emit model->allExamined();
          },
          Qt::QueuedConnection);
    }),
                -1);
  }
}

void GalleryModel::SetLiveFrame(int row, const QImage& frame) {
  const int before = liveRow_;
  liveRow_ = frame.isNull() ? -1 : row;
  liveFrame_ = frame;
  if (before >= 0 && before != liveRow_ && before < static_cast<int>(rows_.size())) {
    emit dataChanged(index(before), index(before), {Qt::DecorationRole});
  }
  if (liveRow_ >= 0 && liveRow_ < static_cast<int>(rows_.size())) {
    emit dataChanged(index(liveRow_), index(liveRow_), {Qt::DecorationRole});
  }
}

const FileStamp& GalleryModel::TargetStamp(int row) const {
  const Row& r = rows_.at(static_cast<std::size_t>(row));
  if (!r.stamp) r.stamp = StampOf(r.entry->file);
  return *r.stamp;
}

const FileStamp& GalleryModel::SourceStamp(int row) const {
  const Row& r = rows_.at(static_cast<std::size_t>(row));
  if (!r.sourceStamp) r.sourceStamp = StampOf(r.sourceFile);
  return *r.sourceStamp;
}

void GalleryModel::WaitForDone() { pool_.waitForDone(); }

GalleryFilterModel::GalleryFilterModel(QObject* parent) : QSortFilterProxyModel(parent) {
  setDynamicSortFilter(true);
}

void GalleryFilterModel::SetFilter(GalleryFilter filter) {
  if (filter == filter_) return;
  filter_ = filter;
  invalidateRowsFilter();
}

bool GalleryFilterModel::filterAcceptsRow(int sourceRow, const QModelIndex& sourceParent) const {
  if (filter_ == GalleryFilter::All) return true;
  const int known = sourceModel()->index(sourceRow, 0, sourceParent).data(GalleryModel::StateRole).toInt();
  if (known < 0) return false;
  const auto state = static_cast<app::PictureState>(known);
  switch (filter_) {
    case GalleryFilter::All: return true;
    case GalleryFilter::Edited: return app::IsEdited(state);
    case GalleryFilter::Empty: return state == app::PictureState::Empty;
    case GalleryFilter::Unreadable: return state == app::PictureState::Unreadable;
  }
  return false;
}

}  // namespace resmill::gui
