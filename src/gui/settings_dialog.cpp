#include "settings_dialog.h"

#include <QCheckBox>
#include <QFrame>
#include <QPushButton>
#include <QVBoxLayout>

#include "fit_text.h"
#include "qt_text.h"

namespace resmill::gui {

namespace {
QFrame* SunkenPanel(QWidget* parent, int left, int top, int width, int height) {
  auto* panel = new QFrame(parent);
  panel->setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
  panel->setGeometry(left, top, width, height);
  auto* layout = new QVBoxLayout(panel);
  layout->setContentsMargins(8, 6, 8, 6);
  return panel;
}

QCheckBox* AddBox(QFrame* panel, const char* name, const char* caption) {
  auto* box = new QCheckBox(QString::fromUtf8(caption), panel);
  box->setObjectName(QString::fromUtf8(name));
  ShrinkToFit(box, box->text(), panel->width() - 16 - 24);
  panel->layout()->addWidget(box);
  return box;
}
}  // namespace

SettingsDialog::SettingsDialog(app::Settings& settings, ModalRunner& runner, QWidget* owner)
    : QDialog(owner, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint),
      settings_(settings),
      openDirectory1_(runner, this) {
  setObjectName(QStringLiteral("AboutBox1"));
  setWindowTitle(QStringLiteral("Settings"));
  setFixedSize(321, 283);
  openDirectory1_.Title = QStringLiteral("Select a folder");
  openDirectory1_.EnableSizing = true;

  QFrame* first = SunkenPanel(this, 8, 8, 305, 112);
  checkBox1_ = AddBox(first, "CheckBox1", "Do not perform clean-up on completion");
  checkBox2_ = AddBox(first, "CheckBox2", "Edit only mode (Export from dialog is not invoked)");
  checkBox6_ = AddBox(first, "CheckBox6", "Auto-close app on stage completion");
  QFrame* second = SunkenPanel(this, 8, 128, 305, 44);
  checkBox4_ = AddBox(second, "CheckBox4", "Disable RAW 2 BMP conversion");
  QFrame* third = SunkenPanel(this, 8, 180, 305, 44);
  checkBox3_ = AddBox(third, "CheckBox3", "Select folder to save icons and CG's ");

  auto* cancel = new QPushButton(QStringLiteral("Cancel"), this);
  cancel->setObjectName(QStringLiteral("Button1"));
  cancel->setGeometry(48, 240, 91, 27);
  auto* ok = new QPushButton(QStringLiteral("OK"), this);
  ok->setObjectName(QStringLiteral("Button2"));
  ok->setGeometry(182, 240, 91, 27);
  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
  connect(ok, &QPushButton::clicked, this, &QDialog::accept);

  // Reactions to the user's clicks only; filling the boxes from the settings
  // must not run them (the folder chooser above all).
  connect(checkBox4_, &QCheckBox::clicked, this, [this](bool ticked) { settings_.convertRawToBmp = !ticked; });
  connect(checkBox6_, &QCheckBox::clicked, this, [this](bool ticked) { settings_.autoCloseOnStage = ticked; });
  connect(checkBox3_, &QCheckBox::clicked, this, &SettingsDialog::CheckBox3Click);

  LoadFromSettings();
}

void SettingsDialog::LoadFromSettings() {
  // setChecked emits no clicked(), so no reaction runs here.
  checkBox1_->setChecked(!settings_.cleanUpOnCompletion);
  checkBox2_->setChecked(!settings_.askForSourceFile);
  checkBox4_->setChecked(!settings_.convertRawToBmp);
  checkBox6_->setChecked(settings_.autoCloseOnStage);
}

void SettingsDialog::CheckBox3Click(bool ticked) {
  if (!ticked) return;
  openDirectory1_.StartFolder = PathToQString(settings_.workFolder);
  if (!openDirectory1_.Execute()) checkBox3_->setChecked(false);
}

app::SettingsChoice SettingsDialog::Choice() const {
  app::SettingsChoice choice;
  choice.cleanUpOnCompletion = !checkBox1_->isChecked();
  choice.askForSourceFile = !checkBox2_->isChecked();
  choice.convertRawToBmp = !checkBox4_->isChecked();
  if (checkBox3_->isChecked() && !openDirectory1_.ChosenFolder().isEmpty()) {
    choice.newWorkFolder = QStringToPath(openDirectory1_.ChosenFolder());
  }
  return choice;
}

QCheckBox* SettingsDialog::checkBox(int number) const {
  switch (number) {
    case 1: return checkBox1_;
    case 2: return checkBox2_;
    case 3: return checkBox3_;
    case 4: return checkBox4_;
    case 6: return checkBox6_;
    default: return nullptr;
  }
}

}  // namespace resmill::gui
