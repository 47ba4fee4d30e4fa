#pragma once
// TSDIAppForm: the main window. A thin adapter over app::Controller: each menu
// command calls the controller, then takes the menu states from it and closes
// the window when the controller asks for it. A failing command ends with one
// message box that names what failed, the file and the reason.

#include <QMainWindow>
#include <QUrl>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "app/controller.h"
#include "qt_user_interface.h"

class QAction;
class QLabel;
class QMenu;
class QToolBar;

namespace resmill::gui {

class AboutBox;
class BuildSetupDialog;
class IconSizeDialog;
class ModalRunner;
class SettingsDialog;
class WorkPanel;

class MainWindow final : public QMainWindow {
  Q_OBJECT

 public:
  MainWindow(ModalRunner& runner, std::filesystem::path programFolder, app::Clock clock = app::LocalTimeNow);
  ~MainWindow() override;

  /// The program's start: the controller's start, then the dialogs. False
  /// (after a message) when the start failed and the program cannot go on.
  bool Start();

  app::Controller& controller() { return controller_; }
  QtUserInterface& ui() { return ui_; }
  SettingsDialog& settingsDialog() { return *settingsDialog_; }
  WorkPanel& workPanel() { return *workPanel_; }
  AboutBox& aboutBox() { return *aboutBox_; }
  BuildSetupDialog* buildSetupDialog() { return buildSetupDialog_.get(); }
  IconSizeDialog* iconSizeDialog() { return iconSizeDialog_.get(); }
  QString StatusText() const;
  /// True while a command runs (the window then refuses to close).
  bool Busy() const { return busy_; }
  /// True once the window has accepted being closed (the program ends).
  bool Closed() const { return closed_; }

  // The menu commands.
  void FileOpen1Execute();
  void Port1Click();
  void Build1Click();
  void FileSave1Execute();
  void FileExit1Execute();
  void Settings1Click();
  void Reset1Click();
  void HelpAbout1Execute();
  void SaveContactSheetClick();

  // The gallery's commands (main_window_gallery.cpp).
  /// A picture file dropped on target picture `number`: replaced as Build replaces, Match Size on.
  void ReplacePicture(int number, const std::filesystem::path& file);
  /// "Revert to original" for the pictures, after a question.
  void RevertPictures(const std::vector<int>& numbers);

  /// Open with files from outside (the command line, a drop on the window)
  /// instead of the dialogs: `source` counts as a chosen source file. Refused,
  /// with a message, while work is pending, as the Open menu item is.
  void OpenFiles(const std::filesystem::path& target, const std::optional<std::filesystem::path>& source);
  /// The local files among dropped `urls` that Open takes: a target and a source at most.
  static std::optional<std::vector<std::filesystem::path>> FilesToOpen(const QList<QUrl>& urls);

 protected:
  void closeEvent(QCloseEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  QAction* AddItem(QMenu* menu, const char* name, const char* caption, const QKeySequence& shortcut,
                   const char* hint, void (MainWindow::*handler)());
  template <typename Body>
  void RunCommand(const char* what, Body&& body);
  void RunGalleryCommand(const char* what, const std::function<void()>& body);
  void ConnectGallery();
  void ReportFailure(const char* what, const char* reason);
  /// Menu states and the client area from the controller.
  void Refresh();
  QString PendingWorkText() const;
  QString PicturesToEditNote() const;

  ModalRunner& runner_;
  QLabel* statusLabel_;
  QtUserInterface ui_;
  app::Controller controller_;
  bool busy_ = false;
  bool closed_ = false;

  QAction* fileOpenItem_ = nullptr;
  QAction* port1_ = nullptr;
  QAction* build1_ = nullptr;
  QAction* fileSaveAsItem_ = nullptr;
  QAction* settings1_ = nullptr;
  QAction* saveContactSheetItem_ = nullptr;
  QToolBar* toolBar1_ = nullptr;
  WorkPanel* workPanel_ = nullptr;

  std::unique_ptr<AboutBox> aboutBox_;
  std::unique_ptr<SettingsDialog> settingsDialog_;
  std::unique_ptr<BuildSetupDialog> buildSetupDialog_;
  std::unique_ptr<IconSizeDialog> iconSizeDialog_;
};

}  // namespace resmill::gui
