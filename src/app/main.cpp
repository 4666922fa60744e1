#include "app/ErrorDisplay.h"
#include "app/Forms.h"
#include "app/MainDivIV.h"
#include "app/Program.h"
#include "app/StopSignals.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    arvex::app::blockStopSignals(); // until the window installs its handlers
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("ArvexPH"));
    // No display name: the desktop would append it to every title bar, the caption included.
    QApplication::setQuitOnLastWindowClosed(true);

    QString error;
    if (!arvex::app::prepareProgram(QCoreApplication::arguments(), &error)) {
        arvex::app::showError(nullptr, error);
        return 1;
    }

    arvex::app::createForms();
    MainDivIVForm->show();
    MainDivIVForm->closeOnStopSignals(); // the start-up has opened the database by now
    const int rc = app.exec();
    arvex::app::destroyForms();
    return rc;
}
