#pragma once
// The dialogs were laid out for an 8-point font on a 96-dpi screen. Their
// form sizes stay as the smallest sizes; the layouts grow beyond them when the
// desktop's font or the screen's scale asks for more room, so no caption is
// cut and none is drawn smaller than its neighbours.

#include <QEvent>
#include <QLayout>
#include <QObject>
#include <QSize>
#include <QWidget>
#include <algorithm>

namespace resmill::gui {

class FormSize final : public QObject {
 public:
  /// Gives `dialog` (which has its layout) the size its layout asks for, but
  /// not less than `formSize`; again whenever its font, style or screen
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
    QSize size = formSize_.expandedTo(layout->totalSizeHint()).expandedTo(layout->totalMinimumSize());
    if (layout->hasHeightForWidth()) {
      size.setHeight(std::max(size.height(), layout->totalHeightForWidth(size.width())));
    }
    dialog_.setFixedSize(size);
  }

  QWidget& dialog_;
  QSize formSize_;
};

}  // namespace resmill::gui
