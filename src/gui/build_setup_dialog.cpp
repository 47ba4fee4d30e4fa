#include "build_setup_dialog.h"

#include <QApplication>
#include <QCheckBox>
#include <QImage>
#include <QListWidget>
#include <QMessageBox>
#include <QPainter>
#include <QPushButton>
#include <QStyle>
#include <exception>

#include "fit_text.h"
#include "modal_runner.h"
#include "qt_text.h"

namespace resmill::gui {

namespace {
QRect ToQRect(const build::Rect& r) { return QRect(r.left, r.top, r.width, r.height); }

QPushButton* AddButton(QWidget* parent, const char* name, const char* caption, const build::Rect& r) {
  auto* button = new QPushButton(QString::fromUtf8(caption), parent);
  button->setObjectName(QString::fromUtf8(name));
  button->setGeometry(ToQRect(r));
  ShrinkToFit(button, button->text(), r.width - 8);
  return button;
}

QCheckBox* AddCheckBox(QWidget* parent, const char* name, const char* caption, const build::Rect& r) {
  auto* box = new QCheckBox(QString::fromUtf8(caption), parent);
  box->setObjectName(QString::fromUtf8(name));
  box->setGeometry(ToQRect(r));
  ShrinkToFit(box, box->text(), r.width - 22);
  return box;
}

QListWidget* AddList(QWidget* parent, const char* name, const build::Rect& r) {
  auto* list = new QListWidget(parent);
  list->setObjectName(QString::fromUtf8(name));
  list->setGeometry(ToQRect(r));
  list->setSelectionMode(QAbstractItemView::SingleSelection);
  return list;
}

void FillList(QListWidget* list, const std::vector<std::string>& items, int selection) {
  QStringList names;
  names.reserve(static_cast<qsizetype>(items.size()));
  for (const std::string& item : items) names << QFile::decodeName(QByteArray::fromStdString(item));
  bool same = list->count() == names.size();
  for (int i = 0; same && i < list->count(); ++i) same = list->item(i)->text() == names[i];
  if (!same) {
    list->clear();
    list->addItems(names);
  }
  if (list->currentRow() != selection) list->setCurrentRow(selection);
}

void DrawOnePreview(QPainter& painter, const build::Preview& preview) {
  if (preview.empty) return;
  painter.fillRect(ToQRect(preview.blackArea), Qt::black);
  if (preview.hasPicture && preview.image.width > 0 && preview.image.height > 0) {
    QImage image(reinterpret_cast<const uchar*>(preview.image.argb.data()), preview.image.width,
                 preview.image.height, preview.image.width * 4, QImage::Format_ARGB32);
    painter.drawImage(QPoint(preview.picture.left, preview.picture.top), image);
  } else if (preview.noImage) {
    QFont font(ToQString(build::kNoImageFont));
    font.setPixelSize(build::kNoImageFontPixels);
    painter.setFont(font);
    painter.setPen(Qt::white);
    painter.drawText(QRectF(preview.textX, preview.textY, 200, 40), Qt::AlignLeft | Qt::AlignTop,
                     ToQString(build::kNoImageText));
  }
}
}  // namespace

BuildSetupDialog::BuildSetupDialog(app::Session& session, ModalRunner& runner, QWidget* owner)
    : QDialog(owner, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint), session_(session), runner_(runner) {
  setObjectName(QStringLiteral("AboutBox2"));
  setWindowTitle(QStringLiteral("Build Setup"));
  setFixedSize(560, 313);
  model_ = std::make_unique<build::BuildSetupModel>(Folders(), session_.replacementTable, session_.ui);

  listBox1_ = AddList(this, "ListBox1", build::kTargetListRect);
  listBox2_ = AddList(this, "ListBox2", build::kSourceListRect);
  button3_ = AddButton(this, "Button3", "<=", {264, 200, 33, 25});
  button4_ = AddButton(this, "Button4", "Select source folder", {304, 8, 105, 25});
  button6_ = AddButton(this, "Button6", "Reset", {472, 200, 75, 25});
  QPalette red = button6_->palette();
  red.setColor(QPalette::ButtonText, Qt::red);
  button6_->setPalette(red);
  checkBox1_ = AddCheckBox(this, "CheckBox1", "Match Size", {152, 240, 97, 17});
  checkBox2_ = AddCheckBox(this, "CheckBox2", "Apply port table", {304, 240, 120, 17});
  checkBox3_ = AddCheckBox(this, "CheckBox3", "Stretch", {16, 200, 97, 17});
  QPushButton* cancel = AddButton(this, "Button1", "Cancel", {384, 272, 75, 25});
  QPushButton* ok = AddButton(this, "Button2", "OK", {480, 272, 75, 25});
  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
  connect(ok, &QPushButton::clicked, this, &QDialog::accept);

  connect(listBox1_, &QListWidget::currentRowChanged, this, [this](int row) {
    if (!syncing_) Do("Selecting an icon", [this, row] { model_->SelectTarget(row); });
  });
  connect(listBox2_, &QListWidget::currentRowChanged, this, [this](int row) {
    if (!syncing_) Do("Selecting a picture", [this, row] { model_->SelectSource(row); });
  });
  connect(button3_, &QPushButton::clicked, this, [this] { Do("Pairing", [this] { model_->Pair(); }); });
  connect(button4_, &QPushButton::clicked, this,
          [this] { Do("Selecting the source folder", [this] { model_->ChooseSourceFolder(); }); });
  connect(button6_, &QPushButton::clicked, this, [this] { Do("Reset", [this] { model_->Reset(); }); });
  connect(checkBox1_, &QCheckBox::clicked, this,
          [this](bool checked) { Do("Match Size", [this, checked] { model_->SetMatchSize(checked); }); });
  connect(checkBox2_, &QCheckBox::clicked, this,
          [this] { Do("Applying the port table", [this] { model_->ApplyPortTable(); }); });
  connect(checkBox3_, &QCheckBox::clicked, this,
          [this](bool checked) { Do("Stretch", [this, checked] { model_->SetStretch(checked); }); });
}

BuildSetupDialog::~BuildSetupDialog() = default;

build::BuildSetupFolders BuildSetupDialog::Folders() const {
  build::BuildSetupFolders folders;
  folders.targetIconsFolder = session_.tree.icons1Folder;
  folders.sourceIconsFolder = session_.tree.icons2Folder;
  folders.tempFolder = session_.tree.drmPack1Folder;
  folders.startFolder = session_.programFolder;
  return folders;
}

int BuildSetupDialog::Execute() {
  // The work folder may have been changed in Settings after the program
  // started; the lists must come from the tree that Open filled.
  if (model_->TargetIconsFolder() != session_.tree.icons1Folder) {
    model_ = std::make_unique<build::BuildSetupModel>(Folders(), session_.replacementTable, session_.ui);
  }
  const build::BuildSetupStage stage{session_.OneFileWork(), session_.settings.convertRawToBmp};
  model_->Show(stage, session_.buildCompleted);
  Sync();
  return runner_.Run(*this);
}

template <typename Action>
void BuildSetupDialog::Do(const char* what, Action&& action) {
  try {
    action();
  } catch (const std::exception& e) {
    QMessageBox box(QMessageBox::Critical, QStringLiteral("Error"),
                    QStringLiteral("%1 failed.\n\n%2").arg(QString::fromUtf8(what), ToQString(e.what())),
                    QMessageBox::Ok, this);
    runner_.Run(box);
  }
  Sync();
}

void BuildSetupDialog::Sync() {
  syncing_ = true;
  FillList(listBox1_, model_->TargetItems(), model_->TargetSelection());
  FillList(listBox2_, model_->SourceItems(), model_->SourceSelection());
  const build::BuildSetupControls c = model_->Controls();
  button3_->setEnabled(c.pairEnabled);
  button6_->setEnabled(c.resetEnabled);
  checkBox1_->setEnabled(c.matchSizeEnabled);
  checkBox1_->setChecked(c.matchSizeChecked);
  checkBox2_->setEnabled(c.portTableEnabled);
  checkBox2_->setChecked(c.portTableChecked);
  checkBox3_->setChecked(c.stretchChecked);
  syncing_ = false;
  RedrawPreviews();
}

void BuildSetupDialog::RedrawPreviews() {
  try {
    targetPreview_ = model_->TargetPreview();
    sourcePreview_ = model_->SourcePreview();
  } catch (const std::exception&) {
    // A preview that cannot be made shows nothing; the pairing still works.
    targetPreview_ = build::Preview{};
    sourcePreview_ = build::Preview{};
  }
  update();
}

void BuildSetupDialog::paintEvent(QPaintEvent* event) {
  QDialog::paintEvent(event);
  QPainter painter(this);
  DrawOnePreview(painter, targetPreview_);
  DrawOnePreview(painter, sourcePreview_);
  if (model_->Controls().pairingMarkerShown) {
    const QIcon warning = style()->standardIcon(QStyle::SP_MessageBoxWarning, nullptr, this);
    painter.drawPixmap(build::kMarkerLeft, build::kMarkerTop, warning.pixmap(32, 32));
  }
}

}  // namespace resmill::gui
