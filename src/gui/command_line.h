#pragma once
// The window's command line: resmill [FILE [SOURCE]], so that a file manager
// can open a flash file or skin with ResMill.

#include <QStringList>
#include <filesystem>
#include <optional>

class QCoreApplication;

namespace resmill::gui {

struct StartFiles {
  std::optional<std::filesystem::path> target;
  std::optional<std::filesystem::path> source;
};

/// The files among the positional arguments, made absolute against
/// `programFolder`. Nothing, and `error` says why, for more than two.
std::optional<StartFiles> FilesFromArguments(const QStringList& positional, const std::filesystem::path& programFolder,
                                             QString& error);

/// Reads the application's arguments; --help, --version and a wrong call print
/// and end the program, as a command does.
StartFiles ReadCommandLine(const QCoreApplication& app, const std::filesystem::path& programFolder);

}  // namespace resmill::gui
