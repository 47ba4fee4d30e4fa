#include "cli_app.h"

#include <fmt/format.h>

#include "command.h"
#include "platform/error.h"

namespace resmill::cli {

namespace {

constexpr const char* kDescription =
    "ResMill command line: the staged workflow of the ResMill window, one command per run.\n"
    "\n"
    "Each run is one start of the program with the current folder as the program folder: it\n"
    "locks the folder (resmill.lock) for the run, reads the state file shxdata.dat, loads or\n"
    "creates resmill.ini, creates the work tree (WorkFolder/binary1, binary2 with drmpack/icons)\n"
    "and empties it when no work is pending, then runs one command. The state file stays on disk\n"
    "for as long as work is pending: 'open' writes it, a completed 'save' and 'reset' remove it,\n"
    "so a run that is killed or crashes leaves the pending work for the next. So 'open', 'port',\n"
    "'build' and 'save' run one after another in one folder are the staged workflow, and the\n"
    "window and the command line can take turns (one at a time). 'convert', 'resize-gif' and\n"
    "'info' touch none of this and need no lock.";

constexpr const char* kFooter =
    "Commands and when they are allowed:\n"
    "  open TARGET [SOURCE]   Open; a SOURCE counts as a chosen source file.   nothing pending\n"
    "  port                   Port the source DRM into the target.             two-file work pending\n"
    "  build [options]        Build Setup + Build.                              work pending\n"
    "  save OUTPUT            Save As: superfile, raw DRM image or skin.        work pending\n"
    "  reset                  Reset: drop pending work, empty the work tree.    always\n"
    "  status                 StageFlags, pending work, enabled commands.       always\n"
    "  settings [options]     Print or change the five settings.               changing: nothing pending\n"
    "  convert SOURCE TARGET  Device picture <-> ordinary picture.              always\n"
    "  resize-gif SRC DST WxH The Build's GIF resize with Match Size.           always\n"
    "  info FILE              Describe a flash file, DRM image, skin, picture.  always\n"
    "  list [filters]         The target's pictures and their states.           work pending\n"
    "  sheet OUT.png          Contact sheet of the target's (--source) DRM.     work pending\n"
    "\n"
    "build: the target list is WorkFolder/binary1/drmpack/icons (*.bmp;*.gif;*.png); the source\n"
    "list is --source-folder, by default WorkFolder/binary2/drmpack/icons when two files were\n"
    "opened (*.bmp;*.png;*.gif;*.raw;*.k;*.g); both sorted as the Build Setup lists are.\n"
    "--pair SOURCE TARGET names a source file and a target icon by file name; --table applies a\n"
    "port table first and pairs are appended after it; all run in order without a question.\n"
    "--icon-size WxH answers the icon-size question (without it a zero-sized icon is skipped).\n"
    "\n"
    "Messages become lines 'Caption: Text': completion messages on standard output, errors and\n"
    "warnings on standard error. Progress is drawn on standard error when it is a terminal.\n"
    "\n"
    "Exit status: 0 done; 1 the operation failed (no DRM, bad or truncated input, I/O error);\n"
    "2 usage error, a command not allowed in the current stage (pending work is kept), or another\n"
    "ResMill working in the program folder or the work folder.";

}  // namespace

int CliRun::NotAllowed(std::string_view command, std::string_view why) const {
  err << "resmill-cli: " << command << ": " << why << '\n';
  return kExitUsage;
}

std::filesystem::path CliRun::ArgumentPath(const std::string& path) const {
  std::filesystem::path p(path);
  if (p.is_relative()) p = controller.session().programFolder / p;
  return p.lexically_normal();
}

CLI::App& Commands::Add(const std::string& name, const std::string& summary, Start start, Action action) {
  CLI::App* sub = app_.add_subcommand(name, summary);
  entries_.push_back({sub, start, std::move(action)});
  return *sub;
}

const Commands::Entry* Commands::Chosen() const {
  for (const Entry& entry : entries_) {
    if (entry.sub->parsed()) return &entry;
  }
  return nullptr;
}

int RunCli(const std::vector<std::string>& args, const CliEnvironment& environment) {
  CLI::App app(kDescription, "resmill-cli");
  app.footer(kFooter);
  app.require_subcommand(0, 1);
  app.set_version_flag("--version", std::string("resmill-cli ") + RESMILL_VERSION);
  Commands commands(app);
  AddWorkflowCommands(commands);
  AddBuildCommands(commands);
  AddStageCommands(commands);
  AddFileCommands(commands);
  AddPictureCommands(commands);

  std::vector<std::string> reversed(args.rbegin(), args.rend());
  try {
    app.parse(reversed);
  } catch (const CLI::ParseError& e) {
    // Help and the version are asked for and end with status 0; anything else is a usage error.
    return app.exit(e, environment.out, environment.err) == 0 ? kExitDone : kExitUsage;
  }

  const Commands::Entry* chosen = commands.Chosen();
  if (chosen == nullptr) {
    environment.out << app.help();
    return kExitUsage;
  }

  ConsoleUi ui(environment.out, environment.err, environment.progressBar);
  app::Controller controller(ui, environment.programFolder, environment.clock);
  CliRun run{environment.out, environment.err, ui, controller};
  int status = kExitDone;
  const bool starts = chosen->start == Start::Program;
  try {
    if (starts) controller.InitApp();
    status = chosen->action(run);
  } catch (const Error& e) {
    environment.err << "resmill-cli: " << e.what() << '\n';
    if (e.kind() == Error::Kind::Internal) {
      environment.err << "resmill-cli: this is a fault of ResMill; please report it with the input files\n";
    }
    status = e.kind() == Error::Kind::Refused ? kExitUsage : kExitFailed;
  } catch (const std::exception& e) {
    environment.err << "resmill-cli: " << e.what() << '\n';
    status = kExitFailed;
  }
  try {
    if (starts) controller.Shutdown();
  } catch (const std::exception& e) {
    environment.err << "resmill-cli: could not keep the pending work: " << e.what() << '\n';
    if (status == kExitDone) status = kExitFailed;
  }
  return status;
}

}  // namespace resmill::cli
