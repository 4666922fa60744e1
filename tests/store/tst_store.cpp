#include "store/FormatFloat.h"
#include "store/MainStore.h"
#include "support/TestDatabase.h"

#include <QProcess>
#include <QSqlQuery>
#include <QtTest>

using namespace arvex::store;

class TestStore : public QObject {
    Q_OBJECT

    static int addObject(MainStore &s, int number, const QString &name)
    {
        s.FDSP_AddObiektTemp.setParam(0, PhMeterDeviceKey);
        s.FDSP_AddObiektTemp.setParam(1, number);
        s.FDSP_AddObiektTemp.setParam(2, name);
        s.FDSP_AddObiektTemp.setParam(3, QString(""));
        s.FDSP_AddObiektTemp.setParam(4, QString(""));
        s.FDSP_AddObiektTemp.setParam(5, 0);
        s.FDSP_AddObiektTemp.execute();
        return s.FDSP_AddObiektTemp.output().toInt();
    }
    static void addResult(MainStore &s, int idob, const QDateTime &when, double ph, double temp, int mark = 0)
    {
        const QVariantList v{idob, when, ph, temp, 7, 0, mark, QString("")};
        for (int i = 0; i < v.size(); ++i)
            s.FDSP_AddWynik.setParam(i, v[i]);
        s.FDSP_AddWynik.execute();
    }

private slots:
    void builtDatabaseHoldsDeviceAndConfiguration()
    {
        TestDatabase db;
        MainStore s;
        s.openDatabase(db.path());
        s.openTables();
        QCOMPARE(s.FDTableKonfig.rowCount(), 1);
        QCOMPARE(s.FDTableKonfig.fieldValue("LANG").toInt(), 0);
        QVERIFY(s.locateDevice(17));
        QCOMPARE(s.currentDeviceKey(), 17);
        QVERIFY(!s.locateDevice(18));
        QCOMPARE(s.currentDeviceKey(), 17);
    }

    void objectUpsertKeepsUserNameAndMarks()
    {
        TestDatabase db;
        MainStore s;
        s.openDatabase(db.path());
        const int a = addObject(s, 3, "River");
        const int b = addObject(s, 4, "Lake");
        QVERIFY(a > 0 && b > 0 && a != b);
        // The write is visible to an independent reader at once.
        QCOMPARE(db.isqlValue("select count(*) from OBIEKTY"), 2LL);

        s.FDConnection1.execute("update OBIEKTY set NAZWA_LONG = 'My river', OPIS = 'd', REZI2 = 1, REZI1 = 5 where IDOB = ?", {a});
        QCOMPARE(addObject(s, 3, "River 2"), a);
        const auto rows = s.FDConnection1.select("select NAZWA_DEV, NAZWA_LONG, OPIS, REZI2, REZI1 from OBIEKTY where IDOB = ?", {a});
        QCOMPARE(rows.values[0].toString(), QString("River 2"));
        QCOMPARE(rows.values[1].toString(), QString("My river"));
        QCOMPARE(rows.values[2].toString(), QString("d"));
        QCOMPARE(rows.values[3].toInt(), 1);
        QCOMPARE(rows.values[4].toInt(), 5);
        QCOMPARE(db.isqlValue("select count(*) from OBIEKTY"), 2LL);
        QCOMPARE(db.isqlValue("select REZI2 from OBIEKTY where IDO_INDEV = 4"), 0LL);
    }

    void resultUpsertKeepsMarkAndAddsNoRow()
    {
        TestDatabase db;
        MainStore s;
        s.openDatabase(db.path());
        const int a = addObject(s, 1, "A");
        const QDateTime t(QDate(2023, 6, 1), QTime(10, 0, 2));
        addResult(s, a, t, 7.0, 20.0);
        s.FDConnection1.execute("update WYNIKI set REZI1 = 1, REZC = 'x'");
        addResult(s, a, t, 7.5, 21.0);
        addResult(s, a, t.addSecs(2), 6.0, 22.0);
        QCOMPARE(db.isqlValue("select count(*) from WYNIKI"), 2LL);
        const auto rows = s.FDConnection1.select("select DANE1, REZI1, REZC, DATA_IMPORT from WYNIKI where DATACZAS = ?", {t});
        QCOMPARE(rows.values[0].toDouble(), 7.5);
        QCOMPARE(rows.values[1].toInt(), 1);
        QCOMPARE(rows.values[2].toString(), QString("x"));
        QVERIFY(rows.values[3].toDateTime().isValid());
    }

    void selectProceduresAndDateMarking()
    {
        TestDatabase db;
        MainStore s;
        s.openDatabase(db.path());
        const int a = addObject(s, 1, "A");
        const int b = addObject(s, 2, "B");
        addResult(s, a, QDateTime(QDate(2023, 5, 31), QTime(23, 59, 58)), 7, 20);
        addResult(s, a, QDateTime(QDate(2023, 6, 1), QTime(0, 0, 0)), 7, 20);
        addResult(s, b, QDateTime(QDate(2023, 6, 1), QTime(23, 59, 58)), 7, 20);
        addResult(s, b, QDateTime(QDate(2023, 6, 2), QTime(0, 0, 0)), 7, 20);

        s.FDSP_SelectObj.setParam(0, 17);
        s.FDSP_SelectObj.setParam(1, 1);
        s.FDSP_SelectObj.execute();
        QCOMPARE(db.isqlValue("select count(*) from OBIEKTY where REZI2 = 1"), 2LL);
        s.FDSP_SelectWyn.setParam(0, a);
        s.FDSP_SelectWyn.setParam(1, 1);
        s.FDSP_SelectWyn.execute();
        QCOMPARE(db.isqlValue("select count(*) from WYNIKI where REZI1 = 1"), 2LL);

        s.FDConnection1.execute("update OBIEKTY set REZI2 = 0");
        s.FDSP_Markdate.setParam(0, QDate(2023, 6, 1));
        s.FDSP_Markdate.setParam(1, QDate(2023, 6, 2));
        s.FDSP_Markdate.execute();
        // Exactly the results of 1 June, and the objects holding one.
        QCOMPARE(db.isqlValue("select count(*) from WYNIKI where REZI1 = 1"), 2LL);
        QCOMPARE(db.isqlValue("select count(*) from WYNIKI where REZI1 = 1 and DATACZAS >= '2023-06-01' and DATACZAS < '2023-06-02'"), 2LL);
        QCOMPARE(db.isqlValue("select count(*) from OBIEKTY where REZI2 = 1"), 2LL);
    }

    void reportQueriesFilterAndOrder()
    {
        TestDatabase db;
        MainStore s;
        s.openDatabase(db.path());
        QCOMPARE(s.FDQfrxObiekty.sqlText(), QString("select * from OBIEKTY \nwhere IDDEV = :IDdev and REZI2 = 1\norder by REZI1, NAZWA_LONG"));
        QCOMPARE(s.FDQfrxWyniki.sqlText(), QString("select * from WYNIKI \nwhere IDOB = :IDobj and REZI1 = 1\norder by DATACZAS"));
        const int a = addObject(s, 1, "A"), b = addObject(s, 2, "B"), c = addObject(s, 3, "C");
        s.FDConnection1.execute("update OBIEKTY set REZI2 = 1, REZI1 = 0, NAZWA_LONG = 'zeta' where IDOB = ?", {a});
        s.FDConnection1.execute("update OBIEKTY set REZI2 = 1, REZI1 = 0, NAZWA_LONG = 'alpha' where IDOB = ?", {b});
        s.FDConnection1.execute("update OBIEKTY set REZI2 = 0, REZI1 = 0 where IDOB = ?", {c});
        s.FDConnection1.execute("insert into OBIEKTY (IDDEV, IDO_INDEV, NAZWA_DEV, REZI2, REZI1, NAZWA_LONG) values (17, 9, 'D', 1, -1, 'omega')");
        s.FDConnection1.execute("insert into OBIEKTY (IDDEV, IDO_INDEV, NAZWA_DEV, REZI2) values (99, 1, 'other device', 1)");
        s.FDQfrxObiekty.setParam(0, 17);
        s.FDQfrxObiekty.open();
        QStringList names;
        for (int r = 0; r < s.FDQfrxObiekty.rowCount(); ++r)
            names << s.FDQfrxObiekty.value(r, "NAZWA_LONG").toString();
        QCOMPARE(names, QStringList({"omega", "alpha", "zeta"}));

        const QDateTime t(QDate(2024, 1, 1), QTime(8, 0, 0), Qt::UTC);
        addResult(s, a, t.addDays(2), 7.1, 25.0, 1);
        addResult(s, a, t, 7.2, 0.25, 1);
        addResult(s, a, t.addDays(1), 7.3, 20.0, 0);
        s.FDQfrxWyniki.setParam(0, a);
        s.FDQfrxWyniki.open();
        QCOMPARE(s.FDQfrxWyniki.rowCount(), 2);
        QCOMPARE(s.FDQfrxWyniki.value(0, "DATACZAS").toDateTime(), t);
        QCOMPARE(s.FDQfrxWyniki.value(0, "TempF").toDouble(), 32.4);
        QCOMPARE(s.FDQfrxWyniki.value(1, "TempF").toDouble(), 77.0);
        // No display formats on the report's fields.
        QCOMPARE(s.FDQfrxWyniki.displayText(1, s.FDQfrxWyniki.fieldIndex("DANE1"), QLocale::c()), QString("7.1"));
    }

    void tempFRoundsHalvesToEven_data()
    {
        QTest::addColumn<QVariant>("celsius");
        QTest::addColumn<double>("fahrenheit");
        QTest::newRow("23.5") << QVariant(23.5) << 74.3;
        QTest::newRow("-5") << QVariant(-5.0) << 23.0;
        QTest::newRow("0.25 -> 324.5 -> 324") << QVariant(0.25) << 32.4;
        QTest::newRow("0.75 -> 333.5 -> 334") << QVariant(0.75) << 33.4;
        QTest::newRow("empty is 0") << QVariant() << 32.0;
        QTest::newRow("-17.5 -> 5") << QVariant(-17.5) << 0.5;
    }
    void tempFRoundsHalvesToEven()
    {
        QFETCH(QVariant, celsius);
        QFETCH(double, fahrenheit);
        QCOMPARE(tempF(celsius), fahrenheit);
    }

    void displayFormats_data()
    {
        QTest::addColumn<QString>("pattern");
        QTest::addColumn<double>("value");
        QTest::addColumn<QString>("dot");
        QTest::addColumn<QString>("comma");
        QTest::newRow("pH") << "#0.00' pH'" << 6.01 << "6.01 pH" << "6,01 pH";
        QTest::newRow("pH float") << "#0.00' pH'" << double(6.01f) << "6.01 pH" << "6,01 pH";
        QTest::newRow("pH zero") << "#0.00' pH'" << 0.0 << "0.00 pH" << "0,00 pH";
        QTest::newRow("C") << "#0.0'°C'" << 23.5 << "23.5°C" << "23,5°C";
        QTest::newRow("C below 1") << "#0.0'°C'" << 0.5 << "0.5°C" << "0,5°C";
        QTest::newRow("C negative") << "#0.0'°C'" << -5.0 << "-5.0°C" << "-5,0°C";
        QTest::newRow("F") << "#.0'°F'" << 74.3 << "74.3°F" << "74,3°F";
        QTest::newRow("F below 1") << "#.0'°F'" << 0.5 << ".5°F" << ",5°F";
        QTest::newRow("F rounds") << "#.0'°F'" << 100.04 << "100.0°F" << "100,0°F";
    }
    void displayFormats()
    {
        QFETCH(QString, pattern);
        QFETCH(double, value);
        QFETCH(QString, dot);
        QFETCH(QString, comma);
        QCOMPARE(formatFloat(pattern, value, QLocale::c()), dot);
        QCOMPARE(formatFloat(pattern, value, QLocale(QLocale::Polish)), comma);
    }

    // Text is cut to the column's width in characters, as the database counts them, never
    // inside a character outside the Basic Multilingual Plane.
    void textIsCutByCharacters_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("stored");
        const QString clef = QString::fromUtf8("\xF0\x9D\x84\x9E"); // U+1D11E, two UTF-16 units
        QTest::newRow("60 BMP") << QString(60, QChar(u'ż')) << QString(50, QChar(u'ż'));
        QTest::newRow("50 outside BMP") << clef.repeated(50) << clef.repeated(50);
        QTest::newRow("60 outside BMP") << clef.repeated(60) << clef.repeated(50);
        QTest::newRow("cut after 49 and one outside") << QString(49, 'a') + clef + "bc" << QString(49, 'a') + clef;
        QTest::newRow("mixed") << ("x" + clef).repeated(30) << ("x" + clef).repeated(25);
    }
    void textIsCutByCharacters()
    {
        QFETCH(QString, name);
        QFETCH(QString, stored);
        TestDatabase db;
        MainStore s;
        s.openDatabase(db.path());
        addObject(s, 1, "A");
        Dataset &v = s.FDQObiekty;
        v.setSql({" select * from OBIEKTY where IDDEV = :IDdev"});
        v.setParam(0, 17);
        v.open();
        v.edit();
        v.setFieldValue("NAZWA_LONG", name);
        v.post();
        QCOMPARE(v.fieldValue("NAZWA_LONG").toString(), stored);
        QCOMPARE(s.FDConnection1.select("select NAZWA_LONG from OBIEKTY").values.at(0).toString(), stored);
        QCOMPARE(db.isqlValue("select char_length(NAZWA_LONG) from OBIEKTY"), qint64(stored.toUcs4().size()));
    }

    void liveViewWritesBackByKeyAndCutsText()
    {
        TestDatabase db;
        MainStore s;
        s.openDatabase(db.path());
        addObject(s, 1, "A");
        const int b = addObject(s, 2, "B");
        Dataset &v = s.FDQObiekty;
        v.setSql({" select * from OBIEKTY where IDDEV = :IDdev order by IDO_INDEV"});
        v.setParam(0, 17);
        v.open();
        QCOMPARE(v.rowCount(), 2);
        v.setCurrentRow(1);
        v.edit();
        v.setFieldValue("NAZWA_LONG", QString(60, QChar(u'ż')));
        QCOMPARE(v.fieldValue("NAZWA_LONG").toString().size(), 50);
        v.setFieldValue("REZI2", 1);
        v.post();
        QCOMPARE(db.isqlValue(QString("select char_length(NAZWA_LONG) from OBIEKTY where IDOB = %1").arg(b)), 50LL);
        QCOMPARE(db.isqlValue(QString("select REZI2 from OBIEKTY where IDOB = %1").arg(b)), 1LL);
        QCOMPARE(db.isqlValue("select count(*) from OBIEKTY where REZI2 = 1"), 1LL);
        QCOMPARE(v.value(1, "NAZWA_LONG").toString(), QString(50, QChar(u'ż')));

        // Deleting by key; the next row (here the previous, as it was the last) becomes current.
        QSignalSpy moved(&v, &Dataset::currentRowChanged);
        v.deleteCurrent();
        QCOMPARE(v.rowCount(), 1);
        QCOMPARE(v.currentRow(), 0);
        QCOMPARE(moved.count(), 1);
        QCOMPARE(db.isqlValue("select count(*) from OBIEKTY"), 1LL);
        v.deleteCurrent();
        QVERIFY(v.isEmpty());
        QVERIFY_THROWS_EXCEPTION(DatabaseError, v.deleteCurrent());
        QVERIFY_THROWS_EXCEPTION(DatabaseError, v.edit());
    }

    void resultsViewFormatsAndComputesTempF()
    {
        TestDatabase db;
        MainStore s;
        s.openDatabase(db.path());
        const int a = addObject(s, 1, "A");
        addResult(s, a, QDateTime(QDate(2023, 1, 1), QTime(1, 2, 4)), 6.01, 0.5);
        addResult(s, a, QDateTime(QDate(2023, 1, 1), QTime(1, 2, 6)), 7.0, -17.5);
        Dataset &w = s.FDQWyniki;
        w.setSql({"select * from WYNIKI where IDOB = :IDobj order by DATACZAS"});
        w.setParam(0, a);
        w.open();
        const QLocale c = QLocale::c();
        QCOMPARE(w.displayText(0, w.fieldIndex("DANE1"), c), QString("6.01 pH"));
        QCOMPARE(w.displayText(0, w.fieldIndex("DANE2"), c), QString("0.5°C"));
        QCOMPARE(w.displayText(0, w.fieldIndex("TempF"), c), QString("32.9°F"));
        QCOMPARE(w.displayText(1, w.fieldIndex("TempF"), c), QString(".5°F"));
        QCOMPARE(w.field(w.fieldIndex("REZI1")).tag, 4);
        QCOMPARE(s.FDQObiekty.field(s.FDQObiekty.fieldIndex("REZI2")).tag, 4);
        QVERIFY_THROWS_EXCEPTION(DatabaseError, (w.edit(), w.setFieldValue("TempF", 1.0)));
    }

    // Times are wall-clock values without a zone, from the binding to the view's text: a time
    // that the local zone skips or repeats is read back and shown as it was stored.
    void timesAreReadAndShownAsStored()
    {
        TestDatabase db;
        MainStore s;
        s.openDatabase(db.path());
        const int a = addObject(s, 1, "A");
        const QDateTime gap(QDate(2023, 3, 26), QTime(2, 30, 0), Qt::UTC);
        const QDateTime repeated(QDate(2023, 10, 29), QTime(2, 30, 0), Qt::UTC);
        addResult(s, a, gap, 7.0, 20.0);
        addResult(s, a, repeated, 7.1, 20.0);
        // A local date-time handed in by a caller counts by its fields, never by its instant.
        addResult(s, a, QDateTime(QDate(2023, 3, 26), QTime(2, 40, 0)), 7.2, 20.0);
        QCOMPARE(db.isqlValue("select count(*) from WYNIKI where DATACZAS in "
                              "('2023-03-26 02:30:00', '2023-10-29 02:30:00', '2023-03-26 02:40:00')"), 3LL);

        Dataset &w = s.FDQWyniki;
        w.setSql({"select * from WYNIKI where IDOB = :IDobj order by DATACZAS"});
        w.setParam(0, a);
        w.open();
        QCOMPARE(w.rowCount(), 3);
        const QLocale c = QLocale::c();
        const int field = w.fieldIndex("DATACZAS");
        const QStringList shown{w.displayText(0, field, c), w.displayText(1, field, c), w.displayText(2, field, c)};
        QCOMPARE(shown, QStringList({c.toString(QDate(2023, 3, 26), QLocale::ShortFormat) + " 02:30:00",
                                     c.toString(QDate(2023, 3, 26), QLocale::ShortFormat) + " 02:40:00",
                                     c.toString(QDate(2023, 10, 29), QLocale::ShortFormat) + " 02:30:00"}));
        QCOMPARE(w.value(0, field).toDateTime(), gap);
        QCOMPARE(w.value(0, field).toDateTime().timeSpec(), Qt::UTC);
        // A row written back keeps its time, and the time finds its row.
        w.setCurrentRow(0);
        w.edit();
        w.setFieldValue("REZI1", 1);
        w.post();
        QCOMPARE(db.isqlValue("select REZI1 from WYNIKI where DATACZAS = '2023-03-26 02:30:00'"), 1LL);
        QCOMPARE(s.FDConnection1.select("select DANE1 from WYNIKI where DATACZAS = ?", {gap}).rowCount(), 1);
        // Marking by date takes the gap day's results.
        s.FDSP_Markdate.setParam(0, QDate(2023, 3, 26));
        s.FDSP_Markdate.setParam(1, QDate(2023, 3, 27));
        s.FDSP_Markdate.execute();
        QCOMPARE(db.isqlValue("select count(*) from WYNIKI where REZI1 = 1"), 2LL);
    }

    void databaseErrorsCarryTheDatabaseText()
    {
        TestDatabase db;
        MainStore s;
        s.openDatabase(db.path());
        try {
            s.FDConnection1.execute("insert into WYNIKI (IDOB) values (null)");
            QFAIL("a null key was accepted");
        } catch (const DatabaseError &e) {
            QVERIFY2(e.text().contains("IDOB"), qPrintable(e.text()));
        }
        MainStore missing;
        try {
            missing.openDatabase(db.folder() + "/nothing.fb");
            QFAIL("opened a missing file");
        } catch (const DatabaseError &e) {
            QVERIFY2(e.text().contains("nothing.fb"), qPrintable(e.text()));
        }
    }

    void twoProcessesOpenTheSameDatabase()
    {
        TestDatabase db;
        // A second process holds the database open while this one writes.
        QProcess other;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("FIREBIRD", TestDatabase::appDir() + "/firebird");
        other.setProcessEnvironment(env);
        other.setProcessChannelMode(QProcess::MergedChannels);
        other.start(ISQL_FB, {"-q", "-user", "sysdba", "-password", "quillbarn", db.path()});
        QVERIFY(other.waitForStarted());
        other.write("set heading off;\nselect 'first:' || count(*) from OBIEKTY;\n");
        QTRY_VERIFY_WITH_TIMEOUT(QString(other.peek(4096)).contains("first:0"), 20000);

        MainStore s;
        s.openDatabase(db.path());
        addObject(s, 5, "shared");

        other.write("commit;\nselect 'second:' || count(*) from OBIEKTY;\n");
        QTRY_VERIFY_WITH_TIMEOUT(QString(other.peek(8192)).contains("second:1"), 20000);
        other.write("quit;\n");
        QVERIFY(other.waitForFinished(20000));
        QVERIFY2(!other.readAll().contains("lock"), "the second process could not share the file");
    }
};

QTEST_GUILESS_MAIN(TestStore)
#include "tst_store.moc"
