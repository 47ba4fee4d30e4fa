#include "main_window.h"

#include <QAction>
#include <QCloseEvent>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QStatusBar>
#include <QToolBar>
#include <exception>

#include "about_box.h"
#include "build_setup_dialog.h"
#include "icon_size_dialog.h"
#include "modal_runner.h"
#include "qt_text.h"
#include "settings_dialog.h"

namespace resmill::gui {

namespace {
// A hint "short|long" gives the tooltip and the status-bar text; a hint
// without "|" is both.
void SetHint(QAction* action, const char* hint) {
  if (hint == nullptr) return;
  const QString text = QString::fromUtf8(hint);
  const qsizetype bar = text.indexOf(u'|');
  action->setToolTip(bar < 0 ? text : text.left(bar));
  action->setStatusTip(bar < 0 ? text : text.mid(bar + 1));
}
}  // namespace

MainWindow::MainWindow(ModalRunner& runner, std::filesystem::path programFolder, app::Clock clock)
    : runner_(runner),
      statusLabel_(new QLabel(QStringLiteral("Save All"))),
      ui_(runner, *this, *statusLabel_),
      controller_(ui_, std::move(programFolder), std::move(clock)) {
  setObjectName(QStringLiteral("SDIAppForm"));
  setWindowTitle(QString::fromUtf8(kToolName));
  setToolTip(QStringLiteral("%1 0.4.0 beta").arg(QString::fromUtf8(kToolName)));
  resize(460, 120);

  QMenu* file = menuBar()->addMenu(QStringLiteral("&File"));
  file->setObjectName(QStringLiteral("File1"));
  SetHint(file->menuAction(), "Operation commands");
  fileOpenItem_ = AddItem(file, "FileOpenItem", "&Open", QKeySequence(Qt::CTRL | Qt::Key_O), "Open|Open a flash file",
                          &MainWindow::FileOpen1Execute);
  port1_ = AddItem(file, "Port1", "&Port", QKeySequence(Qt::CTRL | Qt::Key_P), "Port |Port DRM",
                   &MainWindow::Port1Click);
  build1_ = AddItem(file, "Build1", "&Build", QKeySequence(Qt::CTRL | Qt::Key_B), nullptr, &MainWindow::Build1Click);
  fileSaveAsItem_ = AddItem(file, "FileSaveAsItem", "Save &As...", QKeySequence(Qt::CTRL | Qt::Key_S),
                            "Save As|Save DRM to file", &MainWindow::FileSave1Execute);
  file->addSeparator();
  AddItem(file, "FileExitItem", "E&xit", QKeySequence(), "Exit|Exit utility", &MainWindow::FileExit1Execute);
  settings1_ = AddItem(nullptr, "Settings1", "&Settings", QKeySequence(), "Settings", &MainWindow::Settings1Click);
  AddItem(nullptr, "Reset1", "&Reset", QKeySequence(), nullptr, &MainWindow::Reset1Click);
  QMenu* help = menuBar()->addMenu(QStringLiteral("&Help"));
  help->setObjectName(QStringLiteral("Help1"));
  SetHint(help->menuAction(), "Help topics");
  AddItem(help, "HelpAboutItem", "&About...", QKeySequence(), "About|Show program information and version",
          &MainWindow::HelpAbout1Execute);

  toolBar1_ = addToolBar(QStringLiteral("ToolBar1"));
  toolBar1_->setObjectName(QStringLiteral("ToolBar1"));
  toolBar1_->setMovable(false);

  // The status text lives in a permanent label, so the menu hints shown over
  // it do not wipe out what the last command reported.
  statusLabel_->setObjectName(QStringLiteral("StatusBar"));
  statusBar()->addWidget(statusLabel_, 1);
  statusBar()->setSizeGripEnabled(false);

  RefreshMenu();
}

MainWindow::~MainWindow() = default;

QAction* MainWindow::AddItem(QMenu* menu, const char* name, const char* caption, const QKeySequence& shortcut,
                             const char* hint, void (MainWindow::*handler)()) {
  QAction* action = menu != nullptr ? menu->addAction(QString::fromUtf8(caption))
                                    : menuBar()->addAction(QString::fromUtf8(caption));
  action->setObjectName(QString::fromUtf8(name));
  if (!shortcut.isEmpty()) action->setShortcut(shortcut);
  SetHint(action, hint);
  connect(action, &QAction::triggered, this, [this, handler] { (this->*handler)(); });
  return action;
}

bool MainWindow::Start() {
  try {
    controller_.InitApp();
  } catch (const std::exception& e) {
    QMessageBox box(QMessageBox::Critical, QStringLiteral("Error"),
                    QStringLiteral("%1 cannot start.\n\n%2").arg(QString::fromUtf8(kToolName), ToQString(e.what())),
                    QMessageBox::Ok, nullptr);
    runner_.Run(box);
    return false;
  }
  app::Session& session = controller_.session();
  aboutBox_ = std::make_unique<AboutBox>(this);
  settingsDialog_ = std::make_unique<SettingsDialog>(session.settings, runner_, this);
  buildSetupDialog_ = std::make_unique<BuildSetupDialog>(session, runner_, this);
  iconSizeDialog_ = std::make_unique<IconSizeDialog>(this);
  ui_.iconSizeQuestion = [this](std::string_view iconName, IconSize) -> std::optional<IconSize> {
    return iconSizeDialog_->Ask(iconName, runner_);
  };
  RefreshMenu();
  return true;
}

QString MainWindow::StatusText() const { return statusLabel_->text(); }

void MainWindow::RefreshMenu() {
  const app::MenuState& menu = controller_.Menu();
  fileOpenItem_->setEnabled(menu.open);
  port1_->setEnabled(menu.port);
  build1_->setEnabled(menu.build);
  fileSaveAsItem_->setEnabled(menu.saveAs);
  settings1_->setEnabled(menu.settings);
}

void MainWindow::ReportFailure(const char* what, const char* reason) {
  QMessageBox box(QMessageBox::Critical, QStringLiteral("Error"),
                  QStringLiteral("%1 failed.\n\n%2").arg(QString::fromUtf8(what), QString::fromUtf8(reason)),
                  QMessageBox::Ok, this);
  runner_.Run(box);
}

template <typename Body>
void MainWindow::RunCommand(const char* what, Body&& body) {
  // Progress pumps events without user input, but a window manager's close
  // request or a queued shortcut could still arrive: one command at a time.
  if (busy_) return;
  busy_ = true;
  try {
    body();
  } catch (const std::exception& e) {  // resmill::Error names the file and the reason
    ui_.ProgressWindow().Close();
    ReportFailure(what, e.what());
  }
  busy_ = false;
  RefreshMenu();
  if (controller_.CloseRequested()) close();
}

void MainWindow::FileOpen1Execute() {
  RunCommand("Open", [this] { controller_.Open(); });
}

void MainWindow::Port1Click() {
  RunCommand("Port", [this] { controller_.Port(); });
}

void MainWindow::Build1Click() {
  RunCommand("Build", [this] {
    const bool accepted = buildSetupDialog_->Execute() == QDialog::Accepted;
    controller_.Build(accepted);
  });
}

void MainWindow::FileSave1Execute() {
  RunCommand("Save As", [this] { controller_.SaveAs(); });
}

void MainWindow::FileExit1Execute() {
  RunCommand("Exit", [this] { controller_.Exit(); });
  // Also when keeping the pending work failed: the message said so, and the
  // user asked to leave.
  close();
}

void MainWindow::Settings1Click() {
  RunCommand("Settings", [this] {
    settingsDialog_->LoadFromSettings();
    if (runner_.Run(*settingsDialog_) != QDialog::Accepted) return;
    controller_.ApplySettings(settingsDialog_->Choice());
  });
}

void MainWindow::Reset1Click() {
  RunCommand("Reset", [this] { controller_.Reset(); });
}

void MainWindow::HelpAbout1Execute() { runner_.Run(*aboutBox_); }

void MainWindow::closeEvent(QCloseEvent* event) {
  if (busy_) {
    event->ignore();
    return;
  }
  // Closing by the title bar keeps pending work for the next start, as Exit does.
  try {
    controller_.Shutdown();
  } catch (const std::exception& e) {
    ReportFailure("Keeping the pending work for the next start", e.what());
  }
  closed_ = true;
  event->accept();
}

}  // namespace resmill::gui
