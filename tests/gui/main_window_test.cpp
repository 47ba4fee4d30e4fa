// The main window over the workflow controller: menu items and their states,
// Open, Save As, Exit, Reset, the error report and the progress window.

#include <QAction>
#include <QApplication>
#include <QFileDialog>
#include <QMenuBar>
#include <QMessageBox>
#include <gtest/gtest.h>

#include "app/settings.h"
#include "gui_test_support.h"
#include "main_window.h"
#include "qt_text.h"
#include "test_support.h"

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
  auto& open = window->ui().openDialog();
  EXPECT_EQ(open.nameFilters().size(), 4);
  // Qt folds the two blanks of "BIN (SMG)  files" into one when it takes the filter.
  EXPECT_TRUE(open.nameFilters()[2].startsWith(QStringLiteral("BIN (SMG) files (*.[bB][iI][nN] *.[sS][mM][gG])")))
      << open.nameFilters()[2].toStdString();
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
      {false, false, std::nullopt, 1, {false, false, true, true, false}, "Decompiling source file 1"},
      {true, false, std::nullopt, 1, {false, false, true, true, false}, "Decompiling source file 1"},
      {true, false, *sbf, 2, {false, true, true, true, false}, "Decompiling source file 2"},
      {true, true, *sbf, 2, {true, false, false, false, true}, "Decompiling source file 2"},
  };
  for (const Case& c : cases) {
    Fresh();
    Start(nullptr, c.autoClose, c.askSource);
    runner.answers.push_back(Choose(*shx));
    if (c.askSource) runner.answers.push_back(c.source ? Choose(*c.source) : Cancel());
    Click("FileOpenItem");
    if (NotAvailable()) GTEST_SKIP() << "opening flash files is not built yet";
    EXPECT_EQ(window->controller().session().stageFlags, c.flags);
    EXPECT_EQ(window->StatusText(), QString::fromUtf8(c.status));
    EXPECT_FALSE(resmill::test::ListFolder(Dir() / "binary1/drmpack/icons").empty());
    if (c.autoClose) {
      EXPECT_EQ(runner.Messages(), std::vector<std::string>{": DRM decompiled."});
      EXPECT_TRUE(window->Closed());
      EXPECT_EQ(ReadText(Dir() / "shxdata.dat"), std::to_string(c.flags));
    } else {
      EXPECT_EQ(Menu(), c.menu);
      EXPECT_TRUE(runner.Messages().empty());
      EXPECT_FALSE(window->Closed());
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
    runner.answers.push_back(Cancel());
    Click("FileSaveAsItem");
    ASSERT_EQ(runner.shown.size(), 1u);
    EXPECT_EQ(runner.shown[0].title, QString::fromUtf8(c.title));
    QFileDialog& save = window->ui().saveDialog();
    ASSERT_EQ(save.nameFilters().size(), 1);
    EXPECT_TRUE(save.nameFilters()[0].startsWith(QString::fromUtf8(c.filterStart))) << c.state;
    EXPECT_EQ(save.defaultSuffix(), QStringLiteral("shx"));
    EXPECT_EQ(save.acceptMode(), QFileDialog::AcceptSave);
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
  Click("FileSaveAsItem");
  if (NotAvailable()) GTEST_SKIP() << "saving superfiles is not built yet";
  EXPECT_EQ(runner.Messages().back(), ": Operation Complete");
  EXPECT_EQ(window->StatusText(), QStringLiteral("Complete"));
  EXPECT_TRUE(fs::is_regular_file(out));
  EXPECT_TRUE(window->controller().session().drmSaved);
  EXPECT_FALSE(window->Closed());
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
  Click("Reset1");
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

}  // namespace
}  // namespace resmill::gui
