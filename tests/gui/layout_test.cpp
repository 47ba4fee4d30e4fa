// The dialogs and message boxes with a larger font and on a scaled screen:
// nothing cut, nothing drawn smaller than its neighbours, every caption whole.
// The test program runs once more with QT_SCALE_FACTOR=2 for these tests.

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <gtest/gtest.h>

#include "about_box.h"
#include "app/settings.h"
#include "build_setup_dialog.h"
#include "gui_test_support.h"
#include "icon_size_dialog.h"
#include "main_window.h"
#include "settings_dialog.h"
#include "test_support.h"

namespace resmill::gui {
namespace {

namespace fs = std::filesystem;
using resmill::test::TempDir;
using resmill::test::WriteText;
using test::EnsureApp;
using test::ScriptedRunner;

double ExpectedScale() {
  const double factor = qEnvironmentVariable("QT_SCALE_FACTOR").toDouble();
  return factor > 0 ? factor : 1.0;
}

/// Shows `dialog` and checks it against the form size it started from.
void ExpectFits(QWidget& dialog, QSize formSize) {
  SCOPED_TRACE(dialog.windowTitle().toStdString());
  dialog.show();
  QCoreApplication::processEvents();  // the layouts inside settle
  EXPECT_DOUBLE_EQ(dialog.devicePixelRatioF(), ExpectedScale());
  EXPECT_GE(dialog.width(), formSize.width());
  EXPECT_GE(dialog.height(), formSize.height());
  EXPECT_GE(dialog.width(), test::CaptionRoom(dialog.windowTitle()));
  std::string problem;
  EXPECT_TRUE(test::TextsFit(dialog, &problem)) << problem;
  const QFont font = QApplication::font();
  for (QWidget* child : dialog.findChildren<QWidget*>()) {
    if (!child->isVisibleTo(&dialog)) continue;
    // Inside the dialog, and never in a smaller type than the rest.
    const QRect inDialog(child->mapTo(&dialog, QPoint(0, 0)), child->size());
    EXPECT_TRUE(dialog.rect().contains(inDialog)) << child->objectName().toStdString();
    EXPECT_GE(child->font().pointSizeF(), font.pointSizeF()) << child->objectName().toStdString();
  }
  dialog.hide();
}

class Layout : public ::testing::TestWithParam<double> {
 protected:
  void SetUp() override { EnsureApp(); }
};

TEST_P(Layout, DialogsGrowWithTheFontFromTheirFormSize) {
  test::WithFontSize(GetParam(), [] {
    TempDir dir;
    WriteText(dir / "shxdata.dat", "2");
    app::Settings settings;
    settings.workFolder = dir.path();
    app::SaveSettings(settings, dir / "resmill.ini");
    ScriptedRunner runner;
    MainWindow window(runner, dir.path());
    ASSERT_TRUE(window.Start());
    ExpectFits(window.settingsDialog(), {321, 283});
    ExpectFits(window.aboutBox(), {298, 178});
    ASSERT_NE(window.iconSizeDialog(), nullptr);
    runner.answers.push_back([&](QDialog& d) {
      ExpectFits(d, {210, 138});
      return static_cast<int>(QDialog::Accepted);
    });
    window.iconSizeDialog()->Ask("1234.gif", runner);
    runner.answers.push_back([&](QDialog& d) {
      ExpectFits(d, {560, 313});
      return static_cast<int>(QDialog::Rejected);
    });
    window.findChild<QAction*>(QStringLiteral("Build1"))->trigger();
    window.show();
    QCoreApplication::processEvents();
    std::string problem;
    EXPECT_TRUE(test::TextsFit(window, &problem)) << problem;
    window.hide();
  });
}

INSTANTIATE_TEST_SUITE_P(FontSizes, Layout, ::testing::Values(9.0, 13.0),
                         [](const ::testing::TestParamInfo<double>& size) { return std::to_string(static_cast<int>(size.param)) + "pt"; });

TEST_P(Layout, MessageBoxesShowCaptionAndTextWholeWithTheirIcon) {
  test::WithFontSize(GetParam(), [] {
    TempDir dir;
    ScriptedRunner runner;
    MainWindow window(runner, dir.path());
    ASSERT_TRUE(window.Start());
    struct Case {
      const char* text;
      const char* caption;
      QMessageBox::Icon icon;
    };
    const Case cases[] = {
        {"No DRM found", "Error", QMessageBox::Critical},
        {"No 2nd DRM found", "Warning", QMessageBox::Warning},
        {"DRM was not compiled", "Incomplete Operation", QMessageBox::Warning},
        {"Operation Complete", "", QMessageBox::Information},
        {"Incompatible DRMs", "Error", QMessageBox::Critical},
        {"No 2nd DRM found\n\n/a/rather/long/folder/name/that/does/not/wrap/at/all/source-file-name.sbf: line 12: "
         "checksum mismatch",
         "Warning", QMessageBox::Warning},
    };
    for (const Case& c : cases) {
      window.ui().ShowMessage(c.text, c.caption, MessageOwner::Desktop);
      const test::ShownDialog& shown = runner.shown.back();
      EXPECT_EQ(shown.icon, c.icon) << c.text;
      EXPECT_TRUE(shown.textWhole) << c.text;
      EXPECT_GE(shown.size.width(), test::CaptionRoom(QString::fromUtf8(c.caption))) << c.caption;
      // No sliver of a window, whatever the caption.
      EXPECT_GE(shown.size.width(), 20 * QFontMetrics(QApplication::font()).averageCharWidth()) << c.text;
    }
    runner.messageAnswers = {QMessageBox::Cancel};
    window.ui().Confirm("Are you sure?", "Confirmation", MessageOwner::MainWindow);
    EXPECT_EQ(runner.shown.back().icon, QMessageBox::Question);
    EXPECT_GE(runner.shown.back().size.width(), test::CaptionRoom(QStringLiteral("Confirmation")));
  });
}

}  // namespace
}  // namespace resmill::gui
