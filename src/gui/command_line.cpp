#include "command_line.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <cstdio>
#include <cstdlib>

#include "qt_text.h"

namespace resmill::gui {

std::optional<StartFiles> FilesFromArguments(const QStringList& positional, const std::filesystem::path& programFolder,
                                             QString& error) {
  if (positional.size() > 2) {
    error = QStringLiteral("at most two files: a target and a source (%1 given)").arg(positional.size());
    return std::nullopt;
  }
  StartFiles files;
  auto absolute = [&](const QString& argument) {
    const std::filesystem::path path = QStringToPath(argument);
    return path.is_absolute() ? path : programFolder / path;
  };
  if (!positional.isEmpty()) files.target = absolute(positional[0]);
  if (positional.size() > 1) files.source = absolute(positional[1]);
  return files;
}

StartFiles ReadCommandLine(const QCoreApplication& app, const std::filesystem::path& programFolder) {
  QCommandLineParser parser;
  parser.setApplicationDescription(
      QStringLiteral("Opens FILE (and SOURCE, to port from) at once, as File > Open would after choosing them."));
  parser.addHelpOption();
  parser.addVersionOption();
  parser.addPositionalArgument(QStringLiteral("FILE"), QStringLiteral("the flash file or skin to edit"),
                               QStringLiteral("[FILE"));
  parser.addPositionalArgument(QStringLiteral("SOURCE"),
                               QStringLiteral("a second flash file or skin whose DRM is ported into FILE"),
                               QStringLiteral("[SOURCE]]"));
  parser.process(app);
  QString error;
  auto files = FilesFromArguments(parser.positionalArguments(), programFolder, error);
  if (!files) {
    std::fprintf(stderr, "resmill: %s\n\n%s", qPrintable(error), qPrintable(parser.helpText()));
    std::exit(2);
  }
  return *files;
}

}  // namespace resmill::gui
