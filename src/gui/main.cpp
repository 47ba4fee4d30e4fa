// resmill: the ResMill window. The folder it is started in is the program
// folder: resmill.ini, the state file and, by default, the work tree live there.

#include <QApplication>
#include <QIcon>
#include <filesystem>
#include <system_error>

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

  resmill::gui::ModalRunner runner;
  resmill::gui::MainWindow window(runner, programFolder);
  if (!window.Start()) return 1;
  window.show();
  return app.exec();
}
