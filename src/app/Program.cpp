#include "app/Program.h"

#include "meter/MeterBus.h"
#include "store/Connection.h"

#include <QApplication>

namespace arvex::app {

bool prepareProgram(const QStringList &arguments, QString *error)
{
    // The embedded engine must be chosen before the database client is first used.
    store::useEmbeddedEngine(QCoreApplication::applicationDirPath());

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

} // namespace arvex::app
