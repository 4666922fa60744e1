#include "app/Program.h"

#include "meter/MeterBus.h"
#include "store/Connection.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>

namespace arvex::app {

bool prepareProgram(const QStringList &arguments, QString *error)
{
    if (!meter::installMeterBus(arguments, error))
        return false;

    store::Connection::setBusyHandler([](bool busy) {
        if (busy)
            QApplication::setOverrideCursor(Qt::BusyCursor);
        else
            QApplication::restoreOverrideCursor();
    });
    return true;
}

QString engineConfiguration(const QString &programFolder)
{
    return QDir(programFolder).filePath(QStringLiteral("firebird/firebird.conf"));
}

QString engineLockFolder()
{
    const QString set = qEnvironmentVariable("FIREBIRD_LOCK");
    if (!set.isEmpty())
        return set;
#ifdef Q_OS_WIN
    return QString(); // the engine's lock memory is not a folder that users share
#else
    return QStringLiteral("/tmp/firebird/");
#endif
}

namespace {
QString lockFolderNote()
{
    return QStringLiteral("The folder is shared by every user of this computer and was most likely made by another "
                          "user who ran the program. The window and the scheduled downloads on one database must "
                          "run as one user; otherwise remove the folder, or give this user access to it.");
}
} // namespace

QString explainEngineError(const QString &text)
{
    const QString lock = engineLockFolder();
    const QString lockPath = QDir::cleanPath(lock);
    if (lock.isEmpty() || !text.contains(lockPath))
        return text;
    return text + QStringLiteral("\n\nThe database engine's lock folder \"%1\" cannot be used by this user. ")
                      .arg(QDir::toNativeSeparators(lock))
        + lockFolderNote();
}

QString chooseEngine(const QString &programFolder)
{
    // Without its configuration the client falls back to the system's engine settings, whose
    // locking mode keeps a second process (a headless download) from opening the database.
    const QString configuration = engineConfiguration(programFolder);
    if (!QFileInfo(configuration).isFile())
        return QStringLiteral("The database engine's configuration \"%1\" is missing, so the database is not "
                              "opened. The program folder is incomplete: build or install the program again.")
            .arg(QDir::toNativeSeparators(configuration));
    store::useEmbeddedEngine(programFolder);

    const QString lock = engineLockFolder();
    const QFileInfo lockInfo(lock);
    if (!lock.isEmpty() && lockInfo.exists()
        && (!lockInfo.isDir() || !lockInfo.isReadable() || !lockInfo.isWritable() || !lockInfo.isExecutable()))
        return QStringLiteral("The database engine's lock folder \"%1\" cannot be used by this user, so the "
                              "database is not opened. ")
                   .arg(QDir::toNativeSeparators(lock))
            + lockFolderNote();
    return QString();
}

} // namespace arvex::app
