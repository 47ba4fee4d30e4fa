#pragma once
// The dialogs keep the form's fixed sizes, which were made for a smaller font
// than most desktops use: a caption that would not fit is drawn a little
// smaller rather than cut off.

#include <QFont>
#include <QFontMetrics>
#include <QWidget>

namespace resmill::gui {

inline void ShrinkToFit(QWidget* widget, const QString& text, int availableWidth) {
  QFont font = widget->font();
  while (QFontMetrics(font).horizontalAdvance(text) > availableWidth && font.pointSizeF() > 6) {
    font.setPointSizeF(font.pointSizeF() - 0.5);
  }
  widget->setFont(font);
}

}  // namespace resmill::gui
