// Finding meters and exchanging commands, on the emulator's bus in virtual time.

#include "meter/EmulatorBus.h"
#include "meter/FTDIchip.h"
#include "meter/MeterClock.h"
#include "meter/MeterLink.h"
#include "meter/MeterProtocol.h"

#include <QtTest>

using namespace arvex::meter;

namespace {

MeterContent smallMeter()
{
    MeterContent m;
    m.converterSerial = "PP000042";
    m.identity = EncodeIdentity("PH000042", "1.07");
    MeterObject o;
    o.number = 3;
    o.name = "Pond";
    for (int i = 0; i < 20; ++i)
        o.results.append(EncodeResult(quint32(i), QDateTime(QDate(2023, 5, 1 + i), QTime(9, 30, 0)), quint16(700 + i), 215));
    m.objects.append(o);
    return m;
}

// The line as the download sets it up.
void configure(tftdichip &chip)
{
    QVERIFY(chip.resetDevice());
    QVERIFY(chip.setBaudRate(fBaud115200));
    QVERIFY(chip.setDataCharacteristics(fBits8, fStopBits1, fParityNone));
    QVERIFY(chip.setLatencyTimer(2));
    QCOMPARE(FT_SetUSBParameters(chip.fhandle, 16, 16), FT_STATUS(FT_OK));
    QVERIFY(chip.setFlowControl(fFlowNone, 0, 0));
    QVERIFY(chip.setTimeouts(5, 5));
}

} // namespace

class TestMeterLink : public QObject {
    Q_OBJECT

    std::unique_ptr<VirtualClock> clock;
    std::shared_ptr<EmulatorBus> bus;
    std::shared_ptr<tftdidll> previous;

    std::shared_ptr<MeterEmulator> attachMeter(QList<MeterFault> faults = {})
    {
        MeterContent content = smallMeter();
        content.faults = std::move(faults);
        auto meter = std::make_shared<MeterEmulator>(content);
        bus->attach(meter);
        return meter;
    }

    // Opens the meter's converter and sends the results command of object 3.
    QByteArray resultsReply(tftdichip &chip, double *seconds = nullptr)
    {
        if (!chip.fconnected) {
            chip.openDeviceBySerial("PP000042");
            configure(chip);
        }
        const double start = clock->seconds();
        const QByteArray reply = MeterExchange(chip, ResultsCommand(3), 0, *clock);
        if (seconds)
            *seconds = clock->seconds() - start;
        return reply;
    }

private slots:
    void init()
    {
        clock = std::make_unique<VirtualClock>();
        bus = std::make_shared<EmulatorBus>(*clock);
        previous = setftdidll(bus);
    }
    void cleanup()
    {
        setftdidll(previous);
        bus.reset();
    }

    void serialNumberRule_data()
    {
        QTest::addColumn<QByteArray>("serial");
        QTest::addColumn<bool>("meter");
        QTest::newRow("PP123") << QByteArray("PP123") << true;
        QTest::newRow("PP1234567") << QByteArray("PP1234567") << true;
        QTest::newRow("PP12, 4 characters") << QByteArray("PP12") << false;
        QTest::newRow("lower case") << QByteArray("pp123") << false;
        QTest::newRow("PP not first") << QByteArray("XPP123") << false;
        QTest::newRow("empty") << QByteArray() << false;
    }
    void serialNumberRule()
    {
        QFETCH(QByteArray, serial);
        QFETCH(bool, meter);
        QCOMPARE(IsMeterSerial(serial), meter);
        bus->attach(serial);
        tftdichip chip;
        MeterList list;
        QCOMPARE(ScanMeters(chip, list, *clock), meter ? 1 : 0);
        if (meter)
            QCOMPARE(list[0], serial);
        // With no meter found the scan pauses 2 s and looks once more.
        QCOMPARE(bus->enumerations(), meter ? 1 : 2);
        QCOMPARE(clock->nowNs(), meter ? 0 : 2000 * 1000000LL);
    }

    void metersAreListedInOrder()
    {
        for (const char *s : {"AB123", "PP001", "PP002"})
            bus->attach(s);
        tftdichip chip;
        MeterList list;
        list[2] = "EARLIER";
        int processed = 0;
        QCOMPARE(ScanMeters(chip, list, *clock, [&] { ++processed; }), 2);
        QCOMPARE(list[0], QByteArray("PP001"));
        QCOMPARE(list[1], QByteArray("PP002"));
        QCOMPARE(list[2], QByteArray("EARLIER")); // positions past the count keep their texts
        QCOMPARE(bus->enumerations(), 1);
        QCOMPARE(clock->nowNs(), 0);
        QCOMPARE(processed, 3); // once per converter listed
    }

    void meterAttachedDuringThePauseIsFound()
    {
        bus->attach("AB123");
        clock->atMs(1000, [this] { bus->attach("PP777"); });
        tftdichip chip;
        MeterList list;
        QCOMPARE(ScanMeters(chip, list, *clock), 1);
        QCOMPARE(list[0], QByteArray("PP777"));
        QCOMPARE(bus->enumerations(), 2);
        QCOMPARE(clock->seconds(), 2.0);
    }

    void failedEnumerationCountsAsNoConverter()
    {
        bus->attach("PP123");
        bus->failCalls("CreateDeviceInfoList");
        tftdichip chip;
        MeterList list;
        QCOMPARE(ScanMeters(chip, list, *clock), 1); // found by the second enumeration
        QCOMPARE(bus->enumerations(), 2);
    }

    void scanLeavesTheChipClosed()
    {
        bus->attach("PP123");
        tftdichip chip;
        MeterList list;
        QVERIFY(chip.openDeviceBySerial("PP123"));
        QCOMPARE(ScanMeters(chip, list, *clock), 1);
        QVERIFY(!chip.fconnected);
        QVERIFY(!bus->settings("PP123")); // the converter itself is closed
        QCOMPARE(ScanMeters(chip, list, *clock), 1); // a closed chip stays closed
        QVERIFY(!chip.fconnected);
    }

    void moreThanAHundredMeters()
    {
        for (int i = 0; i < 105; ++i)
            bus->attach(QByteArray("PP") + QByteArray::number(1000 + i));
        tftdichip chip;
        MeterList list;
        QCOMPARE(ScanMeters(chip, list, *clock), 100);
        QCOMPARE(list[99], QByteArray("PP1099"));
    }

    void expectedLengthEndsTheWaitAtOnce()
    {
        // 17 identity bytes, then more only after half a second.
        MeterContent content = smallMeter();
        content.identity += QByteArray("EXTRA BYTES");
        content.faults = {MeterFault::pause({ReplySelector::Identity, -1}, 17, 0.5)};
        bus->attach(std::make_shared<MeterEmulator>(content));
        tftdichip chip;
        QVERIFY(chip.openDeviceBySerial("PP000042"));
        configure(chip);
        const QByteArray reply = MeterExchange(chip, IdentityCommand, IdentityReplyLength, *clock);
        QCOMPARE(reply, EncodeIdentity("PH000042", "1.07"));
        // 19 bytes on the line take 1.6 ms; the wait ends with the next poll, well before any
        // silence could have ended it, and the final read follows 10 ms later.
        QVERIFY2(clock->seconds() <= 0.021, qPrintable(QString::number(clock->seconds())));
        // Without the expected length the same meter's reply ends only with the silence.
        clock->sleepMs(1000); // the rest of the first reply comes and goes
        const double start = clock->seconds();
        QCOMPARE(MeterExchange(chip, IdentityCommand, 0, *clock), reply);
        QVERIFY(clock->seconds() - start > 0.1);
    }

    void replyEndsAfterSilence_data()
    {
        QTest::addColumn<double>("gap");
        QTest::addColumn<bool>("whole");
        QTest::newRow("no gap") << 0.0 << true;
        QTest::newRow("gap 0.08 s") << 0.08 << true;
        QTest::newRow("gap 0.099 s") << 0.099 << true;
        QTest::newRow("gap 0.15 s") << 0.15 << false;
        QTest::newRow("gap 0.5 s") << 0.5 << false;
    }
    void replyEndsAfterSilence()
    {
        QFETCH(double, gap);
        QFETCH(bool, whole);
        constexpr int cutAt = 110;
        auto meter = attachMeter({MeterFault::pause({ReplySelector::Results, 3}, cutAt, gap)});
        const QByteArray full = *meter->contentReply(ResultsCommand(3));
        tftdichip chip;
        double seconds = 0;
        const QByteArray reply = resultsReply(chip, &seconds);
        QCOMPARE(reply, whole ? full : full.left(cutAt));
        // The wait ends 0.1 s after the last byte came, give or take the polls, the last
        // chunk's latency and the 10 ms before the final read.
        const double line = double(reply.size() + 3) * 10 / 115200 + (whole ? gap : 0);
        QVERIFY2(seconds > line + 0.1 && seconds < line + 0.1 + 0.03, qPrintable(QString::number(seconds)));
        if (!whole) {
            // The rest comes later and is emptied by the next exchange's purge.
            clock->sleepMs(1000);
            QCOMPARE(MeterExchange(chip, IdentityCommand, IdentityReplyLength, *clock), meter->content().identity);
        }
    }

    void silentMeterAnswersEmptyAfterOneSecond()
    {
        attachMeter({MeterFault::silent()});
        tftdichip chip;
        double seconds = 0;
        QVERIFY(resultsReply(chip, &seconds).isEmpty());
        QVERIFY2(seconds > 1.0 && seconds < 1.03, qPrintable(QString::number(seconds)));
    }

    void failedQueueQueriesBringNoNewBytes_data()
    {
        QTest::addColumn<int>("atMs");     // when the queries start failing
        QTest::addColumn<int>("failures"); // how many fail, 5 ms apart
        QTest::addColumn<bool>("whole");
        QTest::newRow("before any byte came") << 0 << 4 << true;
        QTest::newRow("after bytes came") << 8 << 4 << true;
        // Longer than the silence that ends a reply: the wait ends with what it saw last,
        // and the rest waits on the line, so the reply is not taken as complete.
        QTest::newRow("after bytes came, longer than 0.1 s") << 8 << 25 << false;
    }
    void failedQueueQueriesBringNoNewBytes()
    {
        QFETCH(int, atMs);
        QFETCH(int, failures);
        QFETCH(bool, whole);
        auto meter = attachMeter();
        const QByteArray full = *meter->contentReply(ResultsCommand(3));
        tftdichip chip;
        chip.openDeviceBySerial("PP000042");
        configure(chip);
        const qint64 start = clock->nowNs();
        clock->at(start + atMs * 1000000LL, [&] { bus->failCalls("GetQueueStatus", failures); });
        CheckedExchange line(chip, *clock);
        const QByteArray reply = line.exchange(ResultsCommand(3), 0);
        if (atMs > 0)
            QVERIFY2(reply.size() > 0 && bus->settings("PP000042"), "bytes had come before the failures");
        QCOMPARE(reply == full, whole);
        QVERIFY(full.startsWith(reply));
        QCOMPARE(line.lastReplyComplete(), whole);
    }

    // After a reply, bytes that come before the next command is written belong to it: the
    // next exchange sends nothing and the reply is not taken as complete.
    void lateBytesMakeTheReplyIncomplete_data()
    {
        QTest::addColumn<int>("after");      // bytes before the pause (0: no pause)
        QTest::addColumn<double>("seconds"); // the pause
        QTest::addColumn<bool>("complete");
        QTest::newRow("no pause") << 0 << 0.0 << true;
        QTest::newRow("pause shorter than the silence") << 12 << 0.09 << true;
        QTest::newRow("pause ending before the next command") << 12 << 0.112 << false;
    }
    void lateBytesMakeTheReplyIncomplete()
    {
        QFETCH(int, after);
        QFETCH(double, seconds);
        QFETCH(bool, complete);
        QList<MeterFault> faults;
        if (after > 0)
            faults << MeterFault::pause({ReplySelector::Results, 3}, after, seconds);
        auto meter = attachMeter(faults);
        tftdichip chip;
        chip.openDeviceBySerial("PP000042");
        configure(chip);
        CheckedExchange line(chip, *clock);
        QCOMPARE(line.exchange(IdentityCommand, IdentityReplyLength), meter->content().identity);
        const QByteArray reply = line.exchange(ResultsCommand(3), 0);
        QCOMPARE(reply == *meter->contentReply(ResultsCommand(3)), complete);
        // Back to back: the next command follows at once.
        const QByteArray next = line.exchange(IdentityCommand, IdentityReplyLength);
        QCOMPARE(line.incomplete(), !complete);
        QCOMPARE(next.isEmpty(), !complete);
        QCOMPARE(int(meter->commands().size()), complete ? 3 : 2); // nothing written after it
        QCOMPARE(line.lastReplyComplete(), complete);
    }

    void bytesBeforeTheFirstCommandAreNoReply()
    {
        auto meter = attachMeter();
        tftdichip chip;
        chip.openDeviceBySerial("PP000042");
        configure(chip);
        qint32 written = 0;
        chip.write("I\r", 2, written); // answered before the checked exchanges begin
        clock->sleepMs(50);
        CheckedExchange line(chip, *clock);
        QVERIFY(line.lastReplyComplete());
        QCOMPARE(line.exchange(ResultsCommand(3), 0), *meter->contentReply(ResultsCommand(3)));
        QVERIFY(line.lastReplyComplete());
    }

    void closedConverterGivesAnEmptyReply()
    {
        attachMeter();
        tftdichip chip; // never opened: every call fails
        const QByteArray reply = MeterExchange(chip, IdentityCommand, IdentityReplyLength, *clock);
        QVERIFY(reply.isEmpty());
        QVERIFY(clock->seconds() > 1.0);
    }

    void lineSettingsMatter()
    {
        auto meter = attachMeter();
        tftdichip chip;
        QVERIFY(chip.openDeviceBySerial("PP000042"));
        const auto settings = bus->settings("PP000042");
        QVERIFY(settings);
        QCOMPARE(settings->baudRate, 9600u); // a converter opens at 9600 baud
        // At the wrong rate the meter hears noise and stays silent.
        QVERIFY(MeterExchange(chip, IdentityCommand, IdentityReplyLength, *clock).isEmpty());
        configure(chip);
        const auto configured = bus->settings("PP000042");
        QCOMPARE(configured->baudRate, 115200u);
        QCOMPARE(configured->latency, quint8(2));
        QCOMPARE(configured->inTransferSize, 16u);
        QCOMPARE(configured->readTimeout, 5u);
        QCOMPARE(MeterExchange(chip, IdentityCommand, IdentityReplyLength, *clock), meter->content().identity);
    }
};

QTEST_MAIN(TestMeterLink)
#include "tst_meterlink.moc"
