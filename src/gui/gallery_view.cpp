#include "gallery_view.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDesktopServices>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QHBoxLayout>
#include <QImageReader>
#include <QLabel>
#include <QMimeData>
#include <QMovie>
#include <QPainter>
#include <QScrollBar>
#include <QStyledItemDelegate>
#include <QVBoxLayout>
#include <exception>
#include <optional>

#include "app/picture_catalogue.h"
#include "app/session.h"
#include "qt_text.h"

namespace resmill::gui {

namespace fs = std::filesystem;

namespace {

constexpr int kSide = GalleryModel::kThumbnailSide;
constexpr int kPad = 6;
/// Files watched one by one, beyond the folders: those on screen, whose contents an
/// editor may rewrite in place (a folder's watch sees names come and go, not writes).
constexpr int kMostWatchedFiles = 256;

struct Mark {
  QString text;
  QColor colour;
};

std::vector<Mark> MarksOf(const QModelIndex& index) {
  std::vector<Mark> marks;
  const auto state = static_cast<app::PictureState>(index.data(GalleryModel::StateRole).toInt());
  std::optional<QColor> colour;
  switch (state) {
    case app::PictureState::Edited: colour = QColor(0x1f, 0x5f, 0xbf); break;
    case app::PictureState::NewSize: colour = QColor(0xb3, 0x5c, 0x00); break;
    case app::PictureState::Empty: colour = QColor(0x60, 0x60, 0x60); break;
    case app::PictureState::Unreadable: colour = QColor(0xc0, 0x10, 0x10); break;
    case app::PictureState::Original: break;
  }
  if (colour) marks.push_back({ToQString(app::StateName(state)), *colour});
  if (index.data(GalleryModel::AnimatedRole).toBool()) marks.push_back({QStringLiteral("animated"), QColor(0x2e, 0x7d, 0x32)});
  return marks;
}

/// Draws a cell: the picture on a checkerboard (transparency shows), in two-file
/// work the source picture Port puts there beside it, then number, kind and size,
/// then the marks.
class GalleryDelegate final : public QStyledItemDelegate {
 public:
  GalleryDelegate(const GalleryModel& model, QObject* parent) : QStyledItemDelegate(parent), model_(model) {
    checker_ = QPixmap(8, 8);
    checker_.fill(QColor(0xff, 0xff, 0xff));
    QPainter p(&checker_);
    p.fillRect(0, 0, 4, 4, QColor(0xdd, 0xdd, 0xdd));
    p.fillRect(4, 4, 4, 4, QColor(0xdd, 0xdd, 0xdd));
  }

  static QSize CellSize(const QFontMetrics& metrics, bool twoFiles) {
    const int boxes = twoFiles ? 2 * kSide + 3 * kPad : kSide + 2 * kPad;
    const int text = metrics.horizontalAdvance(QStringLiteral("0000 BMP 176x220")) + 2 * kPad;
    return {std::max(boxes, text), kPad + kSide + kPad + 2 * metrics.height() + kPad};
  }

  QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex&) const override {
    return CellSize(option.fontMetrics, model_.TwoFiles());
  }

  void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override {
    painter->save();
    painter->setRenderHint(QPainter::SmoothPixmapTransform, false);
    const QRect cell = option.rect.adjusted(1, 1, -1, -1);
    const QPalette& palette = option.palette;
    if (option.state & QStyle::State_Selected) {
      painter->fillRect(cell, palette.brush(QPalette::Highlight));
    } else if (option.state & QStyle::State_MouseOver) {
      painter->fillRect(cell, palette.brush(QPalette::AlternateBase));
    }
    const bool twoFiles = model_.TwoFiles();
    const int boxesWidth = twoFiles ? 2 * kSide + kPad : kSide;
    const int left = cell.left() + (cell.width() - boxesWidth) / 2;
    const QRect box(left, cell.top() + kPad, kSide, kSide);
    const int state = index.data(GalleryModel::StateRole).toInt();
    DrawPicture(painter, box, index.data(Qt::DecorationRole).value<QImage>(),
                index.data(GalleryModel::FileRole).toString().isEmpty()
                    ? QStringLiteral("no file")
                    : (state == static_cast<int>(app::PictureState::Unreadable) ? QStringLiteral("×") : QString()));
    if (twoFiles) {
      const QRect sourceBox = box.translated(kSide + kPad, 0);
      const int sourceNumber = index.data(GalleryModel::SourceNumberRole).toInt();
      if (sourceNumber > 0) {
        DrawPicture(painter, sourceBox, index.data(GalleryModel::SourceImageRole).value<QImage>(), QString());
        painter->setPen(palette.color(QPalette::PlaceholderText));
        painter->drawText(sourceBox.adjusted(2, 0, 0, 0), Qt::AlignLeft | Qt::AlignTop, QStringLiteral("%1").arg(sourceNumber));
      } else {
        painter->setPen(palette.color(QPalette::PlaceholderText));
        painter->drawRect(sourceBox.adjusted(0, 0, -1, -1));
        painter->drawText(sourceBox, Qt::AlignCenter | Qt::TextWordWrap, QStringLiteral("kept"));
      }
    }

    const QColor text = palette.color((option.state & QStyle::State_Selected) ? QPalette::HighlightedText
                                                                             : QPalette::Text);
    QRect line(cell.left() + kPad / 2, box.bottom() + kPad, cell.width() - kPad, option.fontMetrics.height());
    painter->setPen(text);
    painter->drawText(line, Qt::AlignHCenter | Qt::AlignVCenter,
                      option.fontMetrics.elidedText(index.data(Qt::DisplayRole).toString(), Qt::ElideRight, line.width()));
    line.translate(0, line.height());
    const std::vector<Mark> marks = MarksOf(index);
    int width = 0;
    for (const Mark& mark : marks) width += option.fontMetrics.horizontalAdvance(mark.text) + kPad;
    int x = line.left() + std::max(0, (line.width() - width) / 2);
    for (const Mark& mark : marks) {
      const int w = option.fontMetrics.horizontalAdvance(mark.text) + kPad - 2;
      const QRect tag(x, line.top(), std::min(w, line.right() - x), line.height());
      if (tag.width() <= 0) break;
      painter->fillRect(tag, mark.colour);
      painter->setPen(Qt::white);
      painter->drawText(tag, Qt::AlignCenter, option.fontMetrics.elidedText(mark.text, Qt::ElideRight, tag.width()));
      x += w + 2;
    }
    painter->restore();
  }

 private:
  void DrawPicture(QPainter* painter, const QRect& box, const QImage& image, const QString& instead) const {
    if (image.isNull()) {
      painter->setPen(QColor(0xa0, 0xa0, 0xa0));
      painter->drawRect(box.adjusted(0, 0, -1, -1));
      if (!instead.isEmpty()) painter->drawText(box, Qt::AlignCenter, instead);
      return;
    }
    const QRect at(box.left() + (box.width() - image.width()) / 2, box.top() + (box.height() - image.height()) / 2,
                   image.width(), image.height());
    painter->fillRect(at, QBrush(checker_));
    painter->drawImage(at, image);
  }

  const GalleryModel& model_;
  QPixmap checker_;
};

}  // namespace

GalleryListView::GalleryListView(QWidget* parent) : QListView(parent) {
  setObjectName(QStringLiteral("GalleryGrid"));
  setViewMode(QListView::IconMode);
  setMovement(QListView::Static);
  setResizeMode(QListView::Adjust);
  setUniformItemSizes(true);
  setWrapping(true);
  setSelectionMode(QAbstractItemView::ExtendedSelection);
  setMouseTracking(true);
  setAcceptDrops(true);
  viewport()->setAcceptDrops(true);
  setDragDropMode(QAbstractItemView::DropOnly);
  setDropIndicatorShown(true);
  setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
}

std::optional<fs::path> GalleryListView::DroppedFile(const QList<QUrl>& urls) {
  if (urls.size() != 1 || !urls.front().isLocalFile()) return std::nullopt;
  return QStringToPath(urls.front().toLocalFile());
}

void GalleryListView::dragEnterEvent(QDragEnterEvent* event) {
  if (event->mimeData()->hasUrls() && DroppedFile(event->mimeData()->urls())) {
    event->acceptProposedAction();
  } else {
    event->ignore();
  }
}

void GalleryListView::dragMoveEvent(QDragMoveEvent* event) {
  const bool onPicture = indexAt(event->position().toPoint()).isValid();
  if (onPicture && event->mimeData()->hasUrls() && DroppedFile(event->mimeData()->urls())) {
    event->acceptProposedAction();
  } else {
    event->ignore();
  }
}

void GalleryListView::dropEvent(QDropEvent* event) {
  const QModelIndex index = indexAt(event->position().toPoint());
  const auto file = event->mimeData()->hasUrls() ? DroppedFile(event->mimeData()->urls()) : std::nullopt;
  if (!index.isValid() || !file) {
    event->ignore();
    return;
  }
  event->acceptProposedAction();
  emit fileDropped(index, PathToQString(*file));
}

GalleryView::GalleryView(QWidget* parent)
    : QWidget(parent),
      openUrl([](const QUrl& url) { return QDesktopServices::openUrl(url); }),
      filterBox_(new QComboBox(this)),
      count_(new QLabel(this)),
      list_(new GalleryListView(this)),
      openAction_(new QAction(QStringLiteral("&Open in Editor"), this)),
      showInFolderAction_(new QAction(QStringLiteral("&Show in Folder"), this)),
      revertAction_(new QAction(QStringLiteral("&Revert to Original"), this)) {
  setObjectName(QStringLiteral("Gallery"));
  filterBox_->setObjectName(QStringLiteral("GalleryFilter"));
  filterBox_->addItem(QStringLiteral("All pictures"), static_cast<int>(GalleryFilter::All));
  filterBox_->addItem(QStringLiteral("Edited"), static_cast<int>(GalleryFilter::Edited));
  filterBox_->addItem(QStringLiteral("Empty"), static_cast<int>(GalleryFilter::Empty));
  filterBox_->addItem(QStringLiteral("Cannot be read"), static_cast<int>(GalleryFilter::Unreadable));
  filterBox_->setToolTip(QStringLiteral("Which pictures the gallery shows"));
  count_->setObjectName(QStringLiteral("GalleryCount"));
  auto* show = new QLabel(QStringLiteral("&Show:"), this);
  show->setBuddy(filterBox_);

  filter_.setSourceModel(&model_);
  list_->setModel(&filter_);
  list_->setItemDelegate(new GalleryDelegate(model_, list_));
  list_->setGridSize(GalleryDelegate::CellSize(list_->fontMetrics(), false));
  list_->setToolTip(QString());

  openAction_->setObjectName(QStringLiteral("GalleryOpen"));
  showInFolderAction_->setObjectName(QStringLiteral("GalleryShowInFolder"));
  revertAction_->setObjectName(QStringLiteral("GalleryRevert"));
  openAction_->setStatusTip(QStringLiteral("Open the picture in the desktop's picture editor"));
  showInFolderAction_->setStatusTip(QStringLiteral("Open the folder that holds the picture"));
  revertAction_->setStatusTip(QStringLiteral("Write the picture back as it was unpacked"));
  list_->setContextMenuPolicy(Qt::ActionsContextMenu);
  list_->addAction(openAction_);
  list_->addAction(showInFolderAction_);
  auto* separator = new QAction(this);
  separator->setSeparator(true);
  list_->addAction(separator);
  list_->addAction(revertAction_);

  auto* bar = new QHBoxLayout;
  bar->addWidget(show);
  bar->addWidget(filterBox_);
  bar->addWidget(count_, 1);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addLayout(bar);
  layout->addWidget(list_, 1);

  connect(filterBox_, &QComboBox::currentIndexChanged, this, [this] {
    const auto filter = static_cast<GalleryFilter>(filterBox_->currentData().toInt());
    filter_.SetFilter(filter);
    if (filter != GalleryFilter::All) model_.ExamineAll();
    UpdateCount();
  });
  connect(&model_, &GalleryModel::allExamined, this, &GalleryView::UpdateCount);
  connect(&filter_, &QAbstractItemModel::rowsInserted, this, &GalleryView::UpdateCount);
  connect(&filter_, &QAbstractItemModel::rowsRemoved, this, &GalleryView::UpdateCount);
  connect(&filter_, &QAbstractItemModel::modelReset, this, &GalleryView::UpdateCount);
  connect(list_, &QListView::doubleClicked, this, &GalleryView::OpenPicture);
  connect(openAction_, &QAction::triggered, this, [this] { OpenPicture(list_->currentIndex()); });
  connect(showInFolderAction_, &QAction::triggered, this, &GalleryView::ShowInFolder);
  connect(revertAction_, &QAction::triggered, this, [this] {
    const std::vector<int> numbers = SelectedNumbers();
    if (!numbers.empty()) emit revertRequested(numbers);
  });
  connect(list_, &GalleryListView::fileDropped, this, [this](const QModelIndex& index, const QString& file) {
    emit replaceRequested(index.data(GalleryModel::NumberRole).toInt(), file);
  });
  connect(list_->selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] {
    const bool any = list_->selectionModel()->hasSelection();
    openAction_->setEnabled(any);
    showInFolderAction_->setEnabled(any);
    revertAction_->setEnabled(any);
  });
  openAction_->setEnabled(false);
  showInFolderAction_->setEnabled(false);
  revertAction_->setEnabled(false);

  // Thumbnails are drawn for what is on screen: the rows shown are worked out once
  // the view has settled after a scroll or a resize.
  wantedTimer_.setSingleShot(true);
  wantedTimer_.setInterval(0);
  connect(&wantedTimer_, &QTimer::timeout, this, &GalleryView::UpdateWanted);
  connect(list_->verticalScrollBar(), &QScrollBar::valueChanged, this, [this] { UpdateWanted(); });
  connect(list_->verticalScrollBar(), &QScrollBar::rangeChanged, &wantedTimer_, qOverload<>(&QTimer::start));
  connect(&filter_, &QAbstractItemModel::layoutChanged, &wantedTimer_, qOverload<>(&QTimer::start));
  connect(&filter_, &QAbstractItemModel::rowsInserted, &wantedTimer_, qOverload<>(&QTimer::start));
  connect(&filter_, &QAbstractItemModel::rowsRemoved, &wantedTimer_, qOverload<>(&QTimer::start));
  connect(&filter_, &QAbstractItemModel::modelReset, &wantedTimer_, qOverload<>(&QTimer::start));

  reloadTimer_.setSingleShot(true);
  reloadTimer_.setInterval(250);
  connect(&reloadTimer_, &QTimer::timeout, this, &GalleryView::Reload);
  connect(&watcher_, &QFileSystemWatcher::directoryChanged, &reloadTimer_, qOverload<>(&QTimer::start));
  connect(&watcher_, &QFileSystemWatcher::fileChanged, &reloadTimer_, qOverload<>(&QTimer::start));

  connect(list_, &QListView::entered, this, &GalleryView::Hover);
  connect(list_, &QListView::viewportEntered, this, &GalleryView::StopMovie);
  list_->viewport()->installEventFilter(this);
  UpdateCount();
}

GalleryView::~GalleryView() { StopMovie(); }

bool GalleryView::Show(const app::Session* session) {
  session_ = session;
  Reload();
  return model_.rowCount() > 0;
}

void GalleryView::Reload() {
  reloadTimer_.stop();
  std::shared_ptr<const app::PictureCatalogue> target, source;
  const bool drm = session_ != nullptr && !session_->nothingPending && !(session_->stageFlags & app::kSkinTarget);
  if (drm) {
    try {
      target = std::make_shared<const app::PictureCatalogue>(app::OpenCatalogue(*session_, 1));
      if (!session_->OneFileWork()) {
        try {
          source = std::make_shared<const app::PictureCatalogue>(app::OpenCatalogue(*session_, 2));
        } catch (const std::exception&) {
          // A source that holds a skin or was not unpacked has no pictures to stand beside.
        }
      }
    } catch (const std::exception&) {
      // No unpacked tree (the work is pending from an earlier run whose folder was
      // emptied, or it holds a skin): the window shows what is pending instead.
      target.reset();
    }
  }
  if (movieRow_ >= 0) StopMovie();
  const bool twoFiles = source != nullptr;
  model_.Load(std::move(target), std::move(source));
  list_->setGridSize(GalleryDelegate::CellSize(list_->fontMetrics(), twoFiles));
  if (filter_.Filter() != GalleryFilter::All) model_.ExamineAll();
  WatchFolders();
  UpdateCount();
  wantedTimer_.start();
}

void GalleryView::WatchFolders() {
  std::vector<fs::path> folders;
  if (model_.rowCount() > 0 && session_ != nullptr) {
    for (int slot : {1, 2}) {
      if (slot == 2 && !model_.TwoFiles()) continue;
      const fs::path& drmPack = session_->tree.DrmPackFolder(slot);
      for (const char* sub : {"icons", "raws"}) {
        std::error_code error;
        const fs::path folder = drmPack / sub;
        if (fs::is_directory(folder, error)) folders.push_back(folder);
      }
    }
  }
  QStringList wanted;
  for (const fs::path& folder : folders) wanted << PathToQString(folder);
  const QStringList watched = watcher_.directories();
  for (const QString& folder : watched) {
    if (!wanted.contains(folder)) watcher_.removePath(folder);
  }
  for (const QString& folder : wanted) {
    if (!watched.contains(folder)) watcher_.addPath(folder);
  }
}

void GalleryView::UpdateWanted() {
  std::set<int> rows;
  QStringList files;
  std::vector<int> fileRows;
  const QRect area = list_->viewport()->rect();
  if (filter_.rowCount() > 0 && !area.isEmpty()) {
    // Cells are laid out in row-major order: the first and last cells on screen bound the rows shown.
    const QSize grid = list_->gridSize();
    QModelIndex first, last;
    for (int y = area.top(); y <= area.bottom() && !first.isValid(); y += std::max(1, grid.height() / 2)) {
      for (int x = area.left(); x <= area.right() && !first.isValid(); x += std::max(1, grid.width() / 2)) {
        first = list_->indexAt(QPoint(x, y));
      }
    }
    for (int y = area.bottom(); y >= area.top() && !last.isValid(); y -= std::max(1, grid.height() / 2)) {
      for (int x = area.right(); x >= area.left() && !last.isValid(); x -= std::max(1, grid.width() / 2)) {
        last = list_->indexAt(QPoint(x, y));
      }
    }
    if (first.isValid() && last.isValid()) {
      for (int row = first.row(); row <= last.row(); ++row) {
        const int sourceRow = filter_.mapToSource(filter_.index(row, 0)).row();
        rows.insert(sourceRow);
        if (files.size() < kMostWatchedFiles) {
          const FileStamp& stamp = model_.StampAt(sourceRow);
          if (!stamp.file.empty()) {
            files << PathToQString(stamp.file);
            fileRows.push_back(sourceRow);
          }
        }
      }
    }
  }
  // A view not laid out yet shows nothing: until it is, every row asked for is drawn.
  model_.SetWanted(std::move(rows));
  // Rows dropped while the set was out of date are asked for again by the repaint.
  list_->viewport()->update();
  const QStringList watched = watcher_.files();
  for (const QString& file : watched) {
    if (!files.contains(file)) watcher_.removePath(file);
  }
  bool stale = false;
  for (qsizetype i = 0; i < files.size(); ++i) {
    if (watched.contains(files[i])) continue;
    watcher_.addPath(files[i]);
    // Written in place while it was off screen, where no watch saw it.
    const FileStamp& known = model_.StampAt(fileRows[static_cast<std::size_t>(i)]);
    stale = stale || StampOf(known.file) != known;
  }
  if (stale) reloadTimer_.start();
}

bool GalleryView::eventFilter(QObject* watched, QEvent* event) {
  if (watched == list_->viewport() && event->type() == QEvent::Leave) StopMovie();
  return QWidget::eventFilter(watched, event);
}

void GalleryView::UpdateCount() {
  const int all = model_.rowCount();
  const int shown = filter_.rowCount();
  if (all == 0) {
    count_->clear();
  } else if (filter_.Filter() == GalleryFilter::All) {
    count_->setText(all == 1 ? QStringLiteral("1 picture") : QStringLiteral("%1 pictures").arg(all));
  } else {
    count_->setText(QStringLiteral("%1 of %2 pictures%3")
                        .arg(shown)
                        .arg(all)
                        .arg(model_.Idle() ? QString() : QStringLiteral(" (examining…)")));
  }
}

std::vector<int> GalleryView::SelectedNumbers() const {
  std::vector<int> numbers;
  for (const QModelIndex& index : list_->selectionModel()->selectedIndexes()) {
    numbers.push_back(index.data(GalleryModel::NumberRole).toInt());
  }
  std::sort(numbers.begin(), numbers.end());
  return numbers;
}

void GalleryView::OpenPicture(const QModelIndex& index) {
  if (!index.isValid()) return;
  const QString file = index.data(GalleryModel::FileRole).toString();
  if (!file.isEmpty()) openUrl(QUrl::fromLocalFile(file));
}

void GalleryView::ShowInFolder() {
  const QModelIndex index = list_->currentIndex();
  if (!index.isValid() || session_ == nullptr) return;
  const QString file = index.data(GalleryModel::FileRole).toString();
  // A picture without a file is looked for where its file would be: the pictures folder.
  const fs::path folder = file.isEmpty() ? session_->tree.icons1Folder : QStringToPath(file).parent_path();
  openUrl(QUrl::fromLocalFile(PathToQString(folder)));
}

int GalleryView::PlayingRow() const { return movie_ != nullptr ? movieRow_ : -1; }

void GalleryView::Hover(const QModelIndex& index) {
  const QModelIndex at = index.model() == &filter_ ? filter_.mapToSource(index) : index;
  if (at.isValid() && at.row() == movieRow_) return;
  StopMovie();
  if (!at.isValid() || !at.data(GalleryModel::AnimatedRole).toBool()) return;
  const QString file = at.data(GalleryModel::FileRole).toString();
  if (file.isEmpty()) return;
  const QSize size = QImageReader(file).size();
  if (!size.isValid() || size.isEmpty()) return;
  movie_ = new QMovie(file, QByteArray(), this);
  movie_->setCacheMode(QMovie::CacheNone);
  movie_->setScaledSize(size.scaled(QSize(kSide, kSide).boundedTo(size), Qt::KeepAspectRatio));
  movieRow_ = at.row();
  connect(movie_, &QMovie::frameChanged, this, [this] {
    if (movie_ != nullptr) model_.SetLiveFrame(movieRow_, movie_->currentImage());
  });
  movie_->start();
}

void GalleryView::StopMovie() {
  if (movie_ != nullptr) {
    movie_->stop();
    movie_->deleteLater();
    movie_ = nullptr;
  }
  if (movieRow_ >= 0) model_.SetLiveFrame(movieRow_, QImage());
  movieRow_ = -1;
}

}  // namespace resmill::gui
