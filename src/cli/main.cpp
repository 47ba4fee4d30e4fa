#include <filesystem>
#include <iostream>
#include <unistd.h>

#include "cli_app.h"

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  std::error_code ec;
  std::filesystem::path folder = std::filesystem::current_path(ec);
  if (ec) {
    std::cerr << "resmill-cli: cannot read the current folder: " << ec.message() << '\n';
    return 1;
  }
  resmill::cli::CliEnvironment environment{std::cout, std::cerr, folder, ::isatty(2) == 1};
  return resmill::cli::RunCli(args, environment);
}
