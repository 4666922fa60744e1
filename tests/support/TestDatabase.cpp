#include "support/TestDatabase.h"

#include "store/Connection.h"

#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <stdexcept>

void TestDatabase::useBuildEngine() { arvex::store::useEmbeddedEngine(appDir()); }

TestDatabase::TestDatabase()
{
    useBuildEngine();
    if (!dir_.isValid())
        throw std::runtime_error("no temporary folder");
    path_ = dir_.filePath(QStringLiteral("ARVEXBASE.fb"));
    if (!QFile::copy(QStringLiteral(ARVEX_DB_TEMPLATE), path_))
        throw std::runtime_error("cannot copy the built database");
    QFile::setPermissions(path_, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::WriteGroup);
}

QString runIsql(const QString &database, const QString &sql)
{
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(QStringLiteral(ISQL_FB), {QStringLiteral("-q"), QStringLiteral("-user"), QStringLiteral("sysdba"),
                                       QStringLiteral("-password"), QStringLiteral("quillbarn"), database});
    p.waitForStarted();
    p.write(sql.toUtf8());
    if (!sql.trimmed().endsWith(QLatin1Char(';')))
        p.write(";");
    p.write("\nquit;\n");
    p.closeWriteChannel();
    p.waitForFinished(60000);
    return QString::fromUtf8(p.readAll());
}

long long isqlNumber(const QString &database, const QString &sql)
{
    const QString out = runIsql(database, QStringLiteral("set heading off;\n") + sql);
    const QRegularExpressionMatch m = QRegularExpression(QStringLiteral("(-?\\d+)")).match(out);
    if (!m.hasMatch())
        throw std::runtime_error(("isql gave no number: " + out).toStdString());
    return m.captured(1).toLongLong();
}

QString TestDatabase::isql(const QString &sql) const { return runIsql(path_, sql); }

long long TestDatabase::isqlValue(const QString &sql) const { return isqlNumber(path_, sql); }
