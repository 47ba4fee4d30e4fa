// The window's parts that stand on their own: filters, the progress window,
// the folder chooser, the About box and the icon-size dialog.

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>

#include "about_box.h"
#include "file_filter.h"
#include "gui_test_support.h"
#include "icon_size_dialog.h"
#include "open_directory.h"
#include "progress_window.h"
#include "qt_text.h"
#include "test_support.h"

namespace resmill::gui {
namespace {

namespace fs = std::filesystem;
using test::Accept;
using test::Cancel;
using test::Choose;
using test::EnsureApp;
using test::ScriptedRunner;

class Widgets : public ::testing::Test {
 protected:
  void SetUp() override { EnsureApp(); }
};

TEST(FileFilter, ConvertsThePipeFormToCaseBlindQtFilters) {
  struct Case {
    const char* filter;
    QStringList expected;
  };
  const Case cases[] = {
      {"SHX files|*.shx", {"SHX files (*.[sS][hH][xX])"}},
      {"SHX files|*.shx|SBF files|*.sbf|BIN (SMG)  files|*.bin;*.smg|EZX files|*.ezx",
       {"SHX files (*.[sS][hH][xX])", "SBF files (*.[sS][bB][fF])", "BIN (SMG)  files (*.[bB][iI][nN] *.[sS][mM][gG])",
        "EZX files (*.[eE][zZ][xX])"}},
      {"Port Tables|*.dpt", {"Port Tables (*.[dD][pP][tT])"}},
      {"Everything|", {"Everything (*)"}},
      {"Dangling", {"Dangling (*)"}},
      {"", {}},
  };
  for (const Case& c : cases) EXPECT_EQ(ToQtNameFilters(c.filter), c.expected) << c.filter;
}

TEST(FileFilter, CaseBlindPatternsMatchEitherCase) {
  // The dialog matches name filters as wildcards; these are the same rules.
  const QString pattern = CaseBlindPattern(QStringLiteral("*.shx"));
  for (const char* name : {"a.shx", "A.SHX", "v3.ShX"}) {
    EXPECT_TRUE(QDir::match(pattern, QString::fromUtf8(name))) << name;
  }
  for (const char* name : {"a.sbf", "a.shx.bak", "shx"}) {
    EXPECT_FALSE(QDir::match(pattern, QString::fromUtf8(name))) << name;
  }
}

TEST_F(Widgets, ProgressWindowShowsCaptionsAndPositionsAndStartsAgainAtZero) {
  ProgressWindow window(nullptr);
  EXPECT_EQ(window.windowTitle(), QStringLiteral("Please wait..."));
  EXPECT_EQ(window.size(), QSize(347, 93));
  EXPECT_TRUE(window.windowFlags() & Qt::WindowStaysOnTopHint);
  EXPECT_FALSE(window.windowFlags() & Qt::WindowSystemMenuHint);
  EXPECT_FALSE(window.windowFlags() & Qt::WindowCloseButtonHint);
  auto* bar = window.findChild<QProgressBar*>(QStringLiteral("ProgressBar1"));
  ASSERT_NE(bar, nullptr);
  EXPECT_EQ(bar->geometry(), QRect(16, 24, 305, 17));
  EXPECT_EQ(bar->minimum(), 0);
  EXPECT_EQ(bar->maximum(), 100);

  int updates = 0;
  QObject::connect(&window, &ProgressWindow::Updated, [&] { ++updates; });
  Progress& progress = window;
  progress.Show();
  EXPECT_TRUE(window.isVisible());
  EXPECT_EQ(window.pos(), QPoint(150, 300));
  progress.SetCaption("Extracting RAWs");
  progress.SetPosition(37);
  EXPECT_EQ(window.windowTitle(), QStringLiteral("Extracting RAWs"));
  EXPECT_EQ(window.Position(), 37);
  // The inner operation of a chain closes the window; the caller shows it again.
  progress.Close();
  EXPECT_FALSE(window.isVisible());
  progress.Show();
  progress.SetCaption("Compiling shx");
  EXPECT_TRUE(window.isVisible());
  EXPECT_EQ(window.Position(), 0);
  EXPECT_EQ(window.windowTitle(), QStringLiteral("Compiling shx"));
  progress.SetPosition(250);  // out of range stays in the bar's range
  EXPECT_EQ(window.Position(), 100);
  progress.Close();
  EXPECT_EQ(updates, 8);
}

TEST_F(Widgets, FolderChooserReturnsTheFolderAndLeavesTheCurrentDirectory) {
  resmill::test::TempDir dir;
  fs::create_directories(dir / "Pics");
  const QString before = QDir::currentPath();
  ScriptedRunner runner;
  OpenDirectory chooser(runner, nullptr);
  chooser.Title = QStringLiteral("Select a folder");
  chooser.StartFolder = PathToQString(dir.path());

  QString startShown;
  runner.answers.push_back([&](QDialog& d) {
    auto& files = static_cast<QFileDialog&>(d);
    startShown = files.directory().absolutePath();
    EXPECT_EQ(files.fileMode(), QFileDialog::Directory);
    EXPECT_TRUE(files.testOption(QFileDialog::ShowDirsOnly));
    return Choose(dir / "Pics")(d);
  });
  ASSERT_TRUE(chooser.Execute());
  EXPECT_EQ(startShown, QDir(PathToQString(dir.path())).absolutePath());
  EXPECT_EQ(QStringToPath(chooser.ChosenFolder()), dir / "Pics");
  EXPECT_EQ(runner.shown.at(0).title, QStringLiteral("Select a folder"));
  EXPECT_EQ(QDir::currentPath(), before);

  // Cancel forgets the earlier choice.
  runner.answers.push_back(Cancel());
  EXPECT_FALSE(chooser.Execute());
  EXPECT_TRUE(chooser.ChosenFolder().isEmpty());

  // No start folder: the current directory, which is still the program folder.
  chooser.StartFolder.clear();
  runner.answers.push_back([&](QDialog& d) {
    startShown = static_cast<QFileDialog&>(d).directory().absolutePath();
    return static_cast<int>(QDialog::Rejected);
  });
  chooser.Execute();
  EXPECT_EQ(startShown, QDir::currentPath());
}

TEST_F(Widgets, AboutBoxNamesToolAndVersion) {
  AboutBox box(nullptr);
  EXPECT_EQ(box.windowTitle(), QStringLiteral("About"));
  EXPECT_GE(box.width(), 298);
  EXPECT_GE(box.height(), 178);
  QStringList texts;
  for (QLabel* label : box.findChildren<QLabel*>()) texts << label->text();
  EXPECT_TRUE(texts.contains(QStringLiteral("ResMill")));
  EXPECT_TRUE(texts.contains(QStringLiteral("Version 0.4.0 beta")));
  auto* ok = box.findChild<QPushButton*>(QStringLiteral("OKButton"));
  ASSERT_NE(ok, nullptr);
  EXPECT_TRUE(ok->isDefault());
  ok->click();
  EXPECT_EQ(box.result(), QDialog::Accepted);
}

TEST_F(Widgets, IconSizeEditsTakeWholeNumbersAndPutBackTheLastValue) {
  IconSizeDialog dialog(nullptr);
  ScriptedRunner runner;
  EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Set desired icon size"));
  EXPECT_GE(dialog.width(), 210);
  EXPECT_GE(dialog.height(), 138);
  EXPECT_EQ(dialog.widthEdit()->maxLength(), 3);
  EXPECT_EQ(dialog.heightEdit()->maxLength(), 3);

  // Each case replaces the whole text at once, as a paste does.
  struct Paste {
    const char* width;
    const char* height;
    IconSize result;
    const char* widthShown;
  };
  const Paste cases[] = {
      {"48", "32", {48, 32}, "48"},
      {"1a", "16", {0, 16}, "0"},        // not a number: the last accepted width comes back
      {"-5", "7", {0, 7}, "0"},          // negative sizes are refused
      {"1234", "12", {123, 12}, "123"},  // at most three characters reach the edit
      {"32", "", {32, 0}, "32"},
  };
  auto paste = [](QLineEdit* edit, const char* text) {
    edit->selectAll();
    edit->insert(QString::fromUtf8(text));
  };
  for (const Paste& t : cases) {
    runner.answers.push_back([&](QDialog&) {
      EXPECT_EQ(dialog.widthEdit()->text(), QStringLiteral("0"));
      EXPECT_EQ(dialog.Message(), QStringLiteral("12.gif is zero-sized"));
      paste(dialog.widthEdit(), t.width);
      paste(dialog.heightEdit(), t.height);
      EXPECT_EQ(dialog.widthEdit()->text(), QString::fromUtf8(t.widthShown)) << t.width;
      return static_cast<int>(QDialog::Rejected);  // the size counts however the dialog closes
    });
    IconSize size = dialog.Ask("12.gif", runner);
    EXPECT_EQ(size.width, t.result.width) << t.width;
    EXPECT_EQ(size.height, t.result.height) << t.height;
  }

  // Typed key by key, "1a" keeps the 1 accepted a key earlier.
  runner.answers.push_back([&](QDialog&) {
    dialog.widthEdit()->selectAll();
    QTest::keyClicks(dialog.widthEdit(), QStringLiteral("1a"));
    EXPECT_EQ(dialog.widthEdit()->text(), QStringLiteral("1"));
    return static_cast<int>(QDialog::Accepted);
  });
  EXPECT_EQ(dialog.Ask("7.gif", runner).width, 1);
}

}  // namespace
}  // namespace resmill::gui
