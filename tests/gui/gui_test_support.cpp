#include "gui_test_support.h"

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>
#include <gtest/gtest.h>

#include "qt_text.h"

namespace resmill::gui::test {

void EnsureApp() {
  if (QApplication::instance() != nullptr) return;
  qputenv("QT_QPA_PLATFORM", "offscreen");
  static int argc = 1;
  static char name[] = "gui_tests";
  static char* argv[] = {name, nullptr};
  new QApplication(argc, argv);  // lives until the test program ends
}

int ScriptedRunner::Exec(QDialog& dialog) {
  ShownDialog record;
  record.objectName = dialog.objectName();
  record.title = dialog.windowTitle();
  record.parent = dialog.parentWidget();
  if (auto* box = qobject_cast<QMessageBox*>(&dialog)) {
    record.message = true;
    record.text = box->text();
    shown.push_back(record);
    if (messageAnswers.empty()) return QMessageBox::Ok;
    int answer = messageAnswers.front();
    messageAnswers.pop_front();
    return answer;
  }
  shown.push_back(record);
  if (answers.empty()) {
    ADD_FAILURE() << "unexpected dialog '" << record.title.toStdString() << "' (" << record.objectName.toStdString()
                  << ")";
    return QDialog::Rejected;
  }
  Handler handler = std::move(answers.front());
  answers.pop_front();
  return handler(dialog);
}

std::vector<std::string> ScriptedRunner::Messages() const {
  std::vector<std::string> out;
  for (const ShownDialog& d : shown) {
    if (d.message) out.push_back((d.title + QStringLiteral(": ") + d.text).toStdString());
  }
  return out;
}

ScriptedRunner::Handler Choose(const std::filesystem::path& path) {
  return [path](QDialog& dialog) {
    auto* files = qobject_cast<QFileDialog*>(&dialog);
    EXPECT_NE(files, nullptr) << "not a file dialog: " << dialog.windowTitle().toStdString();
    if (files == nullptr) return static_cast<int>(QDialog::Rejected);
    files->selectFile(PathToQString(path));
    return static_cast<int>(QDialog::Accepted);
  };
}

ScriptedRunner::Handler Cancel() {
  return [](QDialog&) { return static_cast<int>(QDialog::Rejected); };
}

ScriptedRunner::Handler Accept(std::function<void(QDialog&)> body) {
  return [body](QDialog& dialog) {
    if (body) body(dialog);
    return static_cast<int>(QDialog::Accepted);
  };
}

ScriptedRunner::Handler Reject(std::function<void(QDialog&)> body) {
  return [body](QDialog& dialog) {
    if (body) body(dialog);
    return static_cast<int>(QDialog::Rejected);
  };
}

}  // namespace resmill::gui::test
