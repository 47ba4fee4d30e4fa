#pragma once
// TAboutBox3: asks for the size of an icon that could not be measured. The
// rules of the two edits live in replacement::IconSizeEdit.

#include <QDialog>
#include <optional>
#include <string_view>

#include "replacement/icon_size.h"

class QLabel;
class QLineEdit;

namespace resmill::gui {

class ModalRunner;

class IconSizeDialog final : public QDialog {
  Q_OBJECT

 public:
  explicit IconSizeDialog(QWidget* owner);

  /// Shows the dialog for `iconName`; the size entered, however the dialog was closed.
  IconSize Ask(std::string_view iconName, ModalRunner& runner);

  QLineEdit* widthEdit() const { return edit1_; }
  QLineEdit* heightEdit() const { return edit2_; }
  QString Message() const;

 private:
  void Edited(QLineEdit* edit, replacement::IconSizeEdit& rule, const QString& text);

  QLabel* label4_;
  QLineEdit* edit1_;
  QLineEdit* edit2_;
  replacement::IconSizeEdit width_;
  replacement::IconSizeEdit height_;
};

}  // namespace resmill::gui
