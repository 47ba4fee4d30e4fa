#include "main_window.h"

#include <QAction>
#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>
#include <exception>

#include "about_box.h"
#include "build_setup_dialog.h"
#include "icon_size_dialog.h"
#include "message_box.h"
#include "modal_runner.h"
#include "qt_text.h"
#include "settings_dialog.h"
#include "work_panel.h"

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

QString FileName(const std::filesystem::path& file) { return PathToQString(file.filename()); }
}  // namespace

MainWindow::MainWindow(ModalRunner& runner, std::filesystem::path programFolder, app::Clock clock)
    : runner_(runner),
      statusLabel_(new QLabel(QStringLiteral("Save All"))),
      ui_(runner, *this, *statusLabel_),
      controller_(ui_, std::move(programFolder), std::move(clock)) {
  setObjectName(QStringLiteral("SDIAppForm"));
  setWindowTitle(QString::fromUtf8(kToolName));
  setToolTip(QStringLiteral("%1 0.4.0 beta").arg(QString::fromUtf8(kToolName)));
  resize(620, 320);
  setAcceptDrops(true);
  workPanel_ = new WorkPanel(this);
  setCentralWidget(workPanel_);

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
  saveContactSheetItem_ = AddItem(file, "SaveContactSheetItem", "Save &contact sheet…", QKeySequence(),
                                  "Save contact sheet|Save one PNG picture of every DRM picture, numbered",
                                  &MainWindow::SaveContactSheetClick);
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
  // A long status (a summary naming a folder) is cut at the window's edge
  // rather than widening the window; the tooltip holds all of it.
  statusLabel_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
  statusBar()->addWidget(statusLabel_, 1);
  statusBar()->setSizeGripEnabled(false);

  ConnectGallery();
  ui_.messageDetail = [this](std::string_view text) {
    return text == app::kDrmDecompiledMessage ? PicturesToEditNote() : QString();
  };
  Refresh();
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
    MessageBoxSpec spec;
    spec.icon = QMessageBox::Critical;
    spec.caption = QStringLiteral("Error");
    spec.text = QStringLiteral("%1 cannot start.\n\n%2").arg(QString::fromUtf8(kToolName), ToQString(e.what()));
    RunMessageBox(runner_, nullptr, spec);
    return false;
  }
  app::Session& session = controller_.session();
  aboutBox_ = std::make_unique<AboutBox>(this);
  settingsDialog_ = std::make_unique<SettingsDialog>(session.settings, runner_, this);
  buildSetupDialog_ = std::make_unique<BuildSetupDialog>(session, ui_, runner_, this);
  iconSizeDialog_ = std::make_unique<IconSizeDialog>(this);
  ui_.iconSizeQuestion = [this](std::string_view iconName, IconSize) -> std::optional<IconSize> {
    return iconSizeDialog_->Ask(iconName, runner_);
  };
  Refresh();
  return true;
}

QString MainWindow::StatusText() const { return statusLabel_->text(); }

void MainWindow::Refresh() {
  const app::MenuState& menu = controller_.Menu();
  fileOpenItem_->setEnabled(menu.open);
  port1_->setEnabled(menu.port);
  build1_->setEnabled(menu.build);
  fileSaveAsItem_->setEnabled(menu.saveAs);
  settings1_->setEnabled(menu.settings);
  saveContactSheetItem_->setEnabled(!controller_.session().nothingPending);

  const app::Session& session = controller_.session();
  PendingWork work;
  work.pending = !session.nothingPending;
  if (work.pending) {
    work.what = PendingWorkText();
    work.picturesFolder = PathToQString(app::PicturesFolder(session));
    work.session = &session;
  }
  workPanel_->Show(work);
}

QString MainWindow::PendingWorkText() const {
  const app::Session& s = controller_.session();
  // Between runs only the stage is known; within the run that opened them, the files.
  QString target = (s.stageFlags & app::kSkinTarget)      ? QStringLiteral("a skin")
                   : (s.stageFlags & app::kRawDumpTarget) ? QStringLiteral("a raw flash dump")
                                                          : QStringLiteral("a flash file");
  if (!s.targetFileName.empty()) target = FileName(s.targetFileName);
  QString text = QStringLiteral("Work is pending on %1").arg(target);
  if (!s.OneFileWork()) {
    text += s.sourceFileName.empty() ? QStringLiteral(", with a second file to port from")
                                     : QStringLiteral(", with %1 to port from").arg(FileName(s.sourceFileName));
  }
  text += u'.';
  text += QStringLiteral("\nNext: %1 Save As; Reset discards the work.")
              .arg(controller_.Menu().port ? QStringLiteral("Port, Build or") : QStringLiteral("Build or"));
  return text;
}

QString MainWindow::PicturesToEditNote() const {
  return QStringLiteral("The pictures to edit are in %1.\n%2 continues from there at its next start.")
      .arg(PathToQString(app::PicturesFolder(controller_.session())), QString::fromUtf8(kToolName));
}

void MainWindow::ReportFailure(const char* what, const char* reason) {
  ReportError(runner_, this, QString::fromUtf8(what), QString::fromUtf8(reason));
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
    ui_.ShowStatus(QStringLiteral("%1 failed: %2").arg(QString::fromUtf8(what), QString::fromUtf8(e.what())));
    ReportFailure(what, e.what());
  }
  busy_ = false;
  Refresh();
  if (controller_.CloseRequested()) close();
}

void MainWindow::RunGalleryCommand(const char* what, const std::function<void()>& body) { RunCommand(what, body); }

void MainWindow::FileOpen1Execute() {
  RunCommand("Open", [this] {
    const auto target = ui_.ChooseOpenFile(app::kOpenTargetQuestion.title, app::kOpenTargetQuestion.filter);
    if (!target) return controller_.OpenCancelled();
    std::optional<std::filesystem::path> source;
    if (controller_.session().settings.askForSourceFile) {
      source = ui_.ChooseOpenFile(app::kOpenSourceQuestion.title, app::kOpenSourceQuestion.filter);
    }
    controller_.Open(*target, source);
  });
}

void MainWindow::Port1Click() {
  RunCommand("Port", [this] { controller_.Port(); });
}

void MainWindow::Build1Click() {
  RunCommand("Build", [this] {
    const bool accepted = buildSetupDialog_->Execute() == QDialog::Accepted;
    controller_.Build(accepted ? buildSetupDialog_->Pairings() : replacement::ReplacementTable());
  });
}

void MainWindow::FileSave1Execute() {
  RunCommand("Save As", [this] {
    const app::FileQuestion question = app::SaveQuestion(controller_.session());
    controller_.Save(ui_.ChooseSaveFile(question.title, question.filter, app::kSaveDefaultExtension));
  });
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
    ui_.ShowStatus(QStringLiteral("Settings saved to %1").arg(PathToQString(controller_.session().SettingsFile())));
  });
}

void MainWindow::Reset1Click() {
  RunCommand("Reset", [this] {
    const app::Session& session = controller_.session();
    const bool pending = !session.nothingPending;
    if (pending) {
      MessageBoxSpec spec;
      spec.icon = QMessageBox::Warning;
      spec.caption = QStringLiteral("Reset");
      spec.text = QStringLiteral("Discard the pending work? The pictures in %1 will be deleted.")
                      .arg(PathToQString(session.tree.workFolder));
      spec.buttons = QMessageBox::Yes | QMessageBox::No;
      spec.defaultButton = QMessageBox::No;
      if (RunMessageBox(runner_, this, spec) != QMessageBox::Yes) {
        ui_.ShowStatus(QStringLiteral("Reset cancelled: the pending work is kept"));
        return;
      }
    }
    controller_.Reset();
    ui_.ShowStatus(pending ? QStringLiteral("Pending work discarded; the work folder is empty")
                           : QStringLiteral("Reset: nothing was pending; the work folder is empty"));
  });
}

void MainWindow::OpenFiles(const std::filesystem::path& target, const std::optional<std::filesystem::path>& source) {
  if (busy_) return;
  if (!controller_.Menu().open) {
    MessageBoxSpec spec;
    spec.icon = QMessageBox::Warning;
    spec.caption = QStringLiteral("Warning");
    spec.text = QStringLiteral("Work is pending: save it (Save As) or discard it (Reset) before opening another file.");
    spec.detail = QStringLiteral("%1 was not opened.").arg(PathToQString(target));
    ui_.ShowStatus(QStringLiteral("Open refused: %1 was not opened; work is pending").arg(FileName(target)));
    RunMessageBox(runner_, this, spec);
    return;
  }
  RunCommand("Open", [&] { controller_.Open(target, source); });
}

std::optional<std::vector<std::filesystem::path>> MainWindow::FilesToOpen(const QList<QUrl>& urls) {
  if (urls.isEmpty() || urls.size() > 2) return std::nullopt;
  std::vector<std::filesystem::path> files;
  for (const QUrl& url : urls) {
    if (!url.isLocalFile()) return std::nullopt;
    files.push_back(QStringToPath(url.toLocalFile()));
  }
  return files;
}

void MainWindow::dragEnterEvent(QDragEnterEvent* event) {
  if (event->mimeData()->hasUrls() && FilesToOpen(event->mimeData()->urls())) event->acceptProposedAction();
}

void MainWindow::dropEvent(QDropEvent* event) {
  auto files = FilesToOpen(event->mimeData()->urls());
  if (!files) return;
  event->acceptProposedAction();
  // Open runs its messages and progress after the drop has finished: the
  // program the files came from waits for the drop to end.
  QTimer::singleShot(0, this, [this, files = *files] {
    OpenFiles(files[0], files.size() > 1 ? std::optional(files[1]) : std::nullopt);
  });
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
