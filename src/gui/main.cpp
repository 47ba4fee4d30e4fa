// resmill: the ResMill window. The folder it is started in is the program
// folder: resmill.ini, the state file and, by default, the work tree live there.

#include <QApplication>
#include <QIcon>
#include <QTimer>
#include <filesystem>
#include <system_error>

#include "command_line.h"
#include "main_window.h"
#include "modal_runner.h"

int main(int argc, char* argv[]) {
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("ResMill"));
  QApplication::setApplicationVersion(QStringLiteral("0.4.0 beta"));
  QApplication::setDesktopFileName(QStringLiteral("resmill"));
  QApplication::setWindowIcon(QIcon(QStringLiteral(":/resmill/resmill.png")));

  std::error_code error;
  std::filesystem::path programFolder = std::filesystem::current_path(error);
  if (error) programFolder = ".";
  const resmill::gui::StartFiles files = resmill::gui::ReadCommandLine(app, programFolder);

  resmill::gui::ModalRunner runner;
  resmill::gui::MainWindow window(runner, programFolder);
  if (!window.Start()) return 1;
  window.show();
  if (files.target) {
    QTimer::singleShot(0, &window, [&window, &files] { window.OpenFiles(*files.target, files.source); });
  }
  return app.exec();
}
