#include "icon_size_dialog.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "modal_runner.h"
#include "qt_text.h"

namespace resmill::gui {

namespace {
QLabel* AddLabel(QWidget* parent, const char* name, const QString& text, int left, int top, bool bold) {
  auto* label = new QLabel(text, parent);
  label->setObjectName(QString::fromUtf8(name));
  if (bold) {
    QFont font = label->font();
    font.setBold(true);
    label->setFont(font);
  }
  label->move(left, top);
  label->adjustSize();
  return label;
}

QLineEdit* AddEdit(QWidget* parent, const char* name, int left) {
  auto* edit = new QLineEdit(parent);
  edit->setObjectName(QString::fromUtf8(name));
  edit->setMaxLength(build::IconSizeEdit::kMaxLength);
  edit->setGeometry(left, 61, 65, 21);
  return edit;
}
}  // namespace

IconSizeDialog::IconSizeDialog(QWidget* owner)
    : QDialog(owner, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::MSWindowsFixedSizeDialogHint) {
  setObjectName(QStringLiteral("AboutBox3"));
  setWindowTitle(ToQString(build::kIconSizeCaption));
  setFixedSize(210, 138);

  label4_ = AddLabel(this, "Label4", QString(), 48, 16, true);
  AddLabel(this, "Label2", QStringLiteral("Width"), 40, 40, false);
  AddLabel(this, "Label3", QStringLiteral("Height"), 128, 40, false);
  AddLabel(this, "Label1", QStringLiteral("X"), 96, 64, true);
  edit1_ = AddEdit(this, "Edit1", 24);
  edit2_ = AddEdit(this, "Edit2", 112);

  auto* ok = new QPushButton(QStringLiteral("OK"), this);
  ok->setObjectName(QStringLiteral("OKButton"));
  ok->setDefault(true);
  ok->setGeometry(64, 96, 66, 25);
  connect(ok, &QPushButton::clicked, this, &QDialog::accept);

  // textEdited comes from the user only; putting a value back does not loop.
  connect(edit1_, &QLineEdit::textEdited, this, [this](const QString& text) { Edited(edit1_, width_, text); });
  connect(edit2_, &QLineEdit::textEdited, this, [this](const QString& text) { Edited(edit2_, height_, text); });
}

void IconSizeDialog::Edited(QLineEdit* edit, build::IconSizeEdit& rule, const QString& text) {
  const QString shown = ToQString(rule.OnTextChanged(text.toStdString()));
  if (shown != text) edit->setText(shown);
}

QString IconSizeDialog::Message() const { return label4_->text(); }

IconSize IconSizeDialog::Ask(std::string_view iconName, ModalRunner& runner) {
  width_.Reset();
  height_.Reset();
  edit1_->setText(ToQString(width_.Text()));
  edit2_->setText(ToQString(height_.Text()));
  label4_->setText(ToQString(build::IconSizeMessage(iconName)));
  label4_->adjustSize();
  edit1_->setFocus();
  edit1_->selectAll();
  runner.Run(*this);
  return IconSize{width_.Value(), height_.Value()};
}

}  // namespace resmill::gui
