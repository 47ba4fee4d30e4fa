// The main window's gallery over the large sample DRM (3,000 RAW pictures and
// 4,000 GIF-table pictures, RAW conversion on), on Qt's offscreen platform.
//
//   gallery_bench WORKDIR [ROWS_PER_STEP]
//
// Opens WORKDIR/large.bin (made by `drm_bench WORKDIR step generate`) in a window,
// closes it (the work stays pending) and then measures a second start as the user
// meets it: the time from the window's creation to the first screen of thumbnails
// drawn, a full pass over every thumbnail (scrolling page by page, each page drawn
// before the next), the longest repaint of the grid during that pass, and the peak
// resident memory of the process. Prints "name<TAB>value" lines.

#include <sys/resource.h>

#include <QApplication>
#include <QScrollBar>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <stdexcept>

#include "app/settings.h"
#include "gallery_view.h"
#include "main_window.h"
#include "modal_runner.h"
#include "work_panel.h"

namespace fs = std::filesystem;
using namespace resmill;
using Clock = std::chrono::steady_clock;

namespace {

/// Answers every dialog with OK: the run has no person to ask.
class Unattended final : public gui::ModalRunner {
 protected:
  int Exec(QDialog&) override { return QDialog::Accepted; }
};

double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

/// True when every cell on screen shows its picture (or is one without a file or picture).
bool ScreenDrawn(gui::GalleryView& gallery, int& cells) {
  QListView* view = gallery.view();
  const QAbstractItemModel* shown = view->model();
  const QRect area = view->viewport()->rect();
  cells = 0;
  bool drawn = true;
  for (int row = 0; row < shown->rowCount(); ++row) {
    const QRect cell = view->visualRect(shown->index(row, 0));
    if (!cell.intersects(area)) {
      if (cells > 0) break;
      continue;
    }
    ++cells;
    const QModelIndex index = shown->index(row, 0);
    const bool known = index.data(gui::GalleryModel::StateRole).toInt() >= 0;
    const bool pictured = !index.data(Qt::DecorationRole).value<QImage>().isNull();
    const bool nothingToDraw = index.data(gui::GalleryModel::FileRole).toString().isEmpty();
    if (!known || !(pictured || nothingToDraw)) {
      // A picture that cannot be drawn is drawn as such once its state is known.
      if (!(known && index.data(gui::GalleryModel::StateRole).toInt() ==
                         static_cast<int>(app::PictureState::Unreadable))) {
        drawn = false;
      }
    }
  }
  return drawn && cells > 0;
}

void WaitDrawn(gui::GalleryView& gallery, int& cells) {
  const auto limit = Clock::now() + std::chrono::seconds(60);
  while (!ScreenDrawn(gallery, cells)) {
    if (Clock::now() > limit) throw std::runtime_error("the screen was not drawn within a minute");
    QApplication::processEvents(QEventLoop::AllEvents, 5);
  }
}

double PeakMiB() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_maxrss) / 1024.0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: gallery_bench WORKDIR\n");
    return 2;
  }
  qputenv("QT_QPA_PLATFORM", "offscreen");
  std::setvbuf(stdout, nullptr, _IOLBF, 0);
  QApplication application(argc, argv);
  const fs::path work = fs::absolute(argv[1]);
  const fs::path program = work / "gallery-program";
  try {
    fs::remove_all(program);
    fs::create_directories(program);
    app::Settings settings;
    settings.autoCloseOnStage = false;
    settings.askForSourceFile = false;
    settings.convertRawToBmp = true;
    settings.workFolder = program / "work";
    app::SaveSettings(settings, program / "resmill.ini");
    Unattended runner;
    {
      gui::MainWindow opening(runner, program);
      if (!opening.Start()) throw std::runtime_error("the window did not start");
      const auto start = Clock::now();
      opening.OpenFiles(work / "large.bin", std::nullopt);
      std::printf("open (unpack with RAW conversion)\t%.0f ms\n", Ms(Clock::now() - start));
      if (opening.workPanel().gallery()->model().rowCount() != 7000) throw std::runtime_error("the DRM did not open");
    }

    // A second start on the pending work, as the user meets it.
    const auto start = Clock::now();
    gui::MainWindow window(runner, program);
    if (!window.Start()) throw std::runtime_error("the window did not start again");
    window.resize(1024, 768);
    window.show();
    gui::GalleryView& gallery = *window.workPanel().gallery();
    int cells = 0;
    WaitDrawn(gallery, cells);
    const double first = Ms(Clock::now() - start);
    std::printf("first screen\t%.0f ms\t%d thumbnails\n", first, cells);
    std::printf("peak after first screen\t%.1f MiB\n", PeakMiB());

    QScrollBar* bar = gallery.view()->verticalScrollBar();
    const auto passStart = Clock::now();
    double worstRepaint = 0;
    int pages = 0;
    for (int value = 0;; value += bar->pageStep()) {
      bar->setValue(std::min(value, bar->maximum()));
      const auto paintStart = Clock::now();
      gallery.view()->viewport()->repaint();
      worstRepaint = std::max(worstRepaint, Ms(Clock::now() - paintStart));
      WaitDrawn(gallery, cells);
      ++pages;
      if (value >= bar->maximum()) break;
    }
    std::printf("full pass\t%.0f ms\t%d pages\n", Ms(Clock::now() - passStart), pages);
    std::printf("longest repaint\t%.1f ms\n", worstRepaint);
    std::printf("peak\t%.1f MiB\n", PeakMiB());
    const auto resetStart = Clock::now();
    window.Reset1Click();
    std::printf("reset (the work tree deleted)\t%.0f ms\n", Ms(Clock::now() - resetStart));
  } catch (const std::exception& e) {
    std::fprintf(stderr, "gallery_bench: %s\n", e.what());
    return 1;
  }
  return 0;
}
