// The USB layer against a recording fake of the D2XX table: what reaches the library, the
// misuse exceptions, the device list, event delivery and the registry.

#include "meter/FTDIchip.h"
#include "meter/FTDIdll.h"
#include "meter/FTDIthread.h"
#include "meter/bsearchtree.h"

#include <QMutex>
#include <QThread>
#include <QtTest>
#include <cstring>

Q_DECLARE_METATYPE(std::function<bool(tftdichip &)>)
Q_DECLARE_METATYPE(std::function<void(tftdichip &)>)

namespace {

// Records every call as text ("SetBaudRate 115200") and answers from its fields.
class RecordingDll final : public tftdidll {
public:
    QStringList calls;
    QHash<QString, FT_STATUS> status; // by call name; FT_OK when absent
    QList<QByteArray> serials;        // the attached converters
    FT_HANDLE handle = 7;
    quint32 rx = 0, tx = 0, events = 0, modem = 0;
    quint32 deviceType = 5, deviceId = 0x04036001;
    mutable QMutex mutex;

    QStringList recorded() const
    {
        QMutexLocker l(&mutex);
        return calls;
    }
    int count(const QString &prefix) const
    {
        QMutexLocker l(&mutex);
        return int(std::count_if(calls.begin(), calls.end(), [&](const QString &c) { return c.startsWith(prefix); }));
    }

    FT_STATUS CreateDeviceInfoList(quint32 *n) override
    {
        *n = quint32(serials.size());
        return call(QStringLiteral("CreateDeviceInfoList"));
    }
    FT_STATUS GetDeviceInfoList(ftdiDeviceNode *list, quint32 *n) override
    {
        for (quint32 i = 0; i < *n && i < quint32(serials.size()); ++i)
            std::strncpy(list[i].serialNumber, serials.at(int(i)).constData(), 15);
        return call(QStringLiteral("GetDeviceInfoList %1").arg(*n));
    }
    FT_STATUS OpenEx(const char *arg, quint32 flags, FT_HANDLE *h) override
    {
        const FT_STATUS s = call(QStringLiteral("OpenEx %1 %2").arg(QLatin1String(arg)).arg(flags));
        if (s == FT_OK)
            *h = handle;
        return s;
    }
    FT_STATUS Close(FT_HANDLE h) override { return call(QStringLiteral("Close %1").arg(h)); }
    FT_STATUS ResetDevice(FT_HANDLE h) override { return call(QStringLiteral("ResetDevice %1").arg(h)); }
    FT_STATUS SetBaudRate(FT_HANDLE, quint32 b) override { return call(QStringLiteral("SetBaudRate %1").arg(b)); }
    FT_STATUS SetDataCharacteristics(FT_HANDLE, quint8 w, quint8 s, quint8 p) override
    {
        return call(QStringLiteral("SetDataCharacteristics %1 %2 %3").arg(w).arg(s).arg(p));
    }
    FT_STATUS SetLatencyTimer(FT_HANDLE, quint8 ms) override { return call(QStringLiteral("SetLatencyTimer %1").arg(ms)); }
    FT_STATUS SetUSBParameters(FT_HANDLE, quint32 i, quint32 o) override
    {
        return call(QStringLiteral("SetUSBParameters %1 %2").arg(i).arg(o));
    }
    FT_STATUS SetFlowControl(FT_HANDLE, quint16 m, quint8 on, quint8 off) override
    {
        return call(QStringLiteral("SetFlowControl 0x%1 %2 %3").arg(m, 4, 16, QLatin1Char('0')).arg(on).arg(off));
    }
    FT_STATUS SetTimeouts(FT_HANDLE, quint32 r, quint32 w) override { return call(QStringLiteral("SetTimeouts %1 %2").arg(r).arg(w)); }
    FT_STATUS Purge(FT_HANDLE, quint32 mask) override { return call(QStringLiteral("Purge %1").arg(mask)); }
    FT_STATUS Write(FT_HANDLE, const void *b, quint32 n, quint32 *w) override
    {
        *w = n;
        return call(QStringLiteral("Write %1").arg(QString::fromLatin1(QByteArray(static_cast<const char *>(b), n).toHex())));
    }
    FT_STATUS Read(FT_HANDLE, void *, quint32 n, quint32 *r) override
    {
        *r = 0;
        return call(QStringLiteral("Read %1").arg(n));
    }
    FT_STATUS GetQueueStatus(FT_HANDLE, quint32 *n) override
    {
        {
            QMutexLocker l(&mutex);
            *n = rx;
        }
        return call(QStringLiteral("GetQueueStatus"));
    }
    FT_STATUS GetStatus(FT_HANDLE, quint32 *r, quint32 *t, quint32 *e) override
    {
        {
            QMutexLocker l(&mutex);
            *r = rx;
            *t = tx;
            *e = events;
        }
        return call(QStringLiteral("GetStatus"));
    }
    FT_STATUS GetModemStatus(FT_HANDLE, quint32 *m) override
    {
        *m = modem;
        return call(QStringLiteral("GetModemStatus"));
    }
    FT_STATUS SetDtr(FT_HANDLE) override { return call(QStringLiteral("SetDtr")); }
    FT_STATUS ClrDtr(FT_HANDLE) override { return call(QStringLiteral("ClrDtr")); }
    FT_STATUS SetRts(FT_HANDLE) override { return call(QStringLiteral("SetRts")); }
    FT_STATUS ClrRts(FT_HANDLE) override { return call(QStringLiteral("ClrRts")); }
    FT_STATUS CyclePort(FT_HANDLE) override { return call(QStringLiteral("CyclePort")); }
    FT_STATUS GetDeviceInfo(FT_HANDLE, quint32 *type, quint32 *id, char *serial, char *description, void *) override
    {
        *type = deviceType;
        *id = deviceId;
        std::memset(serial, 'S', 16); // a full buffer: the layer ends it itself
        std::strcpy(description, "FT232R USB UART");
        return call(QStringLiteral("GetDeviceInfo"));
    }
    FT_STATUS SetEventNotification(FT_HANDLE, quint32 mask, const FtdiEventHandle &) override
    {
        return call(QStringLiteral("SetEventNotification %1").arg(mask));
    }

private:
    FT_STATUS call(const QString &text)
    {
        QMutexLocker l(&mutex);
        calls.append(text);
        return status.value(text.section(QLatin1Char(' '), 0, 0), FT_OK);
    }
};

QString raised(const std::function<void()> &f)
{
    try {
        f();
    } catch (const std::runtime_error &e) {
        return QString::fromUtf8(e.what());
    }
    return QString();
}

} // namespace

class TestFtdiChip : public QObject {
    Q_OBJECT

    std::shared_ptr<RecordingDll> dll;
    std::shared_ptr<tftdidll> previous;

private slots:
    void init()
    {
        dll = std::make_shared<RecordingDll>();
        previous = setftdidll(dll);
    }
    void cleanup() { setftdidll(previous); }

    void valuesReachTheLibrary_data()
    {
        QTest::addColumn<std::function<bool(tftdichip &)>>("call");
        QTest::addColumn<QString>("expected");
        using F = std::function<bool(tftdichip &)>;
        QTest::newRow("115200") << F([](tftdichip &c) { return c.setBaudRate(fBaud115200); }) << "SetBaudRate 115200";
        QTest::newRow("921600") << F([](tftdichip &c) { return c.setBaudRate(fBaud921600); }) << "SetBaudRate 921600";
        QTest::newRow("300") << F([](tftdichip &c) { return c.setBaudRate(fBaud300); }) << "SetBaudRate 300";
        QTest::newRow("14400") << F([](tftdichip &c) { return c.setBaudRate(fBaud14400); }) << "SetBaudRate 14400";
        QTest::newRow("rate passed unchanged") << F([](tftdichip &c) { return c.setBaudRateEx(250000); }) << "SetBaudRate 250000";
        QTest::newRow("8N1") << F([](tftdichip &c) { return c.setDataCharacteristics(fBits8, fStopBits1, fParityNone); })
                             << "SetDataCharacteristics 8 0 0";
        QTest::newRow("7E2") << F([](tftdichip &c) { return c.setDataCharacteristics(fBits7, fStopBits2, fParityEven); })
                             << "SetDataCharacteristics 7 2 2";
        QTest::newRow("space parity") << F([](tftdichip &c) { return c.setDataCharacteristics(fBits8, fStopBits1, fParitySpace); })
                                      << "SetDataCharacteristics 8 0 4";
        QTest::newRow("purge receive") << F([](tftdichip &c) { return c.purgeQueue(fReceiveQueue); }) << "Purge 1";
        QTest::newRow("purge send") << F([](tftdichip &c) { return c.purgeQueue(fSendQueue); }) << "Purge 2";
        QTest::newRow("purge all") << F([](tftdichip &c) { return c.purgeQueue(fAll); }) << "Purge 3";
        QTest::newRow("no flow") << F([](tftdichip &c) { return c.setFlowControl(fFlowNone, 0, 0); }) << "SetFlowControl 0x0000 0 0";
        QTest::newRow("rts/cts") << F([](tftdichip &c) { return c.setFlowControl(fFlowRTSCTS, 0, 0); }) << "SetFlowControl 0x0100 0 0";
        QTest::newRow("dtr/dsr") << F([](tftdichip &c) { return c.setFlowControl(fFlowDTRDSR, 0, 0); }) << "SetFlowControl 0x0200 0 0";
        QTest::newRow("xon/xoff") << F([](tftdichip &c) { return c.setFlowControl(fFlowXONXOFF, 17, 19); }) << "SetFlowControl 0x0400 17 19";
        QTest::newRow("latency") << F([](tftdichip &c) { return c.setLatencyTimer(2); }) << "SetLatencyTimer 2";
        QTest::newRow("timeouts") << F([](tftdichip &c) { return c.setTimeouts(5, 6); }) << "SetTimeouts 5 6";
    }
    void valuesReachTheLibrary()
    {
        QFETCH(std::function<bool(tftdichip &)>, call);
        QFETCH(QString, expected);
        tftdichip chip;
        QVERIFY(call(chip));
        QCOMPARE(dll->recorded(), QStringList{expected});
        // A failed status is a false result, not an exception.
        dll->status.insert(expected.section(QLatin1Char(' '), 0, 0), FT_IO_ERROR);
        QVERIFY(!call(chip));
    }

    void valuesOutsideTheEnumerationsRaise_data()
    {
        QTest::addColumn<std::function<void(tftdichip &)>>("call");
        QTest::addColumn<QString>("message");
        using F = std::function<void(tftdichip &)>;
        QTest::newRow("baud") << F([](tftdichip &c) { c.setBaudRate(fBaudRate(14)); }) << "tftdichip.setBaudRate: Invalid baud rate";
        QTest::newRow("word length first") << F([](tftdichip &c) { c.setDataCharacteristics(fWordLength(2), fStopBits(2), fParity(5)); })
                                           << "tftdichip.setDataCharacteristics: Invalid wordLength";
        QTest::newRow("stop bits before parity") << F([](tftdichip &c) { c.setDataCharacteristics(fBits8, fStopBits(2), fParity(5)); })
                                                 << "tftdichip.setDataCharacteristics: Invalid stopBits";
        QTest::newRow("parity") << F([](tftdichip &c) { c.setDataCharacteristics(fBits8, fStopBits1, fParity(5)); })
                                << "tftdichip.setDataCharacteristics: Invalid parity";
        QTest::newRow("flow") << F([](tftdichip &c) { c.setFlowControl(fFlowControl(4), 0, 0); }) << "tftdichip.setFlowControl: Invalid flowcontrol";
        QTest::newRow("queue") << F([](tftdichip &c) { c.purgeQueue(fQueue(3)); }) << "tftdichip.purgeQueue: Invalid queue";
    }
    void valuesOutsideTheEnumerationsRaise()
    {
        QFETCH(std::function<void(tftdichip &)>, call);
        QFETCH(QString, message);
        tftdichip chip;
        QCOMPARE(raised([&] { call(chip); }), message);
        QVERIFY(dll->recorded().isEmpty());
    }

    void openAndCloseMisuseRaises()
    {
        tftdichip chip;
        QVERIFY(!chip.fconnected);
        QCOMPARE(raised([&] { chip.closeDevice(); }), QStringLiteral("tftdichip.closeDevice: Not open"));

        QVERIFY(chip.openDeviceBySerial("PP123456"));
        QVERIFY(chip.fconnected);
        QCOMPARE(chip.fhandle, FT_HANDLE(7));
        dll->handle = 9;
        QCOMPARE(raised([&] { chip.openDeviceBySerial("PP654321"); }), QStringLiteral("tftdichip.openDeviceBySerial: Already open"));
        QCOMPARE(raised([&] { chip.openDeviceByDescription("FT232R"); }), QStringLiteral("tftdichip.openDeviceByDescription: Already open"));
        QCOMPARE(chip.fhandle, FT_HANDLE(7)); // the open device untouched
        QCOMPARE(dll->recorded(), QStringList{QStringLiteral("OpenEx PP123456 1")});

        chip.closeDevice();
        QVERIFY(!chip.fconnected);
        QCOMPARE(dll->recorded().last(), QStringLiteral("Close 7"));
        // A failing close still leaves the chip closed.
        QVERIFY(chip.openDeviceByDescription("FT232R USB UART"));
        dll->status.insert(QStringLiteral("Close"), FT_IO_ERROR);
        chip.closeDevice();
        QVERIFY(!chip.fconnected);
    }

    void failedOpenLeavesTheChipClosed()
    {
        dll->status.insert(QStringLiteral("OpenEx"), FT_DEVICE_NOT_OPENED);
        tftdichip chip;
        QVERIFY(!chip.openDeviceBySerial("PP123456"));
        QVERIFY(!chip.fconnected);
        QCOMPARE(raised([&] { chip.closeDevice(); }), QStringLiteral("tftdichip.closeDevice: Not open"));
        QVERIFY(!chip.isPresentBySerial("PP123456"));
    }

    void presenceOpensAndClosesATemporaryHandle()
    {
        tftdichip chip;
        QVERIFY(chip.isPresentByDescription("FT232R USB UART"));
        QCOMPARE(dll->recorded(), (QStringList{QStringLiteral("OpenEx FT232R USB UART 2"), QStringLiteral("Close 7")}));
        QVERIFY(!chip.fconnected);
    }

    void deviceInfoList()
    {
        tftdichip chip;
        quint32 count = 99;
        pftdiDeviceList list = nullptr;
        // No converter: true, count 0, empty list, no second call.
        QVERIFY(chip.createDeviceInfoList(count, list));
        QCOMPARE(count, 0u);
        QVERIFY(list == nullptr);
        QCOMPARE(dll->recorded(), QStringList{QStringLiteral("CreateDeviceInfoList")});

        dll->serials = {"AB123", "PP001"};
        QVERIFY(chip.createDeviceInfoList(count, list));
        QCOMPARE(count, 2u);
        QVERIFY(list != nullptr);
        QCOMPARE(QByteArray(reinterpret_cast<const char *>(list) + 100 + 16), QByteArray("PP001"));
        chip.destroyDeviceInfoList(list);
        QVERIFY(list == nullptr);

        // The second step fails: the block goes, the list is empty and the count 0.
        dll->status.insert(QStringLiteral("GetDeviceInfoList"), FT_IO_ERROR);
        QVERIFY(!chip.createDeviceInfoList(count, list));
        QCOMPARE(count, 0u);
        QVERIFY(list == nullptr);
        // The first step fails: no device either.
        dll->status.insert(QStringLiteral("CreateDeviceInfoList"), FT_IO_ERROR);
        QVERIFY(!chip.createDeviceInfoList(count, list));
        QCOMPARE(count, 0u);
        QVERIFY(list == nullptr);
    }

    void writeSetsDataHasBeenSent()
    {
        tftdichip chip;
        qint32 written = -1;
        dll->status.insert(QStringLiteral("Write"), FT_IO_ERROR);
        QVERIFY(!chip.write("I\r", 2, written));
        QVERIFY(!chip.dataHasBeenSent);
        dll->status.remove(QStringLiteral("Write"));
        QVERIFY(chip.write("I\r", 2, written));
        QCOMPARE(written, 2);
        QVERIFY(chip.dataHasBeenSent);
        QCOMPARE(dll->recorded().last(), QStringLiteral("Write 490d"));
        dll->status.insert(QStringLiteral("Write"), FT_IO_ERROR);
        QVERIFY(!chip.write("L\r", 2, written));
        QVERIFY(chip.dataHasBeenSent); // a failed write leaves it as it was
        // Negative counts never reach the library.
        const int calls = int(dll->recorded().size());
        QVERIFY(!chip.write("x", -1, written));
        qint32 got = 0;
        char buffer[4];
        QVERIFY(!chip.read(buffer, -1, got));
        QCOMPARE(dll->recorded().size(), calls);
    }

    void queueCountsAndDeviceInfo()
    {
        tftdichip chip;
        dll->rx = 42;
        dll->tx = 3;
        qint32 n = 0;
        QVERIFY(chip.getReceiveQueueStatus(n));
        QCOMPARE(n, 42);
        QVERIFY(chip.getSendQueueStatus(n));
        QCOMPARE(n, 3);

        fDevice device = fDevice232BM;
        quint16 pid = 0, vid = 0;
        QByteArray serial, description;
        QVERIFY(chip.getDeviceInfo(device, pid, vid, serial, description));
        QCOMPARE(device, fDevice232R);
        QCOMPARE(vid, quint16(0x0403));
        QCOMPARE(pid, quint16(0x6001));
        QCOMPARE(serial, QByteArray(16, 'S'));
        QCOMPARE(description, QByteArray("FT232R USB UART"));
        dll->deviceType = 9; // not in the enumeration
        QVERIFY(chip.getDeviceInfo(device, pid, vid, serial, description));
        QCOMPARE(device, fDeviceUnknown);
    }

    void modemLines_data()
    {
        QTest::addColumn<int>("bit");
        QTest::addColumn<QString>("name");
        QTest::newRow("CTS") << 0x10 << "getCTS";
        QTest::newRow("DSR") << 0x20 << "getDSR";
        QTest::newRow("RI") << 0x40 << "getRI";
        QTest::newRow("DCD") << 0x80 << "getDCD";
    }
    void modemLines()
    {
        QFETCH(int, bit);
        QFETCH(QString, name);
        tftdichip chip;
        const std::map<QString, std::function<bool()>> line = {{QStringLiteral("getCTS"), [&] { return chip.getCTS(); }},
                                                               {QStringLiteral("getDSR"), [&] { return chip.getDSR(); }},
                                                               {QStringLiteral("getRI"), [&] { return chip.getRI(); }},
                                                               {QStringLiteral("getDCD"), [&] { return chip.getDCD(); }}};
        dll->modem = quint32(bit);
        for (const auto &[n, get] : line)
            QCOMPARE(get(), n == name);
        dll->modem = 0xFF & ~quint32(bit);
        QVERIFY(!line.at(name)());
        dll->status.insert(QStringLiteral("GetModemStatus"), FT_IO_ERROR);
        QCOMPARE(raised([&] { line.at(name)(); }), QStringLiteral("tftdichip.%1: Error").arg(name));
    }

    void registryBuckets()
    {
        QCOMPARE(tbsearchtree::hash(QStringLiteral("12345678")), 6447);
        QCOMPARE(tbsearchtree::hash(QStringLiteral("1")), 49);
        // 'A' (0x41) and 'Ł' (0x141) have equal low bytes: one bucket, two keys.
        const QString a = QStringLiteral("7A"), b = QStringLiteral("7\u0141");
        QCOMPARE(tbsearchtree::hash(a), tbsearchtree::hash(b));
        tbsearchtree tree;
        int x = 1, y = 2, z = 3;
        tree.add(a, &x);
        tree.add(b, &y);
        tree.add(QStringLiteral("12345678"), &z);
        QCOMPARE(tree.find(a), static_cast<void *>(&x));
        QCOMPARE(tree.find(b), static_cast<void *>(&y));
        QCOMPARE(tree.bucket(6447)->s, QStringLiteral("12345678"));
        QCOMPARE(tree.bucket(tbsearchtree::hash(a))->s, b); // the newest item heads its bucket
        QVERIFY(tree.find(QStringLiteral("7")) == nullptr);

        QVERIFY(tree.remove(b)); // the head: the bucket moves on to the other key
        QVERIFY(tree.find(b) == nullptr);
        QCOMPARE(tree.find(a), static_cast<void *>(&x));
        QVERIFY(tree.bucket(tbsearchtree::hash(a))->prev == nullptr);
        tree.add(b, &y);
        QVERIFY(tree.remove(a)); // behind the head
        QCOMPARE(tree.find(b), static_cast<void *>(&y));
        QVERIFY(tree.bucket(tbsearchtree::hash(a))->next == nullptr);
        QVERIFY(!tree.remove(a));
    }

    void chipsAreKeyedByTheirAddress()
    {
        tftdichip chip;
        QCOMPARE(tftdichip::registryKey(&chip), QString::number(quintptr(&chip)));
        QVERIFY(ftdiRegistry() != nullptr);
        QVERIFY(ftdiNotifyWindow() != nullptr);
    }

    void stopWithoutStartTouchesNothing()
    {
        auto chip = std::make_unique<tftdichip>();
        QVERIFY(chip->openDeviceBySerial("PP123456"));
        const QStringList before = dll->recorded();
        QVERIFY(!chip->stopCommEvents());
        chip.reset(); // Destroy does not close the device
        QCOMPARE(dll->recorded(), before);
    }

    void eventsReachTheHandlersOnTheWindowThread()
    {
        tftdichip chip;
        QVERIFY(chip.openDeviceBySerial("PP123456"));
        QList<qint32> received;
        int emptied = 0, errors = 0;
        QThread *handlerThread = nullptr;
        chip.setupCommEvents([&](tftdichip *c, qint32 n) { QCOMPARE(c, &chip); received << n; handlerThread = QThread::currentThread(); },
                             [&](tftdichip *) { ++emptied; }, [&](tftdichip *) { ++errors; });
        qint32 written = 0;
        QVERIFY(chip.write("I\r", 2, written));
        QVERIFY(chip.startCommEvents());
        QVERIFY(!chip.startCommEvents()); // a thread runs already
        QVERIFY(ftdiRegistry()->find(tftdichip::registryKey(&chip)) == &chip);

        QTRY_COMPARE(emptied, 1); // the transmit queue is empty and data had been sent
        QVERIFY(!chip.dataHasBeenSent);
        {
            QMutexLocker l(&dll->mutex);
            dll->rx = 5;
        }
        QTRY_VERIFY(!received.isEmpty());
        QCOMPARE(received.first(), 5);
        QCOMPARE(handlerThread, QThread::currentThread());
        QCOMPARE(dll->count(QStringLiteral("SetEventNotification 3")), 1);

        QVERIFY(chip.stopCommEvents());
        QVERIFY(chip.thread == nullptr);
        QVERIFY(ftdiRegistry()->find(tftdichip::registryKey(&chip)) == nullptr);
        // Messages still queued for a chip that stopped are dropped.
        const int before = int(received.size());
        ftdiPostMessage(WM_FTDI_RECEIVEDATA, 0, &chip);
        QCoreApplication::processEvents();
        QCOMPARE(received.size(), before);

        // A status that cannot be read is reported through the error handler.
        {
            QMutexLocker l(&dll->mutex);
            dll->rx = 0;
            dll->status.insert(QStringLiteral("GetStatus"), FT_IO_ERROR);
        }
        QVERIFY(chip.startCommEvents());
        QTRY_VERIFY(errors > 0);
        chip.closeDevice(); // stops the thread first
        QVERIFY(chip.thread == nullptr);
        QCOMPARE(emptied, 1);
    }
};

QTEST_MAIN(TestFtdiChip)
#include "tst_ftdichip.moc"
