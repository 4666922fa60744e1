#include "meter/AnsiCodePage.h"
#include "meter/MeterImport.h"
#include "store/MainStore.h"
#include "support/TestDatabase.h"

#include <QtTest>
#include <map>

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

QDateTime at(int day, int minute) { return QDateTime(QDate(2023, 6, day), QTime(9, minute, 0)); }

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

    void refusedResultsAreSkippedAlone()
    {
        Fixture f;
        f.db.isql("create exception E_REFUSED 'refused by test';\n"
                  "set term ^ ;\n"
                  "create trigger T_REFUSE for WYNIKI before insert as begin "
                  "if (new.DANE3 = 3002) then exception E_REFUSED; end^\n"
                  "set term ; ^\ncommit;");
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
