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
    // The folder serves as a program folder too: the embedded engine beside the database.
    if (!QFile::link(appDir() + QStringLiteral("/firebird"), dir_.filePath(QStringLiteral("firebird"))))
        throw std::runtime_error("cannot link the engine folder");
}

QString runIsql(const QString &database, const QString &sql)
{
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(QStringLiteral(ISQL_FB), {QStringLiteral("-q"), QStringLiteral("-user"), QStringLiteral("sysdba"),
                                       QStringLiteral("-password"), QStringLiteral("quillbarn"), database});
    if (!p.waitForStarted())
        throw std::runtime_error(("isql-fb did not start: " + p.errorString()).toStdString());
    p.write(sql.toUtf8());
    if (!sql.trimmed().endsWith(QLatin1Char(';')))
        p.write(";");
    p.write("\nquit;\n");
    p.closeWriteChannel();
    if (!p.waitForFinished(60000)) {
        p.kill();
        p.waitForFinished();
        throw std::runtime_error(("isql-fb did not finish within 60 s: " + sql).toStdString());
    }
    const QString out = QString::fromUtf8(p.readAll());
    if (out.contains(QLatin1String("Statement failed")))
        throw std::runtime_error(("isql-fb: " + sql + "\n" + out).toStdString());
    return out;
}

long long isqlNumber(const QString &database, const QString &sql)
{
    const QString out = runIsql(database, QStringLiteral("set heading off;\n") + sql);
    // With the heading off a select of one value prints that value alone.
    const QRegularExpressionMatch m = QRegularExpression(QStringLiteral("\\A\\s*(-?\\d+)\\s*\\z")).match(out);
    if (!m.hasMatch())
        throw std::runtime_error(("isql-fb gave no single number for \"" + sql + "\": " + out).toStdString());
    return m.captured(1).toLongLong();
}

QString TestDatabase::isql(const QString &sql) const { return runIsql(path_, sql); }

long long TestDatabase::isqlValue(const QString &sql) const { return isqlNumber(path_, sql); }
