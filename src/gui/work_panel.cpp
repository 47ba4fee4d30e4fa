#include "work_panel.h"

#include <QDesktopServices>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>


namespace resmill::gui {

WorkPanel::WorkPanel(QWidget* parent)
    : QWidget(parent),
      openUrl([](const QUrl& url) { return QDesktopServices::openUrl(url); }),
      text_(new QLabel(this)),
      folder_(new QLabel(this)),
      openFolder_(new QPushButton(QStringLiteral("Open Pictures Folder"), this)) {
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

  auto* layout = new QVBoxLayout(this);
  layout->addStretch(1);
  layout->addWidget(text_);
  layout->addWidget(folder_);
  layout->addWidget(openFolder_, 0, Qt::AlignHCenter);
  layout->addStretch(1);

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
}

QString WorkPanel::Text() const {
  return folder_->isVisibleTo(this) ? text_->text() + u'\n' + folder_->text() : text_->text();
}

}  // namespace resmill::gui
