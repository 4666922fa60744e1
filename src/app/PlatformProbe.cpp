#include "app/PlatformProbe.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QStandardPaths>
#include <QTextStream>

#ifdef Q_OS_WIN
#include <windows.h>
#endif

namespace arvex::app {

namespace {
#ifdef Q_OS_WIN
bool classKeyOpens(const wchar_t *key)
{
    HKEY h = nullptr;
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, key, 0, KEY_READ, &h) != ERROR_SUCCESS)
        return false;
    RegCloseKey(h);
    return true;
}
#endif

QStringList xdgDataDirs()
{
    QStringList dirs;
    QString home = qEnvironmentVariable("XDG_DATA_HOME");
    if (home.isEmpty())
        home = QDir::homePath() + QStringLiteral("/.local/share");
    dirs << home;
    QString system = qEnvironmentVariable("XDG_DATA_DIRS");
    if (system.isEmpty())
        system = QStringLiteral("/usr/local/share:/usr/share");
    dirs << system.split(QLatin1Char(':'), Qt::SkipEmptyParts);
    return dirs;
}

bool declaresMime(const QString &file, const QString &mimeType)
{
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly | QIODevice::Text))
        return false;
    QTextStream in(&f);
    bool inEntry = false;
    while (!in.atEnd()) {
        const QString line = in.readLine().trimmed();
        if (line.startsWith(QLatin1Char('['))) {
            inEntry = line == QLatin1String("[Desktop Entry]");
            continue;
        }
        if (inEntry && line.startsWith(QLatin1String("MimeType"))) {
            const QString value = line.section(QLatin1Char('='), 1).trimmed();
            if (value.split(QLatin1Char(';'), Qt::SkipEmptyParts).contains(mimeType))
                return true;
        }
    }
    return false;
}
} // namespace

bool desktopApplicationHandles(const QString &mimeType)
{
    for (const QString &dir : xdgDataDirs()) {
        const QString apps = dir + QStringLiteral("/applications");
        if (!QFileInfo::exists(apps))
            continue;
        QDirIterator it(apps, {QStringLiteral("*.desktop")}, QDir::Files, QDirIterator::Subdirectories);
        while (it.hasNext())
            if (declaresMime(it.next(), mimeType))
                return true;
    }
    return false;
}

bool isExcelRegistered()
{
#ifdef Q_OS_WIN
    return classKeyOpens(L"Excel.Application\\CurVer");
#else
    return desktopApplicationHandles(QStringLiteral("application/vnd.ms-excel"));
#endif
}

bool isOpenOfficeRegistered()
{
#ifdef Q_OS_WIN
    return classKeyOpens(L"soffice.StarCalcDocument\\CurVer");
#else
    return desktopApplicationHandles(QStringLiteral("application/vnd.oasis.opendocument.spreadsheet"));
#endif
}

} // namespace arvex::app
