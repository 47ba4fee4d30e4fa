#include "settings_dialog.h"

#include <QCheckBox>
#include <QFrame>
#include <QHBoxLayout>
#include <QPushButton>
#include <QVBoxLayout>

#include "form_size.h"
#include "qt_text.h"

namespace resmill::gui {

namespace {
QFrame* SunkenPanel(QWidget* parent, QVBoxLayout* into) {
  auto* panel = new QFrame(parent);
  panel->setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
  auto* layout = new QVBoxLayout(panel);
  layout->setContentsMargins(8, 6, 8, 6);
  into->addWidget(panel);
  return panel;
}

QCheckBox* AddBox(QFrame* panel, const char* name, const char* caption) {
  auto* box = new QCheckBox(QString::fromUtf8(caption), panel);
  box->setObjectName(QString::fromUtf8(name));
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
  openDirectory1_.Title = QStringLiteral("Select a folder");
  openDirectory1_.EnableSizing = true;

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(8, 8, 8, 12);
  QFrame* first = SunkenPanel(this, layout);
  checkBox1_ = AddBox(first, "CheckBox1", "Do not perform clean-up on completion");
  checkBox2_ = AddBox(first, "CheckBox2", "Edit only mode (Export from dialog is not invoked)");
  checkBox6_ = AddBox(first, "CheckBox6", "Auto-close app on stage completion");
  QFrame* second = SunkenPanel(this, layout);
  checkBox4_ = AddBox(second, "CheckBox4", "Disable RAW 2 BMP conversion");
  QFrame* third = SunkenPanel(this, layout);
  checkBox3_ = AddBox(third, "CheckBox3", "Select folder to save icons and CG's ");
  layout->addStretch(1);

  auto* cancel = new FormButton(QStringLiteral("Cancel"), {91, 27}, this);
  cancel->setObjectName(QStringLiteral("Button1"));
  auto* ok = new FormButton(QStringLiteral("OK"), {91, 27}, this);
  ok->setObjectName(QStringLiteral("Button2"));
  // OK applies the settings: Enter means OK, wherever the focus is.
  cancel->setAutoDefault(false);
  ok->setDefault(true);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(cancel);
  buttons->addStretch(1);
  buttons->addWidget(ok);
  buttons->addStretch(1);
  layout->addLayout(buttons);
  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
  connect(ok, &QPushButton::clicked, this, &QDialog::accept);

  // Reactions to the user's clicks only; filling the boxes from the settings
  // must not run them (the folder chooser above all).
  connect(checkBox4_, &QCheckBox::clicked, this, [this](bool ticked) { settings_.convertRawToBmp = !ticked; });
  connect(checkBox6_, &QCheckBox::clicked, this, [this](bool ticked) { settings_.autoCloseOnStage = ticked; });
  connect(checkBox3_, &QCheckBox::clicked, this, &SettingsDialog::CheckBox3Click);

  FormSize::Keep(*this, QSize(321, 283));
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
