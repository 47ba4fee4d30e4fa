#pragma once
// The dialogs were laid out for an 8-point font on a 96-dpi screen. Their
// form sizes stay as the smallest sizes; the layouts grow beyond them when the
// desktop's font or the screen's scale asks for more room, so no caption is
// cut and none is drawn smaller than its neighbours.

#include <QEvent>
#include <QLayout>
#include <QObject>
#include <QPushButton>
#include <QSize>
#include <QStyle>
#include <QWidget>
#include <algorithm>

#include "message_box.h"

namespace resmill::gui {

class FormSize final : public QObject {
 public:
  /// Gives `dialog` (which has its layout) the least size its layout needs,
  /// but not less than `formSize`; again whenever its font, style or screen
  /// changes and when it is shown. The user does not resize these dialogs.
  static void Keep(QWidget& dialog, QSize formSize) {
    auto* keeper = new FormSize(dialog, formSize);
    dialog.installEventFilter(keeper);
    keeper->Apply();
  }

  bool eventFilter(QObject* watched, QEvent* event) override {
    switch (event->type()) {
      case QEvent::Show:
      case QEvent::FontChange:
      case QEvent::StyleChange:
      case QEvent::ScreenChangeInternal:
        if (watched == &dialog_) Apply();
        break;
      default:
        break;
    }
    return false;
  }

 private:
  FormSize(QWidget& dialog, QSize formSize) : QObject(&dialog), dialog_(dialog), formSize_(formSize) {}

  void Apply() {
    QLayout* layout = dialog_.layout();
    if (layout == nullptr) return;
    layout->invalidate();
    layout->activate();
    // The smallest size that shows everything whole: lists and panels keep
    // their form sizes as minimums, and extra room goes to no one.
    QSize size = formSize_.expandedTo(layout->totalMinimumSize());
    // A window manager cuts a caption wider than the window.
    size.setWidth(std::max(size.width(), WidthForCaption(dialog_.windowTitle())));
    if (layout->hasHeightForWidth()) {
      size.setHeight(std::max(size.height(), layout->totalHeightForWidth(size.width())));
    }
    dialog_.setFixedSize(size);
  }

  QWidget& dialog_;
  QSize formSize_;
};

/// A push button of a form: at least its form size, wider only when its
/// caption needs it (the style's own least width would make "<=" as wide as "Cancel").
class FormButton final : public QPushButton {
 public:
  FormButton(const QString& caption, QSize formSize, QWidget* parent)
      : QPushButton(caption, parent), formSize_(formSize) {}

  QSize sizeHint() const override { return minimumSizeHint(); }
  QSize minimumSizeHint() const override {
    const int margin = style()->pixelMetric(QStyle::PM_ButtonMargin, nullptr, this) +
                       style()->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, this);
    const QSize caption(fontMetrics().horizontalAdvance(text()) + 2 * margin, QPushButton::sizeHint().height());
    return formSize_.expandedTo(caption);
  }

 private:
  QSize formSize_;
};

}  // namespace resmill::gui
