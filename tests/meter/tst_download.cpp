// The download sequence on the emulator's bus in virtual time, storing into a real database.

#include "meter/DownloadSequence.h"
#include "meter/EmulatorBus.h"
#include "meter/FTDIchip.h"
#include "meter/MeterProtocol.h"
#include "store/MainStore.h"
#include "support/TestDatabase.h"

#include <QtTest>

using namespace arvex;
using namespace arvex::meter;

Q_DECLARE_METATYPE(arvex::meter::MeterContent)

namespace {

// Records what the sequence shows, in order.
class Recorder final : public DownloadSurroundings {
public:
    QStringList events;
    QList<int> bar;
    bool busy = false;
    int cursorChanges = 0;
    int lang = 0;
    std::function<void()> onProcess;

    void showProgressLabel(ProgressLabel l, bool visible) override
    {
        static const char *names[] = {"Search", "NoDevice", "Import", "Error", "Ftdi"};
        if (visible)
            events << QString("label %1").arg(names[int(l)]);
    }
    void setProgressPosition(int p) override { bar << p; }
    void showProgress() override { events << "show"; }
    void hideProgress() override { events << "hide"; }
    void processMessages() override
    {
        if (onProcess)
            onProcess();
    }
    void setBusyCursor(bool b) override
    {
        if (b != busy) {
            busy = b;
            ++cursorChanges;
            events << QString("cursor %1").arg(b);
        }
    }
    void showIdentity(const QString &d, const QString &s, const QString &f) override
    {
        events << QString("identity %1|%2|%3").arg(d, s, f);
    }
    void refreshViews() override { events << "refresh"; }
    void showMessage(const QString &t) override { events << "message " + t; }
    void showError(const QString &t) override { events << "error " + t; }
    int languageNumber() override { return lang; }
    QString lexiconRow(int row) override { return row == 7 ? "records read." : row == 8 ? "records." : "?"; }

    bool has(const QString &prefix) const
    {
        return std::any_of(events.begin(), events.end(), [&](const QString &e) { return e.startsWith(prefix); });
    }
};

MeterContent meterWith(int objects, int resultsEach, const QByteArray &converter = "PP000042")
{
    MeterContent m;
    m.converterSerial = converter;
    m.identity = EncodeIdentity("PH" + converter.right(6), "1.07");
    for (int i = 1; i <= objects; ++i) {
        MeterObject o;
        o.number = i;
        o.name = converter.right(2) + "-obj" + QByteArray::number(i);
        for (int k = 0; k < resultsEach; ++k)
            o.results << EncodeResult(quint32(100 * i + k), QDateTime(QDate(2023, 6, i), QTime(8, k, 0)),
                                      quint16(650 + k), temperatureWord(21.5));
        m.objects << o;
    }
    return m;
}

} // namespace

class TestDownload : public QObject {
    Q_OBJECT

    std::unique_ptr<VirtualClock> clock;
    std::shared_ptr<EmulatorBus> bus;
    std::shared_ptr<tftdidll> previous;
    std::unique_ptr<TestDatabase> db;
    std::unique_ptr<store::MainStore> store;
    std::unique_ptr<MeterImport> import;
    std::unique_ptr<tftdichip> chip;
    Recorder ui;
    bool flag = false;
    QByteArray serial, firmware;
    MeterList list;

    DownloadSequence sequence()
    {
        return DownloadSequence(*chip, *import, *clock, ui, DownloadFields{flag, serial, firmware, list});
    }
    std::shared_ptr<MeterEmulator> attach(MeterContent content)
    {
        auto m = std::make_shared<MeterEmulator>(std::move(content));
        bus->attach(m);
        return m;
    }
    void openDatabase()
    {
        db = std::make_unique<TestDatabase>();
        store->openDatabase(db->path());
    }

private slots:
    void init()
    {
        clock = std::make_unique<VirtualClock>();
        bus = std::make_shared<EmulatorBus>(*clock);
        previous = setftdidll(bus);
        store = std::make_unique<store::MainStore>();
        import = std::make_unique<MeterImport>(store->FDConnection1, store->FDSP_AddObiektTemp, store->FDSP_AddWynik);
        chip = std::make_unique<tftdichip>();
        ui = Recorder();
        flag = false;
        serial.clear();
        firmware.clear();
        list = {};
    }
    void cleanup()
    {
        chip.reset();
        setftdidll(previous);
        bus.reset();
        import.reset();
        store.reset();
        db.reset();
    }

    void noMeter()
    {
        // No database is open: any database call would end in an error.
        bus->attach("AB0001");
        flag = true;
        DownloadSequence s = sequence();
        QCOMPARE(s.run(), DownloadOutcome::NoDevice);
        QCOMPARE(ui.events, (QStringList{"label Search", "show", "label NoDevice", "hide"}));
        QCOMPARE(bus->enumerations(), 2);
        QCOMPARE(clock->seconds(), 4.0); // 2 s before the second enumeration, 2 s of the message
        QCOMPARE(ui.cursorChanges, 0);
        QCOMPARE(ui.bar, QList<int>{0});
        QVERIFY(!flag);
    }

    void onlyTheFirstOfTwoMetersIsDownloaded()
    {
        openDatabase();
        auto first = attach(meterWith(2, 3, "PP000011"));
        auto second = attach(meterWith(4, 1, "PP000022"));
        DownloadSequence s = sequence();
        QCOMPARE(s.run(), DownloadOutcome::Completed);
        QCOMPARE(serial, QByteArray("PP000011"));
        QCOMPARE(firmware, QByteArray("1.07"));
        QVERIFY(second->commands().isEmpty());
        QCOMPARE(db->isqlValue("select count(*) from OBIEKTY"), 2LL);
        QCOMPARE(db->isqlValue("select count(*) from OBIEKTY where NAZWA_DEV starting with '11-'"), 2LL);
        QCOMPARE(db->isqlValue("select count(*) from WYNIKI"), 6LL);
        QCOMPARE(s.storedCount(), 6);
        // The identity stays shown: the flag is up and the labels were written once.
        QVERIFY(flag);
        QVERIFY(ui.events.contains("identity pH meter|PH000011|1.07"));
        QCOMPARE(ui.events.last(), QString("hide"));
        QCOMPARE(ui.events.mid(ui.events.size() - 4),
                 (QStringList{"refresh", "message 6 records read.", "cursor 0", "hide"}));
        // The line was set up as the meter needs it, and the converter is left open.
        const auto line = bus->settings("PP000011");
        QVERIFY(line);
        QCOMPARE(line->baudRate, 115200u);
        QCOMPARE(line->latency, quint8(2));
        QCOMPARE(line->inTransferSize, 16u);
        QCOMPARE(line->readTimeout, 5u);
        QVERIFY(chip->fconnected);
    }

    void meterWithoutObjects()
    {
        openDatabase();
        attach(meterWith(0, 0));
        DownloadSequence s = sequence();
        QCOMPARE(s.run(), DownloadOutcome::Completed);
        QCOMPARE(ui.bar, (QList<int>{0, 50, 60, 100}));
        QVERIFY(ui.events.contains("refresh"));
        QVERIFY(ui.events.contains("message 0 records read."));
    }

    void barPositions_data()
    {
        QTest::addColumn<int>("count");
        QTest::addColumn<QList<int>>("positions");
        QTest::newRow("4") << 4 << QList<int>{60, 70, 80, 90};
        QTest::newRow("16") << 16 << QList<int>{60, 62, 65, 68, 70, 72, 75, 78, 80, 82, 85, 88, 90, 92, 95, 98};
        QTest::newRow("3") << 3 << QList<int>{60, 73, 87};
    }
    void barPositions()
    {
        QFETCH(int, count);
        QFETCH(QList<int>, positions);
        QList<int> computed;
        for (int i = 0; i < count; ++i)
            computed << DownloadSequence::barPosition(i, count);
        QCOMPARE(computed, positions);

        openDatabase();
        attach(meterWith(count, 1));
        DownloadSequence s = sequence();
        QCOMPARE(s.run(), DownloadOutcome::Completed);
        QCOMPARE(ui.bar, (QList<int>{0, 50, 60} + positions + QList<int>{100}));
    }

    void missingTerminatorOfTheThirdOfFive()
    {
        openDatabase();
        MeterContent content = meterWith(5, 2);
        content.faults << MeterFault::dropTerminatorOf(3);
        auto meter = attach(content);
        DownloadSequence s = sequence();
        QCOMPARE(s.run(), DownloadOutcome::ImportError);
        QVERIFY(ui.events.contains("label Error"));
        QVERIFY(!ui.has("message"));
        QVERIFY(!ui.events.contains("refresh"));
        QVERIFY(!flag); // the labels go with the next timer tick
        QCOMPARE(db->isqlValue("select count(*) from OBIEKTY where IDO_INDEV in (1, 2, 3)"), 3LL);
        QCOMPARE(db->isqlValue("select count(*) from OBIEKTY"), 3LL);
        QCOMPARE(db->isqlValue("select count(*) from WYNIKI"), 4LL);
        QVERIFY(!meter->commands().contains(ResultsCommand(4).chopped(1)));
        QVERIFY(!meter->commands().contains(ResultsCommand(5).chopped(1)));
        QCOMPARE(ui.busy, false);
        QCOMPARE(ui.events.last(), QString("hide"));
    }

    // A pause or a cut right after a data byte 0x2A leaves a first part that ends like a
    // whole reply. The rest comes while the program goes on (no pause between the exchanges:
    // the virtual clock stands still while the database works).
    void incompleteReplyEndsTheDownload_data()
    {
        QTest::addColumn<MeterContent>("content");
        QTest::addColumn<qlonglong>("objects"); // stored
        QTest::addColumn<qlonglong>("results"); // stored: the first object's only
        QTest::addColumn<QList<int>>("asked");  // objects whose results were asked for

        // Object 2's second result has the leading number 42: its first byte is 0x2A, at
        // offset 11 of the reply; a pause after it leaves one result and a "terminator".
        MeterContent leading = meterWith(3, 3);
        leading.objects[1].results[1] = EncodeResult(42, QDateTime(QDate(2023, 6, 2), QTime(9, 0, 0)), 700, 215);
        MeterContent pause = leading;
        pause.faults << MeterFault::pause({ReplySelector::Results, 2}, 12, 0.112);
        QTest::newRow("pause after a leading byte 42, rest before the next command")
            << pause << 2LL << 3LL << QList<int>{1, 2};
        MeterContent lastPause = leading;
        lastPause.objects.removeLast();
        lastPause.faults << MeterFault::pause({ReplySelector::Results, 2}, 12, 0.112);
        QTest::newRow("pause in the last object's reply") << lastPause << 2LL << 3LL << QList<int>{1, 2};

        // A pH word whose low byte is 42 (offset 7 of the first record), then a cut.
        MeterContent ph = meterWith(3, 3);
        ph.objects[1].results[0] = EncodeResult(7, QDateTime(QDate(2023, 6, 2), QTime(9, 0, 0)), 0x012A, 215);
        MeterContent cut = ph;
        cut.faults << MeterFault::cut({ReplySelector::Results, 2}, 8);
        QTest::newRow("cut after a pH byte 42") << cut << 2LL << 3LL << QList<int>{1, 2};
        MeterContent phPause = ph;
        phPause.faults << MeterFault::pause({ReplySelector::Results, 2}, 8, 0.5);
        QTest::newRow("pause after a pH byte 42, rest in the next reply") << phPause << 2LL << 3LL << QList<int>{1, 2};

        // A "*" in the first object's name: the list stops after it.
        MeterContent star = meterWith(2, 2);
        star.objects[0].name = "Tank *1";
        MeterContent listPause = star;
        listPause.faults << MeterFault::pause({ReplySelector::ObjectList, -1}, 7, 0.5);
        QTest::newRow("pause after a * in a name") << listPause << 0LL << 0LL << QList<int>{};
        MeterContent listCut = star;
        listCut.faults << MeterFault::cut({ReplySelector::ObjectList, -1}, 7);
        QTest::newRow("cut after a * in a name") << listCut << 0LL << 0LL << QList<int>{};

        // An identity followed by more bytes than the exchange reads: they keep coming.
        MeterContent longIdentity = meterWith(2, 2);
        for (int i = 0; i < 20; ++i)
            longIdentity.identity += EncodeObject(200 + i, "ghost");
        longIdentity.identity += '*';
        QTest::newRow("over-long identity") << longIdentity << 0LL << 0LL << QList<int>{};
    }
    void incompleteReplyEndsTheDownload()
    {
        QFETCH(MeterContent, content);
        QFETCH(qlonglong, objects);
        QFETCH(qlonglong, results);
        QFETCH(QList<int>, asked);
        openDatabase();
        auto meter = attach(content);
        DownloadSequence s = sequence();
        QCOMPARE(s.run(), DownloadOutcome::ImportError);
        QVERIFY(ui.events.contains("label Error"));
        QVERIFY(!ui.has("message"));
        QVERIFY(!flag);
        QCOMPARE(db->isqlValue("select count(*) from OBIEKTY"), objects);
        QCOMPARE(db->isqlValue("select count(*) from OBIEKTY where IDO_INDEV >= 200"), 0LL);
        // The object whose reply was incomplete keeps none of it.
        QCOMPARE(db->isqlValue("select count(*) from WYNIKI"), results);
        QCOMPARE(db->isqlValue("select count(*) from WYNIKI w join OBIEKTY o on o.IDOB = w.IDOB "
                               "where o.IDO_INDEV <> 1"),
                 0LL);
        QList<int> resultsAsked;
        for (const QByteArray &c : meter->commands())
            if (c.startsWith('M'))
                resultsAsked << (c.size() == 1 ? 13 : int(quint8(c.at(1))));
        QCOMPARE(resultsAsked, asked);
    }

    void badIdentityIsNoDevice_data()
    {
        QTest::addColumn<int>("fault");
        QTest::newRow("silent") << int(MeterFault::Silent);
        QTest::newRow("wrong marker") << int(MeterFault::WrongIdentity);
        QTest::newRow("cut short") << int(MeterFault::Cut);
    }
    void badIdentityIsNoDevice()
    {
        QFETCH(int, fault);
        MeterContent content = meterWith(1, 1);
        if (fault == MeterFault::Silent)
            content.faults << MeterFault::silent({ReplySelector::Identity, -1});
        else if (fault == MeterFault::WrongIdentity)
            content.faults << MeterFault::wrongIdentity();
        else
            content.faults << MeterFault::cut({ReplySelector::Identity, -1}, 16);
        attach(content);
        DownloadSequence s = sequence();
        QCOMPARE(s.run(), DownloadOutcome::NoDevice);
        QVERIFY(ui.events.contains("label NoDevice"));
        QVERIFY(!ui.has("identity"));
        QVERIFY(!flag);
        QCOMPARE(ui.busy, false);
    }

    void converterThatCannotBeOpened()
    {
        bus->attach("PP000099");
        bus->refuseOpen("PP000099", "Permission denied");
        DownloadSequence s = sequence();
        QCOMPARE(s.run(), DownloadOutcome::NoDevice);
        QVERIFY(ui.events.contains("label NoDevice"));
        QVERIFY(!ui.has("error"));
    }

    void closingMessageWordOrder_data()
    {
        QTest::addColumn<int>("lang");
        QTest::addColumn<QString>("message");
        for (int l : {1, 4, 5})
            QTest::newRow(qPrintable(QString::number(l))) << l << "R7 12 R8";
        for (int l : {0, 2, 3, 6})
            QTest::newRow(qPrintable(QString::number(l))) << l << "12 R7";
    }
    void closingMessageWordOrder()
    {
        QFETCH(int, lang);
        QFETCH(QString, message);
        QCOMPARE(DownloadSequence::closingMessage(lang, 12, "R7", "R8"), message);
    }

    void polishMessageInARun()
    {
        openDatabase();
        attach(meterWith(1, 3));
        ui.lang = 1;
        DownloadSequence s = sequence();
        QCOMPARE(s.run(), DownloadOutcome::Completed);
        QVERIFY(ui.events.contains("message records read. 3 records."));
    }

    void secondStartClosesTheConverterLeftOpen()
    {
        openDatabase();
        auto meter = attach(meterWith(2, 2));
        DownloadSequence s = sequence();
        QCOMPARE(s.run(), DownloadOutcome::Completed);
        QVERIFY(chip->fconnected);
        // The scan closes the converter: right before it is opened again it is closed.
        std::optional<bool> openBeforeReopen;
        ui.onProcess = [&] {
            if (ui.events.endsWith("cursor 1") && !openBeforeReopen)
                openBeforeReopen = chip->fconnected;
        };
        const int before = int(meter->commands().size());
        QCOMPARE(s.run(), DownloadOutcome::Completed);
        QCOMPARE(openBeforeReopen, std::optional<bool>(false));
        QCOMPARE(int(meter->commands().size()), 2 * before); // the whole sequence again
        QCOMPARE(db->isqlValue("select count(*) from WYNIKI"), 4LL);
        QVERIFY(chip->fconnected);
    }

    void databaseErrorWhileStoringAnObject()
    {
        openDatabase();
        db->isql("create exception E_REFUSED 'object refused by test';\n"
                 "set term ^ ;\n"
                 "create trigger T_REFUSE for OBIEKTY before insert as begin "
                 "if (new.IDO_INDEV = 2) then exception E_REFUSED; end^\n"
                 "set term ; ^\ncommit;");
        store->openDatabase(db->path());
        auto meter = attach(meterWith(3, 2));
        DownloadSequence s = sequence();
        QCOMPARE(s.run(), DownloadOutcome::Failed);
        // Stops at once; the error comes after the progress display is hidden and the cursor is back.
        const int err = int(ui.events.indexOf(QRegularExpression("error .*object refused by test.*", QRegularExpression::DotMatchesEverythingOption)));
        QVERIFY2(err > 0, qPrintable(ui.events.join('\n')));
        QCOMPARE(ui.events.at(err - 1), QString("cursor 0"));
        QCOMPARE(ui.events.at(err - 2), QString("hide"));
        QCOMPARE(err, ui.events.size() - 1);
        QVERIFY(!meter->commands().contains(ResultsCommand(2).chopped(1)));
        QVERIFY(!meter->commands().contains(ResultsCommand(3).chopped(1)));
        QVERIFY(flag); // keeps its value
        QVERIFY(!ui.events.contains("refresh"));
        QCOMPARE(db->isqlValue("select count(*) from WYNIKI"), 2LL);
    }

    void secondPressWhileRunningIsRefused()
    {
        openDatabase();
        attach(meterWith(2, 2));
        DownloadSequence s = sequence();
        DownloadOutcome nested = DownloadOutcome::Completed;
        ui.onProcess = [&] {
            if (s.isRunning() && nested == DownloadOutcome::Completed)
                nested = s.run();
        };
        QCOMPARE(s.run(), DownloadOutcome::Completed);
        QCOMPARE(nested, DownloadOutcome::Refused);
        QCOMPARE(db->isqlValue("select count(*) from WYNIKI"), 4LL);
    }
};

QTEST_GUILESS_MAIN(TestDownload)
#include "tst_download.moc"
