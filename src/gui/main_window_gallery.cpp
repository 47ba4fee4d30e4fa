// The main window's commands that come from the gallery and the contact sheet.

#include <QMessageBox>
#include <fmt/format.h>

#include "app/picture_gallery.h"
#include "gallery_view.h"
#include "main_window.h"
#include "message_box.h"
#include "qt_text.h"
#include "work_panel.h"

namespace resmill::gui {

namespace {
QString Numbers(const std::vector<int>& numbers) {
  if (numbers.size() == 1) return QStringLiteral("picture %1").arg(numbers.front());
  return QStringLiteral("%1 pictures").arg(numbers.size());
}
}  // namespace

void MainWindow::ConnectGallery() {
  GalleryView* gallery = workPanel_->gallery();
  connect(gallery, &GalleryView::replaceRequested, this,
          [this](int number, const QString& file) { ReplacePicture(number, QStringToPath(file)); });
  connect(gallery, &GalleryView::revertRequested, this,
          [this](const std::vector<int>& numbers) { RevertPictures(numbers); });
}

void MainWindow::ReplacePicture(int number, const std::filesystem::path& file) {
  const std::string what = fmt::format("Replacing picture {} by {}", number, file.filename().string());
  RunGalleryCommand(what.c_str(), [&] {
    ui_.ShowStatus(QStringLiteral("Replacing picture %1 by %2").arg(number).arg(PathToQString(file.filename())));
    const app::PictureReplacement replacement{number, file, true};
    app::ReplacePictures(controller_.session(), std::span(&replacement, 1));
    ui_.ShowStatus(QStringLiteral("Picture %1 replaced by %2").arg(number).arg(PathToQString(file)));
  });
}

void MainWindow::RevertPictures(const std::vector<int>& numbers) {
  if (numbers.empty()) return;
  RunGalleryCommand("Revert to original", [&] {
    MessageBoxSpec spec;
    spec.icon = QMessageBox::Question;
    spec.caption = QStringLiteral("Revert to original");
    spec.text = QStringLiteral("Write %1 back as the unpack found it?").arg(Numbers(numbers));
    spec.detail = QStringLiteral("What was edited in %1 is lost.").arg(numbers.size() == 1 ? "it" : "them");
    spec.buttons = QMessageBox::Yes | QMessageBox::No;
    spec.defaultButton = QMessageBox::No;
    if (RunMessageBox(runner_, this, spec) != QMessageBox::Yes) {
      ui_.ShowStatus(QStringLiteral("Revert cancelled: nothing was changed"));
      return;
    }
    app::RevertPictures(controller_.session(), numbers);
    ui_.ShowStatus(QStringLiteral("Reverted %1 to the original").arg(Numbers(numbers)));
  });
}

void MainWindow::SaveContactSheetClick() {
  RunGalleryCommand("Save contact sheet", [this] {
    app::Session& session = controller_.session();
    // Refused with a reason (a skin, no unpacked tree) before a file is asked for.
    const app::PictureCatalogue catalogue = app::OpenCatalogue(session, 1);
    const auto output = ui_.ChooseSaveFile("Save contact sheet", "PNG pictures|*.png", ".png");
    if (!output) {
      ui_.ShowStatus(QStringLiteral("Save contact sheet cancelled"));
      return;
    }
    const app::SheetSummary summary =
        app::WriteContactSheet(catalogue, *output, app::SheetOptions{}, ui_.ProgressWindow());
    ui_.ShowStatus(QStringLiteral("Contact sheet saved: %1 (%2 pictures, %3 x %4)")
                       .arg(PathToQString(*output))
                       .arg(summary.pictures)
                       .arg(summary.width)
                       .arg(summary.height));
  });
}

}  // namespace resmill::gui
