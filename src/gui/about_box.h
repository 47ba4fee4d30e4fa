#pragma once
// TAboutBox: the tool's name and version.

#include <QDialog>

namespace resmill::gui {

inline constexpr const char* kToolName = "ResMill";
inline constexpr const char* kVersionText = "Version 0.4.0 beta";

class AboutBox final : public QDialog {
  Q_OBJECT

 public:
  explicit AboutBox(QWidget* owner);
};

}  // namespace resmill::gui
