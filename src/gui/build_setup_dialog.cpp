#include "build_setup_dialog.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QImage>
#include <QListWidget>
#include <QMessageBox>
#include <QPainter>
#include <QPushButton>
#include <QStyle>
#include <exception>

#include "form_size.h"
#include "message_box.h"
#include "modal_runner.h"
#include "qt_text.h"
#include "qt_user_interface.h"

namespace resmill::gui {

namespace {
QRect ToQRect(const replacement::Rect& r) { return QRect(r.left, r.top, r.width, r.height); }

QPushButton* AddButton(QWidget* parent, const char* name, const char* caption, QSize formSize) {
  auto* button = new FormButton(QString::fromUtf8(caption), formSize, parent);
  button->setObjectName(QString::fromUtf8(name));
  // Only OK finishes the dialog with Enter; "<=" and the others need a click.
  button->setAutoDefault(false);
  return button;
}

QCheckBox* AddCheckBox(QWidget* parent, const char* name, const char* caption) {
  auto* box = new QCheckBox(QString::fromUtf8(caption), parent);
  box->setObjectName(QString::fromUtf8(name));
  return box;
}

QListWidget* AddList(QWidget* parent, const char* name, const replacement::Rect& r) {
  auto* list = new QListWidget(parent);
  list->setObjectName(QString::fromUtf8(name));
  list->setMinimumSize(r.width, r.height);
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

}  // namespace

/// One preview panel. The model places a preview in the form's coordinates;
/// the panel draws it relative to its own corner.
class PreviewPanel final : public QWidget {
 public:
  PreviewPanel(QWidget* parent, const char* name, const replacement::Rect& form, const replacement::Preview& preview)
      : QWidget(parent), form_(form), preview_(preview) {
    setObjectName(QString::fromUtf8(name));
    setFixedSize(form.width, form.height);
  }

 protected:
  void paintEvent(QPaintEvent*) override {
    if (preview_.empty) return;
    QPainter painter(this);
    painter.translate(-form_.left, -form_.top);
    painter.fillRect(ToQRect(preview_.blackArea), Qt::black);
    if (preview_.hasPicture && preview_.image.width > 0 && preview_.image.height > 0) {
      QImage image(reinterpret_cast<const uchar*>(preview_.image.argb.data()), preview_.image.width,
                   preview_.image.height, preview_.image.width * 4, QImage::Format_ARGB32);
      painter.drawImage(QPoint(preview_.picture.left, preview_.picture.top), image);
    } else if (preview_.noImage) {
      QFont font(ToQString(replacement::kNoImageFont));
      font.setPixelSize(replacement::kNoImageFontPixels);
      painter.setFont(font);
      painter.setPen(Qt::white);
      painter.drawText(QRectF(preview_.textX, preview_.textY, 200, 40), Qt::AlignLeft | Qt::AlignTop,
                       ToQString(replacement::kNoImageText));
    }
  }

 private:
  replacement::Rect form_;
  const replacement::Preview& preview_;
};

/// The pairing marker: the platform's warning icon beside the target list
/// while the selected icon is paired. It keeps its room when hidden, so the
/// lists do not move.
class PairingMarker final : public QWidget {
 public:
  explicit PairingMarker(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("PairingMarker"));
    setFixedSize(32, 32);
  }
  void SetShown(bool shown) {
    if (shown_ == shown) return;
    shown_ = shown;
    update();
  }
  bool Shown() const { return shown_; }

 protected:
  void paintEvent(QPaintEvent*) override {
    if (!shown_) return;
    QPainter painter(this);
    const QIcon warning = style()->standardIcon(QStyle::SP_MessageBoxWarning, nullptr, this);
    painter.drawPixmap(0, 0, warning.pixmap(32, 32));
  }

 private:
  bool shown_ = false;
};

BuildSetupDialog::BuildSetupDialog(app::Session& session, QtUserInterface& ui, ModalRunner& runner, QWidget* owner)
    : QDialog(owner, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint), session_(session), ui_(ui), runner_(runner) {
  setObjectName(QStringLiteral("AboutBox2"));
  setWindowTitle(QStringLiteral("Build Setup"));
  model_ = std::make_unique<replacement::BuildSetupModel>(app::BuildSetupFoldersOf(session_), pairings_, ui_);

  listBox1_ = AddList(this, "ListBox1", replacement::kTargetListRect);
  listBox2_ = AddList(this, "ListBox2", replacement::kSourceListRect);
  panel1_ = new PreviewPanel(this, "Panel1", replacement::kTargetPanelRect, targetPreview_);
  panel2_ = new PreviewPanel(this, "Panel2", replacement::kSourcePanelRect, sourcePreview_);
  marker_ = new PairingMarker(this);
  button3_ = AddButton(this, "Button3", "<=", {33, 25});
  button4_ = AddButton(this, "Button4", "Select source folder", {105, 25});
  button6_ = AddButton(this, "Button6", "Reset", {75, 25});
  // Red only while it can be pressed: disabled, it looks like any disabled button.
  QPalette red = button6_->palette();
  red.setColor(QPalette::Active, QPalette::ButtonText, Qt::red);
  red.setColor(QPalette::Inactive, QPalette::ButtonText, Qt::red);
  button6_->setPalette(red);
  checkBox1_ = AddCheckBox(this, "CheckBox1", "Match Size");
  checkBox2_ = AddCheckBox(this, "CheckBox2", "Apply port table");
  checkBox3_ = AddCheckBox(this, "CheckBox3", "Stretch");
  QPushButton* cancel = AddButton(this, "Button1", "Cancel", {75, 25});
  QPushButton* ok = AddButton(this, "Button2", "OK", {75, 25});
  ok->setDefault(true);
  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
  connect(ok, &QPushButton::clicked, this, &QDialog::accept);

  // The form's arrangement, left to right: target preview, target list, the
  // marker above "<=", source list (under "Select source folder"), source preview.
  auto* grid = new QGridLayout(this);
  grid->setContentsMargins(8, 8, 8, 12);
  grid->setHorizontalSpacing(10);
  grid->addWidget(button4_, 0, 3);
  grid->addWidget(panel1_, 1, 0, Qt::AlignTop);
  grid->addWidget(listBox1_, 1, 1, 2, 1);
  grid->addWidget(marker_, 1, 2, Qt::AlignTop | Qt::AlignHCenter);
  grid->addWidget(button3_, 2, 2, Qt::AlignBottom);
  grid->addWidget(listBox2_, 1, 3, 2, 1);
  grid->addWidget(panel2_, 1, 4, Qt::AlignTop);
  grid->addWidget(checkBox3_, 2, 0, Qt::AlignTop | Qt::AlignLeft);
  grid->addWidget(button6_, 2, 4, Qt::AlignTop | Qt::AlignRight);
  grid->addWidget(checkBox1_, 3, 1);
  grid->addWidget(checkBox2_, 3, 3);
  grid->setRowStretch(1, 1);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(cancel);
  buttons->addSpacing(16);
  buttons->addWidget(ok);
  grid->addLayout(buttons, 4, 0, 1, 5);
  FormSize::Keep(*this, QSize(560, 313));

  connect(listBox1_, &QListWidget::currentRowChanged, this, [this](int row) {
    if (!syncing_) Do("Selecting an icon", [this, row] { model_->SelectTarget(row); });
  });
  connect(listBox2_, &QListWidget::currentRowChanged, this, [this](int row) {
    if (!syncing_) Do("Selecting a picture", [this, row] { model_->SelectSource(row); });
  });
  connect(button3_, &QPushButton::clicked, this, [this] { Do("Pairing", [this] { model_->Pair(); }); });
  connect(button4_, &QPushButton::clicked, this,
          [this] {
    Do("Selecting the source folder", [this] {
      if (auto chosen = ui_.ChooseFolder("", model_->SourceFolderStart())) model_->SetSourceFolder(*chosen);
    });
  });
  connect(button6_, &QPushButton::clicked, this, [this] { Do("Reset", [this] { model_->Reset(); }); });
  connect(checkBox1_, &QCheckBox::clicked, this,
          [this](bool checked) { Do("Match Size", [this, checked] { model_->SetMatchSize(checked); }); });
  connect(checkBox2_, &QCheckBox::clicked, this,
          [this] {
    Do("Applying the port table", [this] {
      model_->ApplyPortTable(ui_.ChooseOpenFile(replacement::kPortTableTitle, replacement::kPortTableFilter));
    });
  });
  connect(checkBox3_, &QCheckBox::clicked, this,
          [this](bool checked) { Do("Stretch", [this, checked] { model_->SetStretch(checked); }); });
}

BuildSetupDialog::~BuildSetupDialog() = default;

int BuildSetupDialog::Execute() {
  // The work folder may have been changed in Settings after the program
  // started; the lists must come from the tree that Open filled.
  if (model_->TargetIconsFolder() != session_.tree.icons1Folder) {
    model_ = std::make_unique<replacement::BuildSetupModel>(app::BuildSetupFoldersOf(session_), pairings_, ui_);
  }
  model_->Show(app::BuildSetupStageOf(session_), session_.buildCompleted);
  Sync();
  return runner_.Run(*this);
}

template <typename Action>
void BuildSetupDialog::Do(const char* what, Action&& action) {
  try {
    action();
  } catch (const std::exception& e) {
    ReportError(runner_, this, QString::fromUtf8(what), ToQString(e.what()));
  }
  Sync();
}

void BuildSetupDialog::Sync() {
  syncing_ = true;
  FillList(listBox1_, model_->TargetItems(), model_->TargetSelection());
  FillList(listBox2_, model_->SourceItems(), model_->SourceSelection());
  const replacement::BuildSetupControls c = model_->Controls();
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
    targetPreview_ = replacement::Preview{};
    sourcePreview_ = replacement::Preview{};
  }
  marker_->SetShown(model_->Controls().pairingMarkerShown);
  panel1_->update();
  panel2_->update();
}

bool BuildSetupDialog::MarkerShown() const { return marker_->Shown(); }
QWidget* BuildSetupDialog::targetPanel() const { return panel1_; }
QWidget* BuildSetupDialog::sourcePanel() const { return panel2_; }

}  // namespace resmill::gui
