#pragma once
// TForm1: the progress window of long operations. The operations run on the
// window's own thread, so every change pumps the event queue without user
// input: the window is drawn and repainted, and the menu cannot start a
// second command meanwhile.

#include <QProgressBar>
#include <QWidget>

#include "platform/user_interface.h"

namespace resmill::gui {

class ProgressWindow final : public QWidget, public Progress {
  Q_OBJECT

 public:
  static constexpr int kWidth = 347;
  static constexpr int kHeight = 93;
  static constexpr int kLeft = 150;
  static constexpr int kTop = 300;

  explicit ProgressWindow(QWidget* owner);

  void Show() override;
  void SetCaption(std::string_view caption) override;
  void SetPosition(int percent) override;
  void Close() override;

  int Position() const { return bar_->value(); }

 signals:
  /// After every change of visibility, caption or position, once it is drawn.
  void Updated();

 private:
  void Pump();

  QProgressBar* bar_;
};

}  // namespace resmill::gui
