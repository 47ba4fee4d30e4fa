#pragma once
// One class per resmill-cli command: its name, its help, its options and what
// it does once the program has started.

#include <filesystem>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>

#include "app/controller.h"
#include "console_ui.h"

namespace resmill::cli {

/// Exit statuses.
inline constexpr int kExitDone = 0;
inline constexpr int kExitFailed = 1;
inline constexpr int kExitUsage = 2;

/// One started program: the controller after InitApp and its console user interface.
struct CliRun {
  std::ostream& out;
  std::ostream& err;
  ConsoleUi& ui;
  app::Controller& controller;

  /// "resmill-cli: <command>: <why>" on standard error; returns the usage status.
  int NotAllowed(std::string_view command, std::string_view why) const;
  /// A path given on the command line, taken relative to the program folder (the run's current folder).
  std::filesystem::path ArgumentPath(const std::string& path) const;
};

class Command {
 public:
  virtual ~Command() = default;
  virtual std::string Name() const = 0;
  virtual std::string Summary() const = 0;
  /// Adds the command's options and arguments to its sub-command.
  virtual void Configure(CLI::App& sub) = 0;
  /// Runs the command; returns the exit status. Errors may be thrown as resmill::Error.
  virtual int Execute(CliRun& run) = 0;
};

// The commands, one factory each; each lives in its own file.
std::unique_ptr<Command> MakeOpenCommand();
std::unique_ptr<Command> MakePortCommand();
std::unique_ptr<Command> MakeBuildCommand();
std::unique_ptr<Command> MakeSaveCommand();
std::unique_ptr<Command> MakeResetCommand();
std::unique_ptr<Command> MakeStatusCommand();
std::unique_ptr<Command> MakeSettingsCommand();
std::unique_ptr<Command> MakeConvertCommand();
std::unique_ptr<Command> MakeResizeGifCommand();
std::unique_ptr<Command> MakeInfoCommand();
std::unique_ptr<Command> MakeListCommand();
std::unique_ptr<Command> MakeSheetCommand();

/// A command whose work comes with a later release: it says so and exits 2.
std::unique_ptr<Command> MakePendingCommand(std::string name, std::string summary, std::string usage);

}  // namespace resmill::cli
