// reset, status and settings: the commands that need only the program's start.

#include <memory>

#include <fmt/format.h>

#include "command.h"

namespace resmill::cli {

namespace {

const char* OnOff(bool on) { return on ? "on" : "off"; }

int PrintStatus(CliRun& run) {
  const app::Session& s = run.controller.session();
  const app::MenuState& m = run.controller.Menu();
  run.out << "StageFlags: " << int{s.stageFlags} << '\n';
  if (s.nothingPending) {
    run.out << "Pending: nothing\n";
  } else {
    std::string files = s.OneFileWork() ? "one file" : "two files";
    std::string kind = (s.stageFlags & app::kRawDumpTarget) ? "raw dump"
                       : (s.stageFlags & app::kSkinTarget)  ? "skin"
                                                            : "superfile";
    run.out << "Pending: " << files << ", target is a " << kind << '\n';
  }
  run.out << fmt::format("Open: {}\nPort: {}\nBuild: {}\nSave As: {}\nSettings: {}\n", OnOff(m.open),
                         OnOff(m.port), OnOff(m.build), OnOff(m.saveAs), OnOff(m.settings));
  run.out << "Work folder: " << s.settings.workFolder.string() << '\n';
  return kExitDone;
}

struct SettingsArguments {
  std::string cleanUp, askSource, convert, autoClose, workFolder;
};

int ChangeSettings(CliRun& run, const SettingsArguments& args) {
  app::Session& s = run.controller.session();
  bool change = !args.cleanUp.empty() || !args.askSource.empty() || !args.convert.empty() ||
                !args.autoClose.empty() || !args.workFolder.empty();
  if (!change) {
    run.out << fmt::format("clean-up: {}\nask-source: {}\nconvert: {}\nauto-close: {}\nwork-folder: {}\n",
                           OnOff(s.settings.cleanUpOnCompletion), OnOff(s.settings.askForSourceFile),
                           OnOff(s.settings.convertRawToBmp), OnOff(s.settings.autoCloseOnStage),
                           s.settings.workFolder.string());
    return kExitDone;
  }
  app::SettingsChoice choice{s.settings.cleanUpOnCompletion, s.settings.askForSourceFile, s.settings.convertRawToBmp,
                             std::nullopt};
  if (!args.cleanUp.empty()) choice.cleanUpOnCompletion = args.cleanUp == "on";
  if (!args.askSource.empty()) choice.askForSourceFile = args.askSource == "on";
  if (!args.convert.empty()) choice.convertRawToBmp = args.convert == "on";
  // The dialog's auto-close box takes effect as it is clicked; the command line does the same.
  if (!args.autoClose.empty()) s.settings.autoCloseOnStage = args.autoClose == "on";
  if (!args.workFolder.empty()) choice.newWorkFolder = run.ArgumentPath(args.workFolder);
  // Refused (exit 2) while work is pending; the auto-close change above is then never saved.
  run.controller.ApplySettings(choice);
  return kExitDone;
}

}  // namespace

void AddStageCommands(Commands& commands) {
  commands.Add("reset", "Reset: drop pending work (the state file) and empty the work tree", Start::Program,
               [](CliRun& run) {
                 run.controller.Reset();
                 return kExitDone;
               });
  commands.Add("status", "Print StageFlags, the pending work and the enabled window commands", Start::Program,
               PrintStatus);

  const auto args = std::make_shared<SettingsArguments>();
  CLI::App& settings =
      commands.Add("settings", "Print the five settings, or change them (only while nothing is pending)",
                   Start::Program, [args](CliRun& run) { return ChangeSettings(run, *args); });
  auto onOff = CLI::IsMember({"on", "off"});
  settings.add_option("--clean-up", args->cleanUp, "Remove the work tree after a successful save")->check(onOff);
  settings.add_option("--ask-source", args->askSource, "Open asks for a second (source) file")->check(onOff);
  settings.add_option("--convert", args->convert, "Convert RAW pictures (and source skins) to ordinary pictures")
      ->check(onOff);
  settings.add_option("--auto-close", args->autoClose, "Open and Save As end the program when done")->check(onOff);
  settings.add_option("--work-folder", args->workFolder, "Folder under which binary1 and binary2 are created");
}

}  // namespace resmill::cli
