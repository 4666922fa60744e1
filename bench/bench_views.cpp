// The object and result views on a large store: 200 objects and 200,000 results, one
// object holding 100,000 of them, shown in a grid as the main window shows them.
//
// Prints:
//   reread_s      re-reading the objects view and the first object's 100,000 results, painted
//   toggle_ms     one mark toggle on that object's results, written back and repainted
//   select_all_s  select-all on that object's results with the re-read, painted
//   peak_rss_mb   the process's peak resident memory
// Each time figure is the median of several runs.

#include "store/DatasetModel.h"
#include "store/MainStore.h"
#include "store/ObjectResultViews.h"
#include "support/TestDatabase.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QHeaderView>
#include <QTableView>
#include <QTextStream>
#include <algorithm>
#include <cstdio>
#include <vector>

using namespace arvex::store;

namespace {

constexpr int Objects = 200;
constexpr int Results = 200000;
constexpr int BigObjectResults = 100000;

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

double peakRssMb()
{
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    const QList<QByteArray> lines = f.readAll().split('\n');
    for (const QByteArray &l : lines)
        if (l.startsWith("VmHWM:"))
            return l.mid(6).trimmed().split(' ').value(0).toDouble() / 1024.0;
    return -1;
}

// Objects 0..199; object 0 holds 100,000 results, the others share the rest.
void fill(MainStore &s)
{
    std::vector<int> keys;
    {
        Connection::Transaction t(s.FDConnection1);
        for (int i = 0; i < Objects; ++i) {
            s.FDSP_AddObiektTemp.setParam(0, PhMeterDeviceKey);
            s.FDSP_AddObiektTemp.setParam(1, i);
            s.FDSP_AddObiektTemp.setParam(2, QStringLiteral("OBJ %1").arg(i, 3, 10, QLatin1Char('0')));
            s.FDSP_AddObiektTemp.setParam(3, QString(QLatin1String("")));
            s.FDSP_AddObiektTemp.setParam(4, QString(QLatin1String("")));
            s.FDSP_AddObiektTemp.setParam(5, 0);
            s.FDSP_AddObiektTemp.execute();
            keys.push_back(s.FDSP_AddObiektTemp.output().toInt());
        }
        t.commit();
    }
    const QDateTime start(QDate(2023, 1, 1), QTime(0, 0, 0));
    Connection::Transaction t(s.FDConnection1);
    for (int r = 0; r < Results; ++r) {
        const int object = r < BigObjectResults ? 0 : 1 + (r - BigObjectResults) % (Objects - 1);
        s.FDSP_AddWynik.setParam(0, keys[size_t(object)]);
        s.FDSP_AddWynik.setParam(1, start.addSecs(qint64(r) * 2));
        s.FDSP_AddWynik.setParam(2, 4.0 + (r % 600) / 100.0);
        s.FDSP_AddWynik.setParam(3, -5.0 + (r % 400) / 10.0);
        s.FDSP_AddWynik.setParam(4, r % 16777216);
        s.FDSP_AddWynik.setParam(5, r % 2);
        s.FDSP_AddWynik.setParam(6, 0);
        s.FDSP_AddWynik.setParam(7, QString(QLatin1String("")));
        s.FDSP_AddWynik.execute();
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

    TestDatabase db;
    MainStore s;
    s.openDatabase(db.path());
    s.openTables();
    s.locateDevice(PhMeterDeviceKey);

    QElapsedTimer clock;
    clock.start();
    fill(s);
    std::printf("fill_s %.2f\n", clock.elapsed() / 1000.0);

    ObjectResultViews views(s);
    DatasetModel objectsModel(s.FDQObiekty, {{QStringLiteral("REZI2"), QStringLiteral("√"), 28},
                                             {QStringLiteral("NAZWA_DEV"), QStringLiteral("PH name"), 173},
                                             {QStringLiteral("NAZWA_LONG"), QStringLiteral("My name"), 322}});
    DatasetModel resultsModel(s.FDQWyniki, {{QStringLiteral("REZI1"), QStringLiteral("√"), 23},
                                            {QStringLiteral("DATACZAS"), QStringLiteral("Measurement date"), 199},
                                            {QStringLiteral("DANE1"), QStringLiteral("pH"), -1},
                                            {QStringLiteral("DANE2"), QStringLiteral("Temperature"), 152}});
    QTableView objectsGrid, resultsGrid;
    objectsGrid.setModel(&objectsModel);
    resultsGrid.setModel(&resultsModel);
    for (QTableView *g : {&objectsGrid, &resultsGrid}) {
        g->verticalHeader()->setDefaultSectionSize(23);
        g->resize(700, 500);
        g->show();
    }
    auto paint = [&] {
        QCoreApplication::processEvents();
        objectsGrid.viewport()->repaint();
        resultsGrid.viewport()->repaint();
    };

    std::vector<double> reread;
    for (int i = 0; i < 5; ++i) {
        clock.restart();
        views.refreshObjects();
        paint();
        reread.push_back(clock.nsecsElapsed() / 1e9);
    }
    if (s.FDQObiekty.rowCount() != Objects || s.FDQWyniki.rowCount() != BigObjectResults) {
        std::fprintf(stderr, "unexpected views: %d objects, %d results\n", s.FDQObiekty.rowCount(),
                     s.FDQWyniki.rowCount());
        return 1;
    }
    std::printf("reread_s %.3f\n", median(reread));

    std::vector<double> toggle;
    for (int i = 0; i < 21; ++i) {
        s.FDQWyniki.setCurrentRow((i * 4999) % BigObjectResults);
        paint();
        clock.restart();
        views.toggleResultMark();
        paint();
        toggle.push_back(clock.nsecsElapsed() / 1e6);
    }
    std::printf("toggle_ms %.2f\n", median(toggle));

    std::vector<double> selectAll;
    for (int i = 0; i < 3; ++i) {
        clock.restart();
        views.selectAllResults();
        paint();
        selectAll.push_back(clock.nsecsElapsed() / 1e9);
    }
    std::printf("select_all_s %.3f\n", median(selectAll));
    std::printf("peak_rss_mb %.0f\n", peakRssMb());
    return 0;
}
