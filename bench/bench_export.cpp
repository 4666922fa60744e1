// The exports of a 10,000-row report: 20 marked objects of 500 marked results each, prepared
// from the English report template by the report engine, then written by each filter.
//
// Prints:
//   prepare_s     preparing the report's pages from the database
//   pages         pages prepared
//   pdf_s xls_s ods_s txt_s   writing the prepared report by each filter (median of three)
//   peak_rss_mb   the process's peak resident memory

#include "app/Fonts.h"
#include "support/BenchFigures.h"
#include "chart/ChartPaint.h"
#include "chart/ChartState.h"
#include "report/ExportFilters.h"
#include "report/Report.h"
#include "report/ReportData.h"
#include "store/Connection.h"
#include "store/MainStore.h"
#include "support/TestDatabase.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QPainter>
#include <QPicture>
#include <QTemporaryDir>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

using namespace arvex::store;

using arvex::bench::median;
using arvex::bench::peakRssMb;

namespace {

constexpr int Objects = 20;
constexpr int ResultsPerObject = 500;

void fill(MainStore &s)
{
    Connection::Transaction t(s.FDConnection1);
    const QDateTime start(QDate(2024, 1, 1), QTime(0, 0, 0));
    for (int i = 0; i < Objects; ++i) {
        s.FDSP_AddObiektTemp.setParam(0, PhMeterDeviceKey);
        s.FDSP_AddObiektTemp.setParam(1, i);
        s.FDSP_AddObiektTemp.setParam(2, QStringLiteral("OBJ %1").arg(i, 3, 10, QLatin1Char('0')));
        s.FDSP_AddObiektTemp.setParam(3, QStringLiteral("Sampling point %1").arg(i));
        s.FDSP_AddObiektTemp.setParam(4, QString(QLatin1String("")));
        s.FDSP_AddObiektTemp.setParam(5, 0);
        s.FDSP_AddObiektTemp.execute();
        const int key = s.FDSP_AddObiektTemp.output().toInt();
        for (int r = 0; r < ResultsPerObject; ++r) {
            s.FDSP_AddWynik.setParam(0, key);
            s.FDSP_AddWynik.setParam(1, start.addSecs(qint64(r) * 600 + i));
            s.FDSP_AddWynik.setParam(2, 4.0 + (r % 600) / 100.0);
            s.FDSP_AddWynik.setParam(3, -5.0 + (r % 400) / 10.0);
            s.FDSP_AddWynik.setParam(4, r);
            s.FDSP_AddWynik.setParam(5, 0);
            s.FDSP_AddWynik.setParam(6, 1); // marked
            s.FDSP_AddWynik.setParam(7, QString(QLatin1String("")));
            s.FDSP_AddWynik.execute();
        }
    }
    t.commit();
}

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    arvex::app::registerTahoma();

    TestDatabase db;
    {
        MainStore s;
        s.openDatabase(db.path());
        s.openTables();
        fill(s);
    }
    db.isql(QStringLiteral("update OBIEKTY set REZI2 = 1; commit;"));
    MainStore s;
    s.openDatabase(db.path());
    s.openTables();
    s.locateDevice(PhMeterDeviceKey);

    report::Report rep;
    report::StoreReportDataset objects(QStringLiteral("frxDBObiekty"), s.FDQfrxObiekty);
    report::StoreReportDataset results(QStringLiteral("frxDBWyniki"), s.FDQfrxWyniki);
    report::UserReportDataset user(QStringLiteral("frxUserDataSet1"), QStringList{QStringLiteral("TempFF")});
    auto nextObject = [&] {
        s.FDQfrxWyniki.close();
        s.FDQfrxWyniki.setParam(0, s.FDQfrxObiekty.eof() ? 0 : s.FDQfrxObiekty.fieldValue(QStringLiteral("IDOB")).toInt());
        s.FDQfrxWyniki.open();
    };
    objects.onNext = nextObject;
    user.onGetValue = [](const QString &name, QVariant &value) {
        if (name == QLatin1String("TempFF"))
            value = 0;
    };
    rep.setDatasets({&objects, &results, &user});
    const chart::ChartState chartState;
    rep.onBeforePrint = [&](report::PrintObject &sender) {
        if (sender.name != QLatin1String("PictureChart") || !sender.isPicture())
            return;
        const QSize size(std::max(1, int(std::nearbyint(sender.widthPx))), std::max(1, int(std::nearbyint(sender.heightPx))));
        QPicture picture;
        QPainter p(&picture);
        chart::PaintChart(p, QRectF(QPointF(0, 0), QSizeF(size)), chartState, QLocale(QStringLiteral("en")));
        p.end();
        sender.setPicture(picture);
    };

    QElapsedTimer clock;
    clock.start();
    s.FDQfrxObiekty.close();
    s.FDQfrxObiekty.setParam(0, PhMeterDeviceKey);
    s.FDQfrxObiekty.open();
    objects.resetRun();
    nextObject();
    rep.loadFromFile(TestDatabase::appDir() + QStringLiteral("/ArvexPHrep_enT.fr3"));
    rep.prepareReport();
    std::printf("prepare_s %.2f\n", clock.elapsed() / 1000.0);
    std::printf("pages %lld\n", (long long)rep.preparedReport().pages.size());

    QTemporaryDir out;
    const struct {
        const char *name;
        report::ExportKind kind;
        const char *file;
    } filters[] = {{"pdf_s", report::ExportKind::Pdf, "r.pdf"},
                   {"xls_s", report::ExportKind::Xls, "r.xls"},
                   {"ods_s", report::ExportKind::Ods, "r.ods"},
                   {"txt_s", report::ExportKind::Csv, "r.txt"}};
    for (const auto &f : filters) {
        std::vector<double> times;
        for (int run = 0; run < 3; ++run) {
            clock.restart();
            const report::ExportResult r = report::exportReport(rep.preparedReport(), f.kind, out.filePath(QLatin1String(f.file)));
            times.push_back(clock.elapsed() / 1000.0);
            if (!r) {
                std::fprintf(stderr, "%s\n", qPrintable(r.error));
                return 1;
            }
        }
        std::printf("%s %.3f\n", f.name, median(times));
    }
    std::printf("peak_rss_mb %.1f\n", peakRssMb());
    return 0;
}
