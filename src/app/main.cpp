#include "app/ErrorDisplay.h"
#include "app/Forms.h"
#include "app/MainDivIV.h"
#include "meter/MeterBus.h"
#include "store/Connection.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("ArvexPH"));
    QApplication::setApplicationDisplayName(QStringLiteral("ARVEX TECHNOLOGY"));
    QApplication::setQuitOnLastWindowClosed(true);

    // The embedded engine must be chosen before the database client is first used.
    arvex::store::useEmbeddedEngine(QCoreApplication::applicationDirPath());

    // The meter's converters, or the emulator with --emulate-meter[=FILE].
    QString meterBusError;
    if (!arvex::meter::installMeterBus(QCoreApplication::arguments(), &meterBusError)) {
        arvex::app::showError(nullptr, meterBusError);
        return 1;
    }

    // The busy cursor while a database command runs.
    arvex::store::Connection::setBusyHandler([](bool busy) {
        if (busy)
            QApplication::setOverrideCursor(Qt::BusyCursor);
        else
            QApplication::restoreOverrideCursor();
    });

    arvex::app::createForms();
    MainDivIVForm->show();
    const int rc = app.exec();
    arvex::app::destroyForms();
    return rc;
}
