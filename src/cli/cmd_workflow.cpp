// open, port and save: the first and last stages of the workflow, driving the
// controller as the window's menu does.

#include <filesystem>
#include <memory>
#include <optional>

#include <fmt/format.h>

#include "command.h"

namespace resmill::cli {

void AddWorkflowCommands(Commands& commands) {
  struct Arguments {
    std::string target, source, output;
  };
  const auto args = std::make_shared<Arguments>();

  CLI::App& open = commands.Add(
      "open", "Open: unpack a target flash file or skin (and a source) into the work tree", Start::Program,
      [args](CliRun& run) {
        std::optional<std::filesystem::path> source;
        if (!args->source.empty()) source = run.ArgumentPath(args->source);
        const app::OpenResult result = run.controller.Open(run.ArgumentPath(args->target), source);
        return result == app::OpenResult::Done ? kExitDone : kExitFailed;
      });
  open.add_option("TARGET", args->target, "The flash file (.shx, .sbf, .bin, .smg) or skin (.ezx) to edit")
      ->required();
  open.add_option("SOURCE", args->source, "A second flash file or skin whose DRM is to be ported into the target");
  open.footer("A SOURCE given counts as a chosen source file, whatever the ask-source setting says.");

  commands.Add("port", "Port: carry the source DRM's pictures into the target", Start::Program, [](CliRun& run) {
    const app::PortSummary port = run.controller.Port();
    if (!port.compatible) return kExitFailed;
    run.out << fmt::format("Port: {} GIF-table pictures and {} RAW pictures copied\n", port.gifCopied,
                           port.rawCopied);
    return kExitDone;
  });

  CLI::App& save = commands.Add(
      "save", "Save As: write the superfile, raw DRM image or skin", Start::Program, [args](CliRun& run) {
        return run.controller.Save(run.ArgumentPath(args->output)) == app::SaveResult::Done ? kExitDone : kExitFailed;
      });
  save.add_option("OUTPUT", args->output, "The file to write")->required();
  save.footer(
      "For a superfile or SBF target OUTPUT is the new superfile and the new DRM image is written beside\n"
      "it with the extension .bin; for a raw-dump target the DRM image itself is written (OUTPUT without\n"
      "its last four characters, plus .bin); for a skin target OUTPUT is the new skin.");
}

}  // namespace resmill::cli
