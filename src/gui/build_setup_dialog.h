#pragma once
// TAboutBox2, the Build Setup dialog: draws replacement::BuildSetupModel and hands
// every user action to it. The Build command runs its pairings after OK.

#include <QDialog>
#include <memory>

#include "app/pairings.h"

class QCheckBox;
class QListWidget;
class QPushButton;

namespace resmill::gui {

class ModalRunner;
class PairingMarker;
class PreviewPanel;
class QtUserInterface;

class BuildSetupDialog final : public QDialog {
  Q_OBJECT

 public:
  BuildSetupDialog(app::Session& session, QtUserInterface& ui, ModalRunner& runner, QWidget* owner);
  ~BuildSetupDialog() override;

  /// Shows the dialog modally for the Build command; its result.
  int Execute();

  replacement::BuildSetupModel& model() { return *model_; }
  const replacement::ReplacementTable& Pairings() const { return pairings_; }
  QListWidget* targetList() const { return listBox1_; }
  QListWidget* sourceList() const { return listBox2_; }
  QPushButton* pairButton() const { return button3_; }
  QPushButton* sourceFolderButton() const { return button4_; }
  QPushButton* resetButton() const { return button6_; }
  QCheckBox* matchSizeBox() const { return checkBox1_; }
  QCheckBox* portTableBox() const { return checkBox2_; }
  QCheckBox* stretchBox() const { return checkBox3_; }
  const replacement::Preview& targetPreview() const { return targetPreview_; }
  const replacement::Preview& sourcePreview() const { return sourcePreview_; }
  QWidget* targetPanel() const;
  QWidget* sourcePanel() const;
  /// The warning icon beside the target list is drawn.
  bool MarkerShown() const;

 private:
  /// Runs one user action on the model; a file error ends the action with a
  /// message instead of leaving the dialog through Qt's event loop.
  template <typename Action>
  void Do(const char* what, Action&& action);
  /// Puts the model's lists, selections and control states into the widgets.
  void Sync();
  void RedrawPreviews();

  app::Session& session_;
  QtUserInterface& ui_;
  ModalRunner& runner_;
  replacement::ReplacementTable pairings_;
  std::unique_ptr<replacement::BuildSetupModel> model_;
  replacement::Preview targetPreview_;
  replacement::Preview sourcePreview_;
  bool syncing_ = false;

  PreviewPanel* panel1_;
  PreviewPanel* panel2_;
  PairingMarker* marker_;
  QListWidget* listBox1_;
  QListWidget* listBox2_;
  QPushButton* button3_;
  QPushButton* button4_;
  QPushButton* button6_;
  QCheckBox* checkBox1_;
  QCheckBox* checkBox2_;
  QCheckBox* checkBox3_;
};

}  // namespace resmill::gui
