#include "lang/DateTexts.h"

namespace arvex::lang {

QString fullYearDateFormat(const QLocale &locale)
{
    const QString format = locale.dateFormat(QLocale::ShortFormat);
    QString out;
    out.reserve(format.size() + 2);
    bool quoted = false;
    for (int i = 0; i < format.size(); ++i) {
        const QChar c = format.at(i);
        if (c == QLatin1Char('\'')) {
            quoted = !quoted; // "''" toggles twice and stands for a quote
            out += c;
        } else if (!quoted && c == QLatin1Char('y')) {
            while (i + 1 < format.size() && format.at(i + 1) == QLatin1Char('y'))
                ++i;
            out += QLatin1String("yyyy");
        } else {
            out += c;
        }
    }
    return out;
}

QString dateTimeText(const QDateTime &when, const QLocale &locale)
{
    if (!when.isValid())
        return QString();
    return locale.toString(when.date(), fullYearDateFormat(locale)) + QLatin1Char(' ')
        + when.time().toString(QStringLiteral("HH:mm:ss"));
}

} // namespace arvex::lang
