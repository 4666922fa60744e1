// The serial-converter implementation end to end: an emulated meter behind a pseudo-terminal,
// listed as a converter with a "PP" serial number, exchanged with in real time at 115200 baud.

#include "meter/FTDIchip.h"
#include "meter/MeterClock.h"
#include "meter/MeterLink.h"
#include "meter/MeterProtocol.h"
#include "meter/MeterPty.h"
#include "meter/SerialConverters.h"

#include <QElapsedTimer>
#include <QtTest>

using namespace arvex::meter;

namespace {

MeterContent ptyMeter()
{
    MeterContent m;
    m.identity = EncodeIdentity("PH424242", "1.07");
    const int numbers[] = {0, 7, 13};
    for (int k = 0; k < 3; ++k) {
        MeterObject o;
        o.number = numbers[k];
        o.name = QByteArray("Place ") + QByteArray::number(numbers[k]);
        for (int i = 0; i < 12 + 10 * k; ++i)
            o.results.append(EncodeResult(quint32(100 * k + i), QDateTime(QDate(2023, 1 + k, 1 + i), QTime(10, 2 * i, 4)),
                                          quint16(650 + 7 * i), temperatureWord(18.0 + 0.1 * i, i % 2)));
        m.objects.append(o);
    }
    return m;
}

} // namespace

class TestSerialPty : public QObject {
    Q_OBJECT

    std::shared_ptr<SerialConverters> serial;
    std::shared_ptr<tftdidll> previous;

private slots:
    void init()
    {
        serial = std::make_shared<SerialConverters>();
        serial->setSystemPortsListed(false); // only the ports this test lists
        previous = setftdidll(serial);
    }
    void cleanup()
    {
        setftdidll(previous);
        serial.reset();
    }

    void meterBehindAPseudoTerminal()
    {
        const MeterContent content = ptyMeter();
        MeterPty pty(std::make_shared<MeterEmulator>(content));
        QString error;
        QVERIFY2(pty.start(&error), qPrintable(error));
        serial->addPort(pty.path(), "PP424242", "pty meter");
        RealClock clock;

        tftdichip chip;
        MeterList list;
        QCOMPARE(ScanMeters(chip, list, clock), 1);
        QCOMPARE(list[0], QByteArray("PP424242"));

        QVERIFY2(chip.openDeviceBySerial(list[0]), qPrintable(FT_LastErrorText()));
        fDevice device;
        quint16 pid = 0, vid = 0;
        QByteArray serialNumber, description;
        QVERIFY(chip.getDeviceInfo(device, pid, vid, serialNumber, description));
        QCOMPARE(serialNumber, QByteArray("PP424242"));
        QVERIFY(chip.resetDevice());
        QVERIFY(chip.setBaudRate(fBaud115200));
        QVERIFY(chip.setDataCharacteristics(fBits8, fStopBits1, fParityNone));
        QVERIFY(chip.setLatencyTimer(2)); // a terminal has no latency timer: accepted
        QCOMPARE(FT_SetUSBParameters(chip.fhandle, 16, 16), FT_STATUS(FT_OK));
        QVERIFY(chip.setFlowControl(fFlowNone, 0, 0));
        QVERIFY(chip.setTimeouts(5, 5));

        QElapsedTimer timer;
        timer.start();
        const QByteArray identity = MeterExchange(chip, IdentityCommand, IdentityReplyLength, clock);
        QVERIFY2(timer.elapsed() < 100, "the expected length ends the wait without the silence");
        MeterIdentity id;
        QVERIFY2(DecodeIdentity(identity, &id), identity.toHex().constData());
        QCOMPARE(id.serial, QStringLiteral("PH424242"));
        QCOMPARE(id.firmware, QStringLiteral("1.07"));

        QList<QByteArray> objects;
        QVERIFY(SplitRecords(MeterExchange(chip, ObjectListCommand, 0, clock), ObjectRecordSize, &objects));
        QCOMPARE(objects.size(), content.objects.size());
        for (int i = 0; i < objects.size(); ++i) {
            const ObjectRecord o = DecodeObject(objects.at(i));
            QCOMPARE(o.number, content.objects.at(i).number);
            QCOMPARE(o.name.toLatin1(), content.objects.at(i).name);
            QList<QByteArray> results;
            QVERIFY(SplitRecords(MeterExchange(chip, ResultsCommand(o.number), 0, clock), ResultRecordSize, &results));
            QCOMPARE(results, content.objects.at(i).results);
        }
        // An object the meter does not hold: the terminator alone.
        QCOMPARE(MeterExchange(chip, ResultsCommand(99), 0, clock), QByteArray("*"));

        // At another rate the meter does not understand the command: an empty reply after 1 s.
        QVERIFY(chip.setBaudRate(fBaud9600));
        timer.restart();
        QVERIFY(MeterExchange(chip, IdentityCommand, IdentityReplyLength, clock).isEmpty());
        QVERIFY(timer.elapsed() >= 1000);
        chip.closeDevice();
        pty.stop();
        QCOMPARE(pty.meter().commands().size(), 6); // the last one never reached it
    }

    void listedButNotOpenableKeepsTheReason()
    {
        serial->addPort(QStringLiteral("/nonexistent/ttyUSB9"), "PP999999");
        tftdichip chip;
        MeterList list;
        RealClock clock;
        QCOMPARE(ScanMeters(chip, list, clock), 1);
        QVERIFY(!chip.openDeviceBySerial("PP999999"));
        QVERIFY(!chip.fconnected);
        const QString why = FT_LastErrorText();
        QVERIFY2(why.startsWith(QStringLiteral("/nonexistent/ttyUSB9: ")) && why.size() > 22, qPrintable(why));
        QVERIFY(!chip.openDeviceBySerial("PP000000"));
        QVERIFY2(FT_LastErrorText().contains(QStringLiteral("PP000000")), qPrintable(FT_LastErrorText()));
    }
};

QTEST_MAIN(TestSerialPty)
#include "tst_serialpty.moc"
