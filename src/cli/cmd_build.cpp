// build and resize-gif.

#include <charconv>
#include <memory>
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

struct BuildArguments {
  std::string sourceFolder, table, iconSize;
  std::vector<std::string> pairs;
  bool matchSize = false;
};

int Build(CliRun& run, const BuildArguments& args) {
  if (!run.controller.Menu().build) return run.NotAllowed("build", "needs pending work (open a file first)");
  if (!args.iconSize.empty()) {
    auto size = ParseSize(args.iconSize);
    if (!size) return run.NotAllowed("build", fmt::format("--icon-size '{}' is not WIDTHxHEIGHT", args.iconSize));
    run.ui.iconSizeAnswer = size;
  }
  app::PairingRequest request;
  if (!args.sourceFolder.empty()) request.sourceFolder = run.ArgumentPath(args.sourceFolder);
  if (!args.table.empty()) request.portTable = run.ArgumentPath(args.table);
  for (std::size_t i = 0; i + 1 < args.pairs.size(); i += 2) {
    request.pairs.emplace_back(args.pairs[i], args.pairs[i + 1]);
  }
  request.matchSize = args.matchSize;
  const replacement::ReplacementTable pairings = app::PairByName(run.controller.session(), request);
  if (pairings.Empty()) {
    run.out << "No pairings: nothing was changed\n";
    return kExitDone;
  }
  // A refusal was already printed as "Error: …" on standard error.
  return run.controller.Build(pairings).status == app::BuildResult::Status::Done ? kExitDone : kExitFailed;
}

struct ResizeArguments {
  std::string source, target, size;
};

int Resize(CliRun& run, const ResizeArguments& args) {
  auto size = ParseSize(args.size);
  if (!size) return run.NotAllowed("resize-gif", fmt::format("'{}' is not WIDTHxHEIGHT", args.size));
  const bool written = app::ResizeGif(run.ArgumentPath(args.source), run.ArgumentPath(args.target), *size, run.ui);
  return written ? kExitDone : kExitFailed;
}

}  // namespace

void AddBuildCommands(Commands& commands) {
  const auto build = std::make_shared<BuildArguments>();
  CLI::App& sub = commands.Add("build", "Build Setup + Build: replace target icons by source pictures",
                               Start::Program, [build](CliRun& run) { return Build(run, *build); });
  sub.add_option("--source-folder", build->sourceFolder,
                 "Folder of the replacement pictures (default: the source DRM's icons when two files were opened)");
  sub.add_option("--table", build->table, "Port table (.dpt) whose entries are applied first");
  sub.add_option("--pair", build->pairs, "A source picture and a target icon, by file name (repeatable)")
      ->expected(2)
      ->allow_extra_args(false)
      ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
  sub.add_flag("--match-size", build->matchSize, "Redraw --pair sources at the target icon's size");
  sub.add_option("--icon-size", build->iconSize,
                 "WIDTHxHEIGHT to use for a GIF icon whose size cannot be read (else it is skipped)");
  sub.footer(
      "The target list is the target DRM's icons (*.bmp;*.gif;*.png), the source list the source folder\n"
      "(*.bmp;*.png;*.gif;*.raw;*.k;*.g), both sorted as Build Setup lists them. The table's pairings\n"
      "come first, then each --pair in order; all are applied without a confirmation question.\n"
      "Every pairing is checked first: when a source is not a whole picture of its kind, or an icon\n"
      "cannot be written, nothing is replaced and the exit status is 1.");

  const auto resize = std::make_shared<ResizeArguments>();
  CLI::App& gif = commands.Add("resize-gif", "Resize a GIF (every frame) as Build's Match Size does", Start::None,
                               [resize](CliRun& run) { return Resize(run, *resize); });
  gif.add_option("SOURCE", resize->source, "The GIF to resize")->required();
  gif.add_option("TARGET", resize->target, "The GIF to write (replaced when it exists)")->required();
  gif.add_option("SIZE", resize->size, "WIDTHxHEIGHT, e.g. 48x48")->required();
  gif.footer(
      "Each frame is redrawn at the new size; the loop, each frame's delay, disposal and transparency\n"
      "are kept. A source that already has that size is copied unchanged.");
}

}  // namespace resmill::cli
