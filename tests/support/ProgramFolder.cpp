#include "support/ProgramFolder.h"

#include "support/TestDatabase.h"

#include <QDir>
#include <QFile>
#include <stdexcept>

ProgramFolder::ProgramFolder()
{
    TestDatabase::useBuildEngine();
    const QString app = TestDatabase::appDir();
    // The executable is copied: the program finds its folder through its own resolved path.
    auto copy = [&](const QString &name) {
        if (!QFile::copy(app + QLatin1Char('/') + name, dir_.filePath(name)))
            throw std::runtime_error(("cannot copy " + name).toStdString());
    };
    copy(QStringLiteral("arvex-ph-cli"));
    copy(QStringLiteral("arvex-ph"));
    if (!QFile::copy(QStringLiteral(ARVEX_DB_TEMPLATE), database()))
        throw std::runtime_error("cannot copy the built database");
    QFile::setPermissions(database(), QFile::ReadOwner | QFile::WriteOwner);
    for (const QString &lng : QDir(app).entryList({QStringLiteral("*.lng")}, QDir::Files))
        copy(lng);
    if (!QFile::link(app + QStringLiteral("/firebird"), dir_.filePath(QStringLiteral("firebird"))))
        throw std::runtime_error("cannot link the engine folder");
}

QString ProgramFolder::isql(const QString &sql) const { return runIsql(database(), sql); }

long long ProgramFolder::isqlValue(const QString &sql) const { return isqlNumber(database(), sql); }
