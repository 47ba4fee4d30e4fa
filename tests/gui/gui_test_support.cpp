#include "gui_test_support.h"

#include <QApplication>
#include <QAbstractButton>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QStyle>
#include <QStyleOptionButton>
#include <gtest/gtest.h>

#include "qt_text.h"

namespace resmill::gui::test {

void EnsureApp() {
  if (QApplication::instance() != nullptr) return;
  qputenv("QT_QPA_PLATFORM", "offscreen");
  // The offscreen platform says so for every window shown that it cannot
  // raise or size by hints; the tests show many.
  static const QtMessageHandler standard = qInstallMessageHandler(nullptr);
  qInstallMessageHandler([](QtMsgType type, const QMessageLogContext& context, const QString& message) {
    if (message.startsWith(QStringLiteral("This plugin does not support"))) return;
    standard(type, context, message);
  });
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
    record.detail = box->informativeText();
    record.icon = box->icon();
    record.defaultButton = box->defaultButton() ? box->standardButton(box->defaultButton()) : 0;
    // The offscreen platform lays the box out as a screen would.
    box->show();
    record.size = box->size();
    record.textWhole = TextsFit(*box);
    box->hide();
    shown.push_back(record);
    if (messageAnswers.empty()) return QMessageBox::Ok;
    int answer = messageAnswers.front();
    messageAnswers.pop_front();
    return answer;
  }
  if (auto* files = qobject_cast<QFileDialog*>(&dialog)) {
    // The name a plain Enter would take: the dialog's file-name box.
    if (auto* name = files->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))) record.fileName = name->text();
    record.nameFilters = files->nameFilters();
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

bool TextsFit(const QWidget& widget, std::string* problem) {
  auto fail = [&](const QWidget* w, const char* why) {
    if (problem) *problem = (w->objectName() + QStringLiteral(": ")).toStdString() + why;
    return false;
  };
  for (const QLabel* label : widget.findChildren<QLabel*>()) {
    if (!label->isVisibleTo(&widget) || label->text().isEmpty()) continue;
    if (label->wordWrap()) {
      if (label->height() < label->heightForWidth(label->width())) return fail(label, "wrapped text cut at the bottom");
    } else if (label->width() < label->sizeHint().width() || label->height() < label->sizeHint().height()) {
      return fail(label, "text cut");
    }
  }
  for (const QAbstractButton* button : widget.findChildren<QAbstractButton*>()) {
    if (!button->isVisibleTo(&widget) || button->text().isEmpty()) continue;
    if (qobject_cast<const QPushButton*>(button) != nullptr) {
      // A push button's size hint has a least width of its own; what counts is
      // whether the style's room for the caption holds it.
      QStyleOptionButton option;
      option.initFrom(button);
      option.text = button->text();
      const QRect room = button->style()->subElementRect(QStyle::SE_PushButtonContents, &option, button);
      if (room.width() < button->fontMetrics().horizontalAdvance(button->text()) ||
          room.height() < button->fontMetrics().height()) {
        return fail(button, "caption cut");
      }
    } else if (button->width() < button->sizeHint().width() || button->height() < button->sizeHint().height()) {
      return fail(button, "caption cut");
    }
  }
  return true;
}

int CaptionRoom(const QString& caption) {
  QFont font = QApplication::font();
  font.setBold(true);
  const QFontMetrics metrics(font);
  return metrics.horizontalAdvance(caption) + 4 * metrics.height();
}

void WithFontSize(double pointSize, const std::function<void()>& body) {
  const QFont before = QApplication::font();
  QFont font = before;
  font.setPointSizeF(pointSize);
  QApplication::setFont(font);
  body();
  QApplication::setFont(before);
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
