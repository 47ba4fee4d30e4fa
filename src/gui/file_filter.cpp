#include "file_filter.h"

#include "qt_text.h"

namespace resmill::gui {

QString CaseBlindPattern(const QString& pattern) {
  QString out;
  out.reserve(pattern.size() * 4);
  for (QChar c : pattern) {
    QChar lower = c.toLower();
    QChar upper = c.toUpper();
    if (lower != upper && c.unicode() < 128) {
      out += u'[';
      out += lower;
      out += upper;
      out += u']';
    } else {
      out += c;
    }
  }
  return out;
}

QStringList ToQtNameFilters(std::string_view filter) {
  QStringList parts = ToQString(filter).split(u'|');
  QStringList result;
  for (qsizetype i = 0; i < parts.size(); i += 2) {
    const QString& name = parts[i];
    if (name.isEmpty() && i + 1 >= parts.size()) continue;
    QString patterns = i + 1 < parts.size() ? parts[i + 1] : QStringLiteral("*");
    QStringList blind;
    for (const QString& p : patterns.split(u';', Qt::SkipEmptyParts)) blind << CaseBlindPattern(p.trimmed());
    if (blind.isEmpty()) blind << QStringLiteral("*");
    result << QStringLiteral("%1 (%2)").arg(name, blind.join(u' '));
  }
  return result;
}

}  // namespace resmill::gui
