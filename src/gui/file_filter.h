#pragma once
// File dialog filters arrive in the "Name|*.a;*.b|Name|*.c" form; Qt wants
// "Name (*.a *.b)" entries. Extensions are matched without regard to case, as
// the flash files people receive come as .SHX as often as .shx.

#include <QString>
#include <QStringList>
#include <string_view>

namespace resmill::gui {

/// "*.shx" -> "*.[sS][hH][xX]"; characters that are not letters stay as they are.
QString CaseBlindPattern(const QString& pattern);

/// Converts the "Name|patterns|Name|patterns" form into Qt name filters with
/// case-blind patterns. A trailing name without patterns is kept with "*".
QStringList ToQtNameFilters(std::string_view filter);

}  // namespace resmill::gui
