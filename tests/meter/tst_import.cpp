#include "meter/AnsiCodePage.h"
#include "meter/MeterImport.h"
#include "store/MainStore.h"
#include "support/TestDatabase.h"

#include <QProcess>
#include <QScopeGuard>
#include <QtTest>
#include <atomic>
#include <csignal>
#include <map>
#include <thread>
#include <unistd.h>

using namespace arvex;
using namespace arvex::meter;

namespace {

// Recorded replies of a meter, keyed by command; every command asked is remembered.
struct RecordedMeter {
    std::map<QByteArray, QByteArray> replies;
    QList<QByteArray> asked;

    ExchangeFn exchange()
    {
        return [this](const QByteArray &command, int expected) {
            Q_ASSERT(expected == 0);
            asked << command;
            auto it = replies.find(command);
            return it == replies.end() ? QByteArray() : it->second;
        };
    }
};

QDateTime at(int day, int minute) { return QDateTime(QDate(2023, 6, day), QTime(9, minute, 0), Qt::UTC); }

// Objects 1..n named "Obj<i>", object i holding i results (leading number = 1000*i + k).
RecordedMeter recordedMeter(int objects, QList<QByteArray> *objectRecords)
{
    RecordedMeter m;
    QByteArray list;
    for (int i = 1; i <= objects; ++i) {
        const QByteArray rec = EncodeObject(i, "Obj" + QByteArray::number(i));
        objectRecords->append(rec);
        list += rec;
        QByteArray results;
        for (int k = 0; k < i; ++k)
            results += EncodeResult(quint32(1000 * i + k), at(i, k), quint16(600 + k), temperatureWord(20.5 + k));
        m.replies[ResultsCommand(i)] = results + "*";
    }
    m.replies[ObjectListCommand] = list + "*";
    return m;
}

struct Fixture {
    TestDatabase db;
    store::MainStore s;
    MeterImport import;
    Fixture() : import(s.FDConnection1, s.FDSP_AddObiektTemp, s.FDSP_AddWynik) { s.openDatabase(db.path()); }
    void reopen() { s.openDatabase(db.path()); }
};

} // namespace

class TestImport : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { setAnsiCodePage("CP1252"); }

    void importStoresEverythingAndRepeatsWithoutDuplicates()
    {
        Fixture f;
        QList<QByteArray> objects;
        RecordedMeter m = recordedMeter(3, &objects);
        QList<std::pair<int, int>> progress;
        ImportOutcome o = f.import.ImportObjects(objects, m.exchange(), [&](int i, int n) { progress << std::pair(i, n); });
        QVERIFY(o.completed);
        QCOMPARE(o.stored, 6);
        QCOMPARE(progress, (QList<std::pair<int, int>>{{0, 3}, {1, 3}, {2, 3}}));
        QCOMPARE(m.asked, (QList<QByteArray>{ResultsCommand(1), ResultsCommand(2), ResultsCommand(3)}));
        QCOMPARE(f.db.isqlValue("select count(*) from OBIEKTY where IDDEV = 17 and NAZWA_LONG = '' and OPIS = '' and REZI1 = 0 and REZI2 = 0"), 3LL);
        QCOMPARE(f.db.isqlValue("select count(*) from WYNIKI where REZI1 = 0 and REZC = ''"), 6LL);
        // Every field of one result, read back independently.
        QCOMPARE(f.db.isqlValue("select count(*) from WYNIKI w join OBIEKTY o on o.IDOB = w.IDOB "
                                "where o.IDO_INDEV = 3 and o.NAZWA_DEV = 'Obj3' and w.DANE3 = 3002 and w.DANE4 = 0 "
                                "and w.DATACZAS = '2023-06-03 09:02:00' and abs(w.DANE1 - 6.02) < 1e-5 "
                                "and abs(w.DANE2 - 22.5) < 1e-5"), 1LL);

        // The user names an object and marks things; a second download keeps all of it.
        f.db.isql("update OBIEKTY set NAZWA_LONG = 'Basin', REZI2 = 1 where IDO_INDEV = 2; "
                  "update WYNIKI set REZI1 = 1 where DANE3 = 2001; commit;");
        o = f.import.ImportObjects(objects, m.exchange());
        QVERIFY(o.completed);
        QCOMPARE(o.stored, 6);
        QCOMPARE(f.db.isqlValue("select count(*) from OBIEKTY"), 3LL);
        QCOMPARE(f.db.isqlValue("select count(*) from WYNIKI"), 6LL);
        QCOMPARE(f.db.isqlValue("select count(*) from OBIEKTY where IDO_INDEV = 2 and NAZWA_LONG = 'Basin' and REZI2 = 1"), 1LL);
        QCOMPARE(f.db.isqlValue("select REZI1 from WYNIKI where DANE3 = 2001"), 1LL);
    }

    void noObjectsSendsNothing()
    {
        Fixture f;
        RecordedMeter m;
        QList<QByteArray> objects;
        QVERIFY(SplitRecords(QByteArray("*"), ObjectRecordSize, &objects));
        const ImportOutcome o = f.import.ImportObjects(objects, m.exchange());
        QVERIFY(o.completed);
        QCOMPARE(o.stored, 0);
        QVERIFY(m.asked.isEmpty());
        QCOMPARE(f.db.isqlValue("select count(*) from OBIEKTY"), 0LL);
    }

    void badResultsReplyOfSecondObjectStops()
    {
        Fixture f;
        QList<QByteArray> objects;
        RecordedMeter m = recordedMeter(3, &objects);
        m.replies[ResultsCommand(2)].chop(1); // terminator lost
        int hooks = 0;
        const ImportOutcome o = f.import.ImportObjects(objects, m.exchange(), [&](int, int) { ++hooks; });
        QVERIFY(!o.completed);
        QCOMPARE(hooks, 2); // the hook runs after the exchange, before the reply is checked
        QCOMPARE(m.asked, (QList<QByteArray>{ResultsCommand(1), ResultsCommand(2)}));
        QCOMPARE(f.db.isqlValue("select count(*) from OBIEKTY where IDO_INDEV in (1, 2)"), 2LL);
        QCOMPARE(f.db.isqlValue("select count(*) from OBIEKTY where IDO_INDEV = 3"), 0LL);
        QCOMPARE(f.db.isqlValue("select count(*) from WYNIKI"), 1LL);
    }

    // A result the database refuses for its values is skipped alone, whatever part of the
    // schema refuses it.
    void refusedResultsAreSkippedAlone_data()
    {
        QTest::addColumn<QString>("schema");
        const QString trigger = "set term ^ ;\n"
                                "create trigger T_REFUSE for WYNIKI before insert as begin "
                                "if (new.DANE3 = 3002) then %1; end^\n"
                                "set term ; ^\ncommit;";
        QTest::newRow("exception") << "create exception E_REFUSED 'refused by test';\n" + trigger.arg("exception E_REFUSED");
        QTest::newRow("not null") << trigger.arg("new.IDOB = null");
        QTest::newRow("too long") << trigger.arg("new.REZC = '" + QString(60, 'x') + "'");
        QTest::newRow("check") << QString("alter table WYNIKI add constraint C_REFUSE check (DANE3 <> 3002); commit;");
    }
    void refusedResultsAreSkippedAlone()
    {
        QFETCH(QString, schema);
        Fixture f;
        const QString out = f.db.isql(schema);
        QVERIFY2(!out.contains("Statement failed"), qPrintable(out));
        f.reopen();
        QList<QByteArray> objects;
        RecordedMeter m = recordedMeter(3, &objects);
        // Object 2's first record has an impossible date; its second is still stored.
        QByteArray &two = m.replies[ResultsCommand(2)];
        two[3] = 0;
        two[4] = 0;
        const ImportOutcome o = f.import.ImportObjects(objects, m.exchange());
        QVERIFY(o.completed);
        QCOMPARE(o.stored, 4); // 1 + (2 - 1 bad date) + (3 - 1 refused)
        QCOMPARE(f.db.isqlValue("select count(*) from WYNIKI"), 4LL);
        QCOMPARE(f.db.isqlValue("select count(*) from WYNIKI where DANE3 in (2001, 3000, 3001)"), 3LL);
    }

    // The database's file system fills up in the middle of an import: the import ends with
    // the database's text, every object keeps all of its results or none, and what was
    // committed before stays.
    void fullDiskEndsTheImportWithoutHalfObjects()
    {
        if (geteuid() != 0)
            QSKIP("mounting a small file system needs root");
        QTemporaryDir dir;
        const QString mountPoint = dir.filePath("small");
        QVERIFY(QDir().mkpath(mountPoint));
        const qint64 size = QFileInfo(QStringLiteral(ARVEX_DB_TEMPLATE)).size() + 192 * 1024;
        const auto mount = [&](const QString &options) {
            return QProcess::execute("mount", {"-t", "tmpfs", "-o", options, "tmpfs", mountPoint}) == 0;
        };
        if (!mount(QString("size=%1").arg(size)))
            QSKIP("tmpfs cannot be mounted here");
        const auto unmount = qScopeGuard([&] { QProcess::execute("umount", {"-l", mountPoint}); });
        TestDatabase::useBuildEngine();
        const QString path = mountPoint + "/ARVEXBASE.fb";
        QVERIFY(QFile::copy(QStringLiteral(ARVEX_DB_TEMPLATE), path));
        // A small page cache, so that pages are written while an object's results are being
        // stored, not only when they are committed.
        QProcess gfix;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("FIREBIRD", TestDatabase::appDir() + "/firebird");
        gfix.setProcessEnvironment(env);
        gfix.start(QFileInfo(QStringLiteral(ISQL_FB)).absolutePath() + "/gfix",
                   {"-buffers", "50", "-user", "sysdba", "-password", "quillbarn", path});
        QVERIFY(gfix.waitForFinished(20000) && gfix.exitCode() == 0);

        constexpr int Objects = 20, PerObject = 500;
        RecordedMeter m;
        QList<QByteArray> objects;
        for (int i = 1; i <= Objects; ++i) {
            objects << EncodeObject(i, "Full" + QByteArray::number(i));
            QByteArray results;
            for (int k = 0; k < PerObject; ++k)
                results += EncodeResult(quint32(k), at(1, 0).addSecs(2 * k), 700, temperatureWord(20.0));
            m.replies[ResultsCommand(i)] = results + "*";
        }
        {
            store::MainStore s;
            s.openDatabase(path);
            MeterImport import(s.FDConnection1, s.FDSP_AddObiektTemp, s.FDSP_AddWynik);
            try {
                const ImportOutcome o = import.ImportObjects(objects, m.exchange());
                QFAIL(qPrintable(QString("the full disk was not reported: completed %1, %2 stored")
                                     .arg(o.completed).arg(o.stored)));
            } catch (const store::DatabaseError &e) {
                QVERIFY2(!e.refusedValues(), qPrintable(e.text()));
                QVERIFY2(e.text().contains("none of them was kept"), qPrintable(e.text()));
                qInfo().noquote() << e.text();
            }
            QVERIFY(m.asked.size() < Objects);
        }
        // Room again, to look at what the database holds.
        QVERIFY(mount(QString("remount,size=%1").arg(size * 4)));
        const long long stored = isqlNumber(path, "select count(*) from OBIEKTY");
        const long long full = isqlNumber(path, "select count(*) from (select IDOB from WYNIKI group by IDOB "
                                                "having count(*) = " + QString::number(PerObject) + ")");
        QCOMPARE(stored, qint64(m.asked.size()));
        QCOMPARE(isqlNumber(path, "select count(*) from WYNIKI"), full * PerObject);
        QCOMPARE(full, stored - 1); // the object being stored when the disk filled keeps none
        QVERIFY(isqlNumber(path, "select count(*) from WYNIKI where DATACZAS is null") == 0);
    }

    // The connection is lost while the last object's results are stored (another program
    // ends it): the import does not pass the failure off as skipped results, it ends with
    // the database's text, and that object keeps none of its results.
    void lostConnectionEndsTheImport()
    {
        Fixture f;
        QList<QByteArray> objects;
        RecordedMeter m = recordedMeter(3, &objects);
        const ExchangeFn meter = m.exchange();
        const ExchangeFn exchange = [&](const QByteArray &command, int expected) {
            if (command == ResultsCommand(3))
                f.db.isql("delete from MON$ATTACHMENTS where MON$ATTACHMENT_ID <> CURRENT_CONNECTION; commit;");
            return meter(command, expected);
        };
        try {
            const ImportOutcome o = f.import.ImportObjects(objects, exchange);
            QFAIL(qPrintable(QString("the lost connection was not reported: completed %1, %2 stored")
                                 .arg(o.completed).arg(o.stored)));
        } catch (const store::DatabaseError &e) {
            QVERIFY2(!e.refusedValues(), qPrintable(e.text()));
        }
        QCOMPARE(f.db.isqlValue("select count(*) from OBIEKTY"), 3LL);
        QCOMPARE(f.db.isqlValue("select count(*) from WYNIKI"), 3LL); // objects 1 and 2
        QCOMPARE(f.db.isqlValue("select count(*) from WYNIKI w join OBIEKTY o on o.IDOB = w.IDOB "
                                "where o.IDO_INDEV = 3"), 0LL);
    }

    void databaseErrorOnAnObjectPassesOut()
    {
        Fixture f;
        f.db.isql("create exception E_REFUSED 'object refused by test';\n"
                  "set term ^ ;\n"
                  "create trigger T_REFUSE for OBIEKTY before insert as begin "
                  "if (new.IDO_INDEV = 2) then exception E_REFUSED; end^\n"
                  "set term ; ^\ncommit;");
        f.reopen();
        QList<QByteArray> objects;
        RecordedMeter m = recordedMeter(3, &objects);
        try {
            f.import.ImportObjects(objects, m.exchange());
            QFAIL("the database error was swallowed");
        } catch (const store::DatabaseError &e) {
            QVERIFY2(e.text().contains("object refused by test"), qPrintable(e.text()));
        }
        QCOMPARE(m.asked, QList<QByteArray>{ResultsCommand(1)});
        // What was stored before the error stays stored.
        QCOMPARE(f.db.isqlValue("select count(*) from OBIEKTY"), 1LL);
        QCOMPARE(f.db.isqlValue("select count(*) from WYNIKI"), 1LL);
    }

    // Times that a zone with daylight saving skips or repeats are stored as the meter gave
    // them, read back with the same fields, and a second download finds them again.
    void timesWithoutZoneAreStoredAndFoundAgain()
    {
        Fixture f;
        const QList<QDateTime> times{
            QDateTime(QDate(2023, 3, 26), QTime(1, 59, 58), Qt::UTC),
            QDateTime(QDate(2023, 3, 26), QTime(2, 0, 0), Qt::UTC),  // spring gap in Europe
            QDateTime(QDate(2023, 3, 26), QTime(2, 30, 0), Qt::UTC), // spring gap in Europe
            QDateTime(QDate(2023, 3, 26), QTime(3, 0, 0), Qt::UTC),
            QDateTime(QDate(2023, 10, 29), QTime(2, 30, 0), Qt::UTC), // the repeated hour
            QDateTime(QDate(2023, 10, 29), QTime(2, 59, 58), Qt::UTC),
        };
        RecordedMeter m;
        QByteArray results;
        for (int k = 0; k < times.size(); ++k)
            results += EncodeResult(quint32(k), times[k], 700, temperatureWord(20.0));
        m.replies[ResultsCommand(1)] = results + "*";
        const QList<QByteArray> objects{EncodeObject(1, "DST")};
        for (int download = 0; download < 2; ++download) {
            const ImportOutcome o = f.import.ImportObjects(objects, m.exchange());
            QVERIFY(o.completed);
            QCOMPARE(o.stored, int(times.size()));
            QCOMPARE(f.db.isqlValue("select count(*) from WYNIKI"), qint64(times.size()));
            QCOMPARE(f.db.isqlValue("select count(*) from WYNIKI where DATACZAS is null"), 0LL);
        }
        // Each time as the database holds it, and as the store reads it.
        const auto rows = f.s.FDConnection1.select("select DANE3, DATACZAS from WYNIKI order by DANE3");
        QCOMPARE(rows.rowCount(), int(times.size()));
        for (int k = 0; k < times.size(); ++k) {
            const QString text = times[k].toString("yyyy-MM-dd HH:mm:ss");
            QCOMPARE(f.db.isqlValue(QString("select DANE3 from WYNIKI where DATACZAS = '%1'").arg(text)), qint64(k));
            const QDateTime read = rows.values[size_t(2 * k + 1)].toDateTime();
            QVERIFY2(read.isValid(), qPrintable(text));
            QCOMPARE(read.timeSpec(), Qt::UTC);
            QCOMPARE(read.toString("yyyy-MM-dd HH:mm:ss"), text);
        }
    }

    // Another program holds a row that the import writes, in a transaction it leaves open:
    // the import waits a few seconds, not for ever, and ends saying which table it could not
    // write and why.
    void anotherProgramsLockEndsTheImportClearly_data()
    {
        QTest::addColumn<QString>("hold");
        QTest::addColumn<QString>("table");
        QTest::newRow("object row") << "update OBIEKTY set OPIS = 'held' where IDO_INDEV = 2" << "OBIEKTY";
        QTest::newRow("result row") << "update WYNIKI set REZI1 = 1 where DANE3 = 2001" << "WYNIKI";
    }
    void anotherProgramsLockEndsTheImportClearly()
    {
        QFETCH(QString, hold);
        QFETCH(QString, table);
        Fixture f;
        QList<QByteArray> objects;
        RecordedMeter m = recordedMeter(3, &objects);
        QVERIFY(f.import.ImportObjects(objects, m.exchange()).completed);

        QProcess other;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("FIREBIRD", TestDatabase::appDir() + "/firebird");
        other.setProcessEnvironment(env);
        other.setProcessChannelMode(QProcess::MergedChannels);
        other.start(ISQL_FB, {"-q", "-user", "sysdba", "-password", "quillbarn", f.db.path()});
        QVERIFY(other.waitForStarted());
        other.write(("set heading off;\n" + hold + ";\nselect 'held' || 'row' from rdb$database;\n").toUtf8());
        QTRY_VERIFY_WITH_TIMEOUT(QString(other.peek(4096)).contains("heldrow"), 20000);
        // Should the import wait for ever, the other program ends after a while, and the
        // test fails on the time the import took.
        const qint64 otherPid = other.processId();
        std::atomic<bool> done{false};
        std::thread watchdog([&] {
            for (int i = 0; i < 600 && !done; ++i)
                std::this_thread::sleep_for(std::chrono::milliseconds(50));
            if (!done)
                ::kill(pid_t(otherPid), SIGKILL);
        });
        QElapsedTimer clock;
        clock.start();
        QString error;
        try {
            f.import.ImportObjects(objects, m.exchange());
        } catch (const store::DatabaseError &e) {
            error = e.text();
        }
        const qint64 waited = clock.elapsed();
        done = true;
        watchdog.join();
        other.write("rollback;\nquit;\n");
        other.waitForFinished(20000);
        QVERIFY2(waited < 25000, qPrintable(QString("the import waited %1 ms").arg(waited)));
        QVERIFY2(waited >= (store::Connection::LockTimeoutSeconds - 1) * 1000, qPrintable(QString::number(waited)));
        QVERIFY2(error.contains("The table " + table + " could not be written: another program"), qPrintable(error));
        // Nothing the first download stored was lost.
        QCOMPARE(f.db.isqlValue("select count(*) from WYNIKI"), 6LL);
        QCOMPARE(f.db.isqlValue("select count(*) from OBIEKTY"), 3LL);
    }

    void objectNameThroughCodePage()
    {
        Fixture f;
        setAnsiCodePage("CP1250");
        const int key = f.import.StoreObject(DecodeObject(EncodeObject(13, "Staw \xB3\xF3\x64\x9F")));
        setAnsiCodePage("CP1252");
        QVERIFY(key > 0);
        const auto rows = f.s.FDConnection1.select("select NAZWA_DEV from OBIEKTY where IDOB = ?", {key});
        QCOMPARE(rows.values.at(0).toString(), QString::fromUtf8("Staw łódź"));
    }
};

QTEST_GUILESS_MAIN(TestImport)
#include "tst_import.moc"
