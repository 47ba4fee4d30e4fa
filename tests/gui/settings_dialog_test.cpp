// The Settings command: click reactions that act at once, what OK keeps, and
// the folder chooser behind "Select folder to save icons and CG's ".

#include <QAction>
#include <QCheckBox>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>

#include "app/settings.h"
#include "gui_test_support.h"
#include "main_window.h"
#include "qt_text.h"
#include "settings_dialog.h"
#include "test_support.h"

namespace resmill::gui {
namespace {

namespace fs = std::filesystem;
using resmill::test::ReadText;
using resmill::test::TempDir;
using test::Cancel;
using test::Choose;
using test::EnsureApp;
using test::ScriptedRunner;

class Settings : public ::testing::Test {
 protected:
  void SetUp() override {
    EnsureApp();
    window = std::make_unique<MainWindow>(runner, dir.path());
    ASSERT_TRUE(window->Start());
    iniBefore = ReadText(dir / "resmill.ini");
  }
  app::Settings& Current() { return window->controller().session().settings; }
  app::Settings Saved() { return app::LoadSettings(dir / "resmill.ini", dir.path()); }
  QCheckBox* Box(int number) { return window->settingsDialog().checkBox(number); }
  /// Runs the Settings command, doing `clicks` in the dialog and closing it with OK or Cancel.
  void RunSettings(std::function<void()> clicks, bool ok) {
    runner.answers.push_back([clicks, ok](QDialog&) {
      clicks();
      return static_cast<int>(ok ? QDialog::Accepted : QDialog::Rejected);
    });
    window->findChild<QAction*>(QStringLiteral("Settings1"))->trigger();
  }

  TempDir dir;
  ScriptedRunner runner;
  std::unique_ptr<MainWindow> window;
  std::string iniBefore;
};

TEST_F(Settings, DialogHasItsCaptionsAndStartsFromTheSettings) {
  SettingsDialog& dialog = window->settingsDialog();
  EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Settings"));
  EXPECT_GE(dialog.width(), 321);
  EXPECT_GE(dialog.height(), 283);
  struct BoxCase {
    int number;
    const char* caption;
    bool ticked;  // with the default settings
  };
  const BoxCase cases[] = {
      {1, "Do not perform clean-up on completion", false},
      {2, "Edit only mode (Export from dialog is not invoked)", false},
      {6, "Auto-close app on stage completion", true},
      {4, "Disable RAW 2 BMP conversion", false},
      {3, "Select folder to save icons and CG's ", false},
  };
  for (const BoxCase& c : cases) {
    ASSERT_NE(Box(c.number), nullptr);
    EXPECT_EQ(Box(c.number)->text(), QString::fromUtf8(c.caption));
    EXPECT_EQ(Box(c.number)->isChecked(), c.ticked) << c.number;
  }
  auto* cancel = dialog.findChild<QPushButton*>(QStringLiteral("Button1"));
  auto* ok = dialog.findChild<QPushButton*>(QStringLiteral("Button2"));
  ASSERT_TRUE(cancel && ok);
  EXPECT_LT(cancel->x(), ok->x());
}

TEST_F(Settings, ClickReactionsActAtOnceAndCancelKeepsThem) {
  RunSettings(
      [&] {
        Box(6)->click();  // auto-close off
        Box(4)->click();  // conversion off
        Box(1)->click();  // read only after OK
        Box(2)->click();
      },
      /*ok=*/false);
  EXPECT_FALSE(Current().autoCloseOnStage);
  EXPECT_FALSE(Current().convertRawToBmp);
  EXPECT_TRUE(Current().cleanUpOnCompletion);
  EXPECT_TRUE(Current().askForSourceFile);
  EXPECT_EQ(ReadText(dir / "resmill.ini"), iniBefore);  // the file waits for an OK
  // Shown again, the boxes show what the settings now are.
  RunSettings(
      [&] {
        EXPECT_FALSE(Box(6)->isChecked());
        EXPECT_TRUE(Box(4)->isChecked());
        EXPECT_FALSE(Box(1)->isChecked());
        EXPECT_FALSE(Box(2)->isChecked());
      },
      /*ok=*/false);
}

TEST_F(Settings, OkWritesTheSettingsFile) {
  RunSettings(
      [&] {
        Box(1)->click();
        Box(2)->click();
        Box(4)->click();
        Box(6)->click();
      },
      /*ok=*/true);
  const app::Settings saved = Saved();
  EXPECT_FALSE(saved.cleanUpOnCompletion);
  EXPECT_FALSE(saved.askForSourceFile);
  EXPECT_FALSE(saved.convertRawToBmp);
  EXPECT_FALSE(saved.autoCloseOnStage);
  EXPECT_EQ(saved.workFolder, dir.path());
  EXPECT_FALSE(Current().cleanUpOnCompletion);
  EXPECT_FALSE(Current().askForSourceFile);
}

TEST_F(Settings, ACancelledFolderChoiceUnticksTheBox) {
  runner.answers.push_back([&](QDialog&) {
    runner.answers.push_front(Cancel());  // the folder chooser opened by the click
    Box(3)->click();
    EXPECT_FALSE(Box(3)->isChecked());
    return static_cast<int>(QDialog::Accepted);
  });
  window->findChild<QAction*>(QStringLiteral("Settings1"))->trigger();
  ASSERT_EQ(runner.shown.size(), 2u);
  EXPECT_EQ(runner.shown[1].title, QStringLiteral("Select a folder"));
  EXPECT_EQ(Saved().workFolder, dir.path());
  EXPECT_EQ(Current().workFolder, dir.path());
}

TEST_F(Settings, AChosenFolderBecomesTheWorkFolder) {
  const fs::path work = dir / "work";
  fs::create_directories(work);
  const fs::path cwd = fs::current_path();
  runner.answers.push_back([&](QDialog&) {
    runner.answers.push_front(Choose(work));
    Box(3)->click();
    EXPECT_TRUE(Box(3)->isChecked());
    return static_cast<int>(QDialog::Accepted);
  });
  window->findChild<QAction*>(QStringLiteral("Settings1"))->trigger();
  EXPECT_EQ(Saved().workFolder, work);
  EXPECT_EQ(Current().workFolder, work);
  EXPECT_TRUE(fs::is_directory(work / "binary1/drmpack/icons"));
  EXPECT_TRUE(fs::is_directory(work / "binary2/drmpack/icons"));
  EXPECT_EQ(fs::current_path(), cwd);
  // The box stays ticked; unticking it and pressing OK keeps the folder.
  RunSettings([&] { Box(3)->click(); }, /*ok=*/true);
  EXPECT_EQ(Saved().workFolder, work);
}

TEST_F(Settings, ResetReloadsTheFileAndTheDialogShowsIt) {
  RunSettings([&] { Box(6)->click(); }, /*ok=*/false);
  ASSERT_FALSE(Current().autoCloseOnStage);
  window->findChild<QAction*>(QStringLiteral("Reset1"))->trigger();
  EXPECT_TRUE(Current().autoCloseOnStage);
  RunSettings([&] { EXPECT_TRUE(Box(6)->isChecked()); }, /*ok=*/true);
  EXPECT_TRUE(Saved().autoCloseOnStage);
}

TEST_F(Settings, EnterMeansOk) {
  runner.answers.push_back([&](QDialog& dialog) {
    dialog.show();
    Box(1)->click();  // the focus stays on the box the user clicked
    Box(1)->setFocus();
    QTest::keyClick(Box(1), Qt::Key_Return);
    dialog.hide();
    return dialog.result();
  });
  window->findChild<QAction*>(QStringLiteral("Settings1"))->trigger();
  EXPECT_FALSE(Saved().cleanUpOnCompletion);  // applied and saved
  auto* ok = window->settingsDialog().findChild<QPushButton*>(QStringLiteral("Button2"));
  auto* cancel = window->settingsDialog().findChild<QPushButton*>(QStringLiteral("Button1"));
  EXPECT_TRUE(ok->isDefault());
  EXPECT_FALSE(cancel->isDefault());
}

}  // namespace
}  // namespace resmill::gui
