// list: the target DRM's pictures in number order with what the next save makes of each.

#include <algorithm>

#include <fmt/format.h>

#include "app/picture_catalogue.h"
#include "command.h"

namespace resmill::cli {

namespace {

/// The file as the user finds it under drmpack ("icons/13.gif"); "-" when there is none.
std::string FileText(const app::PictureEntry& entry) {
  if (!entry.file) return "-";
  return (entry.file->parent_path().filename() / entry.file->filename()).generic_string();
}

std::string StateText(const app::PictureEntry& entry, const app::PictureStatus& status) {
  switch (status.state) {
    case app::PictureState::NewSize:
      return fmt::format("{} (was {})", app::StateName(status.state), app::SizeText(entry.originalSize));
    case app::PictureState::Unreadable:
      return fmt::format("{}: {}", app::StateName(status.state), status.problem);
    default:
      return std::string(app::StateName(status.state));
  }
}

class ListCommand final : public Command {
 public:
  std::string Name() const override { return "list"; }
  std::string Summary() const override {
    return "List the target DRM's pictures: number, kind, size, file and state";
  }
  void Configure(CLI::App& sub) override {
    sub.add_flag("--edited", edited_, "Only pictures changed since the unpack (edited or new size)");
    sub.add_flag("--empty", empty_, "Only RAW pictures without a file (the save stores them 0x0)");
    sub.add_flag("--unreadable", unreadable_, "Only pictures whose file would stop the save");
    sub.footer(
        "One line per picture in number order: the RAW pictures first, then the GIF-table pictures.\n"
        "States: original, edited, new size (was WxH), empty, cannot be read: why. Filters add up;\n"
        "nothing is printed when no picture matches.");
  }

  int Execute(CliRun& run) override {
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
      if (!Wanted(status.state)) continue;
      lines.push_back({&entry, app::SizeLabel(entry), FileText(entry), StateText(entry, status)});
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

 private:
  bool Wanted(app::PictureState state) const {
    if (!edited_ && !empty_ && !unreadable_) return true;
    switch (state) {
      case app::PictureState::Edited:
      case app::PictureState::NewSize: return edited_;
      case app::PictureState::Empty: return empty_;
      case app::PictureState::Unreadable: return unreadable_;
      case app::PictureState::Original: break;
    }
    return false;
  }

  bool edited_ = false, empty_ = false, unreadable_ = false;
};

}  // namespace

std::unique_ptr<Command> MakeListCommand() { return std::make_unique<ListCommand>(); }

}  // namespace resmill::cli
