#pragma once

#include <QDateTime>
#include <QLocale>
#include <QString>

namespace arvex::lang {

// The locale's short date format with the year written in four digits, in the locale's own
// order of day, month and year: "M/d/yy" gives "M/d/yyyy", "dd.MM.yy" gives "dd.MM.yyyy".
// Quoted literal text is kept as it stands.
QString fullYearDateFormat(const QLocale &locale);

// A stored date and time as the grids show it: the date in fullYearDateFormat, then the time
// as "HH:mm:ss". The fields are taken as they stand (no conversion between time zones).
QString dateTimeText(const QDateTime &when, const QLocale &locale);

} // namespace arvex::lang
