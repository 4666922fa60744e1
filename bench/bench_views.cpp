// The object and result views on a large store: 200 objects and 300,000 results, the first
// two objects holding 100,000 each, shown in a grid as the main window shows them.
//
// Prints:
//   reread_s         re-reading the objects view and the first object's 100,000 results, painted
//   toggle_ms        one mark toggle on that object's results, written back and repainted
//   select_all_s     select-all on that object's results with the re-read, painted
//   delete_marked_s  "Delete marked records" on that object's 100,000 marked results, painted
//   delete_object_s  "Delete object" on the second object with its 100,000 results, painted
//   peak_rss_mb      the process's peak resident memory
// Each time figure is the median of several runs (the deletions run once). Every timed
// operation is checked to have done what it claims, in memory and in the database; a failed
// check ends the benchmark with exit status 1.

#include "store/DatasetModel.h"
#include "support/BenchFigures.h"
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

using arvex::bench::median;
using arvex::bench::peakRssMb;

namespace {

constexpr int Objects = 200;
constexpr int BigObjectResults = 100000;
constexpr int Results = 3 * BigObjectResults;

int failures = 0;
void check(bool ok, const char *what)
{
    if (!ok) {
        std::fprintf(stderr, "check failed: %s\n", what);
        ++failures;
    }
}

long long count(Connection &c, const QString &sql, const QVariantList &params = {})
{
    return c.select(sql, params).values.at(0).toLongLong();
}

// Objects 0..199; objects 0 and 1 hold 100,000 results each, the others share the rest.
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
        const int object = r < 2 * BigObjectResults ? r / BigObjectResults
                                                    : 2 + (r - 2 * BigObjectResults) % (Objects - 2);
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
    const int mark = s.FDQWyniki.fieldIndex(QStringLiteral("REZI1"));
    const int keyField = s.FDQWyniki.fieldIndex(QStringLiteral("IDWYN"));
    for (int i = 0; i < 21; ++i) {
        const int row = (i * 4999) % BigObjectResults;
        s.FDQWyniki.setCurrentRow(row);
        paint();
        const int before = s.FDQWyniki.value(row, mark).toInt();
        clock.restart();
        views.toggleResultMark();
        paint();
        toggle.push_back(clock.nsecsElapsed() / 1e6);
        check(s.FDQWyniki.value(row, mark).toInt() == 1 - before, "the toggle changed the mark in the view");
        check(count(s.FDConnection1, QStringLiteral("select REZI1 from WYNIKI where IDWYN = ?"),
                    {s.FDQWyniki.value(row, keyField)}) == 1 - before,
              "the toggle stored the mark");
    }
    std::printf("toggle_ms %.2f\n", median(toggle));

    const int bigObject = s.FDQObiekty.fieldValue(QStringLiteral("IDOB")).toInt();
    const auto allMarked = [&](int value) {
        for (int r = 0; r < s.FDQWyniki.rowCount(); ++r)
            if (s.FDQWyniki.value(r, mark).toInt() != value)
                return false;
        return count(s.FDConnection1, QStringLiteral("select count(*) from WYNIKI where IDOB = ? and REZI1 = ?"),
                     {bigObject, value}) == BigObjectResults;
    };
    std::vector<double> selectAll;
    for (int i = 0; i < 3; ++i) {
        const int value = views.nextSelectResults() ? 1 : 0;
        clock.restart();
        views.selectAllResults();
        paint();
        selectAll.push_back(clock.nsecsElapsed() / 1e9);
        check(s.FDQWyniki.rowCount() == BigObjectResults && allMarked(value), "select-all set every mark");
    }
    std::printf("select_all_s %.3f\n", median(selectAll));

    // Every result of the first object marked, then deleted.
    if (!views.nextSelectResults())
        views.selectAllResults();
    views.selectAllResults();
    check(allMarked(1), "every result marked before the deletion");
    clock.restart();
    const int deleted = views.deleteMarkedResults();
    paint();
    std::printf("delete_marked_s %.3f\n", clock.nsecsElapsed() / 1e9);
    check(deleted == BigObjectResults, "the deletion counted every marked result");
    check(s.FDQWyniki.rowCount() == 0 && resultsModel.rowCount() == 0, "the deletion left no row in the view");
    check(count(s.FDConnection1, QStringLiteral("select count(*) from WYNIKI where IDOB = ?"), {bigObject}) == 0,
          "the deletion left no row in the database");

    // The second object, with its 100,000 results.
    s.FDQObiekty.setCurrentRow(1);
    paint();
    const int secondObject = s.FDQObiekty.fieldValue(QStringLiteral("IDOB")).toInt();
    check(s.FDQWyniki.rowCount() == BigObjectResults, "the second object shows its results");
    clock.restart();
    views.deleteObject();
    paint();
    std::printf("delete_object_s %.3f\n", clock.nsecsElapsed() / 1e9);
    check(s.FDQObiekty.rowCount() == Objects - 1 && objectsModel.rowCount() == Objects - 1,
          "the object left the view");
    check(count(s.FDConnection1, QStringLiteral("select count(*) from WYNIKI where IDOB = ?"), {secondObject}) == 0
              && count(s.FDConnection1, QStringLiteral("select count(*) from OBIEKTY where IDOB = ?"), {secondObject}) == 0,
          "the object and its results left the database");
    check(count(s.FDConnection1, QStringLiteral("select count(*) from WYNIKI")) == Results - 2 * BigObjectResults,
          "the other objects keep their results");
    std::printf("peak_rss_mb %.0f\n", peakRssMb());
    return failures == 0 ? 0 : 1;
}
