// The Build command through the window: the Build Setup dialog drawn over its
// model, the confirmation, and what lands in the target icons.

#include <QAction>
#include <QCheckBox>
#include <QImage>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>
#include <map>

#include "app/settings.h"
#include "build_setup_dialog.h"
#include "gui_test_support.h"
#include "main_window.h"
#include "qt_text.h"
#include "test_support.h"

namespace resmill::gui {
namespace {

namespace fs = std::filesystem;
using resmill::test::ReadBytes;
using resmill::test::TempDir;
using resmill::test::WriteText;
using test::EnsureApp;
using test::ScriptedRunner;

void WritePng(const fs::path& file, int width, int height, QRgb colour) {
  QImage image(width, height, QImage::Format_ARGB32);
  image.fill(colour);
  ASSERT_TRUE(image.save(PathToQString(file), "PNG")) << file;
}

QStringList Items(const QListWidget* list) {
  QStringList items;
  for (int i = 0; i < list->count(); ++i) items << list->item(i)->text();
  return items;
}

class BuildSetup : public ::testing::Test {
 protected:
  void SetUp() override {
    EnsureApp();
    targetIcons = dir / "binary1/drmpack/icons";
    sourceIcons = dir / "binary2/drmpack/icons";
    app::Settings settings;
    settings.autoCloseOnStage = false;
    settings.workFolder = dir.path();
    app::SaveSettings(settings, dir / "resmill.ini");
    WriteText(dir / "shxdata.dat", "2");  // two flash files opened in an earlier run
    fs::create_directories(targetIcons);
    fs::create_directories(sourceIcons);
    for (const char* name : {"10.png", "9.png", "B.png", "a.png"}) WritePng(targetIcons / name, 240, 100, 0xff0000ffu);
    WritePng(sourceIcons / "1.png", 16, 16, 0xff00ff00u);
    WritePng(sourceIcons / "2.png", 300, 200, 0xffff0000u);
    window = std::make_unique<MainWindow>(runner, dir.path());
    ASSERT_TRUE(window->Start());
  }

  /// Runs the Build command; `setup` works in the dialog, which then closes with `ok`.
  void Build(std::function<void(BuildSetupDialog&)> setup, bool ok) {
    runner.answers.push_back([setup, ok](QDialog& d) {
      auto& dialog = static_cast<BuildSetupDialog&>(d);
      if (setup) setup(dialog);
      return static_cast<int>(ok ? QDialog::Accepted : QDialog::Rejected);
    });
    window->findChild<QAction*>(QStringLiteral("Build1"))->trigger();
  }

  TempDir dir;
  fs::path targetIcons;
  fs::path sourceIcons;
  ScriptedRunner runner;
  std::unique_ptr<MainWindow> window;
};

TEST_F(BuildSetup, ControlsKeepTheFormsArrangement) {
  Build(
      [](BuildSetupDialog& dialog) {
        EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Build Setup"));
        dialog.show();
        EXPECT_GE(dialog.width(), 560);
        EXPECT_GE(dialog.height(), 313);
        struct Control {
          const char* name;
          const char* caption;
          QSize smallest;
        };
        const Control controls[] = {
            {"Panel1", nullptr, {129, 145}},  {"ListBox1", nullptr, {105, 185}},
            {"Button3", "<=", {33, 25}},      {"ListBox2", nullptr, {105, 185}},
            {"Panel2", nullptr, {129, 145}},  {"Button4", "Select source folder", {105, 25}},
            {"Button6", "Reset", {75, 25}},   {"CheckBox1", "Match Size", {}},
            {"CheckBox2", "Apply port table", {}}, {"CheckBox3", "Stretch", {}},
            {"Button1", "Cancel", {75, 25}},  {"Button2", "OK", {75, 25}},
        };
        std::map<std::string, QRect> at;
        for (const Control& c : controls) {
          auto* widget = dialog.findChild<QWidget*>(QString::fromUtf8(c.name));
          ASSERT_NE(widget, nullptr) << c.name;
          at[c.name] = widget->geometry();
          EXPECT_GE(widget->width(), c.smallest.width()) << c.name;
          EXPECT_GE(widget->height(), c.smallest.height()) << c.name;
          if (auto* button = qobject_cast<QAbstractButton*>(widget); button && c.caption) {
            EXPECT_EQ(button->text(), QString::fromUtf8(c.caption)) << c.name;
          }
        }
        // Left to right: target preview, target list, "<=", source list, source preview.
        EXPECT_LT(at["Panel1"].right(), at["ListBox1"].left());
        EXPECT_LT(at["ListBox1"].right(), at["Button3"].left());
        EXPECT_LT(at["Button3"].right(), at["ListBox2"].left());
        EXPECT_LT(at["ListBox2"].right(), at["Panel2"].left());
        // "Select source folder" over the source list; the boxes under the lists; OK last.
        EXPECT_LT(at["Button4"].bottom(), at["ListBox2"].top());
        EXPECT_GT(at["CheckBox1"].top(), at["ListBox1"].bottom());
        EXPECT_GT(at["CheckBox2"].top(), at["ListBox2"].bottom());
        EXPECT_GT(at["CheckBox3"].top(), at["Panel1"].bottom());
        EXPECT_GT(at["Button6"].top(), at["Panel2"].bottom());
        EXPECT_LT(at["Button1"].right(), at["Button2"].left());
        EXPECT_GT(at["Button2"].top(), at["CheckBox2"].bottom());
        EXPECT_EQ(dialog.portTableBox()->text(), QStringLiteral("Apply port table"));
        EXPECT_EQ(dialog.resetButton()->palette().color(QPalette::ButtonText), QColor(Qt::red));
        dialog.hide();
      },
      false);
}

/// Share of reddish pixels (red well above green and blue) in `image`.
double RedShare(const QImage& image) {
  int red = 0;
  for (int y = 0; y < image.height(); ++y) {
    for (int x = 0; x < image.width(); ++x) {
      const QColor c = image.pixelColor(x, y);
      red += c.red() > 150 && c.red() > c.green() + 80 && c.red() > c.blue() + 80;
    }
  }
  return static_cast<double>(red) / (image.width() * image.height());
}

TEST_F(BuildSetup, ADisabledResetLooksDisabled) {
  WriteText(dir / "shxdata.dat", "1");  // one file: no source folder yet, Reset is disabled
  window = std::make_unique<MainWindow>(runner, dir.path());
  ASSERT_TRUE(window->Start());
  Build(
      [&](BuildSetupDialog& dialog) {
        QPushButton* reset = dialog.resetButton();
        ASSERT_FALSE(reset->isEnabled());
        EXPECT_NE(reset->palette().color(QPalette::Disabled, QPalette::ButtonText), QColor(Qt::red));
        dialog.show();
        EXPECT_LT(RedShare(reset->grab().toImage()), 0.001);
        // Once a source folder is in use it can be pressed, and shows it in red.
        dialog.model().SetSourceFolder(sourceIcons);
        reset->setEnabled(true);
        EXPECT_GT(RedShare(reset->grab().toImage()), 0.005);
        dialog.hide();
      },
      false);
}

TEST_F(BuildSetup, EnterFinishesWithOkAndNeverPairs) {
  Build(
      [&](BuildSetupDialog& dialog) {
        dialog.show();
        dialog.pairButton()->click();
        dialog.pairButton()->click();  // the same pairing again adds nothing
        EXPECT_EQ(dialog.model().Table().Count(), 1u);
        dialog.targetList()->setCurrentRow(1);
        // Enter with the focus on "<=" (where the click left it) or on a list.
        dialog.pairButton()->setFocus();
        QTest::keyClick(dialog.pairButton(), Qt::Key_Return);
        EXPECT_EQ(dialog.model().Table().Count(), 1u);
        EXPECT_EQ(dialog.result(), QDialog::Accepted);
        dialog.setResult(0);
        dialog.show();
        dialog.targetList()->setFocus();
        QTest::keyClick(dialog.targetList(), Qt::Key_Return);
        EXPECT_EQ(dialog.model().Table().Count(), 1u);
        EXPECT_EQ(dialog.result(), QDialog::Accepted);
        auto* ok = dialog.findChild<QPushButton*>(QStringLiteral("Button2"));
        EXPECT_TRUE(ok->isDefault());
      },
      false);
}

TEST_F(BuildSetup, TheTableDialogStartsEmptyAndABadTableKeepsThePairings) {
  // The same run chose a flash file before: its name must not wait in the port table's dialog.
  const fs::path flash = dir / "phone.shx";
  WriteText(flash, "S0\r\n");
  runner.answers.push_back(test::Choose(flash));
  ASSERT_TRUE(window->ui().ChooseOpenFile("Open SBF/SHX/EZX/BIN file to edit or import DRM to", "SHX files|*.shx"));
  const fs::path bad = dir / "bad.dpt";
  WriteText(bad, "not a table\r\n2 a\r\n");
  Build(
      [&](BuildSetupDialog& dialog) {
        dialog.targetList()->setCurrentRow(2);
        dialog.pairButton()->click();
        ASSERT_TRUE(dialog.MarkerShown());
        runner.answers.push_front(test::Choose(bad));
        dialog.portTableBox()->click();
        EXPECT_FALSE(dialog.portTableBox()->isChecked());
        EXPECT_TRUE(dialog.portTableBox()->isEnabled());
        EXPECT_EQ(dialog.model().Table().Count(), 1u);  // the pairing made by hand stays
        EXPECT_TRUE(dialog.MarkerShown());              // and so does its marker
      },
      false);
  ASSERT_GE(runner.shown.size(), 3u);
  EXPECT_EQ(runner.shown[2].title, QStringLiteral("Select icon port table"));
  EXPECT_EQ(runner.shown[2].fileName, QString());
  EXPECT_EQ(runner.Messages(), std::vector<std::string>{"Error: Invalid port table header"});
}

TEST_F(BuildSetup, ListsAreSortedAndTheSourceDrmIsOffered) {
  Build(
      [&](BuildSetupDialog& dialog) {
        EXPECT_EQ(Items(dialog.targetList()), (QStringList{"9.png", "B.png", "a.png", "10.png"}));
        EXPECT_EQ(Items(dialog.sourceList()), (QStringList{"1.png", "2.png"}));
        EXPECT_EQ(dialog.targetList()->currentRow(), 0);
        EXPECT_EQ(dialog.sourceList()->currentRow(), 0);
        EXPECT_TRUE(dialog.pairButton()->isEnabled());
        EXPECT_TRUE(dialog.portTableBox()->isEnabled());  // conversion on, two files
      },
      false);
}

TEST_F(BuildSetup, PairedIconsAreReplacedAfterConfirmation) {
  Build(
      [&](BuildSetupDialog& dialog) {
        dialog.targetList()->setCurrentRow(2);  // a.png
        dialog.sourceList()->setCurrentRow(1);  // 2.png
        dialog.pairButton()->click();
        EXPECT_TRUE(dialog.model().Controls().pairingMarkerShown);
        EXPECT_TRUE(dialog.MarkerShown());
        dialog.targetList()->setCurrentRow(3);  // 10.png, unpaired: the default shows again
        EXPECT_FALSE(dialog.model().Controls().pairingMarkerShown);
        dialog.sourceList()->setCurrentRow(0);
        dialog.pairButton()->click();
      },
      true);
  const auto messages = runner.Messages();
  ASSERT_EQ(messages.size(), 2u);
  EXPECT_EQ(messages[0], "Confirmation: Are you sure?");
  EXPECT_EQ(messages[1], ": Transfer complete");
  EXPECT_EQ(runner.shown[1].parent, window.get());
  EXPECT_EQ(ReadBytes(targetIcons / "a.png"), ReadBytes(sourceIcons / "2.png"));
  EXPECT_EQ(ReadBytes(targetIcons / "10.png"), ReadBytes(sourceIcons / "1.png"));
  EXPECT_NE(ReadBytes(targetIcons / "9.png"), ReadBytes(sourceIcons / "1.png"));
  EXPECT_TRUE(window->controller().session().buildCompleted);
}

TEST_F(BuildSetup, NothingRunsWithoutOkPairingsAndConfirmation) {
  struct Case {
    const char* what;
    bool pair;
    bool ok;
    int confirmAnswer;
    std::vector<std::string> messages;
  };
  const Case cases[] = {
      {"cancelled setup", true, false, QMessageBox::Ok, {}},
      {"no pairing", false, true, QMessageBox::Ok, {}},
      {"confirmation cancelled", true, true, QMessageBox::Cancel, {"Confirmation: Are you sure?"}},
  };
  const auto before = ReadBytes(targetIcons / "9.png");
  for (const Case& c : cases) {
    runner.shown.clear();
    runner.messageAnswers = {c.confirmAnswer};
    Build(
        [&](BuildSetupDialog& dialog) {
          if (c.pair) dialog.pairButton()->click();
        },
        c.ok);
    EXPECT_EQ(runner.Messages(), c.messages) << c.what;
    EXPECT_EQ(ReadBytes(targetIcons / "9.png"), before) << c.what;
    EXPECT_FALSE(window->controller().session().buildCompleted) << c.what;
  }
}

TEST_F(BuildSetup, PreviewsAreSizedCentredAndDrawn) {
  Build(
      [&](BuildSetupDialog& dialog) {
        // 240 × 100 in the left panel: 121 × 50 at (0, 43) inside the black area at (12, 44).
        EXPECT_EQ(dialog.targetPreview().picture, (replacement::Rect{12, 87, 121, 50}));
        // 16 × 16 keeps its size at (52, 60); Stretch makes it 121 × 121.
        EXPECT_EQ(dialog.sourcePreview().picture, (replacement::Rect{428 + 52, 44 + 60, 16, 16}));
        dialog.stretchBox()->click();
        EXPECT_EQ(dialog.sourcePreview().picture, (replacement::Rect{428, 44 + 8, 121, 121}));
        dialog.sourceList()->setCurrentRow(1);  // 300 × 200
        EXPECT_EQ(dialog.sourcePreview().picture.width, 121);
        EXPECT_EQ(dialog.sourcePreview().picture.height, 81);

        // Each panel draws its preview relative to its corner, the form's (8, 40) and (424, 40).
        const QImage target = dialog.targetPanel()->grab().toImage();
        const QImage source = dialog.sourcePanel()->grab().toImage();
        EXPECT_EQ(target.pixelColor(14 - 8, 46 - 40), QColor(Qt::black));  // black area above the picture
        EXPECT_EQ(target.pixelColor(70 - 8, 110 - 40), QColor(0, 0, 255));  // the blue target icon
        EXPECT_EQ(source.pixelColor(488 - 424, 110 - 40), QColor(255, 0, 0));  // the red source picture
      },
      false);
}

TEST_F(BuildSetup, UnreadablePictureShowsNoImage) {
  WriteText(targetIcons / "9.png", "not a picture");
  Build(
      [&](BuildSetupDialog& dialog) {
        EXPECT_TRUE(dialog.targetPreview().noImage);
        EXPECT_FALSE(dialog.targetPreview().hasPicture);
        const QImage shot = dialog.targetPanel()->grab().toImage();
        int white = 0;
        for (int y = 4; y < 4 + 137; ++y) {
          for (int x = 4; x < 4 + 121; ++x) white += shot.pixelColor(x, y).lightness() > 128;
        }
        EXPECT_GT(white, 10);  // the text "[No image]"
      },
      false);
}

TEST_F(BuildSetup, SourceFolderComesFromTheFolderChooser) {
  const fs::path pictures = dir / "pictures";
  fs::create_directories(pictures);
  WritePng(pictures / "x.png", 8, 8, 0xff000000u);
  WriteText(pictures / "notes.txt", "not offered");
  Build(
      [&](BuildSetupDialog& dialog) {
        runner.answers.push_front(test::Choose(pictures));
        dialog.sourceFolderButton()->click();
        EXPECT_EQ(Items(dialog.sourceList()), QStringList{"x.png"});
        EXPECT_TRUE(runner.shown.back().title.isEmpty() || runner.shown.back().objectName == "OpenDirectory");
      },
      false);
}

TEST_F(BuildSetup, PortTableFillsThePairingsAndItsMessagesSitOnTheDialog) {
  const fs::path table = dir / "icons.dpt";
  WriteText(table, "[DRM PORT TABLE]\r\n2 a\r\n1 10 /n\r\n");
  BuildSetupDialog* shownDialog = nullptr;
  Build(
      [&](BuildSetupDialog& dialog) {
        shownDialog = &dialog;
        runner.answers.push_front(test::Choose(table));
        dialog.portTableBox()->click();
        EXPECT_TRUE(dialog.portTableBox()->isChecked());
        EXPECT_FALSE(dialog.portTableBox()->isEnabled());
        EXPECT_EQ(dialog.model().Table().Count(), 2u);
      },
      true);
  const auto messages = runner.Messages();
  ASSERT_GE(messages.size(), 1u);
  EXPECT_EQ(messages[0], ": Table applied");
  EXPECT_EQ(runner.shown[2].text, QStringLiteral("Table applied"));
  EXPECT_EQ(runner.shown[2].parent, shownDialog);
  EXPECT_EQ(ReadBytes(targetIcons / "10.png"), ReadBytes(sourceIcons / "1.png"));
}

TEST_F(BuildSetup, AnActionThatFailsShowsAMessageAndTheDialogStays) {
  const fs::path table = dir / "folder.dpt";
  fs::create_directories(table);  // a folder cannot be read as a table
  BuildSetupDialog* shownDialog = nullptr;
  Build(
      [&](BuildSetupDialog& dialog) {
        shownDialog = &dialog;
        runner.answers.push_front(test::Choose(table));
        dialog.portTableBox()->click();
      },
      false);
  const auto messages = runner.Messages();
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].rfind("Error: Applying the port table failed.", 0), 0u) << messages[0];
  EXPECT_NE(messages[0].find("folder.dpt"), std::string::npos) << messages[0];
  EXPECT_EQ(runner.shown.back().parent, shownDialog);
  EXPECT_FALSE(window->Closed());
}

}  // namespace
}  // namespace resmill::gui
