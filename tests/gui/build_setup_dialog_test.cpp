// The Build command through the window: the Build Setup dialog drawn over its
// model, the confirmation, and what lands in the target icons.

#include <QAction>
#include <QCheckBox>
#include <QImage>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <gtest/gtest.h>

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

TEST_F(BuildSetup, ControlsSitWhereTheFormPutsThem) {
  Build(
      [](BuildSetupDialog& dialog) {
        EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Build Setup"));
        EXPECT_EQ(dialog.size(), QSize(560, 313));
        struct Place {
          const char* name;
          QRect rect;
          const char* caption;
        };
        const Place places[] = {
            {"ListBox1", {152, 40, 105, 185}, nullptr}, {"ListBox2", {304, 40, 105, 185}, nullptr},
            {"Button3", {264, 200, 33, 25}, "<="},      {"Button4", {304, 8, 105, 25}, "Select source folder"},
            {"Button6", {472, 200, 75, 25}, "Reset"},   {"CheckBox1", {152, 240, 97, 17}, "Match Size"},
            {"CheckBox3", {16, 200, 97, 17}, "Stretch"}, {"Button1", {384, 272, 75, 25}, "Cancel"},
            {"Button2", {480, 272, 75, 25}, "OK"},
        };
        for (const Place& p : places) {
          auto* widget = dialog.findChild<QWidget*>(QString::fromUtf8(p.name));
          ASSERT_NE(widget, nullptr) << p.name;
          EXPECT_EQ(widget->geometry(), p.rect) << p.name;
          if (auto* button = qobject_cast<QAbstractButton*>(widget); button && p.caption) {
            EXPECT_EQ(button->text(), QString::fromUtf8(p.caption)) << p.name;
          }
        }
        EXPECT_EQ(dialog.portTableBox()->text(), QStringLiteral("Apply port table"));
        EXPECT_EQ(dialog.resetButton()->palette().color(QPalette::ButtonText), QColor(Qt::red));
      },
      false);
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
    EXPECT_EQ(window->controller().session().replacementTable.Count(), 0u) << c.what;
    EXPECT_FALSE(window->controller().session().buildCompleted) << c.what;
  }
}

TEST_F(BuildSetup, PreviewsAreSizedCentredAndDrawn) {
  Build(
      [&](BuildSetupDialog& dialog) {
        // 240 × 100 in the left panel: 121 × 50 at (0, 43) inside the black area at (12, 44).
        EXPECT_EQ(dialog.targetPreview().picture, (build::Rect{12, 87, 121, 50}));
        // 16 × 16 keeps its size at (52, 60); Stretch makes it 121 × 121.
        EXPECT_EQ(dialog.sourcePreview().picture, (build::Rect{428 + 52, 44 + 60, 16, 16}));
        dialog.stretchBox()->click();
        EXPECT_EQ(dialog.sourcePreview().picture, (build::Rect{428, 44 + 8, 121, 121}));
        dialog.sourceList()->setCurrentRow(1);  // 300 × 200
        EXPECT_EQ(dialog.sourcePreview().picture.width, 121);
        EXPECT_EQ(dialog.sourcePreview().picture.height, 81);

        const QImage shot = dialog.grab().toImage();
        EXPECT_EQ(shot.pixelColor(14, 46), QColor(Qt::black));     // black area above the picture
        EXPECT_EQ(shot.pixelColor(70, 110), QColor(0, 0, 255));     // the blue target icon
        EXPECT_EQ(shot.pixelColor(488, 110), QColor(255, 0, 0));    // the red source picture
      },
      false);
}

TEST_F(BuildSetup, UnreadablePictureShowsNoImage) {
  WriteText(targetIcons / "9.png", "not a picture");
  Build(
      [&](BuildSetupDialog& dialog) {
        EXPECT_TRUE(dialog.targetPreview().noImage);
        EXPECT_FALSE(dialog.targetPreview().hasPicture);
        const QImage shot = dialog.grab().toImage();
        int white = 0;
        for (int y = 44; y < 44 + 137; ++y) {
          for (int x = 12; x < 12 + 121; ++x) white += shot.pixelColor(x, y).lightness() > 128;
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
