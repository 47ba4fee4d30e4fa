#pragma once

#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

#include "app/session.h"

namespace resmill::cli {

struct CliEnvironment {
  std::ostream& out;
  std::ostream& err;
  /// The program folder: the current directory of the invocation.
  std::filesystem::path programFolder;
  /// Draw a progress bar on `err` (it is a terminal).
  bool progressBar = false;
  app::Clock clock = app::LocalTimeNow;
};

/// One invocation of resmill-cli; `args` without the program name. Returns the exit status.
int RunCli(const std::vector<std::string>& args, const CliEnvironment& environment);

}  // namespace resmill::cli
