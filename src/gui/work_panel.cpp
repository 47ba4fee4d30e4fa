#include "work_panel.h"

#include <QDesktopServices>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "gallery_view.h"

namespace resmill::gui {

namespace {
// Places in the panel's layout.
constexpr int kTopSpace = 0;
constexpr int kGalleryPlace = 4;
constexpr int kBottomSpace = 5;
}  // namespace

WorkPanel::WorkPanel(QWidget* parent)
    : QWidget(parent),
      openUrl([](const QUrl& url) { return QDesktopServices::openUrl(url); }),
      text_(new QLabel(this)),
      folder_(new QLabel(this)),
      openFolder_(new QPushButton(QStringLiteral("Open Pictures Folder"), this)),
      gallery_(new GalleryView(this)),
      layout_(new QVBoxLayout(this)) {
  setObjectName(QStringLiteral("WorkPanel"));
  text_->setObjectName(QStringLiteral("WorkText"));
  text_->setWordWrap(true);
  text_->setAlignment(Qt::AlignCenter);
  folder_->setObjectName(QStringLiteral("PicturesFolder"));
  folder_->setWordWrap(true);
  folder_->setAlignment(Qt::AlignCenter);
  folder_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  openFolder_->setObjectName(QStringLiteral("OpenFolderButton"));
  openFolder_->setAutoDefault(false);
  // One road to the desktop, so that whoever replaces it sees every file and folder handed over.
  gallery_->openUrl = [this](const QUrl& url) { return openUrl(url); };

  layout_->addStretch(1);
  layout_->addWidget(text_);
  layout_->addWidget(folder_);
  layout_->addWidget(openFolder_, 0, Qt::AlignHCenter);
  layout_->addWidget(gallery_, 0);
  layout_->addStretch(1);

  connect(openFolder_, &QPushButton::clicked, this, [this] {
    if (!picturesFolder_.isEmpty()) openUrl(QUrl::fromLocalFile(picturesFolder_));
  });
  Show(PendingWork{});
}

void WorkPanel::Show(const PendingWork& work) {
  picturesFolder_ = work.pending ? work.picturesFolder : QString();
  text_->setText(work.pending ? work.what : QString::fromUtf8(kFirstSteps));
  folder_->setText(work.pending ? QStringLiteral("The pictures to edit are in %1").arg(work.picturesFolder)
                                : QString());
  folder_->setVisible(work.pending);
  openFolder_->setVisible(work.pending);
  const bool gallery = gallery_->Show(work.pending ? work.session : nullptr);
  gallery_->setVisible(gallery);
  // With a gallery the pictures take the room; without, the text stands in the middle.
  layout_->setStretch(kTopSpace, gallery ? 0 : 1);
  layout_->setStretch(kGalleryPlace, gallery ? 1 : 0);
  layout_->setStretch(kBottomSpace, gallery ? 0 : 1);
}

QString WorkPanel::Text() const {
  return folder_->isVisibleTo(this) ? text_->text() + u'\n' + folder_->text() : text_->text();
}

}  // namespace resmill::gui
