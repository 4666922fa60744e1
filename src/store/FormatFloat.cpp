#include "store/FormatFloat.h"

#include <cmath>

namespace arvex::store {

QString formatFloat(const QString &pattern, double value, const QLocale &locale)
{
    return formatFloat(pattern, value, locale.decimalPoint().at(0), locale.groupSeparator().at(0));
}

QString formatFloat(const QString &pattern, double value, QChar decimalSeparator, QChar groupSeparator)
{
    // Only the first section of a "pos;neg;zero" picture is used; negatives get a minus sign.
    QString section;
    {
        QChar quote;
        for (QChar c : pattern) {
            if (!quote.isNull()) {
                if (c == quote)
                    quote = QChar();
            } else if (c == QLatin1Char('\'') || c == QLatin1Char('"')) {
                quote = c;
            } else if (c == QLatin1Char(';')) {
                break;
            }
            section += c;
        }
    }

    // Split the picture into the literal text before the digits, the digit picture and the rest.
    QString prefix, suffix;
    int intZeros = 0, decZeros = 0, decHashes = 0;
    bool seenDigit = false, inDecimals = false, grouping = false, afterDigits = false;
    QChar quote;
    for (QChar c : section) {
        if (!quote.isNull()) {
            if (c == quote)
                quote = QChar();
            else
                (seenDigit ? suffix : prefix) += c;
            continue;
        }
        const bool digitChar = c == QLatin1Char('0') || c == QLatin1Char('#');
        if (c == QLatin1Char('\'') || c == QLatin1Char('"')) {
            quote = c;
            if (seenDigit)
                afterDigits = true;
        } else if (digitChar && !afterDigits) {
            seenDigit = true;
            if (inDecimals)
                (c == QLatin1Char('0') ? decZeros : decHashes)++;
            else if (c == QLatin1Char('0'))
                intZeros++;
        } else if (c == QLatin1Char('.') && !afterDigits) {
            inDecimals = true;
            seenDigit = true;
        } else if (c == QLatin1Char(',') && !afterDigits && !inDecimals) {
            grouping = true;
        } else {
            if (seenDigit)
                afterDigits = true;
            (seenDigit ? suffix : prefix) += c;
        }
    }

    const int maxDecimals = decZeros + decHashes;
    const double scale = std::pow(10.0, maxDecimals);
    double a = std::fabs(value);
    double scaled = std::round(a * scale); // half away from zero
    const bool negative = value < 0 && scaled != 0;
    const double intPart = std::floor(scaled / scale);
    double frac = scaled - intPart * scale;

    QString digits = intPart == 0 ? QString() : QString::number(intPart, 'f', 0);
    while (digits.size() < intZeros)
        digits.prepend(QLatin1Char('0'));
    if (grouping && !groupSeparator.isNull()) {
        for (int i = digits.size() - 3; i > 0; i -= 3)
            digits.insert(i, groupSeparator);
    }

    QString decimals;
    if (maxDecimals > 0) {
        decimals = QString::number(qint64(frac)).rightJustified(maxDecimals, QLatin1Char('0'));
        while (decimals.size() > decZeros && decimals.endsWith(QLatin1Char('0')))
            decimals.chop(1);
    }

    QString out = prefix;
    if (negative)
        out += QLatin1Char('-');
    out += digits;
    if (!decimals.isEmpty())
        out += decimalSeparator + decimals;
    if (out == prefix && digits.isEmpty())
        out += QLatin1Char('0');
    out += suffix;
    return out;
}

} // namespace arvex::store
