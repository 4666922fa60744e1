// arvex-ph-cli: the download without a window (see HeadlessDownload.h), and reports and
// data exports without it (HeadlessReport.h).

#include "app/HeadlessDownload.h"
#include "app/HeadlessReport.h"
#include "app/StopSignals.h"
#include "store/Connection.h"

#include <QCoreApplication>
#include <QTextStream>
#include <cstdio>

int main(int argc, char *argv[])
{
    if (arvex::app::isHeadlessReportCommand(argc, argv))
        return arvex::app::headlessReportMain(argc, argv);
    arvex::app::blockStopSignals(); // until the download installs its handlers
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("arvex-ph-cli"));
    arvex::store::useEmbeddedEngine(QCoreApplication::applicationDirPath());
    QTextStream out(stdout);
    QTextStream err(stderr);
    const int rc = arvex::app::runHeadless(QCoreApplication::arguments(), QCoreApplication::applicationDirPath(), out, err);
    out.flush();
    err.flush();
    return rc;
}
