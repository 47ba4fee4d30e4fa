// The gallery of the pending work in the main window: order and marks, the
// filter, a dropped file as a Build pairing, revert, the source beside the
// target, the live refresh and the contact sheet.

#include <QAction>
#include <QComboBox>
#include <QDropEvent>
#include <QMimeData>
#include <QMessageBox>
#include <QTest>
#include <gtest/gtest.h>

#include "app/picture_catalogue.h"
#include "app/settings.h"
#include "gallery_view.h"
#include "gui_test_support.h"
#include "image/graphics/graphics.h"
#include "main_window.h"
#include "qt_text.h"
#include "sample/drm_sample.h"
#include "test_support.h"
#include "work_panel.h"

namespace resmill::gui {
namespace {

namespace fs = std::filesystem;
namespace gfx = image::graphics;
using resmill::test::ReadBytes;
using resmill::test::TempDir;
using resmill::test::WriteBytes;
using test::EnsureApp;
using test::ScriptedRunner;
using State = app::PictureState;

sample::DrmRecipe SmallDrm(int seed = 0) { return sample::MixedSmallDrm(seed); }

bool WaitFor(const std::function<bool()>& condition, int ms = 5000) { return QTest::qWaitFor(condition, ms); }

class Gallery : public ::testing::Test {
 protected:
  void SetUp() override { EnsureApp(); }

  /// The window with the small DRM opened (a raw dump), and `source` beside it when given.
  MainWindow& Open(bool convertRawToBmp, std::optional<sample::DrmRecipe> source = std::nullopt) {
    app::Settings settings;
    settings.autoCloseOnStage = false;
    settings.askForSourceFile = false;
    settings.convertRawToBmp = convertRawToBmp;
    settings.workFolder = dir / "work";
    app::SaveSettings(settings, dir / "resmill.ini");
    WriteBytes(dir / "target.bin", sample::BuildDrmImage(SmallDrm()));
    std::optional<fs::path> sourceFile;
    if (source) {
      sourceFile = dir / "source.bin";
      WriteBytes(*sourceFile, sample::BuildDrmImage(*source));
    }
    window = std::make_unique<MainWindow>(runner, dir.path(), resmill::test::FixedTestTime);
    EXPECT_TRUE(window->Start());
    window->resize(900, 700);
    window->show();
    window->OpenFiles(dir / "target.bin", sourceFile);
    EXPECT_TRUE(runner.Messages().empty()) << runner.Messages().front();
    EXPECT_FALSE(gallery().isHidden());
    return *window;
  }

  GalleryView& gallery() { return *window->workPanel().gallery(); }
  GalleryModel& model() { return gallery().model(); }
  fs::path Icons() const { return dir / "work/binary1/drmpack/icons"; }
  fs::path Raws() const { return dir / "work/binary1/drmpack/raws"; }

  /// Waits until every row's state is known.
  void ExamineAll() {
    bool done = false;
    QObject::connect(&model(), &GalleryModel::allExamined, [&] { done = true; });
    model().ExamineAll();
    ASSERT_TRUE(WaitFor([&] { return done; }));
  }
  int StateOf(int number) { return model().index(number - 1).data(GalleryModel::StateRole).toInt(); }
  std::vector<int> ShownNumbers() {
    std::vector<int> numbers;
    const QAbstractItemModel* shown = gallery().view()->model();
    for (int row = 0; row < shown->rowCount(); ++row) {
      numbers.push_back(shown->index(row, 0).data(GalleryModel::NumberRole).toInt());
    }
    return numbers;
  }
  QModelIndex ViewIndex(int number) {
    const QAbstractItemModel* shown = gallery().view()->model();
    for (int row = 0; row < shown->rowCount(); ++row) {
      if (shown->index(row, 0).data(GalleryModel::NumberRole).toInt() == number) return shown->index(row, 0);
    }
    ADD_FAILURE() << "picture " << number << " is not shown";
    return {};
  }
  void Drop(int number, const fs::path& file) {
    GalleryListView* view = gallery().view();
    const QPoint at = view->visualRect(ViewIndex(number)).center();
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(PathToQString(file))});
    QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(view->viewport(), &enter);
    QDragMoveEvent move(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(view->viewport(), &move);
    ASSERT_TRUE(move.isAccepted()) << "a picture file is taken on picture " << number;
    QDropEvent drop(QPointF(at), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(view->viewport(), &drop);
  }
  void Select(std::initializer_list<int> numbers) {
    QItemSelectionModel* selection = gallery().view()->selectionModel();
    selection->clearSelection();
    for (int number : numbers) {
      const QModelIndex index = ViewIndex(number);
      selection->select(index, QItemSelectionModel::Select);
      selection->setCurrentIndex(index, QItemSelectionModel::NoUpdate);
    }
  }

  TempDir dir;
  ScriptedRunner runner;
  std::unique_ptr<MainWindow> window;
};

TEST_F(Gallery, PicturesStandInNumberOrderWithKindSizeAndMarks) {
  for (bool convert : {true, false}) {
    SCOPED_TRACE(convert ? "RAW conversion on" : "RAW conversion off");
    window.reset();  // keeps its pending work for a next start: a fresh start instead
    fs::remove(dir / app::kStateFileName);
    fs::remove_all(dir / "work");
    Open(convert);
    ASSERT_EQ(model().rowCount(), 8);
    struct Expected {
      const char* kind;
      const char* size;
      bool animated;
    };
    const Expected expected[] = {{"RAW", "4x4", false},   {"RAW", "5x3", false},   {"RAW", convert ? "0x0" : "0x6", false},
                                 {"RAW", "6x6", false},   {"GIF", "8x8", false},   {"GIF", "10x10", true},
                                 {"BMP", "6x4", false},   {"GIF", "12x8", false}};
    for (int n = 1; n <= 8; ++n) {
      const QModelIndex index = model().index(n - 1);
      EXPECT_EQ(index.data(GalleryModel::NumberRole).toInt(), n);
      EXPECT_EQ(index.data(GalleryModel::KindRole).toString(), QString::fromUtf8(expected[n - 1].kind)) << n;
      EXPECT_EQ(index.data(GalleryModel::SizeRole).toString(), QString::fromUtf8(expected[n - 1].size)) << n;
      EXPECT_EQ(index.data(GalleryModel::AnimatedRole).toBool(), expected[n - 1].animated) << n;
    }

    // Edits as an outside editor makes them: 1 gone, 2 edited, 4 at another size, 8 gone.
    const fs::path one = convert ? Icons() / "1.png" : Raws() / "1(4x4).raw";
    fs::remove(one);
    if (convert) {
      gfx::Bitmap two = *gfx::LoadBitmap(Icons() / "2.png");
      two.Set(0, 0, two.At(0, 0) ^ 0x00FFFFFF);
      ASSERT_TRUE(gfx::SaveBitmap(two, Icons() / "2.png", "image/png"));
      fs::remove(Icons() / "4.png");
      ASSERT_TRUE(gfx::SaveBitmap(gfx::Bitmap(8, 8, 0xFF102030), Icons() / "4.png", "image/png"));
    } else {
      std::vector<std::uint8_t> two = ReadBytes(Raws() / "2(5x3).raw");
      two[0] ^= 0xFF;
      WriteBytes(Raws() / "2(5x3).raw", two);
      fs::rename(Raws() / "4(6x6).raw", Raws() / "4(8x8).raw");
      WriteBytes(Raws() / "4(8x8).raw", std::vector<std::uint8_t>(8 * 8 * 2 + 8, 0));
    }
    fs::remove(Icons() / "8.gif");
    gallery().Reload();
    ExamineAll();
    const int states[] = {int(State::Empty),    int(State::Edited),   int(State::Original), int(State::NewSize),
                          int(State::Original), int(State::Original), int(State::Original), int(State::Unreadable)};
    for (int n = 1; n <= 8; ++n) EXPECT_EQ(StateOf(n), states[n - 1]) << "picture " << n;
    EXPECT_TRUE(model().index(7).data(GalleryModel::ProblemRole).toString().contains(QStringLiteral("8.gif")));

    // RAW pictures are drawn either way: the catalogue decodes them.
    for (int n : {2, 4, 5, 6, 7}) {
      ASSERT_TRUE(WaitFor([&] { return !model().index(n - 1).data(Qt::DecorationRole).value<QImage>().isNull(); }))
          << "picture " << n << " is drawn";
    }
    EXPECT_EQ(model().index(1).data(Qt::DecorationRole).value<QImage>().size(), QSize(5, 3));
  }
}

TEST_F(Gallery, TheFilterShowsAllOrTheEditedEmptyOrUnreadablePictures) {
  Open(true);
  fs::remove(Icons() / "1.png");
  ASSERT_TRUE(gfx::SaveBitmap(gfx::Bitmap(5, 3, 0xFF00FF00), Icons() / "2.png", "image/png"));
  ASSERT_TRUE(gfx::SaveBitmap(gfx::Bitmap(16, 16, 0xFF00FF00), Icons() / "5.gif", "image/gif"));
  WriteBytes(Icons() / "4.png", {0x89, 'P', 'N', 'G', 1, 2, 3});
  gallery().Reload();
  QComboBox* filter = gallery().filterBox();
  struct Case {
    const char* shown;
    std::vector<int> numbers;
  };
  const Case cases[] = {{"Edited", {2, 5}}, {"Empty", {1}}, {"Cannot be read", {4}}, {"All pictures", {1, 2, 3, 4, 5, 6, 7, 8}}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.shown);
    filter->setCurrentIndex(filter->findText(QString::fromUtf8(c.shown)));
    ASSERT_TRUE(WaitFor([&] { return ShownNumbers() == c.numbers; })) << ShownNumbers().size() << " shown";
  }
}

TEST_F(Gallery, ADroppedPictureReplacesTheOneItFallsOnAtItsSize) {
  Open(true);
  const TempDir outside;
  struct Case {
    int number;
    fs::path file;
    int width, height;
    bool animated;
  };
  ASSERT_TRUE(gfx::SaveBitmap(gfx::Bitmap(40, 30, 0xFFFF0000), outside / "big.png", "image/png"));
  WriteBytes(outside / "moving.gif", sample::DrawGif(30, 30, 4, false, 3));
  const Case cases[] = {
      {5, outside / "big.png", 8, 8, false},      // a PNG on a GIF: drawn at the icon's size
      {8, outside / "moving.gif", 12, 8, true},   // a GIF on a GIF keeps its frames
      {2, outside / "moving.gif", 5, 3, false},   // a GIF on a RAW picture's PNG copy
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.number);
    Drop(c.number, c.file);
    ASSERT_TRUE(WaitFor([&] { return StateOf(c.number) == int(State::Edited); })) << StateOf(c.number);
    const QModelIndex index = model().index(c.number - 1);
    EXPECT_EQ(index.data(GalleryModel::SizeRole).toString(), QStringLiteral("%1x%2").arg(c.width).arg(c.height));
    EXPECT_EQ(index.data(GalleryModel::AnimatedRole).toBool(), c.animated);
  }
  EXPECT_TRUE(runner.Messages().empty());
}

TEST_F(Gallery, AnUnreadableDroppedFileIsRefusedAndThePictureStaysAsItWas) {
  Open(true);
  const TempDir outside;
  const fs::path broken = outside / "broken.png";
  WriteBytes(broken, {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A, 0, 0, 0});
  const fs::path cut = outside / "cut.gif";
  std::vector<std::uint8_t> gif = sample::DrawGif(20, 20, 3, false, 1);
  gif.resize(gif.size() * 2 / 3);
  WriteBytes(cut, gif);
  for (const fs::path& file : {broken, cut}) {
    SCOPED_TRACE(file.filename().string());
    runner.shown.clear();
    const std::vector<std::uint8_t> before = ReadBytes(Icons() / "5.gif");
    Drop(5, file);
    ASSERT_TRUE(WaitFor([&] { return !runner.Messages().empty(); }));
    EXPECT_TRUE(QString::fromStdString(runner.Messages().front()).contains(PathToQString(file.filename())))
        << runner.Messages().front();
    EXPECT_EQ(ReadBytes(Icons() / "5.gif"), before);
    EXPECT_FALSE(fs::exists(Icons() / "5.gif.tmp"));
    ExamineAll();
    EXPECT_EQ(StateOf(5), int(State::Original));
  }
}

TEST_F(Gallery, RevertWritesTheUnpacksPicturesBackAfterAQuestion) {
  Open(true);
  const std::vector<std::uint8_t> two = ReadBytes(Icons() / "2.png");
  const std::vector<std::uint8_t> five = ReadBytes(Icons() / "5.gif");
  ASSERT_TRUE(gfx::SaveBitmap(gfx::Bitmap(5, 3, 0xFF00FF00), Icons() / "2.png", "image/png"));
  ASSERT_TRUE(gfx::SaveBitmap(gfx::Bitmap(9, 9, 0xFF00FF00), Icons() / "5.gif", "image/gif"));
  gallery().Reload();
  Select({2, 5});
  EXPECT_EQ(gallery().SelectedNumbers(), (std::vector<int>{2, 5}));

  runner.messageAnswers = {QMessageBox::No};
  gallery().revertAction()->trigger();
  EXPECT_NE(ReadBytes(Icons() / "2.png"), two);

  runner.messageAnswers = {QMessageBox::Yes};
  gallery().revertAction()->trigger();
  EXPECT_EQ(ReadBytes(Icons() / "5.gif"), five);
  ExamineAll();
  EXPECT_EQ(StateOf(2), int(State::Original));
  EXPECT_EQ(StateOf(5), int(State::Original));
  EXPECT_TRUE(window->StatusText().contains(QStringLiteral("Reverted 2 pictures"))) << window->StatusText().toStdString();
}

TEST_F(Gallery, AnOutsideEditorsChangeShowsWithoutARestart) {
  Open(true);
  ExamineAll();
  ASSERT_EQ(StateOf(5), int(State::Original));
  // Written in place, as many editors save, then a new name beside it.
  WriteBytes(Icons() / "5.gif", sample::DrawGif(8, 8, 1, false, 99));
  EXPECT_TRUE(WaitFor([&] { return StateOf(5) == int(State::Edited); }, 3000)) << StateOf(5);
  fs::remove(Icons() / "2.png");
  EXPECT_TRUE(WaitFor([&] { return StateOf(2) == int(State::Empty); }, 3000)) << StateOf(2);
}

TEST_F(Gallery, TheSourcesPicturesStandBesideTheTargetsAndPortShowsAtOnce) {
  sample::DrmRecipe source = SmallDrm(50);
  source.gifs.resize(3);  // Port pairs by position: picture 8 keeps its own
  Open(true, source);
  ASSERT_TRUE(model().TwoFiles());
  const int pairs[] = {1, 2, 3, 4, 5, 6, 7, 0};
  for (int n = 1; n <= 8; ++n) {
    EXPECT_EQ(model().index(n - 1).data(GalleryModel::SourceNumberRole).toInt(), pairs[n - 1]) << n;
  }
  ASSERT_TRUE(WaitFor([&] { return !model().index(4).data(GalleryModel::SourceImageRole).value<QImage>().isNull(); }));

  window->Port1Click();
  ExamineAll();
  EXPECT_EQ(StateOf(5), int(State::Edited));
  EXPECT_EQ(StateOf(8), int(State::Original));
}

TEST_F(Gallery, DoubleClickOpensThePictureAndShowInFolderItsFolder) {
  Open(true);
  QList<QUrl> opened;
  window->workPanel().openUrl = [&](const QUrl& url) {
    opened << url;
    return true;
  };
  emit gallery().view()->doubleClicked(ViewIndex(6));
  Select({6});
  gallery().showInFolderAction()->trigger();
  EXPECT_EQ(opened, (QList<QUrl>{QUrl::fromLocalFile(PathToQString(Icons() / "6.gif")),
                                  QUrl::fromLocalFile(PathToQString(Icons()))}));
}

TEST_F(Gallery, AnAnimationPlaysWhileThePointerRestsOnIt) {
  Open(true);
  gallery().Hover(ViewIndex(6));
  EXPECT_EQ(gallery().PlayingRow(), 5);
  std::set<qint64> frames;
  ASSERT_TRUE(WaitFor([&] {
    frames.insert(model().index(5).data(Qt::DecorationRole).value<QImage>().cacheKey());
    return frames.size() >= 3;
  })) << "the frames change";
  gallery().Hover(ViewIndex(5));
  EXPECT_EQ(gallery().PlayingRow(), -1);
}

TEST_F(Gallery, TheContactSheetIsSavedFromTheFileMenu) {
  Open(true);
  auto* item = window->findChild<QAction*>(QStringLiteral("SaveContactSheetItem"));
  ASSERT_NE(item, nullptr);
  EXPECT_TRUE(item->isEnabled());
  const fs::path sheet = dir / "sheet.png";
  runner.answers.push_back(test::Choose(sheet));
  item->trigger();
  ASSERT_FALSE(runner.shown.empty());
  EXPECT_TRUE(runner.shown.back().fileName.isEmpty());
  const auto info = gfx::ReadPictureInfo(sheet);
  ASSERT_TRUE(info);
  EXPECT_GT(info->width, 0);
  EXPECT_TRUE(window->StatusText().contains(QStringLiteral("8 pictures"))) << window->StatusText().toStdString();

  runner.messageAnswers = {QMessageBox::Yes};
  window->Reset1Click();
  EXPECT_FALSE(item->isEnabled());
  EXPECT_TRUE(gallery().isHidden());
}

}  // namespace
}  // namespace resmill::gui
