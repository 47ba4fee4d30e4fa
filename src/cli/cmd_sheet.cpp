// sheet: a contact sheet of the DRM's pictures, as one PNG to share a preview of a theme.

#include <fmt/format.h>

#include "app/picture_catalogue.h"
#include "command.h"
#include "platform/file_system.h"

namespace resmill::cli {

namespace {

class SheetCommand final : public Command {
 public:
  std::string Name() const override { return "sheet"; }
  std::string Summary() const override {
    return "Draw a contact sheet (PNG) of the target's, or with --source the source's, DRM pictures";
  }
  void Configure(CLI::App& sub) override {
    sub.add_option("OUT", output_, "The PNG file to write")->required();
    sub.add_option("--columns", options_.columns, "Pictures per row")
        ->check(CLI::Range(1, 1000))
        ->capture_default_str();
    sub.add_option("--cell", options_.maxCellSide, "Largest side of a picture's cell; larger pictures are shrunk")
        ->check(CLI::Range(app::kMinSheetCellSide, 1024))
        ->capture_default_str();
    sub.add_flag("--source", source_, "Draw the source file's DRM instead of the target's");
    sub.footer(
        "Each picture stands on a checkerboard that shows its transparent pixels, labelled with its number\n"
        "and size, in number order; pictures that cannot be drawn are crossed out. The pictures are drawn as\n"
        "the next save would take them, edits included.");
  }

  int Execute(CliRun& run) override {
    const std::filesystem::path output = run.ArgumentPath(output_);
    if (UpperExtension(output.string()) != ".PNG") {
      return run.NotAllowed("sheet", fmt::format("'{}' does not end in .png; the sheet is a PNG picture", output_));
    }
    // Refused (exit 2) when nothing is pending, the slot was not opened or holds a skin.
    const app::PictureCatalogue catalogue = app::OpenCatalogue(run.controller.session(), source_ ? 2 : 1);
    const app::SheetSummary summary =
        app::WriteContactSheet(catalogue, output, options_, run.ui.ProgressWindow());
    run.out << fmt::format("Wrote {} ({} pictures, {} x {})\n", output.string(), summary.pictures, summary.width,
                           summary.height);
    return kExitDone;
  }

 private:
  std::string output_;
  app::SheetOptions options_;
  bool source_ = false;
};

}  // namespace

std::unique_ptr<Command> MakeSheetCommand() { return std::make_unique<SheetCommand>(); }

}  // namespace resmill::cli
