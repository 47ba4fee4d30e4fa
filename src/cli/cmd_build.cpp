// build and resize-gif.

#include <charconv>
#include <filesystem>
#include <optional>

#include <fmt/format.h>

#include "replacement/build_setup.h"
#include "replacement/gif_resize.h"
#include "command.h"
#include "platform/file_system.h"

namespace resmill::cli {

namespace {

namespace fs = std::filesystem;

/// "WIDTHxHEIGHT" with two non-negative decimal numbers; nothing for anything else.
std::optional<IconSize> ParseSize(std::string_view text) {
  std::size_t x = text.find_first_of("xX");
  if (x == std::string_view::npos) return std::nullopt;
  auto number = [](std::string_view part) -> std::optional<int> {
    int value = 0;
    if (part.empty() || part.size() > 5 || part.find_first_not_of("0123456789") != std::string_view::npos) {
      return std::nullopt;
    }
    std::from_chars(part.data(), part.data() + part.size(), value);
    return value;
  };
  auto w = number(text.substr(0, x));
  auto h = number(text.substr(x + 1));
  if (!w || !h) return std::nullopt;
  return IconSize{*w, *h};
}

/// Position of `name` in a list: the exact name, else the first that differs only in case.
int FindItem(const std::vector<std::string>& items, std::string_view name) {
  for (std::size_t i = 0; i < items.size(); ++i) {
    if (items[i] == name) return static_cast<int>(i);
  }
  for (std::size_t i = 0; i < items.size(); ++i) {
    if (EqualsCaseBlind(items[i], name)) return static_cast<int>(i);
  }
  return -1;
}

class BuildCommand final : public Command {
 public:
  std::string Name() const override { return "build"; }
  std::string Summary() const override { return "Build Setup + Build: replace target icons by source pictures"; }
  void Configure(CLI::App& sub) override {
    sub.add_option("--source-folder", sourceFolder_,
                   "Folder of the replacement pictures (default: the source DRM's icons when two files were "
                   "opened)");
    sub.add_option("--table", table_, "Port table (.dpt) whose entries are applied first");
    sub.add_option("--pair", pairs_, "A source picture and a target icon, by file name (repeatable)")
        ->expected(2)
        ->allow_extra_args(false)
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
    sub.add_flag("--match-size", matchSize_, "Redraw --pair sources at the target icon's size");
    sub.add_option("--icon-size", iconSize_,
                   "WIDTHxHEIGHT to use for a GIF icon whose size cannot be read (else it is skipped)");
    sub.footer(
        "The target list is the target DRM's icons (*.bmp;*.gif;*.png), the source list the source folder\n"
        "(*.bmp;*.png;*.gif;*.raw;*.k;*.g), both sorted as Build Setup lists them. The table's pairings\n"
        "come first, then each --pair in order; all are applied without a confirmation question.\n"
        "Every pairing is checked first: when a source is not a whole picture of its kind, or an icon\n"
        "cannot be written, nothing is replaced and the exit status is 1.");
  }

  int Execute(CliRun& run) override {
    app::Session& s = run.controller.session();
    if (!run.controller.Menu().build) {
      return run.NotAllowed("build", "needs pending work (open a file first)");
    }
    if (!iconSize_.empty()) {
      auto size = ParseSize(iconSize_);
      if (!size) return run.NotAllowed("build", fmt::format("--icon-size '{}' is not WIDTHxHEIGHT", iconSize_));
      run.ui.iconSizeAnswer = size;
    }
    replacement::BuildSetupModel model({s.tree.icons1Folder, s.tree.icons2Folder, s.tree.drmPack1Folder, s.programFolder},
                                 s.replacementTable, run.ui);
    model.Show({s.OneFileWork(), s.settings.convertRawToBmp}, s.buildCompleted);
    if (!sourceFolder_.empty()) {
      fs::path folder = run.ArgumentPath(sourceFolder_);
      if (!FolderExists(folder)) {
        run.err << "resmill-cli: build: source folder '" << folder.string() << "' does not exist\n";
        return kExitFailed;
      }
      model.SetSourceFolder(folder);
    }
    if (!table_.empty() && !model.ApplyPortTableFile(run.ArgumentPath(table_))) return kExitFailed;

    for (std::size_t i = 0; i + 1 < pairs_.size(); i += 2) {
      int source = FindItem(model.SourceItems(), pairs_[i]);
      int target = FindItem(model.TargetItems(), pairs_[i + 1]);
      if (source < 0) {
        return run.NotAllowed("build", fmt::format("'{}' is not in the source list ({})", pairs_[i],
                                                   model.SourceFolder().empty() ? "no source folder"
                                                                                : model.SourceFolder().string()));
      }
      if (target < 0) {
        return run.NotAllowed("build", fmt::format("'{}' is not in the target list ({})", pairs_[i + 1],
                                                   model.TargetIconsFolder().string()));
      }
      model.SelectTarget(target);
      model.SelectSource(source);
      if (!model.Pair()) return kExitFailed;
      s.replacementTable[s.replacementTable.Count() - 1].MatchSize = matchSize_;
    }
    if (s.replacementTable.Empty()) {
      run.out << "No pairings: nothing was changed\n";
      return kExitDone;
    }
    // A refusal was already printed as "Error: …" on standard error.
    app::BuildResult result = run.controller.Build(true, /*confirm=*/false);
    return result.status == app::BuildResult::Status::Done ? kExitDone : kExitFailed;
  }

 private:
  std::string sourceFolder_, table_, iconSize_;
  std::vector<std::string> pairs_;
  bool matchSize_ = false;
};

class ResizeGifCommand final : public Command {
 public:
  std::string Name() const override { return "resize-gif"; }
  std::string Summary() const override { return "Resize a GIF (every frame) as Build's Match Size does"; }
  void Configure(CLI::App& sub) override {
    sub.add_option("SOURCE", source_, "The GIF to resize")->required();
    sub.add_option("TARGET", target_, "The GIF to write (replaced when it exists)")->required();
    sub.add_option("SIZE", size_, "WIDTHxHEIGHT, e.g. 48x48")->required();
    sub.footer(
        "Each frame is redrawn at the new size; the loop, each frame's delay, disposal and transparency\n"
        "are kept. A source that already has that size is copied unchanged.");
  }
  int Execute(CliRun& run) override {
    auto size = ParseSize(size_);
    if (!size) return run.NotAllowed("resize-gif", fmt::format("'{}' is not WIDTHxHEIGHT", size_));
    fs::path target = run.ArgumentPath(target_);
    if (UpperExtension(target.filename().string()) != ".GIF") {
      return run.NotAllowed("resize-gif", fmt::format("'{}' is not a .gif file", target_));
    }
    replacement::GifWorkArea gif;
    bool written = replacement::ResizeGif(gif, run.ArgumentPath(source_), target, size->width, size->height, run.ui);
    return written ? kExitDone : kExitFailed;
  }

 private:
  std::string source_, target_, size_;
};

}  // namespace

std::unique_ptr<Command> MakeBuildCommand() { return std::make_unique<BuildCommand>(); }
std::unique_ptr<Command> MakeResizeGifCommand() { return std::make_unique<ResizeGifCommand>(); }

}  // namespace resmill::cli
