#include "message_box.h"

#include <QApplication>
#include <QFontMetrics>
#include <QGridLayout>
#include <QScreen>
#include <QStyle>
#include <QSpacerItem>
#include <algorithm>

#include "modal_runner.h"

namespace resmill::gui {

QMessageBox::Icon IconForCaption(std::string_view caption) {
  if (caption == "Error") return QMessageBox::Critical;
  if (caption == "Warning" || caption == "Incomplete Operation" || caption == "Not Found") {
    return QMessageBox::Warning;
  }
  if (caption == "Confirmation") return QMessageBox::Question;
  if (caption.empty()) return QMessageBox::Information;
  return QMessageBox::NoIcon;
}

int WidthForCaption(const QString& caption) {
  // The title bar's font is the window manager's; most draw it bold at about
  // the size of the application's font. Beside the caption sit the window
  // icon and up to three buttons, each about a line and a half wide.
  QFont font = QApplication::font();
  font.setBold(true);
  const QFontMetrics metrics(font);
  const int decorations = 4 * (metrics.height() * 3 / 2) + 2 * metrics.height();
  // A box never gets narrower than about 30 characters, so a one-word message
  // does not sit in a sliver of a window.
  return std::max(metrics.horizontalAdvance(caption) + decorations, 30 * metrics.averageCharWidth());
}

void FitToContents(QMessageBox& box) {
  auto* grid = qobject_cast<QGridLayout*>(box.layout());
  if (grid == nullptr) return;
  const QFontMetrics metrics(box.font());
  int longestLine = 0;
  for (const QString& line : (box.text() + u'\n' + box.informativeText()).split(u'\n')) {
    longestLine = std::max(longestLine, metrics.horizontalAdvance(line));
  }
  // The text sits beside the icon, with the spacings of the layout around both.
  const int icon = box.style()->pixelMetric(QStyle::PM_MessageBoxIconSize, nullptr, &box);
  const int forText = longestLine + icon + 4 * grid->horizontalSpacing() + 2 * metrics.height();
  const QRect screen = box.screen() != nullptr ? box.screen()->availableGeometry() : QRect(0, 0, 1024, 768);
  const QMargins margins = grid->contentsMargins();
  const int width = std::max(WidthForCaption(box.windowTitle()), std::min(forText, screen.width() / 2)) -
                    margins.left() - margins.right();
  // QMessageBox sizes itself from its layout, so a strut in the layout is the
  // one minimum width it keeps.
  grid->addItem(new QSpacerItem(width, 0, QSizePolicy::Minimum, QSizePolicy::Fixed), grid->rowCount(), 0, 1,
                grid->columnCount());
}

int RunMessageBox(ModalRunner& runner, QWidget* owner, const MessageBoxSpec& spec) {
  QMessageBox box(spec.icon, spec.caption, spec.text, spec.buttons, owner);
  box.setTextFormat(Qt::PlainText);
  if (!spec.detail.isEmpty()) box.setInformativeText(spec.detail);
  if (spec.defaultButton != QMessageBox::NoButton) box.setDefaultButton(spec.defaultButton);
  FitToContents(box);
  return runner.Run(box);
}

void ReportError(ModalRunner& runner, QWidget* owner, const QString& what, const QString& reason) {
  MessageBoxSpec spec;
  spec.icon = QMessageBox::Critical;
  spec.caption = QStringLiteral("Error");
  spec.text = QStringLiteral("%1 failed.\n\n%2").arg(what, reason);
  RunMessageBox(runner, owner, spec);
}

}  // namespace resmill::gui
