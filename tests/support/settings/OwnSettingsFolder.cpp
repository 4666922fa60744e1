// Compiled into every test program: the program's settings file (Arvex.cfp) lies in a folder
// of its own, made before main() and removed at the end, however the program is started
// (through CTest or by hand), so that no test reads or overwrites the user's settings.

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtGlobal>

namespace {

void useOwnSettingsFolder()
{
    static QTemporaryDir folder(QDir::tempPath() + QStringLiteral("/arvex-test-settings-XXXXXX"));
    if (!folder.isValid())
        qFatal("no folder for the test's settings");
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(folder.path()));
}

} // namespace

Q_CONSTRUCTOR_FUNCTION(useOwnSettingsFolder)
