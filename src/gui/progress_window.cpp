#include "progress_window.h"

#include <QCoreApplication>
#include <algorithm>

#include "qt_text.h"

namespace resmill::gui {

ProgressWindow::ProgressWindow(QWidget* owner)
    : QWidget(owner, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowStaysOnTopHint),
      bar_(new QProgressBar(this)) {
  setObjectName(QStringLiteral("Form1"));
  setWindowTitle(QStringLiteral("Please wait..."));
  setFixedSize(kWidth, kHeight);
  bar_->setObjectName(QStringLiteral("ProgressBar1"));
  bar_->setGeometry(16, 24, 305, 17);
  bar_->setRange(0, 100);
  bar_->setTextVisible(false);
  bar_->setValue(0);
}

void ProgressWindow::Pump() {
  emit Updated();
  QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

void ProgressWindow::Show() {
  if (!isVisible()) move(kLeft, kTop);
  bar_->setValue(0);
  show();
  raise();
  Pump();
}

void ProgressWindow::SetCaption(std::string_view caption) {
  setWindowTitle(ToQString(caption));
  Pump();
}

void ProgressWindow::SetPosition(int percent) {
  bar_->setValue(std::clamp(percent, 0, 100));
  Pump();
}

void ProgressWindow::Close() {
  hide();
  Pump();
}

}  // namespace resmill::gui
