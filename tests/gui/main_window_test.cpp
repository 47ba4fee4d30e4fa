// The main window over the workflow controller: menu items and their states,
// Open, Save As, Exit, Reset, the error report and the progress window.

#include <QAction>
#include <QApplication>
#include <QFileDialog>
#include <QMenuBar>
#include <QMessageBox>
#include <QDropEvent>
#include <QMimeData>
#include <QPushButton>
#include <fmt/format.h>
#include <gtest/gtest.h>

#include "app/settings.h"
#include "gui_test_support.h"
#include "command_line.h"
#include "main_window.h"
#include "qt_text.h"
#include "test_support.h"
#include "work_panel.h"

namespace resmill::gui {
namespace {

namespace fs = std::filesystem;
using resmill::test::ReadText;
using resmill::test::TempDir;
using resmill::test::WriteText;
using test::Cancel;
using test::Choose;
using test::EnsureApp;
using test::ScriptedRunner;

/// Enabled state of Open, Port, Build, Save As, Settings.
using MenuStates = std::array<bool, 5>;

/// A sample flash file made by the build, or nothing when the generator has not run.
std::optional<fs::path> Sample(const char* extension) {
  const fs::path folder = resmill::test::BinaryDir() / "examples";
  std::error_code error;
  if (!fs::is_directory(folder, error)) return std::nullopt;
  std::vector<fs::path> found;
  for (const auto& entry : fs::directory_iterator(folder, error)) {
    if (entry.is_regular_file() && entry.path().extension() == extension) found.push_back(entry.path());
  }
  if (found.empty()) return std::nullopt;
  std::sort(found.begin(), found.end());
  return found.front();
}

class Window : public ::testing::Test {
 protected:
  void SetUp() override { EnsureApp(); }

  /// Starts the window in the temporary program folder, with a state file when `state` is given.
  MainWindow& Start(const char* state = nullptr, bool autoClose = true, bool askSource = true) {
    if (state != nullptr) WriteText(Dir() / "shxdata.dat", state);
    app::Settings settings;
    settings.autoCloseOnStage = autoClose;
    settings.askForSourceFile = askSource;
    settings.workFolder = Dir();
    app::SaveSettings(settings, Dir() / "resmill.ini");
    window = std::make_unique<MainWindow>(runner, Dir(), resmill::test::FixedTestTime);
    EXPECT_TRUE(window->Start());
    return *window;
  }

  QAction* Item(const char* name) const {
    auto* action = window->findChild<QAction*>(QString::fromUtf8(name));
    EXPECT_NE(action, nullptr) << name;
    return action;
  }
  MenuStates Menu() const {
    return {Item("FileOpenItem")->isEnabled(), Item("Port1")->isEnabled(), Item("Build1")->isEnabled(),
            Item("FileSaveAsItem")->isEnabled(), Item("Settings1")->isEnabled()};
  }
  /// Runs a menu item as a click would: a disabled item does nothing.
  void Click(const char* name) { Item(name)->trigger(); }

  /// True when the last message was the window's report that `what` failed because it
  /// is not built yet (the DRM layer lands separately).
  bool NotAvailable() const {
    for (const auto& shown : runner.shown) {
      if (shown.message && shown.text.contains(QStringLiteral("not available"))) return true;
    }
    return false;
  }

  /// A new program folder and script for the next case of a table.
  void Fresh() {
    window.reset();
    runner = ScriptedRunner();
    temp = std::make_unique<TempDir>();
  }
  const fs::path& Dir() const { return temp->path(); }

  std::unique_ptr<TempDir> temp = std::make_unique<TempDir>();
  ScriptedRunner runner;
  std::unique_ptr<MainWindow> window;
};

TEST_F(Window, MenuItemsCarryCaptionsShortcutsAndHints) {
  Start();
  struct ItemCase {
    const char* name;
    const char* caption;
    const char* shortcut;
    const char* statusTip;
  };
  const ItemCase cases[] = {
      {"FileOpenItem", "&Open", "Ctrl+O", "Open a flash file"},
      {"Port1", "&Port", "Ctrl+P", "Port DRM"},
      {"Build1", "&Build", "Ctrl+B", ""},
      {"FileSaveAsItem", "Save &As...", "Ctrl+S", "Save DRM to file"},
      {"FileExitItem", "E&xit", "", "Exit utility"},
      {"Settings1", "&Settings", "", "Settings"},
      {"Reset1", "&Reset", "", ""},
  };
  for (const ItemCase& c : cases) {
    QAction* action = Item(c.name);
    ASSERT_NE(action, nullptr);
    EXPECT_EQ(action->text(), QString::fromUtf8(c.caption)) << c.name;
    EXPECT_EQ(action->shortcut().toString(), QString::fromUtf8(c.shortcut)) << c.name;
    EXPECT_EQ(action->statusTip(), QString::fromUtf8(c.statusTip)) << c.name;
  }
  EXPECT_EQ(Item("Port1")->toolTip(), QStringLiteral("Port "));

  QStringList top;
  for (QAction* action : window->menuBar()->actions()) top << action->text();
  EXPECT_EQ(top, (QStringList{"&File", "&Settings", "&Reset", "&Help"}));
  EXPECT_EQ(window->StatusText(), QStringLiteral("Save All"));
  EXPECT_EQ(window->windowTitle(), QStringLiteral("ResMill"));
  EXPECT_TRUE(window->toolTip().contains(QStringLiteral("0.4.0 beta")));
}

TEST_F(Window, MenuStatesAtStartFollowTheStateFile) {
  struct Case {
    const char* state;
    MenuStates menu;
  };
  const Case cases[] = {
      {nullptr, {true, false, false, false, true}}, {"1", {false, false, true, true, false}},
      {"2", {false, true, true, true, false}},      {"5", {false, false, true, true, false}},
      {"6", {false, true, true, true, false}},      {"9", {false, false, true, true, false}},
      {"10", {false, true, true, true, false}},
  };
  for (const Case& c : cases) {
    Fresh();
    Start(c.state);
    EXPECT_EQ(Menu(), c.menu) << (c.state ? c.state : "none");
    for (const char* always : {"FileExitItem", "Reset1", "HelpAboutItem"}) EXPECT_TRUE(Item(always)->isEnabled());
  }
}

TEST_F(Window, CancelledOpenChangesNothingAndDropsAStrayStateFile) {
  Start();
  WriteText(Dir() / "shxdata.dat", "1");
  runner.answers.push_back(Cancel());
  Click("FileOpenItem");
  ASSERT_EQ(runner.shown.size(), 1u);
  EXPECT_EQ(runner.shown[0].title, QStringLiteral("Open SBF/SHX/EZX/BIN file to edit or import DRM to"));
  EXPECT_EQ(runner.shown[0].objectName, QStringLiteral("OpenDialog"));
  const QStringList filters = runner.shown[0].nameFilters;
  ASSERT_EQ(filters.size(), 4);
  // Qt folds the two blanks of "BIN (SMG)  files" into one when it takes the filter.
  EXPECT_TRUE(filters[2].startsWith(QStringLiteral("BIN (SMG) files (*.[bB][iI][nN] *.[sS][mM][gG])")))
      << filters[2].toStdString();
  EXPECT_EQ(Menu(), (MenuStates{true, false, false, false, true}));
  EXPECT_EQ(window->controller().session().stageFlags, 0);
  EXPECT_FALSE(fs::exists(Dir() / "shxdata.dat"));
  EXPECT_FALSE(window->Closed());
}

TEST_F(Window, OpenOfASampleWithOneAndTwoFiles) {
  const auto shx = Sample(".shx");
  const auto sbf = Sample(".sbf");
  if (!shx || !sbf) GTEST_SKIP() << "no samples in " << resmill::test::BinaryDir() / "examples";
  struct Case {
    bool askSource;
    bool autoClose;
    std::optional<fs::path> source;
    std::uint8_t flags;
    MenuStates menu;
    const char* status;
  };
  const Case cases[] = {
      {false, false, std::nullopt, 1, {false, false, true, true, false}, "DRM decompiled: "},
      {true, false, std::nullopt, 1, {false, false, true, true, false}, "DRM decompiled: "},
      {true, false, *sbf, 2, {false, true, true, true, false}, "DRM decompiled: "},
      {true, true, *sbf, 2, {true, false, false, false, true}, "DRM decompiled: "},
  };
  for (const Case& c : cases) {
    Fresh();
    Start(nullptr, c.autoClose, c.askSource);
    runner.answers.push_back(Choose(*shx));
    if (c.askSource) runner.answers.push_back(c.source ? Choose(*c.source) : Cancel());
    Click("FileOpenItem");
    if (NotAvailable()) GTEST_SKIP() << "opening flash files is not built yet";
    EXPECT_EQ(window->controller().session().stageFlags, c.flags);
    EXPECT_TRUE(window->StatusText().startsWith(QString::fromUtf8(c.status))) << window->StatusText().toStdString();
    EXPECT_FALSE(resmill::test::ListFolder(Dir() / "binary1/drmpack/icons").empty());
    if (c.autoClose) {
      EXPECT_EQ(runner.Messages(), std::vector<std::string>{": DRM decompiled."});
      // Below the message: where the pictures are, and that the next start goes on from there.
      const QString detail = runner.shown.back().detail;
      EXPECT_TRUE(detail.contains(PathToQString(Dir() / "binary1/drmpack/icons"))) << detail.toStdString();
      EXPECT_TRUE(detail.contains(QStringLiteral("next start"))) << detail.toStdString();
      EXPECT_TRUE(window->Closed());
      EXPECT_EQ(ReadText(Dir() / "shxdata.dat"), std::to_string(c.flags));
    } else {
      EXPECT_EQ(Menu(), c.menu);
      EXPECT_TRUE(runner.Messages().empty());
      EXPECT_FALSE(window->Closed());
      // The summary counts the pictures and names the folder to edit them in.
      EXPECT_TRUE(window->StatusText().contains(QStringLiteral(" pictures from ")));
      EXPECT_TRUE(window->StatusText().contains(PathToQString(Dir() / "binary1/drmpack/icons")));
      EXPECT_EQ(window->StatusText().contains(QStringLiteral(" and ")), c.flags == 2);
    }
  }
}

TEST_F(Window, ProgressWindowIsShownCaptionedAndAdvancingDuringAnUnpack) {
  const auto shx = Sample(".shx");
  if (!shx) GTEST_SKIP() << "no sample superfile";
  Start(nullptr, false, false);
  struct Seen {
    bool visible;
    QString caption;
    int position;
  };
  std::vector<Seen> seen;
  ProgressWindow& progress = window->ui().progressWindow();
  QObject::connect(&progress, &ProgressWindow::Updated,
                   [&] { seen.push_back({progress.isVisible(), progress.windowTitle(), progress.Position()}); });
  runner.answers.push_back(Choose(*shx));
  Click("FileOpenItem");
  if (NotAvailable()) GTEST_SKIP() << "opening flash files is not built yet";
  ASSERT_FALSE(seen.empty());
  bool sawExtracting = false;
  int highest = 0;
  int advances = 0;
  for (std::size_t i = 0; i < seen.size(); ++i) {
    if (!seen[i].visible) continue;
    sawExtracting = sawExtracting || seen[i].caption.startsWith(QStringLiteral("Extracting"));
    if (i > 0 && seen[i].position > seen[i - 1].position) ++advances;
    highest = std::max(highest, seen[i].position);
  }
  EXPECT_TRUE(sawExtracting);
  EXPECT_GE(advances, 2);
  EXPECT_EQ(highest, 100);
  EXPECT_FALSE(progress.isVisible());  // hidden again when the work is done
}

TEST_F(Window, SaveAsDialogFollowsTheTargetKind) {
  struct Case {
    const char* state;
    const char* title;
    const char* filterStart;
  };
  const Case cases[] = {
      {"1", "Select a file to save DRM reflash", "SHX files"},
      {"5", "Select a file to save DRM reflash", "BIN files"},
      {"10", "Select a file to save skin", "EZX files"},
  };
  for (const Case& c : cases) {
    Fresh();
    Start(c.state, /*autoClose=*/false);
    QString suffix;
    QFileDialog::AcceptMode mode = QFileDialog::AcceptOpen;
    runner.answers.push_back([&](QDialog& d) {
      auto& save = static_cast<QFileDialog&>(d);
      suffix = save.defaultSuffix();
      mode = save.acceptMode();
      return static_cast<int>(QDialog::Rejected);
    });
    Click("FileSaveAsItem");
    ASSERT_EQ(runner.shown.size(), 1u);
    EXPECT_EQ(runner.shown[0].title, QString::fromUtf8(c.title));
    const QStringList filters = runner.shown[0].nameFilters;
    ASSERT_EQ(filters.size(), 1);
    EXPECT_TRUE(filters[0].startsWith(QString::fromUtf8(c.filterStart))) << c.state;
    EXPECT_EQ(suffix, QStringLiteral("shx"));
    EXPECT_EQ(mode, QFileDialog::AcceptSave);
    EXPECT_FALSE(window->controller().session().drmSaved);
    EXPECT_FALSE(window->Closed());
    EXPECT_EQ(Menu(), (MenuStates{false, c.state[1] == '0', true, true, false}));
  }
}

TEST_F(Window, CancelledSaveAsWithAutoCloseEndsTheProgramAndKeepsTheWork) {
  Start("6", /*autoClose=*/true);
  runner.answers.push_back(Cancel());
  Click("FileSaveAsItem");
  EXPECT_TRUE(window->Closed());
  EXPECT_EQ(ReadText(Dir() / "shxdata.dat"), "6");
}

TEST_F(Window, SaveAsOfAnOpenedSampleWritesTheSuperfile) {
  const auto shx = Sample(".shx");
  if (!shx) GTEST_SKIP() << "no sample superfile";
  Start(nullptr, /*autoClose=*/false, /*askSource=*/false);
  runner.answers.push_back(Choose(*shx));
  Click("FileOpenItem");
  if (NotAvailable()) GTEST_SKIP() << "opening flash files is not built yet";
  const fs::path out = Dir() / "new.shx";
  runner.answers.push_back(Choose(out));
  QStringList statusWhileSaving;
  QObject::connect(&window->ui().progressWindow(), &ProgressWindow::Updated,
                   [&] { statusWhileSaving << window->StatusText(); });
  Click("FileSaveAsItem");
  ASSERT_FALSE(statusWhileSaving.isEmpty());
  EXPECT_EQ(statusWhileSaving.front(), QStringLiteral("Saving %1").arg(PathToQString(out)));
  if (NotAvailable()) GTEST_SKIP() << "saving superfiles is not built yet";
  EXPECT_EQ(runner.Messages().back(), ": Operation Complete");
  EXPECT_EQ(window->StatusText(), QStringLiteral("Complete: %1 saved").arg(PathToQString(out)));
  EXPECT_TRUE(fs::is_regular_file(out));
  EXPECT_TRUE(window->controller().session().drmSaved);
  EXPECT_FALSE(window->Closed());
  // Cleaned up, the work is gone: the menu is that of a fresh start, not a
  // second Save As of a tree that no longer exists.
  EXPECT_EQ(Menu(), (MenuStates{true, false, false, false, true}));
  EXPECT_EQ(window->workPanel().Text(), QString::fromUtf8(WorkPanel::kFirstSteps));
  EXPECT_TRUE(fs::is_directory(Dir() / "binary1/drmpack/icons"));  // ready for the next Open
  Click("FileExitItem");  // saved: no warning
  EXPECT_EQ(runner.Messages().back(), ": Operation Complete");
  EXPECT_FALSE(fs::exists(Dir() / "shxdata.dat"));
}

TEST_F(Window, ExitWarnsAndKeepsOnlyPendingWork) {
  struct Case {
    const char* state;
    std::vector<std::string> messages;
  };
  const Case cases[] = {
      {nullptr, {}},
      {"9", {"Incomplete Operation: DRM was not compiled"}},
  };
  for (const Case& c : cases) {
    Fresh();
    Start(c.state);
    Click("FileExitItem");
    EXPECT_TRUE(window->Closed());
    EXPECT_EQ(runner.Messages(), c.messages);
    EXPECT_EQ(fs::exists(Dir() / "shxdata.dat"), c.state != nullptr);
    if (c.state) {
      EXPECT_EQ(ReadText(Dir() / "shxdata.dat"), c.state);
      EXPECT_EQ(runner.shown[0].parent, nullptr);  // owned by the desktop
    }
  }
}

TEST_F(Window, ClosingByTheTitleBarKeepsPendingWorkSilently) {
  Start("2");
  window->close();
  EXPECT_TRUE(window->Closed());
  EXPECT_TRUE(runner.shown.empty());
  EXPECT_EQ(ReadText(Dir() / "shxdata.dat"), "2");
}

TEST_F(Window, TheWindowDoesNotCloseWhileACommandRuns) {
  Start();
  runner.answers.push_back([&](QDialog&) {
    window->close();
    EXPECT_FALSE(window->Closed());
    return static_cast<int>(QDialog::Rejected);
  });
  Click("FileOpenItem");
  EXPECT_FALSE(window->Closed());
}

TEST_F(Window, ResetReturnsToAFreshStart) {
  Start("2");
  WriteText(Dir() / "binary1/drmpack/icons/1.gif", "edited");
  WriteText(Dir() / "shxdata.dat", "2");
  runner.messageAnswers = {QMessageBox::Yes};
  Click("Reset1");
  runner.shown.clear();
  EXPECT_EQ(Menu(), (MenuStates{true, false, false, false, true}));
  EXPECT_FALSE(fs::exists(Dir() / "shxdata.dat"));
  EXPECT_FALSE(fs::exists(Dir() / "binary1/drmpack/icons/1.gif"));
  EXPECT_TRUE(fs::is_directory(Dir() / "binary1/drmpack/icons"));
  Click("FileExitItem");  // nothing pending any more: no message, no state file
  EXPECT_TRUE(runner.shown.empty());
  EXPECT_FALSE(fs::exists(Dir() / "shxdata.dat"));
}

TEST_F(Window, AFailingCommandShowsOneMessageAndTheWindowGoesOn) {
  Start();
  // The settings file cannot be replaced while a folder stands in its place.
  fs::remove(Dir() / "resmill.ini");
  fs::create_directories(Dir() / "resmill.ini" / "x");
  runner.answers.push_back(test::Accept());
  Click("Settings1");
  const auto messages = runner.Messages();
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].rfind("Error: Settings failed.", 0), 0u) << messages[0];
  EXPECT_NE(messages[0].find("resmill.ini"), std::string::npos) << messages[0];
  EXPECT_EQ(runner.shown.back().parent, window.get());
  EXPECT_FALSE(window->Closed());
  EXPECT_FALSE(window->Busy());
  EXPECT_EQ(Menu(), (MenuStates{true, false, false, false, true}));
  EXPECT_FALSE(window->ui().progressWindow().isVisible());
}

TEST_F(Window, AFailedOpenReportsTheFileAndKeepsTheMenu) {
  Start(nullptr, false, false);
  const fs::path damaged = Dir() / "broken.shx";
  WriteText(damaged, "S0this is not a superfile\r\n");
  runner.answers.push_back(Choose(damaged));
  Click("FileOpenItem");
  if (NotAvailable()) GTEST_SKIP() << "opening flash files is not built yet";
  const auto messages = runner.Messages();
  ASSERT_EQ(messages.size(), 1u);
  // Either the reader refused the file (naming it) or found no DRM in it.
  const bool named = messages[0].find("broken.shx") != std::string::npos;
  EXPECT_TRUE(named || messages[0] == "Error: No DRM found") << messages[0];
  EXPECT_EQ(Menu(), (MenuStates{true, false, false, false, true}));
  EXPECT_FALSE(window->Closed());
}

TEST_F(Window, AboutShowsTheAboutBox) {
  Start("1");
  runner.answers.push_back(test::Accept());
  Click("HelpAboutItem");
  ASSERT_EQ(runner.shown.size(), 1u);
  EXPECT_EQ(runner.shown[0].title, QStringLiteral("About"));
}

TEST_F(Window, ResetAsksBeforeDiscardingPendingWork) {
  Start("2");
  const fs::path edited = Dir() / "binary1/drmpack/icons/1.gif";
  WriteText(edited, "edited");
  const std::string question = fmt::format("Reset: Discard the pending work? The pictures in {} will be deleted.",
                                           Dir().string());
  runner.messageAnswers = {QMessageBox::No};
  Click("Reset1");
  ASSERT_EQ(runner.Messages(), std::vector<std::string>{question});
  EXPECT_EQ(runner.shown[0].defaultButton, QMessageBox::No);
  EXPECT_EQ(runner.shown[0].icon, QMessageBox::Warning);
  EXPECT_TRUE(fs::exists(edited));  // No keeps everything
  EXPECT_EQ(Menu(), (MenuStates{false, true, true, true, false}));
  EXPECT_TRUE(window->StatusText().contains(QStringLiteral("kept"))) << window->StatusText().toStdString();

  runner.messageAnswers = {QMessageBox::Yes};
  Click("Reset1");
  EXPECT_EQ(runner.Messages(), (std::vector<std::string>{question, question}));
  EXPECT_FALSE(fs::exists(edited));
  EXPECT_EQ(Menu(), (MenuStates{true, false, false, false, true}));
  EXPECT_TRUE(window->StatusText().contains(QStringLiteral("discarded"))) << window->StatusText().toStdString();

  // Nothing pending: nothing to ask.
  Click("Reset1");
  EXPECT_EQ(runner.Messages().size(), 2u);
}

TEST_F(Window, EveryFileDialogStartsWithAnEmptyName) {
  // The source dialog right after the target's: a name left in it would be
  // opened a second time by a plain Enter.
  Start(nullptr, /*autoClose=*/false, /*askSource=*/true);
  const fs::path target = Dir() / "target.shx";
  WriteText(target, "S0 not a superfile\r\n");
  runner.answers.push_back(Choose(target));
  runner.answers.push_back(Cancel());
  Click("FileOpenItem");
  ASSERT_GE(runner.shown.size(), 2u);
  EXPECT_EQ(runner.shown[1].title, QStringLiteral("Open SBF/SHX/EZX/BIN file to export DRM from (Cancel to skip)"));
  EXPECT_EQ(runner.shown[1].fileName, QString());

  // Save As, after a name was typed and the dialog cancelled.
  Fresh();
  Start("1", /*autoClose=*/false);
  runner.answers.push_back([&](QDialog& d) {
    static_cast<QFileDialog&>(d).selectFile(PathToQString(Dir() / "typed.shx"));
    return static_cast<int>(QDialog::Rejected);
  });
  runner.answers.push_back(Cancel());
  Click("FileSaveAsItem");
  Click("FileSaveAsItem");
  ASSERT_EQ(runner.shown.size(), 2u);
  EXPECT_EQ(runner.shown[0].fileName, QString());
  EXPECT_EQ(runner.shown[1].fileName, QString());
}

TEST_F(Window, TheClientAreaSaysWhatToDoAndWhereThePicturesAre) {
  struct Case {
    const char* state;
    std::vector<const char*> says;
    const char* folder;  // the pictures' folder under the work folder; none when nothing is pending
  };
  const Case cases[] = {
      {nullptr, {"Open a flash file or skin (Ctrl+O) to begin"}, nullptr},
      {"2", {"a flash file, with a second file to port from", "Port, Build or Save As"}, "binary1/drmpack/icons"},
      {"5", {"a raw flash dump.", "Next: Build or Save As"}, "binary1/drmpack/icons"},
      {"9", {"a skin."}, "binary1/drmpack/raws"},
  };
  for (const Case& c : cases) {
    Fresh();
    Start(c.state);
    WorkPanel& panel = window->workPanel();
    EXPECT_EQ(window->centralWidget(), &panel);
    for (const char* part : c.says) {
      EXPECT_TRUE(panel.Text().contains(QString::fromUtf8(part))) << panel.Text().toStdString();
    }
    QPushButton* button = panel.openFolderButton();
    EXPECT_EQ(button->isHidden(), c.folder == nullptr);
    if (c.folder == nullptr) continue;
    const QString folder = PathToQString(Dir() / c.folder);
    EXPECT_TRUE(panel.Text().contains(folder)) << panel.Text().toStdString();
    QList<QUrl> opened;
    panel.openUrl = [&](const QUrl& url) {
      opened << url;
      return true;
    };
    button->click();
    EXPECT_EQ(opened, QList<QUrl>{QUrl::fromLocalFile(folder)});
  }
}

TEST_F(Window, FilesFromOutsideOpenWithoutDialogsUnlessWorkIsPending) {
  const auto shx = Sample(".shx");
  const auto sbf = Sample(".sbf");
  if (!shx || !sbf) GTEST_SKIP() << "no samples in " << resmill::test::BinaryDir() / "examples";
  Start(nullptr, /*autoClose=*/false, /*askSource=*/false);
  window->OpenFiles(*shx, *sbf);
  if (NotAvailable()) GTEST_SKIP() << "opening flash files is not built yet";
  EXPECT_TRUE(runner.shown.empty());  // no dialog, no message
  EXPECT_EQ(window->controller().session().stageFlags, 2);
  EXPECT_EQ(Menu(), (MenuStates{false, true, true, true, false}));
  EXPECT_TRUE(window->workPanel().Text().contains(PathToQString(shx->filename())));

  // The same guard as the Open menu item: pending work is not opened over.
  window->OpenFiles(*sbf, std::nullopt);
  const auto messages = runner.Messages();
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].rfind("Warning: Work is pending", 0), 0u) << messages[0];
  EXPECT_TRUE(runner.shown[0].detail.contains(PathToQString(*sbf)));
  EXPECT_EQ(window->controller().session().stageFlags, 2);
  EXPECT_EQ(window->controller().session().targetFileName, *shx);
}

TEST_F(Window, ADroppedFileIsOpened) {
  Start(nullptr, /*autoClose=*/false, /*askSource=*/true);
  const fs::path damaged = Dir() / "dropped.shx";
  WriteText(damaged, "S0this is not a superfile\r\n");
  QMimeData data;
  data.setUrls({QUrl::fromLocalFile(PathToQString(damaged))});
  QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(window.get(), &enter);
  EXPECT_TRUE(enter.isAccepted());
  QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(window.get(), &drop);
  QCoreApplication::processEvents();
  // Opened at once, without the dialogs (the source dialog included): the
  // one message is Open's verdict on the dropped file.
  const auto messages = runner.Messages();
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(runner.shown.size(), 1u);
  EXPECT_TRUE(messages[0].find("dropped.shx") != std::string::npos || messages[0] == "Error: No DRM found")
      << messages[0];
}

TEST(DroppedFiles, OneOrTwoLocalFilesAreOpened) {
  const QUrl a = QUrl::fromLocalFile(QStringLiteral("/x/a.shx"));
  const QUrl b = QUrl::fromLocalFile(QStringLiteral("/x/b.sbf"));
  EXPECT_EQ(MainWindow::FilesToOpen({a}), (std::vector<fs::path>{"/x/a.shx"}));
  EXPECT_EQ(MainWindow::FilesToOpen({a, b}), (std::vector<fs::path>{"/x/a.shx", "/x/b.sbf"}));
  EXPECT_FALSE(MainWindow::FilesToOpen({}));
  EXPECT_FALSE(MainWindow::FilesToOpen({a, b, a}));
  EXPECT_FALSE(MainWindow::FilesToOpen({QUrl(QStringLiteral("https://example.org/a.shx"))}));
}

TEST(CommandLine, FilesAreTheTargetAndTheSource) {
  const fs::path folder = "/home/u/ResMill";
  struct Case {
    QStringList arguments;
    std::optional<fs::path> target;
    std::optional<fs::path> source;
  };
  const Case cases[] = {
      {{}, std::nullopt, std::nullopt},
      {{"a.shx"}, folder / "a.shx", std::nullopt},
      {{"/data/a.shx", "../b.sbf"}, fs::path("/data/a.shx"), folder / "../b.sbf"},
  };
  for (const Case& c : cases) {
    QString error;
    auto files = FilesFromArguments(c.arguments, folder, error);
    ASSERT_TRUE(files) << c.arguments.join(u' ').toStdString();
    EXPECT_EQ(files->target, c.target);
    EXPECT_EQ(files->source, c.source);
  }
  QString error;
  EXPECT_FALSE(FilesFromArguments({"a", "b", "c"}, folder, error));
  EXPECT_TRUE(error.contains(QStringLiteral("at most two"))) << error.toStdString();
}

/// The first half of `file` as `copy`: a flash file cut off in the middle.
void WriteFirstHalf(const fs::path& file, const fs::path& copy) {
  const auto bytes = resmill::test::ReadBytes(file);
  resmill::test::WriteBytes(copy, std::vector<std::uint8_t>(bytes.begin(), bytes.begin() + bytes.size() / 2));
}

TEST_F(Window, ADamagedOrUnreadableSourceLeavesTheTargetsWork) {
  const auto shx = Sample(".shx");
  if (!shx) GTEST_SKIP() << "no sample superfile";
  for (const char* source : {"cut.shx", "missing.sbf"}) {
    Fresh();
    if (fs::path(source).extension() == ".shx") WriteFirstHalf(*shx, Dir() / source);
    Start(nullptr, /*autoClose=*/false, /*askSource=*/true);
    runner.answers.push_back(Choose(*shx));
    runner.answers.push_back(Choose(Dir() / source));
    Click("FileOpenItem");
    if (NotAvailable()) GTEST_SKIP() << "opening flash files is not built yet";
    const auto messages = runner.Messages();
    ASSERT_EQ(messages.size(), 1u) << source;
    EXPECT_EQ(messages[0].rfind("Warning: No 2nd DRM found\n\n", 0), 0u) << messages[0];
    EXPECT_NE(messages[0].find(source), std::string::npos) << messages[0];
    EXPECT_EQ(runner.shown.back().icon, QMessageBox::Warning);
    // The target's work goes on alone.
    EXPECT_EQ(window->controller().session().stageFlags, 1) << source;
    EXPECT_EQ(Menu(), (MenuStates{false, false, true, true, false})) << source;
    EXPECT_FALSE(resmill::test::ListFolder(Dir() / "binary1/drmpack/icons").empty());
    EXPECT_TRUE(window->StatusText().startsWith(QStringLiteral("DRM decompiled: "))) << source;
  }
}

TEST_F(Window, StatusSaysWhatTheLastCommandDid) {
  const auto shx = Sample(".shx");
  const auto sbf = Sample(".sbf");
  if (!shx || !sbf) GTEST_SKIP() << "no samples";
  // A target that fails half-way: the status must not go on saying that it is being decompiled.
  Start(nullptr, /*autoClose=*/false, /*askSource=*/false);
  WriteFirstHalf(*shx, Dir() / "cut.shx");
  runner.answers.push_back(Choose(Dir() / "cut.shx"));
  Click("FileOpenItem");
  if (NotAvailable()) GTEST_SKIP() << "opening flash files is not built yet";
  ASSERT_EQ(runner.Messages().size(), 1u);
  EXPECT_EQ(runner.shown.back().icon, QMessageBox::Critical);
  if (runner.Messages()[0] == "Error: No DRM found") {
    EXPECT_EQ(window->StatusText(), QStringLiteral("No DRM found. Shutting down."));
  } else {
    EXPECT_TRUE(window->StatusText().startsWith(QStringLiteral("Open failed: "))) << window->StatusText().toStdString();
  }

  // Open, Port and Build each end with what they did.
  Fresh();
  Start(nullptr, /*autoClose=*/false, /*askSource=*/true);
  runner.answers.push_back(Choose(*shx));
  runner.answers.push_back(Choose(*sbf));
  Click("FileOpenItem");
  EXPECT_TRUE(window->StatusText().startsWith(QStringLiteral("DRM decompiled: "))) << window->StatusText().toStdString();
  Click("Port1");
  EXPECT_TRUE(window->StatusText().startsWith(QStringLiteral("Port complete: "))) << window->StatusText().toStdString();
  EXPECT_TRUE(window->StatusText().contains(QStringLiteral(" pictures copied into ")));
  runner.answers.push_back(Cancel());
  Click("Build1");
  EXPECT_EQ(window->StatusText(), QStringLiteral("Build: no icon was replaced"));
}

}  // namespace
}  // namespace resmill::gui
