// The object and result views without a window: the row-change rule, failed re-reads and
// deletions that stop part-way.

#include "store/MainStore.h"
#include "store/ObjectResultViews.h"
#include "support/TestDatabase.h"

#include <QtTest>

using namespace arvex::store;

class TestObjectViews : public QObject {
    Q_OBJECT

    // Objects A (3 results), B (2 results), C (none), in that order.
    static QList<int> fill(MainStore &s)
    {
        QList<int> keys;
        const QStringList names{"A", "B", "C"};
        for (int i = 0; i < names.size(); ++i) {
            s.FDSP_AddObiektTemp.setParam(0, PhMeterDeviceKey);
            s.FDSP_AddObiektTemp.setParam(1, i);
            s.FDSP_AddObiektTemp.setParam(2, names[i]);
            s.FDSP_AddObiektTemp.setParam(3, QString(""));
            s.FDSP_AddObiektTemp.setParam(4, QString(""));
            s.FDSP_AddObiektTemp.setParam(5, 0);
            s.FDSP_AddObiektTemp.execute();
            keys << s.FDSP_AddObiektTemp.output().toInt();
        }
        const QDateTime t(QDate(2023, 6, 1), QTime(10, 0, 0));
        for (int r = 0; r < 5; ++r) {
            const QVariantList v{keys[r < 3 ? 0 : 1], t.addSecs(r * 60), 6.0 + r, 20.0, 0, 0, r % 2, QString("")};
            for (int i = 0; i < v.size(); ++i)
                s.FDSP_AddWynik.setParam(i, v[i]);
            s.FDSP_AddWynik.execute();
        }
        return keys;
    }

    struct Fixture {
        TestDatabase db;
        MainStore s;
        QList<int> keys;
        Fixture()
        {
            s.openDatabase(db.path());
            s.openTables();
            s.locateDevice(PhMeterDeviceKey);
            keys = fill(s);
        }
    };

private slots:
    void resultsFollowTheCurrentObjectAndAreReadOnce()
    {
        Fixture f;
        ObjectResultViews views(f.s);
        QSignalSpy reads(&f.s.FDQWyniki, &Dataset::opened);
        views.refreshObjects();
        QCOMPARE(reads.count(), 1); // not again by the row-change rule while the objects open
        QCOMPARE(f.s.FDQWyniki.param(0).toInt(), f.keys[0]);
        QCOMPARE(f.s.FDQWyniki.rowCount(), 3);

        f.s.FDQObiekty.setCurrentRow(1);
        QCOMPARE(f.s.FDQWyniki.param(0).toInt(), f.keys[1]);
        QCOMPARE(f.s.FDQWyniki.rowCount(), 2);
        f.s.FDQObiekty.setCurrentRow(2);
        QVERIFY(f.s.FDQWyniki.isEmpty());

        // Deleting the last object: the previous one becomes current, with its results.
        QVERIFY(views.deleteObject());
        QCOMPARE(f.s.FDQObiekty.currentRow(), 1);
        QCOMPARE(f.s.FDQWyniki.rowCount(), 2);
        // Deleting every object leaves an empty results view read with key 0.
        QVERIFY(views.deleteObject());
        QVERIFY(views.deleteObject());
        QVERIFY(f.s.FDQObiekty.isEmpty());
        QVERIFY(f.s.FDQWyniki.isActive());
        QCOMPARE(f.s.FDQWyniki.param(0).toInt(), 0);
        QCOMPARE(f.db.isqlValue("select count(*) from WYNIKI"), 0LL);
        QVERIFY(!views.deleteObject());
    }

    void stateLivesWhereTheCallerKeepsIt()
    {
        Fixture f;
        QString objectsSort, resultsSort;
        bool selectObjects = false, selectResults = false;
        ObjectResultViews views(f.s, {objectsSort, resultsSort, selectObjects, selectResults});
        views.refreshObjects();
        QVERIFY(views.sortResults("DATACZAS", false));
        QCOMPARE(resultsSort, QString("DATACZAS desc "));
        QVERIFY(!views.sortObjects("rezi2", true)); // the mark field, in any case
        QCOMPARE(objectsSort, QString());
        views.selectAllObjects();
        views.selectAllResults();
        views.selectAllResults();
        QVERIFY(selectObjects);
        QVERIFY(!selectResults);
        QCOMPARE(f.db.isqlValue(QString("select count(*) from WYNIKI where REZI1 = 1 and IDOB = %1").arg(f.keys[0])), 3LL);
    }

    void failedRereadKeepsTheRememberedOrder()
    {
        Fixture f;
        ObjectResultViews views(f.s);
        views.refreshObjects();
        QVERIFY(views.sortResults("DANE1", false));
        QVERIFY_THROWS_EXCEPTION(DatabaseError, views.sortResults("NO_SUCH_COLUMN", true));
        QVERIFY(!f.s.FDQWyniki.isActive());
        QCOMPARE(views.resultsSort(), QString("DANE1 desc "));
        QVERIFY(!views.toggleResultMark()); // a closed view has nothing to mark
        views.refreshResults();
        QCOMPARE(f.s.FDQWyniki.value(0, "DANE1").toDouble(), 8.0);

        QVERIFY_THROWS_EXCEPTION(DatabaseError, views.sortObjects("NO_SUCH_COLUMN", true));
        QVERIFY(!f.s.FDQObiekty.isActive());
        QCOMPARE(views.objectsSort(), QString());
        QVERIFY(!views.renameObject("x"));
        QVERIFY(!views.deleteObject());
        QCOMPARE(f.db.isqlValue("select count(*) from WYNIKI"), 5LL);
    }

    // A deletion is all or nothing: when the database refuses one row, every row stays, in
    // the database and in the views, and the database's text reaches the caller.
    void refusedDeletionKeepsEveryRow_data()
    {
        QTest::addColumn<bool>("wholeObject");
        QTest::addColumn<double>("refusedPh");
        QTest::newRow("delete object, last result refused") << true << 8.0;
        QTest::newRow("delete marked, marked result refused") << false << 7.0;
    }
    void refusedDeletionKeepsEveryRow()
    {
        QFETCH(bool, wholeObject);
        QFETCH(double, refusedPh);
        Fixture f;
        f.db.isql(QString("create exception E_KEEP 'kept';\n"
                          "set term ^;\n"
                          "create trigger T_KEEP for WYNIKI before delete as begin\n"
                          "  if (old.DANE1 = %1) then exception E_KEEP;\n"
                          "end^\n"
                          "set term ;^\n"
                          "commit;").arg(refusedPh));
        // Two marked results, so that a deletion of marked results has one to do before the
        // refused one.
        f.db.isql(QString("update WYNIKI set REZI1 = 1 where DANE1 = 6; commit;"));
        ObjectResultViews views(f.s);
        views.refreshObjects();
        QCOMPARE(f.s.FDQWyniki.rowCount(), 3);
        try {
            if (wholeObject)
                views.deleteObject();
            else
                views.deleteMarkedResults();
            QFAIL("the refused deletion went through");
        } catch (const DatabaseError &e) {
            QVERIFY2(e.text().contains("kept"), qPrintable(e.text()));
        }
        QCOMPARE(f.db.isqlValue(QString("select count(*) from WYNIKI where IDOB = %1").arg(f.keys[0])), 3LL);
        QCOMPARE(f.db.isqlValue("select count(*) from OBIEKTY"), 3LL);
        QCOMPARE(f.s.FDQObiekty.rowCount(), 3);
        QCOMPARE(f.s.FDQObiekty.fieldValue("IDOB").toInt(), f.keys[0]);
        QCOMPARE(f.s.FDQWyniki.rowCount(), 3);
        QCOMPARE(f.s.FDQWyniki.param(0).toInt(), f.keys[0]);
    }

    void deleteMarkedResultsDeletesOnlyMarked()
    {
        Fixture f;
        ObjectResultViews views(f.s);
        views.refreshObjects();
        // Object A holds marks 0, 1, 0.
        QCOMPARE(views.deleteMarkedResults(), 1);
        QCOMPARE(f.s.FDQWyniki.rowCount(), 2);
        QCOMPARE(f.s.FDQWyniki.currentRow(), 1); // the walk over the rows ends on the last one
        QCOMPARE(f.db.isqlValue("select count(*) from WYNIKI"), 4LL);
        QCOMPARE(views.deleteMarkedResults(), 0);
        QCOMPARE(f.db.isqlValue("select count(*) from WYNIKI"), 4LL);
    }
};

QTEST_GUILESS_MAIN(TestObjectViews)
#include "tst_objectviews.moc"
