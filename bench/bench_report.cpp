// The report of 50 marked objects with 200 marked results each (10,000 rows), prepared from
// the English template over the report queries, and the preview's first page.
//
// Prints:
//   prepare_s      reopening the report queries, loading the template and preparing every page
//                  (median of several runs)
//   pages          the number of pages prepared
//   first_page_ms  the preview window opened and its first page painted (median)
//   peak_rss_mb    the process's peak resident memory

#include "report/Report.h"
#include "support/BenchFigures.h"
#include "report/ReportData.h"
#include "report/ReportPreview.h"
#include "store/MainStore.h"
#include "support/TestDatabase.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QScrollBar>
#include <algorithm>
#include <cstdio>
#include <vector>

using namespace arvex::store;

using arvex::bench::median;
using arvex::bench::peakRssMb;

namespace {

constexpr int Objects = 50;
constexpr int ResultsPerObject = 200;

void fill(MainStore &s)
{
    std::vector<int> keys;
    {
        Connection::Transaction t(s.FDConnection1);
        for (int i = 0; i < Objects; ++i) {
            s.FDSP_AddObiektTemp.setParam(0, PhMeterDeviceKey);
            s.FDSP_AddObiektTemp.setParam(1, i);
            s.FDSP_AddObiektTemp.setParam(2, QStringLiteral("OBJ %1").arg(i, 3, 10, QLatin1Char('0')));
            s.FDSP_AddObiektTemp.setParam(3, QStringLiteral("Sample %1 of the river outlet").arg(i));
            s.FDSP_AddObiektTemp.setParam(4, QStringLiteral("Taken at the outlet, morning shift"));
            s.FDSP_AddObiektTemp.setParam(5, 0);
            s.FDSP_AddObiektTemp.execute();
            keys.push_back(s.FDSP_AddObiektTemp.output().toInt());
        }
        t.commit();
    }
    const QDateTime start(QDate(2023, 1, 1), QTime(0, 0, 0), Qt::UTC);
    Connection::Transaction t(s.FDConnection1);
    for (int r = 0; r < Objects * ResultsPerObject; ++r) {
        s.FDSP_AddWynik.setParam(0, keys[size_t(r % Objects)]);
        s.FDSP_AddWynik.setParam(1, start.addSecs(qint64(r) * 120));
        s.FDSP_AddWynik.setParam(2, 4.0 + (r % 600) / 100.0);
        s.FDSP_AddWynik.setParam(3, -5.0 + (r % 400) / 10.0);
        s.FDSP_AddWynik.setParam(4, r);
        s.FDSP_AddWynik.setParam(5, 0);
        s.FDSP_AddWynik.setParam(6, 1);
        s.FDSP_AddWynik.setParam(7, QString(QLatin1String("")));
        s.FDSP_AddWynik.execute();
    }
    t.commit();
    s.FDConnection1.execute(QStringLiteral("update OBIEKTY set REZI2 = 1"));
}

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    std::setvbuf(stdout, nullptr, _IOLBF, 0);

    TestDatabase::useBuildEngine();
    TestDatabase db;
    MainStore s;
    s.openDatabase(db.path());
    s.openTables();
    s.locateDevice(PhMeterDeviceKey);
    fill(s);

    // The main window's wiring of the report component.
    report::Report rep;
    report::StoreReportDataset objects(QStringLiteral("frxDBObiekty"), s.FDQfrxObiekty);
    report::StoreReportDataset results(QStringLiteral("frxDBWyniki"), s.FDQfrxWyniki);
    report::UserReportDataset user(QStringLiteral("frxUserDataSet1"), {QStringLiteral("TempFF")});
    auto next = [&] {
        s.FDQfrxWyniki.close();
        s.FDQfrxWyniki.setParam(0, s.FDQfrxObiekty.eof() ? 0 : s.FDQfrxObiekty.fieldValue(QStringLiteral("IDOB")).toInt());
        s.FDQfrxWyniki.open();
    };
    objects.onNext = next;
    user.onGetValue = [](const QString &, QVariant &v) { v = 0; };
    rep.setDatasets({&objects, &results, &user});
    rep.onBeforePrint = [](report::PrintObject &) {};
    const QString path = QStringLiteral(ARVEX_APP_DIR "/ArvexPHrep_enT.fr3");

    std::vector<double> prepare;
    for (int run = 0; run < 5; ++run) {
        QElapsedTimer clock;
        clock.start();
        s.FDQfrxObiekty.close();
        s.FDQfrxObiekty.setParam(0, s.currentDeviceKey());
        s.FDQfrxObiekty.open();
        objects.resetRun();
        next();
        rep.loadFromFile(path);
        rep.prepareReport();
        prepare.push_back(clock.nsecsElapsed() / 1e9);
    }
    std::printf("prepare_s %.3f\n", median(prepare));
    std::printf("pages %d\n", int(rep.preparedReport().pages.size()));

    std::vector<double> first;
    for (int run = 0; run < 5; ++run) {
        QElapsedTimer clock;
        clock.start();
        report::TReportPreviewForm preview(rep);
        preview.setWindowState(Qt::WindowNoState);
        preview.resize(1400, 900);
        preview.show();
        preview.pages()->viewport()->grab(); // paints the pages in view
        first.push_back(clock.nsecsElapsed() / 1e6);
        preview.hide();
    }
    std::printf("first_page_ms %.1f\n", median(first));
    std::printf("peak_rss_mb %.1f\n", peakRssMb());
    return 0;
}
