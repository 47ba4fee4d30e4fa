#include "icon_size_dialog.h"

#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "form_size.h"
#include "modal_runner.h"
#include "qt_text.h"

namespace resmill::gui {

namespace {
QLabel* AddLabel(QWidget* parent, const char* name, const QString& text, bool bold) {
  auto* label = new QLabel(text, parent);
  label->setObjectName(QString::fromUtf8(name));
  if (bold) {
    QFont font = label->font();
    font.setBold(true);
    label->setFont(font);
  }
  label->setAlignment(Qt::AlignCenter);
  return label;
}

QLineEdit* AddEdit(QWidget* parent, const char* name) {
  auto* edit = new QLineEdit(parent);
  edit->setObjectName(QString::fromUtf8(name));
  edit->setMaxLength(replacement::IconSizeEdit::kMaxLength);
  edit->setMinimumWidth(65);
  return edit;
}
}  // namespace

IconSizeDialog::IconSizeDialog(QWidget* owner)
    : QDialog(owner, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::MSWindowsFixedSizeDialogHint) {
  setObjectName(QStringLiteral("AboutBox3"));
  setWindowTitle(ToQString(replacement::kIconSizeCaption));

  auto* grid = new QGridLayout(this);
  grid->setContentsMargins(16, 12, 16, 12);
  label4_ = AddLabel(this, "Label4", QString(), true);
  grid->addWidget(label4_, 0, 0, 1, 3);
  grid->addWidget(AddLabel(this, "Label2", QStringLiteral("Width"), false), 1, 0);
  grid->addWidget(AddLabel(this, "Label3", QStringLiteral("Height"), false), 1, 2);
  edit1_ = AddEdit(this, "Edit1");
  edit2_ = AddEdit(this, "Edit2");
  grid->addWidget(edit1_, 2, 0);
  grid->addWidget(AddLabel(this, "Label1", QStringLiteral("X"), true), 2, 1);
  grid->addWidget(edit2_, 2, 2);

  auto* ok = new FormButton(QStringLiteral("OK"), {66, 25}, this);
  ok->setObjectName(QStringLiteral("OKButton"));
  ok->setDefault(true);
  grid->addWidget(ok, 3, 0, 1, 3, Qt::AlignHCenter);
  connect(ok, &QPushButton::clicked, this, &QDialog::accept);

  // textEdited comes from the user only; putting a value back does not loop.
  connect(edit1_, &QLineEdit::textEdited, this, [this](const QString& text) { Edited(edit1_, width_, text); });
  connect(edit2_, &QLineEdit::textEdited, this, [this](const QString& text) { Edited(edit2_, height_, text); });
  FormSize::Keep(*this, QSize(210, 138));
}

void IconSizeDialog::Edited(QLineEdit* edit, replacement::IconSizeEdit& rule, const QString& text) {
  const QString shown = ToQString(rule.OnTextChanged(text.toStdString()));
  if (shown != text) edit->setText(shown);
}

QString IconSizeDialog::Message() const { return label4_->text(); }

IconSize IconSizeDialog::Ask(std::string_view iconName, ModalRunner& runner) {
  width_.Reset();
  height_.Reset();
  edit1_->setText(ToQString(width_.Text()));
  edit2_->setText(ToQString(height_.Text()));
  // The dialog fits itself to the message when it is shown.
  label4_->setText(ToQString(replacement::IconSizeMessage(iconName)));
  edit1_->setFocus();
  edit1_->selectAll();
  runner.Run(*this);
  return IconSize{width_.Value(), height_.Value()};
}

}  // namespace resmill::gui
