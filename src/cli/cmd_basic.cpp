// reset, status and settings: the commands that need only the program's start.

#include <fmt/format.h>

#include "command.h"

namespace resmill::cli {

namespace {

const char* OnOff(bool on) { return on ? "on" : "off"; }

class ResetCommand final : public Command {
 public:
  std::string Name() const override { return "reset"; }
  std::string Summary() const override {
    return "Reset: drop pending work (the state file) and empty the work tree";
  }
  void Configure(CLI::App&) override {}
  int Execute(CliRun& run) override {
    run.controller.Reset();
    return kExitDone;
  }
};

class StatusCommand final : public Command {
 public:
  std::string Name() const override { return "status"; }
  std::string Summary() const override { return "Print StageFlags, the pending work and the enabled window commands"; }
  void Configure(CLI::App&) override {}
  int Execute(CliRun& run) override {
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
};

class SettingsCommand final : public Command {
 public:
  std::string Name() const override { return "settings"; }
  std::string Summary() const override {
    return "Print the five settings, or change them (only while nothing is pending)";
  }
  void Configure(CLI::App& sub) override {
    auto onOff = CLI::IsMember({"on", "off"});
    sub.add_option("--clean-up", cleanUp_, "Remove the work tree after a successful save")->check(onOff);
    sub.add_option("--ask-source", askSource_, "Open asks for a second (source) file")->check(onOff);
    sub.add_option("--convert", convert_, "Convert RAW pictures (and source skins) to ordinary pictures")
        ->check(onOff);
    sub.add_option("--auto-close", autoClose_, "Open and Save As end the program when done")->check(onOff);
    sub.add_option("--work-folder", workFolder_, "Folder under which binary1 and binary2 are created");
  }
  int Execute(CliRun& run) override {
    app::Session& s = run.controller.session();
    bool change = !cleanUp_.empty() || !askSource_.empty() || !convert_.empty() || !autoClose_.empty() ||
                  !workFolder_.empty();
    if (!change) {
      run.out << fmt::format("clean-up: {}\nask-source: {}\nconvert: {}\nauto-close: {}\nwork-folder: {}\n",
                             OnOff(s.settings.cleanUpOnCompletion), OnOff(s.settings.askForSourceFile),
                             OnOff(s.settings.convertRawToBmp), OnOff(s.settings.autoCloseOnStage),
                             s.settings.workFolder.string());
      return kExitDone;
    }
    if (!run.controller.Menu().settings) {
      return run.NotAllowed("settings", "work is pending; save it or run 'reset' before changing settings");
    }
    app::SettingsChoice choice{s.settings.cleanUpOnCompletion, s.settings.askForSourceFile,
                               s.settings.convertRawToBmp, std::nullopt};
    if (!cleanUp_.empty()) choice.cleanUpOnCompletion = cleanUp_ == "on";
    if (!askSource_.empty()) choice.askForSourceFile = askSource_ == "on";
    if (!convert_.empty()) choice.convertRawToBmp = convert_ == "on";
    // The dialog's auto-close box takes effect as it is clicked; the command line does the same.
    if (!autoClose_.empty()) s.settings.autoCloseOnStage = autoClose_ == "on";
    if (!workFolder_.empty()) {
      choice.newWorkFolder = run.ArgumentPath(workFolder_);
    }
    run.controller.ApplySettings(choice);
    return kExitDone;
  }

 private:
  std::string cleanUp_, askSource_, convert_, autoClose_, workFolder_;
};

class PendingCommand final : public Command {
 public:
  PendingCommand(std::string name, std::string summary, std::string usage)
      : name_(std::move(name)), summary_(std::move(summary)), usage_(std::move(usage)) {}
  std::string Name() const override { return name_; }
  std::string Summary() const override { return summary_; }
  void Configure(CLI::App& sub) override {
    sub.allow_extras();
    sub.footer("Usage: resmill-cli " + usage_);
  }
  int Execute(CliRun& run) override {
    return run.NotAllowed(name_, "this command is not implemented in this release yet");
  }

 private:
  std::string name_, summary_, usage_;
};

}  // namespace

std::unique_ptr<Command> MakeResetCommand() { return std::make_unique<ResetCommand>(); }
std::unique_ptr<Command> MakeStatusCommand() { return std::make_unique<StatusCommand>(); }
std::unique_ptr<Command> MakeSettingsCommand() { return std::make_unique<SettingsCommand>(); }
std::unique_ptr<Command> MakePendingCommand(std::string name, std::string summary, std::string usage) {
  return std::make_unique<PendingCommand>(std::move(name), std::move(summary), std::move(usage));
}

}  // namespace resmill::cli
