#include "meter/AnsiCodePage.h"

#include <QLocale>

#include <algorithm>
#include <cerrno>
#include <iconv.h>

namespace arvex::meter {

namespace {
QByteArray &overrideName()
{
    static QByteArray name;
    return name;
}

// iconv over a whole buffer; characters the target cannot hold become '?'.
QByteArray convert(const QByteArray &from, const QByteArray &to, const QByteArray &in)
{
    iconv_t cd = iconv_open(to.constData(), from.constData());
    if (cd == iconv_t(-1))
        return QByteArray();
    QByteArray out;
    out.resize(in.size() * 4 + 8);
    char *src = const_cast<char *>(in.constData());
    size_t srcLeft = size_t(in.size());
    char *dst = out.data();
    size_t dstLeft = size_t(out.size());
    while (srcLeft > 0) {
        if (iconv(cd, &src, &srcLeft, &dst, &dstLeft) != size_t(-1))
            break;
        if (errno == E2BIG) {
            const ptrdiff_t used = dst - out.data();
            out.resize(out.size() * 2);
            dst = out.data() + used;
            dstLeft = size_t(out.size() - used);
            continue;
        }
        // Unconvertible or invalid input: emit '?' and skip one input unit.
        if (dstLeft < 1)
            break;
        *dst++ = '?';
        --dstLeft;
        size_t skip = 1;
        if (from == "UTF-8") {
            const unsigned char lead = static_cast<unsigned char>(*src);
            skip = (lead & 0xE0) == 0xC0 ? 2 : (lead & 0xF0) == 0xE0 ? 3 : (lead & 0xF8) == 0xF0 ? 4 : 1;
        }
        skip = std::min(srcLeft, skip);
        src += skip;
        srcLeft -= skip;
    }
    iconv_close(cd);
    out.resize(dst - out.data());
    return out;
}
} // namespace

QByteArray ansiCodePageForLanguage(const QString &iso)
{
    static const char *const cp1250[] = {"pl", "cs", "sk", "hu", "hr", "sl", "ro"};
    static const char *const cp1251[] = {"ru", "uk", "bg", "sr"};
    for (const char *l : cp1250)
        if (iso == QLatin1String(l))
            return "CP1250";
    for (const char *l : cp1251)
        if (iso == QLatin1String(l))
            return "CP1251";
    return "CP1252";
}

QByteArray ansiCodePageName()
{
    if (!overrideName().isEmpty())
        return overrideName();
    const QString name = QLocale::system().name(); // "pl_PL"
    return ansiCodePageForLanguage(name.section(QLatin1Char('_'), 0, 0).toLower());
}

void setAnsiCodePage(const QByteArray &name) { overrideName() = name; }

QString fromAnsi(const QByteArray &bytes)
{
    if (bytes.isEmpty())
        return QString();
    const QByteArray utf8 = convert(ansiCodePageName(), "UTF-8", bytes);
    return QString::fromUtf8(utf8);
}

QByteArray toAnsi(const QString &text)
{
    if (text.isEmpty())
        return QByteArray();
    return convert("UTF-8", ansiCodePageName(), text.toUtf8());
}

} // namespace arvex::meter
