#pragma once
// The resmill-cli commands: each adds its sub-command with its help and
// options, and says what it does once the program has started.

#include <filesystem>
#include <functional>
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

/// Whether a command starts the program (program folder lock, state file, settings, work
/// tree) or works only on the files it names.
enum class Start { Program, None };

/// What a chosen command does; returns the exit status. Errors may be thrown as resmill::Error.
using Action = std::function<int(CliRun& run)>;

/// The sub-commands of one invocation, each with what it does.
class Commands {
 public:
  explicit Commands(CLI::App& app) : app_(app) {}
  /// Adds a sub-command; the caller adds its options, into values that `action` shares.
  CLI::App& Add(const std::string& name, const std::string& summary, Start start, Action action);

  struct Entry {
    CLI::App* sub;
    Start start;
    Action action;
  };
  /// The sub-command the parsed arguments chose; nothing when none was.
  const Entry* Chosen() const;

 private:
  CLI::App& app_;
  std::vector<Entry> entries_;
};

// Each file adds its commands.
void AddWorkflowCommands(Commands& commands);  // open, port, save
void AddStageCommands(Commands& commands);     // reset, status, settings
void AddBuildCommands(Commands& commands);     // build, resize-gif
void AddFileCommands(Commands& commands);      // convert, info
void AddPictureCommands(Commands& commands);   // list, sheet

}  // namespace resmill::cli
