#pragma once

#include <QLocale>
#include <QString>

namespace arvex::store {

// Formats a number by a picture such as "#0.00' pH'": '0' a digit always shown, '#' a digit
// shown only when significant, '.' the decimal separator (the locale's), ',' thousands
// grouping, quoted text copied literally. Rounds half away from zero.
QString formatFloat(const QString &pattern, double value, const QLocale &locale = QLocale());

// The same with the decimal separator given.
QString formatFloat(const QString &pattern, double value, QChar decimalSeparator, QChar groupSeparator = QChar());

} // namespace arvex::store
