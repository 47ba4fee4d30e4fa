// open, port and save: the first and last stages of the workflow, driving the
// controller as the window's menu does.

#include <filesystem>

#include <fmt/format.h>

#include "command.h"
#include "platform/file_system.h"

namespace resmill::cli {

namespace {

namespace fs = std::filesystem;

class OpenCommand final : public Command {
 public:
  std::string Name() const override { return "open"; }
  std::string Summary() const override {
    return "Open: unpack a target flash file or skin (and a source) into the work tree";
  }
  void Configure(CLI::App& sub) override {
    sub.add_option("TARGET", target_, "The flash file (.shx, .sbf, .bin, .smg) or skin (.ezx) to edit")->required();
    sub.add_option("SOURCE", source_, "A second flash file or skin whose DRM is to be ported into the target");
    sub.footer("A SOURCE given counts as a chosen source file, whatever the ask-source setting says.");
  }
  int Execute(CliRun& run) override {
    const std::optional<fs::path> source = source_.empty() ? std::nullopt : std::optional(run.ArgumentPath(source_));
    return run.controller.Open(run.ArgumentPath(target_), source) == app::OpenResult::Done ? kExitDone : kExitFailed;
  }

 private:
  std::string target_, source_;
};

class PortCommand final : public Command {
 public:
  std::string Name() const override { return "port"; }
  std::string Summary() const override { return "Port: carry the source DRM's pictures into the target"; }
  void Configure(CLI::App&) override {}
  int Execute(CliRun& run) override {
    const app::PortSummary port = run.controller.Port();
    if (!port.compatible) return kExitFailed;
    run.out << fmt::format("Port: {} GIF-table pictures and {} RAW pictures copied\n", port.gifCopied,
                           port.rawCopied);
    return kExitDone;
  }
};

class SaveCommand final : public Command {
 public:
  std::string Name() const override { return "save"; }
  std::string Summary() const override { return "Save As: write the superfile, raw DRM image or skin"; }
  void Configure(CLI::App& sub) override {
    sub.add_option("OUTPUT", output_, "The file to write")->required();
    sub.footer(
        "For a superfile or SBF target OUTPUT is the new superfile and the new DRM image is written beside\n"
        "it with the extension .bin; for a raw-dump target the DRM image itself is written (OUTPUT without\n"
        "its last four characters, plus .bin); for a skin target OUTPUT is the new skin.");
  }
  int Execute(CliRun& run) override {
    return run.controller.Save(run.ArgumentPath(output_)) == app::SaveResult::Done ? kExitDone : kExitFailed;
  }

 private:
  std::string output_;
};

}  // namespace

std::unique_ptr<Command> MakeOpenCommand() { return std::make_unique<OpenCommand>(); }
std::unique_ptr<Command> MakePortCommand() { return std::make_unique<PortCommand>(); }
std::unique_ptr<Command> MakeSaveCommand() { return std::make_unique<SaveCommand>(); }

}  // namespace resmill::cli
