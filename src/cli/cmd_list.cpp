// list and sheet: the pictures of a pending DRM. list prints them in number order
// with what the next save makes of each; sheet draws them as one PNG to share a
// preview of a theme.

#include <algorithm>
#include <memory>

#include <fmt/format.h>

#include "app/picture_catalogue.h"
#include "command.h"
#include "platform/file_system.h"

namespace resmill::cli {

namespace {

/// The file as the user finds it under drmpack ("icons/13.gif"); "-" when there is none.
std::string FileText(const app::PictureEntry& entry) {
  if (!entry.file) return "-";
  return (entry.file->parent_path().filename() / entry.file->filename()).generic_string();
}

struct Filters {
  bool edited = false, empty = false, unreadable = false;

  bool Wanted(app::PictureState state) const {
    if (!edited && !empty && !unreadable) return true;
    return (edited && app::IsEdited(state)) || (empty && state == app::PictureState::Empty) ||
           (unreadable && state == app::PictureState::Unreadable);
  }
};

int List(CliRun& run, const Filters& filters) {
  // Refused (exit 2) when nothing is pending or the target is a skin.
  const app::PictureCatalogue catalogue = app::OpenCatalogue(run.controller.session(), 1);
  const std::vector<app::PictureStatus> statuses = catalogue.ExamineAll(run.ui.ProgressWindow());

  struct Line {
    const app::PictureEntry* entry;
    std::string size, file, state;
  };
  std::vector<Line> lines;
  for (const app::PictureEntry& entry : catalogue.Pictures()) {
    const app::PictureStatus& status = statuses[static_cast<std::size_t>(entry.number) - 1];
    if (!filters.Wanted(status.state)) continue;
    lines.push_back({&entry, app::SizeLabel(entry), FileText(entry), app::StatusText(entry, status)});
  }
  std::size_t sizeWidth = 0, fileWidth = 0;
  for (const Line& line : lines) {
    sizeWidth = std::max(sizeWidth, line.size.size());
    fileWidth = std::max(fileWidth, line.file.size());
  }
  for (const Line& line : lines) {
    run.out << fmt::format("{:>5}  {}  {:<8}  {:>{}}  {:<{}}  {}\n", line.entry->number,
                           app::KindName(line.entry->kind), line.entry->animated ? "animated" : "", line.size,
                           sizeWidth, line.file, fileWidth, line.state);
  }
  return kExitDone;
}

struct SheetArguments {
  std::string output;
  app::SheetOptions options;
  bool source = false;
};

int Sheet(CliRun& run, const SheetArguments& args) {
  const std::filesystem::path output = run.ArgumentPath(args.output);
  if (UpperExtension(output.string()) != ".PNG") {
    return run.NotAllowed("sheet", fmt::format("'{}' does not end in .png; the sheet is a PNG picture", args.output));
  }
  // Refused (exit 2) when nothing is pending, the slot was not opened or holds a skin.
  const app::PictureCatalogue catalogue = app::OpenCatalogue(run.controller.session(), args.source ? 2 : 1);
  const app::SheetSummary summary = app::WriteContactSheet(catalogue, output, args.options, run.ui.ProgressWindow());
  run.out << fmt::format("Wrote {} ({} pictures, {} x {})\n", output.string(), summary.pictures, summary.width,
                         summary.height);
  return kExitDone;
}

}  // namespace

void AddPictureCommands(Commands& commands) {
  const auto filters = std::make_shared<Filters>();
  CLI::App& list = commands.Add("list", "List the target DRM's pictures: number, kind, size, file and state",
                                Start::Program, [filters](CliRun& run) { return List(run, *filters); });
  list.add_flag("--edited", filters->edited, "Only pictures changed since the unpack (edited or new size)");
  list.add_flag("--empty", filters->empty, "Only RAW pictures without a file (the save stores them 0x0)");
  list.add_flag("--unreadable", filters->unreadable, "Only pictures whose file would stop the save");
  list.footer(
      "One line per picture in number order: the RAW pictures first, then the GIF-table pictures.\n"
      "States: original, edited, new size (was WxH), empty, cannot be read: why. Filters add up;\n"
      "nothing is printed when no picture matches.");

  const auto sheet = std::make_shared<SheetArguments>();
  CLI::App& sub = commands.Add(
      "sheet", "Draw a contact sheet (PNG) of the target's, or with --source the source's, DRM pictures",
      Start::Program, [sheet](CliRun& run) { return Sheet(run, *sheet); });
  sub.add_option("OUT", sheet->output, "The PNG file to write")->required();
  sub.add_option("--columns", sheet->options.columns, "Pictures per row")
      ->check(CLI::Range(1, 1000))
      ->capture_default_str();
  sub.add_option("--cell", sheet->options.maxCellSide, "Largest side of a picture's cell; larger pictures are shrunk")
      ->check(CLI::Range(app::kMinSheetCellSide, 1024))
      ->capture_default_str();
  sub.add_flag("--source", sheet->source, "Draw the source file's DRM instead of the target's");
  sub.footer(
      "Each picture stands on a checkerboard that shows its transparent pixels, labelled with its number\n"
      "and size, in number order; pictures that cannot be drawn are crossed out. The pictures are drawn as\n"
      "the next save would take them, edits included.");
}

}  // namespace resmill::cli
