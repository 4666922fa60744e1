// The meter emulator: its replies byte for byte, its misbehaviour, its pacing on the bus,
// meter files, the demo meter, recording and replay, and the program's choice of bus.

#include "meter/EmulatorBus.h"
#include "meter/FTDIchip.h"
#include "meter/MeterBus.h"
#include "meter/MeterClock.h"
#include "meter/MeterEmulator.h"
#include "meter/MeterLink.h"
#include "meter/MeterProtocol.h"
#include "meter/MeterRecorder.h"

#include <QTemporaryDir>
#include <QtTest>

using namespace arvex::meter;

Q_DECLARE_METATYPE(arvex::meter::MeterFault)

namespace {

QByteArray result(int day, quint16 ph, double celsius)
{
    return EncodeResult(quint32(day), QDateTime(QDate(2023, 3, day), QTime(8, 15, 24)), ph, temperatureWord(celsius));
}

MeterContent threeObjects()
{
    MeterContent m;
    m.identity = EncodeIdentity("PH123456", "2.01");
    m.objects = {{0, "Zero", {result(1, 701, 20.5), result(2, 702, 20.7)}},
                 {12, "Twelve", {result(3, 650, 18.0)}},
                 {13, "Thirteen", {result(4, 820, 25.0), result(5, 821, 25.1), result(6, 822, -1.5)}}};
    return m;
}

QByteArray joined(const QList<ReplySegment> &segments)
{
    QByteArray b;
    for (const ReplySegment &s : segments)
        b += s.bytes;
    return b;
}

QByteArray objectList(const MeterContent &m)
{
    QByteArray b;
    for (const MeterObject &o : m.objects)
        b += EncodeObject(o.number, o.name);
    return b + '*';
}

QByteArray resultsOf(const MeterContent &m, int number)
{
    QByteArray b;
    for (const QByteArray &r : m.object(number)->results)
        b += r;
    return b + '*';
}

} // namespace

class TestEmulator : public QObject {
    Q_OBJECT

private slots:
    void repliesByteForByte_data()
    {
        const MeterContent m = threeObjects();
        QTest::addColumn<QByteArray>("command");
        QTest::addColumn<QByteArray>("reply");
        QTest::newRow("identity") << QByteArray("I") << m.identity;
        QTest::newRow("object list") << QByteArray("L") << objectList(m);
        QTest::newRow("object 0") << QByteArray("M\0", 2) << resultsOf(m, 0);
        QTest::newRow("object 12") << QByteArray("M\x0c") << resultsOf(m, 12);
        QTest::newRow("M then CR: object 13") << QByteArray("M") << resultsOf(m, 13);
        QTest::newRow("unknown object") << QByteArray("M\x05") << QByteArray("*");
        QTest::newRow("unknown letter") << QByteArray("X") << QByteArray();
        QTest::newRow("lower case") << QByteArray("i") << QByteArray();
        QTest::newRow("empty line") << QByteArray() << QByteArray();
        QTest::newRow("two letters") << QByteArray("IL") << QByteArray();
        QTest::newRow("number as text") << QByteArray("M12") << QByteArray();
    }
    void repliesByteForByte()
    {
        QFETCH(QByteArray, command);
        QFETCH(QByteArray, reply);
        MeterEmulator meter(threeObjects());
        QCOMPARE(joined(meter.receive(command + '\r')), reply);
        QCOMPARE(meter.commands(), QList<QByteArray>{command});
    }

    void repliesDecode()
    {
        const MeterContent m = threeObjects();
        MeterEmulator meter(m);
        MeterIdentity id;
        QVERIFY(DecodeIdentity(joined(meter.receive(IdentityCommand)), &id));
        QCOMPARE(id.serial, QStringLiteral("PH123456"));
        QCOMPARE(id.firmware, QStringLiteral("2.01"));
        QList<QByteArray> objects;
        QVERIFY(SplitRecords(joined(meter.receive(ObjectListCommand)), ObjectRecordSize, &objects));
        QCOMPARE(objects.size(), 3);
        QCOMPARE(DecodeObject(objects.at(2)).number, 13);
        QCOMPARE(DecodeObject(objects.at(2)).name, QStringLiteral("Thirteen"));
        QList<QByteArray> results;
        QVERIFY(SplitRecords(joined(meter.receive(ResultsCommand(13))), ResultRecordSize, &results));
        QCOMPARE(results.size(), 3);
        const std::optional<ResultRecord> last = DecodeResult(results.at(2));
        QVERIFY(last);
        QCOMPARE(last->ph, 8.22f);
        QCOMPARE(last->temperature, -1.5f);
        QCOMPARE(last->measured, QDateTime(QDate(2023, 3, 6), QTime(8, 15, 24), Qt::UTC));
    }

    void commandsMaySpanSeveralReads()
    {
        const MeterContent m = threeObjects();
        MeterEmulator meter(m);
        QVERIFY(meter.receive("L").isEmpty());
        const QList<ReplySegment> both = meter.receive("\rI\r");
        QCOMPARE(both.size(), 2);
        QCOMPARE(both.at(0).bytes, objectList(m));
        QCOMPARE(both.at(1).bytes, m.identity);
        QCOMPARE(both.at(1).delaySeconds, m.responseDelay);
        QCOMPARE(meter.commands(), (QList<QByteArray>{"L", "I"}));
    }

    void faults_data()
    {
        const MeterContent m = threeObjects();
        QByteArray wrong = m.identity;
        wrong[4] = 'X';
        QTest::addColumn<MeterFault>("fault");
        QTest::addColumn<QByteArray>("command");
        QTest::addColumn<QByteArray>("reply");
        QTest::newRow("silent") << MeterFault::silent() << QByteArray("I") << QByteArray();
        QTest::newRow("silent on the list only") << MeterFault::silent({ReplySelector::ObjectList, -1}) << QByteArray("I") << m.identity;
        QTest::newRow("wrong identity") << MeterFault::wrongIdentity() << QByteArray("I") << wrong;
        QTest::newRow("wrong identity, list untouched") << MeterFault::wrongIdentity() << QByteArray("L") << objectList(m);
        QTest::newRow("cut list after 30") << MeterFault::cut({ReplySelector::ObjectList, -1}, 30) << QByteArray("L") << objectList(m).left(30);
        QTest::newRow("cut after 0") << MeterFault::cut({}, 0) << QByteArray("I") << QByteArray();
        QTest::newRow("no terminator for 12") << MeterFault::dropTerminatorOf(12) << QByteArray("M\x0c") << resultsOf(m, 12).chopped(1);
        QTest::newRow("terminator kept for 0") << MeterFault::dropTerminatorOf(12) << QByteArray("M\0", 2) << resultsOf(m, 0);
        QTest::newRow("pause keeps the bytes") << MeterFault::pause({ReplySelector::Results, -1}, 11, 0.15) << QByteArray("M") << resultsOf(m, 13);
    }
    void faults()
    {
        QFETCH(MeterFault, fault);
        QFETCH(QByteArray, command);
        QFETCH(QByteArray, reply);
        MeterContent m = threeObjects();
        m.faults = {fault};
        MeterEmulator meter(m);
        QCOMPARE(joined(meter.answer(command)), reply);
    }

    void pauseSplitsTheReply()
    {
        MeterContent m = threeObjects();
        m.faults = {MeterFault::pause({ReplySelector::Results, 13}, 11, 0.15)};
        MeterEmulator meter(m);
        const QList<ReplySegment> segments = meter.answer("M");
        QCOMPARE(segments.size(), 2);
        QCOMPARE(segments.at(0).bytes.size(), 11);
        QCOMPARE(segments.at(1).delaySeconds, 0.15);
        QCOMPARE(meter.answer("M\x0c").size(), 1);
    }

    void garbageIsRefusedByTheDecoders()
    {
        MeterContent m = threeObjects();
        m.faults = {MeterFault::garbage({}, 60)};
        MeterEmulator meter(m);
        for (const QByteArray &command : {QByteArray("I"), QByteArray("L"), QByteArray("M")}) {
            const QByteArray reply = joined(meter.answer(command));
            QCOMPARE(reply.size(), 60);
            QVERIFY(!DecodeIdentity(reply, nullptr));
            QVERIFY(!SplitRecords(reply, ResultRecordSize, nullptr));
            QVERIFY(!SplitRecords(reply, ObjectRecordSize, nullptr));
        }
        // Noise is any byte: the terminator and the identity's letter come too.
        MeterContent long_ = threeObjects();
        long_.faults = {MeterFault::garbage({}, 4096)};
        const QByteArray noise = joined(MeterEmulator(long_).answer("I"));
        QVERIFY(noise.contains(ReplyTerminator));
        QVERIFY(noise.contains('P'));
        // Noise that happens to end with the terminator is still refused by its length.
        MeterContent ending = threeObjects();
        ending.faults = {MeterFault::garbage({}, 23)};
        MeterEmulator endingMeter(ending);
        int endedWithTerminator = 0;
        for (int i = 0; i < 2000; ++i) {
            const QByteArray reply = joined(endingMeter.receive("L\r")); // new noise each time
            if (reply.endsWith(ReplyTerminator)) {
                ++endedWithTerminator;
                QVERIFY(!SplitRecords(reply, ObjectRecordSize, nullptr));
            }
        }
        QVERIFY(endedWithTerminator > 0);
        QVERIFY(meter.answer("X").isEmpty()); // unknown commands stay unanswered
    }

    void bytesArriveAtTheLineRateInChunks_data()
    {
        QTest::addColumn<quint32>("transferSize");
        QTest::addColumn<int>("latency");
        QTest::addColumn<int>("payload");
        QTest::addColumn<bool>("full"); // whether a chunk fills before the latency timer runs out
        QTest::newRow("transfer 16, latency 2 ms") << 16u << 2 << 14 << true;
        QTest::newRow("transfer 64, latency 2 ms") << 64u << 2 << 62 << false;
        QTest::newRow("driver defaults") << 4096u << 16 << 3968 << false;
    }
    void bytesArriveAtTheLineRateInChunks()
    {
        QFETCH(quint32, transferSize);
        QFETCH(int, latency);
        QFETCH(int, payload);
        QFETCH(bool, full);
        MeterContent m = threeObjects();
        m.responseDelay = 0;
        MeterObject big{7, "Big", {}};
        for (int i = 0; i < 40; ++i)
            big.results.append(result(1 + i % 28, quint16(600 + i), 20.0));
        m.objects.append(big);
        const QByteArray reply = resultsOf(m, 7); // 441 bytes
        VirtualClock clock;
        EmulatorBus bus(clock);
        bus.attach(std::make_shared<MeterEmulator>(m));
        FT_HANDLE h = 0;
        QCOMPARE(bus.OpenEx(m.converterSerial.constData(), FT_OPEN_BY_SERIAL_NUMBER, &h), FT_STATUS(FT_OK));
        QCOMPARE(bus.SetBaudRate(h, 115200), FT_STATUS(FT_OK));
        QCOMPARE(bus.SetLatencyTimer(h, quint8(latency)), FT_STATUS(FT_OK));
        QCOMPARE(bus.SetUSBParameters(h, transferSize, transferSize), FT_STATUS(FT_OK));
        quint32 written = 0;
        QCOMPARE(bus.Write(h, "M\x07\r", 3, &written), FT_STATUS(FT_OK));

        const double byteTime = 10.0 / 115200;
        const double firstArrival = 4 * byteTime; // the 3 command bytes go out, then the first reply byte
        const double lastArrival = (3 + reply.size()) * byteTime;
        quint32 previous = 0;
        QList<quint32> steps;
        double complete = -1;
        for (int tick = 0; tick < 2000 && complete < 0; ++tick) { // every 50 µs
            clock.sleepNs(50000);
            quint32 n = 0;
            QCOMPARE(bus.GetQueueStatus(h, &n), FT_STATUS(FT_OK));
            const double t = clock.seconds();
            QVERIFY2(n <= quint32(std::max(0.0, (t - 3 * byteTime) / byteTime)), "faster than the line");
            if (n > previous) {
                if (previous == 0 && qint64(n) < reply.size())
                    QVERIFY2(t >= firstArrival + (n == quint32(payload) ? (payload - 1) * byteTime : latency / 1000.0) - 1e-9,
                             "a chunk came before it was full or its latency had passed");
                steps.append(n - previous);
                previous = n;
            }
            if (qint64(n) == reply.size())
                complete = t;
        }
        QVERIFY(complete > 0);
        QVERIFY(complete <= lastArrival + latency / 1000.0 + 1e-4);
        const double perLatency = latency / 1000.0 / byteTime; // bytes the line brings in one latency period
        for (int i = 0; i < steps.size(); ++i) {
            QVERIFY(steps.at(i) <= quint32(payload));
            if (i + 1 == steps.size())
                break;
            if (full)
                QCOMPARE(steps.at(i), quint32(payload));
            else
                QVERIFY2(std::abs(double(steps.at(i)) - perLatency) <= 1.5, qPrintable(QString::number(steps.at(i))));
        }
        QByteArray got(int(reply.size()), '\0');
        quint32 read = 0;
        QCOMPARE(bus.Read(h, got.data(), quint32(got.size()), &read), FT_STATUS(FT_OK));
        QCOMPARE(got, reply);
    }

    void meterFileRoundTrip()
    {
        QTemporaryDir dir;
        MeterContent m = demoMeter();
        m.objects.first().results.append(QByteArray::fromHex("0102030000000000000000")); // a date the meter cannot hold
        m.objects.first().name = QByteArray("\xA3\xF3\x64\xBC", 4); // not ASCII: kept as hex
        m.faults = {MeterFault::dropTerminatorOf(4), MeterFault::pause({ReplySelector::ObjectList, -1}, 25, 0.2)};
        m.exchanges = {{"I\r", m.identity, 0.5}};
        const QString path = dir.filePath(QStringLiteral("meter.json"));
        writeMeterFile(m, path);
        const MeterContent back = readMeterFile(path);
        QCOMPARE(back.identity, m.identity);
        QCOMPARE(back.converterSerial, m.converterSerial);
        QCOMPARE(back.objects.size(), m.objects.size());
        for (int i = 0; i < m.objects.size(); ++i) {
            QCOMPARE(back.objects.at(i).number, m.objects.at(i).number);
            QCOMPARE(back.objects.at(i).name, m.objects.at(i).name);
            QCOMPARE(back.objects.at(i).results, m.objects.at(i).results);
        }
        QCOMPARE(back.faults.size(), 2);
        QCOMPARE(back.faults.at(1).reply.which, ReplySelector::ObjectList);
        QCOMPARE(back.faults.at(1).seconds, 0.2);
        QCOMPARE(back.exchanges.size(), 1);
        QCOMPARE(back.exchanges.at(0).reply, m.identity);
    }

    void handWrittenMeterFile()
    {
        const MeterContent m = parseMeterJson(R"({
            "converter": {"serial": "PP555001"},
            "identity": {"serial": "PH555001", "firmware": "3.10"},
            "objects": [
                {"number": 13, "name": "Lake", "results": [
                    {"time": "2024-02-29T23:59:58", "ph": 7.05, "temperature": 4.5, "flag": 1, "leading": 197121},
                    {"hex": "01 02 03 00 00 00 00 bc 02 fa 00"}
                ]},
                {"number": 2, "nameHex": "4e6f"}
            ],
            "faults": [{"kind": "dropTerminator", "reply": "results:2"}, {"kind": "pause", "reply": "objects", "bytes": 25}]
        })", QStringLiteral("inline"));
        QCOMPARE(m.converterSerial, QByteArray("PP555001"));
        QCOMPARE(m.identity, EncodeIdentity("PH555001", "3.10"));
        QCOMPARE(m.objects.size(), 2);
        const std::optional<ResultRecord> r = DecodeResult(m.objects.at(0).results.at(0));
        QVERIFY(r);
        QCOMPARE(r->measured, QDateTime(QDate(2024, 2, 29), QTime(23, 59, 58), Qt::UTC));
        QCOMPARE(r->ph, 7.05f);
        QCOMPARE(r->temperature, 4.5f);
        QCOMPARE(r->flag, 1);
        QCOMPARE(r->leading, 197121u);
        QCOMPARE(m.objects.at(0).results.at(1), QByteArray::fromHex("01020300000000bc02fa00"));
        QCOMPARE(m.objects.at(1).name, QByteArray("No"));
        QCOMPARE(m.faults.at(0).reply.object, 2);
        QCOMPARE(m.faults.at(1).seconds, 0.15); // the pause a fault gets unless told
    }

    void meterFileTimesCarryNoZone()
    {
        // Run in a zone with daylight saving as well: the spring gap and the repeated autumn
        // hour come back with the fields written in the file.
        const MeterContent m = parseMeterJson(R"({"objects": [{"number": 1, "name": "A", "results": [
            {"time": "2023-03-26T02:30:00", "ph": 7, "temperature": 20},
            {"time": "2023-10-29T02:30:00", "ph": 7, "temperature": 20}]}]})", QStringLiteral("inline"));
        for (int i = 0; i < 2; ++i) {
            const std::optional<ResultRecord> r = DecodeResult(m.objects.at(0).results.at(i));
            QVERIFY(r);
            QCOMPARE(r->measured.time(), QTime(2, 30));
            QCOMPARE(r->measured.date(), i == 0 ? QDate(2023, 3, 26) : QDate(2023, 10, 29));
        }
    }

    void badMeterFiles_data()
    {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<QString>("message");
        QTest::newRow("not JSON") << QByteArray("{\"objects\": [") << "not valid JSON";
        QTest::newRow("a list") << QByteArray("[]") << "one JSON object";
        QTest::newRow("unknown field") << QByteArray(R"({"object": []})") << "unknown field \"object\"";
        QTest::newRow("name too long") << QByteArray(R"({"objects": [{"number": 1, "name": "ABCDEFGHIJKLMNOPQRSTU"}]})")
                                       << "objects[0].name: is 21 bytes long; at most 20 fit";
        QTest::newRow("number twice") << QByteArray(R"({"objects": [{"number": 1, "name": "A"}, {"number": 1, "name": "B"}]})")
                                      << "objects[1].number: object 1 is listed twice";
        QTest::newRow("number 256") << QByteArray(R"({"objects": [{"number": 256, "name": "A"}]})") << "objects[0].number: 256 is outside 0 to 255";
        QTest::newRow("odd seconds") << QByteArray(R"({"objects": [{"number": 1, "name": "A", "results": [{"time": "2023-01-01T10:00:01", "ph": 7, "temperature": 20}]}]})")
                                     << "objects[0].results[0].time: the meter stores times in steps of 2 seconds";
        QTest::newRow("year 1998") << QByteArray(R"({"objects": [{"number": 1, "name": "A", "results": [{"time": "1998-01-01T10:00:00", "ph": 7, "temperature": 20}]}]})")
                                   << "years 1999 to 2126";
        QTest::newRow("not a time") << QByteArray(R"({"objects": [{"number": 1, "name": "A", "results": [{"time": "yesterday", "ph": 7, "temperature": 20}]}]})")
                                    << "\"yesterday\" is not a date and time";
        QTest::newRow("pH too high") << QByteArray(R"({"objects": [{"number": 1, "name": "A", "results": [{"time": "2023-01-01T10:00:00", "ph": 700, "temperature": 20}]}]})")
                                     << "results[0].ph: 700 is outside 0 to 655.35";
        QTest::newRow("pH missing") << QByteArray(R"({"objects": [{"number": 1, "name": "A", "results": [{"time": "2023-01-01T10:00:00", "temperature": 20}]}]})")
                                    << "\"ph\" is missing";
        QTest::newRow("short record") << QByteArray(R"({"objects": [{"number": 1, "name": "A", "results": [{"hex": "0102"}]}]})")
                                      << "a result record is 11 bytes, not 2";
        QTest::newRow("bad hex") << QByteArray(R"({"identity": {"hex": "5g"}})") << "identity.hex: must be pairs of hexadecimal digits";
        QTest::newRow("identity serial") << QByteArray(R"({"identity": {"serial": "XX123456", "firmware": "1.00"}})") << "must begin with \"PH\"";
        QTest::newRow("fault kind") << QByteArray(R"({"faults": [{"kind": "explode"}]})") << "faults[0].kind: \"explode\" is none of";
        QTest::newRow("fault target") << QByteArray(R"({"faults": [{"kind": "silent", "reply": "results:x"}]})") << "faults[0].reply";
        QTest::newRow("cut without bytes") << QByteArray(R"({"faults": [{"kind": "cut"}]})") << "faults[0]: \"bytes\" is missing";
    }
    void badMeterFiles()
    {
        QFETCH(QByteArray, json);
        QFETCH(QString, message);
        try {
            parseMeterJson(json, QStringLiteral("m.json"));
            QFAIL("accepted");
        } catch (const MeterFileError &e) {
            QVERIFY2(e.text().startsWith(QStringLiteral("Meter file \"m.json\"")), qPrintable(e.text()));
            QVERIFY2(e.text().contains(message), qPrintable(e.text()));
        }
    }

    void missingMeterFile()
    {
        try {
            readMeterFile(QStringLiteral("/nonexistent/meter.json"));
            QFAIL("accepted");
        } catch (const MeterFileError &e) {
            QVERIFY2(e.text().contains(QStringLiteral("\"/nonexistent/meter.json\" cannot be read")), qPrintable(e.text()));
        }
    }

    void longRepliesInHex()
    {
        // A recorded reply of 3,000 results: 66,000 hexadecimal digits.
        MeterContent m = threeObjects();
        QByteArray reply;
        for (int i = 0; i < 3000; ++i)
            reply += result(1 + i % 28, quint16(600 + i % 300), 20.0);
        reply += '*';
        m.exchanges = {{ResultsCommand(0), reply, 0.5}};
        QTemporaryDir dir;
        const QString path = dir.filePath("long.json");
        writeMeterFile(m, path);
        const MeterContent back = readMeterFile(path);
        QCOMPARE(back.exchanges.size(), 1);
        QCOMPARE(back.exchanges.at(0).reply, reply);
        // Spaces between the pairs are allowed; an odd digit or another character is not.
        for (const QByteArray &hex : {QByteArray("4d 00 0d"), QByteArray("4d000"), QByteArray("4d0g0d")}) {
            const QByteArray json = "{\"exchanges\": [{\"command\": \"" + hex + "\"}]}";
            try {
                QCOMPARE(parseMeterJson(json, "inline").exchanges.at(0).command, QByteArray("M\0\r", 3));
                QCOMPARE(hex, QByteArray("4d 00 0d"));
            } catch (const MeterFileError &e) {
                QVERIFY2(hex != "4d 00 0d", qPrintable(e.text()));
                QVERIFY(e.text().contains("must be pairs of hexadecimal digits"));
            }
        }
    }

    void meterFileSizeIsLimited()
    {
        // A device without end is read up to the limit, and the message names it.
        try {
            readMeterFile("/dev/zero");
            QFAIL("/dev/zero was taken as a meter file");
        } catch (const MeterFileError &e) {
            QVERIFY2(e.text().contains("/dev/zero") && e.text().contains("64 MiB"), qPrintable(e.text()));
        }
    }

    void captureIsWrittenAsItGoes()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("capture.json");
        VirtualClock clock;
        auto bus = std::make_shared<EmulatorBus>(clock);
        MeterContent m = threeObjects();
        bus->attach(std::make_shared<MeterEmulator>(m));
        auto recorder = std::make_shared<MeterRecorder>(bus, clock);
        recorder->writeAsItGoes(path);
        QCOMPARE(readMeterFile(path).exchanges.size(), 0);
        const std::shared_ptr<tftdidll> previous = setftdidll(recorder);
        tftdichip chip;
        QVERIFY(chip.openDeviceBySerial(m.converterSerial));
        ConfigureMeterLine(chip);
        QCOMPARE(readMeterFile(path).converterSerial, m.converterSerial);
        QList<QByteArray> commands = {IdentityCommand, ObjectListCommand, ResultsCommand(13)};
        for (int i = 0; i < commands.size(); ++i) {
            const QByteArray reply = MeterExchange(chip, commands.at(i), 0, clock);
            // After each exchange the file is a whole meter file holding it.
            const MeterContent now = readMeterFile(path);
            QCOMPARE(now.exchanges.size(), i + 1);
            QCOMPARE(now.exchanges.last().command, commands.at(i));
            QCOMPARE(now.exchanges.last().reply, reply);
        }
        QVERIFY(recorder->writeError().isEmpty());
        chip.closeDevice();
        setftdidll(previous);
        // Replayed, it answers as the meter did.
        MeterEmulator replay(readMeterFile(path));
        QCOMPARE(joined(replay.answer("M")), resultsOf(m, 13));

        // A file that cannot be written at all is refused at once.
        for (const QString &bad : {dir.filePath("missing/capture.json"), QString("/dev/full")}) {
            MeterRecorder r(bus, clock);
            try {
                r.writeAsItGoes(bad);
                QFAIL(qPrintable(bad + " was taken"));
            } catch (const MeterFileError &e) {
                QVERIFY2(e.text().contains(bad), qPrintable(e.text()));
            }
        }
    }

    void demoMeterLooksReal()
    {
        const MeterContent m = demoMeter();
        QVERIFY(m.objects.size() >= 5);
        QVERIFY(m.object(13) != nullptr); // the two-byte results command gets used
        QVERIFY(m.resultCount() >= 300 && m.resultCount() < 1000);
        QVERIFY(IsMeterSerial(m.converterSerial));
        QVERIFY(DecodeIdentity(m.identity, nullptr));
        QDateTime first, last;
        for (const MeterObject &o : m.objects) {
            QVERIFY(!o.name.isEmpty() && o.name.size() <= 20);
            for (const QByteArray &rec : o.results) {
                const std::optional<ResultRecord> r = DecodeResult(rec);
                QVERIFY(r);
                QVERIFY2(r->ph >= 4.0f && r->ph <= 10.0f, qPrintable(QString::number(r->ph)));
                QVERIFY2(r->temperature >= 2.0f && r->temperature <= 35.0f, qPrintable(QString::number(r->temperature)));
                if (!first.isValid() || r->measured < first)
                    first = r->measured;
                if (!last.isValid() || r->measured > last)
                    last = r->measured;
            }
        }
        QVERIFY(first.daysTo(last) > 90);
        QCOMPARE(meterJson(demoMeter()), meterJson(m)); // always the same meter
    }

    void recordingReplays()
    {
        VirtualClock clock;
        auto bus = std::make_shared<EmulatorBus>(clock);
        bus->attach(std::make_shared<MeterEmulator>(demoMeter()));
        const std::shared_ptr<tftdidll> previous = setftdidll(bus);
        auto recorder = std::make_shared<MeterRecorder>(installedftdidll(), clock);
        setftdidll(recorder);
        auto session = [&clock](QList<QByteArray> *replies) {
            tftdichip chip;
            MeterList list;
            QCOMPARE(ScanMeters(chip, list, clock), 1);
            QVERIFY(chip.openDeviceBySerial(list[0]));
            chip.setBaudRate(fBaud115200);
            chip.setTimeouts(5, 5);
            replies->append(MeterExchange(chip, IdentityCommand, IdentityReplyLength, clock));
            replies->append(MeterExchange(chip, ObjectListCommand, 0, clock));
            for (int n : {1, 13, 99})
                replies->append(MeterExchange(chip, ResultsCommand(n), 0, clock));
            chip.closeDevice();
        };
        QList<QByteArray> original;
        session(&original);
        QVERIFY(DecodeIdentity(original.at(0), nullptr));
        QCOMPARE(original.at(4), QByteArray("*"));

        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("capture.json"));
        recorder->save(path);
        MeterContent replayed = readMeterFile(path);
        QCOMPARE(replayed.exchanges.size(), 5);
        QCOMPARE(replayed.exchanges.at(2).command, ResultsCommand(1));
        QVERIFY(replayed.objects.isEmpty()); // the replies come from the recording alone
        QCOMPARE(replayed.converterSerial, demoMeter().converterSerial);

        auto replay = std::make_shared<EmulatorBus>(clock);
        replay->attach(std::make_shared<MeterEmulator>(replayed));
        setftdidll(replay);
        QList<QByteArray> again;
        session(&again);
        QCOMPARE(again, original);
        setftdidll(previous);
    }

    void busChoice_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<bool>("emulate");
        QTest::addColumn<QString>("file");
        QTest::newRow("none") << QStringList{"arvex-ph"} << false << QString();
        QTest::newRow("demo") << QStringList{"arvex-ph", "--emulate-meter"} << true << QString();
        QTest::newRow("file") << QStringList{"arvex-ph", "--emulate-meter=/tmp/m.json"} << true << "/tmp/m.json";
        QTest::newRow("last one counts") << QStringList{"arvex-ph", "--emulate-meter=a.json", "--emulate-meter"} << true << QString();
        QTest::newRow("other option") << QStringList{"arvex-ph", "--emulate-meters"} << false << QString();
        QTest::newRow("program name is no option") << QStringList{"--emulate-meter"} << false << QString();
        QTest::newRow("= without a name") << QStringList{"arvex-ph", "--emulate-meter="} << true << QString();
    }
    void busChoice()
    {
        QFETCH(QStringList, arguments);
        QFETCH(bool, emulate);
        QFETCH(QString, file);
        const MeterBusChoice c = parseMeterBusChoice(arguments);
        QCOMPARE(c.emulate, emulate);
        QCOMPARE(c.file, file);
        // "=" with no name is refused, never taken for the demo meter.
        if (!file.isEmpty())
            return; // (no such file here)
        const std::shared_ptr<tftdidll> previous = installedftdidll();
        QString error;
        const bool installed = installMeterBus(arguments, &error);
        setftdidll(previous);
        QCOMPARE(installed, arguments.last() != "--emulate-meter=");
        if (!installed)
            QVERIFY2(error.contains("needs the name of a meter file"), qPrintable(error));
    }

    void installedBusShowsTheMeter()
    {
        const std::shared_ptr<tftdidll> previous = setftdidll(nullptr);
        QString error;
        QVERIFY(!installMeterBus({"arvex-ph", "--emulate-meter=/nonexistent/m.json"}, &error));
        QVERIFY2(error.contains(QStringLiteral("/nonexistent/m.json")), qPrintable(error));

        QVERIFY(installMeterBus({"arvex-ph", "--emulate-meter"}, &error));
        VirtualClock clock;
        tftdichip chip;
        MeterList list;
        QCOMPARE(ScanMeters(chip, list, clock), 1);
        QCOMPARE(list[0], demoMeter().converterSerial);
        setftdidll(previous);
    }
};

QTEST_MAIN(TestEmulator)
#include "tst_emulator.moc"
