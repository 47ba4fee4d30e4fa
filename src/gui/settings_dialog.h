#pragma once
// TAboutBox1, the Settings dialog. The auto-close and conversion boxes act on
// the session's settings at once (Cancel keeps what they did); the other boxes
// are read by the Settings command after OK.

#include <QDialog>

#include "app/controller.h"
#include "open_directory.h"

class QCheckBox;
class QPushButton;

namespace resmill::gui {

class ModalRunner;

class SettingsDialog final : public QDialog {
  Q_OBJECT

 public:
  SettingsDialog(app::Settings& settings, ModalRunner& runner, QWidget* owner);

  /// Puts the four switches of the settings into the boxes without running
  /// their reactions. Called before every showing, so the boxes never show
  /// values that differ from what OK would keep (after a Cancel or a Reset).
  void LoadFromSettings();
  /// What OK hands to the controller.
  app::SettingsChoice Choice() const;

  QCheckBox* checkBox(int number) const;
  OpenDirectory& openDirectory() { return openDirectory1_; }

 private:
  void CheckBox3Click(bool ticked);

  app::Settings& settings_;
  OpenDirectory openDirectory1_;
  QCheckBox* checkBox1_;
  QCheckBox* checkBox2_;
  QCheckBox* checkBox3_;
  QCheckBox* checkBox4_;
  QCheckBox* checkBox6_;
};

}  // namespace resmill::gui
