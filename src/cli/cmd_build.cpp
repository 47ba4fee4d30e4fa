// build and resize-gif.

#include <charconv>
#include <filesystem>
#include <optional>

#include <fmt/format.h>

#include "app/convert.h"
#include "app/pairings.h"
#include "command.h"

namespace resmill::cli {

namespace {

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
    if (!run.controller.Menu().build) {
      return run.NotAllowed("build", "needs pending work (open a file first)");
    }
    if (!iconSize_.empty()) {
      auto size = ParseSize(iconSize_);
      if (!size) return run.NotAllowed("build", fmt::format("--icon-size '{}' is not WIDTHxHEIGHT", iconSize_));
      run.ui.iconSizeAnswer = size;
    }
    app::PairingRequest request;
    if (!sourceFolder_.empty()) request.sourceFolder = run.ArgumentPath(sourceFolder_);
    if (!table_.empty()) request.portTable = run.ArgumentPath(table_);
    for (std::size_t i = 0; i + 1 < pairs_.size(); i += 2) request.pairs.emplace_back(pairs_[i], pairs_[i + 1]);
    request.matchSize = matchSize_;
    const replacement::ReplacementTable pairings = app::PairByName(run.controller.session(), request);
    if (pairings.Empty()) {
      run.out << "No pairings: nothing was changed\n";
      return kExitDone;
    }
    // A refusal was already printed as "Error: …" on standard error.
    return run.controller.Build(pairings).status == app::BuildResult::Status::Done ? kExitDone : kExitFailed;
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
    return app::ResizeGif(run.ArgumentPath(source_), run.ArgumentPath(target_), *size, run.ui) ? kExitDone
                                                                                                : kExitFailed;
  }

 private:
  std::string source_, target_, size_;
};

}  // namespace

std::unique_ptr<Command> MakeBuildCommand() { return std::make_unique<BuildCommand>(); }
std::unique_ptr<Command> MakeResizeGifCommand() { return std::make_unique<ResizeGifCommand>(); }

}  // namespace resmill::cli
