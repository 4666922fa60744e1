#include "meter/AnsiCodePage.h"
#include "meter/MeterProtocol.h"

#include <QtTest>

using namespace arvex::meter;

namespace {
QByteArray bytes(std::initializer_list<int> list)
{
    QByteArray b;
    for (int v : list)
        b.append(char(v));
    return b;
}

// A result record with the given date, time, pH and temperature words.
QByteArray record(quint16 dateWord, quint16 timeWord, quint16 ph = 700, quint16 temp = 250,
                  std::array<int, 3> leading = {0, 0, 0})
{
    return bytes({leading[0], leading[1], leading[2], dateWord & 0xFF, dateWord >> 8, timeWord & 0xFF,
                  timeWord >> 8, ph & 0xFF, ph >> 8, temp & 0xFF, temp >> 8});
}

quint16 dateWord(int year, int month, int day) { return quint16(day | (month << 5) | ((year - 1999) << 9)); }
quint16 timeWord(int h, int m, int secField) { return quint16(secField | (m << 5) | (h << 11)); }
} // namespace

class TestProtocol : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { setAnsiCodePage("CP1252"); }

    void identity_data()
    {
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<bool>("accepted");
        QTest::addColumn<QString>("serial");
        QTest::addColumn<QString>("firmware");
        QTest::newRow("17 bytes") << QByteArray("PP PH123456 1.07\r") << true << "PH123456" << "1.07";
        QTest::newRow("longer") << QByteArray("PP PH000001x2.10\rXYZ") << true << "PH000001" << "2.10";
        QTest::newRow("16 bytes") << QByteArray("PP PH123456 1.07") << false << "" << "";
        QTest::newRow("wrong marker") << QByteArray("PP PX123456 1.07\r") << false << "" << "";
        QTest::newRow("lower case") << QByteArray("pp PH123456 1.07\r") << false << "" << "";
        QTest::newRow("empty") << QByteArray() << false << "" << "";
    }
    void identity()
    {
        QFETCH(QByteArray, reply);
        QFETCH(bool, accepted);
        MeterIdentity id;
        QCOMPARE(DecodeIdentity(reply, &id), accepted);
        if (accepted) {
            QFETCH(QString, serial);
            QFETCH(QString, firmware);
            QCOMPARE(id.serial, serial);
            QCOMPARE(id.firmware, firmware);
        }
    }

    void splitRecords_data()
    {
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<int>("size");
        QTest::addColumn<bool>("wellFormed");
        QTest::addColumn<int>("count");
        QTest::newRow("terminator only") << QByteArray("*") << 25 << true << 0;
        QTest::newRow("empty") << QByteArray() << 25 << false << 0;
        QTest::newRow("2 objects no terminator") << QByteArray(50, 'a') << 25 << false << 0;
        QTest::newRow("2 objects") << QByteArray(50, 'a') + "*" << 25 << true << 2;
        QTest::newRow("11k+1") << QByteArray(33, 'r') + "*" << 11 << true << 3;
        QTest::newRow("11k+5: bytes to spare") << QByteArray(37, 'r') + "*" << 11 << false << 0;
        QTest::newRow("25k+2: bytes to spare") << QByteArray(51, 'a') + "*" << 25 << false << 0;
        QTest::newRow("11k: a record short of its terminator") << QByteArray(32, 'r') + "*" << 11 << false << 0;
        QTest::newRow("terminator not last") << QByteArray(22, 'r') + "*\r" << 11 << false << 0;
    }
    void splitRecords()
    {
        QFETCH(QByteArray, reply);
        QFETCH(int, size);
        QFETCH(bool, wellFormed);
        QFETCH(int, count);
        QList<QByteArray> records;
        QCOMPARE(SplitRecords(reply, size, &records), wellFormed);
        QCOMPARE(records.size(), count);
        for (int i = 0; i < records.size(); ++i)
            QCOMPARE(records[i], reply.mid(i * size, size));
    }

    void resultsCommand_data()
    {
        QTest::addColumn<int>("number");
        QTest::addColumn<QByteArray>("command");
        QTest::newRow("13") << 13 << bytes({0x4D, 0x0D});
        QTest::newRow("12") << 12 << bytes({0x4D, 0x0C, 0x0D});
        QTest::newRow("0") << 0 << bytes({0x4D, 0x00, 0x0D});
        QTest::newRow("255") << 255 << bytes({0x4D, 0xFF, 0x0D});
    }
    void resultsCommand()
    {
        QFETCH(int, number);
        QFETCH(QByteArray, command);
        QCOMPARE(ResultsCommand(number), command);
    }

    void objectRecord()
    {
        QByteArray rec = EncodeObject(7, "Tank 1");
        QCOMPARE(rec.size(), 25);
        ObjectRecord o = DecodeObject(rec);
        QCOMPARE(o.number, 7);
        QCOMPARE(o.name, QString("Tank 1"));

        rec[1] = 0; // a zero first name byte: empty name
        QCOMPARE(DecodeObject(rec).name, QString());

        QByteArray full = EncodeObject(200, QByteArray(20, 'N'));
        full[21] = 'X'; // bytes 21 to 24 are not part of the name
        QCOMPARE(DecodeObject(full).number, 200);
        QCOMPARE(DecodeObject(full).name, QString(20, 'N'));

        // Single-byte text goes through the code page: 0xB3 is "ł" in 1250, "³" in 1252.
        QByteArray pl = EncodeObject(1, QByteArray("\xB3\xF3" "d\x9F"));
        QCOMPARE(DecodeObject(pl).name, QString::fromUtf8("³ódŸ"));
        setAnsiCodePage("CP1250");
        QCOMPARE(DecodeObject(pl).name, QString::fromUtf8("łódź"));
        setAnsiCodePage("CP1252");
    }

    // The meter's date and time carry no zone: they are decoded as wall-clock fields, valid
    // whatever the local zone makes of them (a spring gap, a repeated autumn hour).
    void resultDateAndTime_data()
    {
        QTest::addColumn<QByteArray>("rec");
        QTest::addColumn<QDateTime>("expected"); // invalid: the record fails
        const auto at = [](int y, int mo, int d, int h, int mi, int s) {
            return QDateTime(QDate(y, mo, d), QTime(h, mi, s), Qt::UTC);
        };
        QTest::newRow("date word 0") << record(0, 0) << QDateTime();
        QTest::newRow("month 13") << record(quint16(1 | (13 << 5) | (24 << 9)), 0) << QDateTime();
        QTest::newRow("31 April") << record(dateWord(2023, 4, 31), 0) << QDateTime();
        QTest::newRow("29 Feb 2023") << record(dateWord(2023, 2, 29), 0) << QDateTime();
        QTest::newRow("29 Feb 2024") << record(dateWord(2024, 2, 29), 0) << at(2024, 2, 29, 0, 0, 0);
        QTest::newRow("year field 0") << record(dateWord(1999, 1, 1), 0) << at(1999, 1, 1, 0, 0, 0);
        QTest::newRow("year field 24") << record(dateWord(2023, 6, 1), timeWord(13, 45, 29)) << at(2023, 6, 1, 13, 45, 58);
        QTest::newRow("year field 127") << record(dateWord(2126, 12, 31), timeWord(23, 59, 0)) << at(2126, 12, 31, 23, 59, 0);
        QTest::newRow("seconds field 30") << record(dateWord(2023, 6, 1), timeWord(1, 1, 30)) << QDateTime();
        QTest::newRow("seconds field 31") << record(dateWord(2023, 6, 1), timeWord(1, 1, 31)) << QDateTime();
        QTest::newRow("minutes 60") << record(dateWord(2023, 6, 1), timeWord(1, 60, 0)) << QDateTime();
        QTest::newRow("hours 24") << record(dateWord(2023, 6, 1), timeWord(24, 0, 0)) << QDateTime();
        QTest::newRow("spring gap in Europe") << record(dateWord(2023, 3, 26), timeWord(2, 30, 0)) << at(2023, 3, 26, 2, 30, 0);
        QTest::newRow("spring gap in America") << record(dateWord(2023, 3, 12), timeWord(2, 0, 1)) << at(2023, 3, 12, 2, 0, 2);
        QTest::newRow("repeated autumn hour") << record(dateWord(2023, 10, 29), timeWord(2, 30, 0)) << at(2023, 10, 29, 2, 30, 0);
    }
    void resultDateAndTime()
    {
        QFETCH(QByteArray, rec);
        QFETCH(QDateTime, expected);
        const auto r = DecodeResult(rec);
        QCOMPARE(r.has_value(), expected.isValid());
        if (r) {
            QVERIFY(r->measured.isValid());
            QCOMPARE(r->measured.timeSpec(), Qt::UTC);
            QCOMPARE(r->measured.date(), expected.date());
            QCOMPARE(r->measured.time(), expected.time());
            // The meter's side packs the same fields back.
            QCOMPARE(EncodeResult(0, r->measured, 700, 250).mid(3, 4), rec.mid(3, 4));
        }
    }

    void resultValues_data()
    {
        QTest::addColumn<int>("phWord");
        QTest::addColumn<int>("tempWord");
        QTest::addColumn<float>("ph");
        QTest::addColumn<float>("temp");
        QTest::addColumn<int>("flag");
        QTest::newRow("pH 7.00, 25.0") << 700 << 0x00FA << 7.00f << 25.0f << 0;
        QTest::newRow("pH max, flag") << 65535 << 0x40FA << 655.35f << 25.0f << 1;
        QTest::newRow("temperature max") << 0 << 0x3FFF << 0.0f << 1638.3f << 0;
        QTest::newRow("bit 15: -5.0") << 700 << 0xFFCE << 7.0f << -5.0f << 0;
        QTest::newRow("bit 15 with bit 14") << 700 << 0xC000 << 7.0f << -1638.4f << 0;
    }
    void resultValues()
    {
        QFETCH(int, phWord);
        QFETCH(int, tempWord);
        QFETCH(float, ph);
        QFETCH(float, temp);
        QFETCH(int, flag);
        const auto r = DecodeResult(record(dateWord(2023, 6, 1), 0, quint16(phWord), quint16(tempWord), {1, 2, 3}));
        QVERIFY(r);
        QCOMPARE(r->ph, ph);
        QCOMPARE(r->temperature, temp);
        QCOMPARE(r->flag, flag);
        QCOMPARE(r->leading, 197121u);
    }

    void encodeRoundTrip()
    {
        const QDateTime t(QDate(2024, 3, 9), QTime(17, 3, 44), Qt::UTC);
        const auto r = DecodeResult(EncodeResult(16777215, t, 412, temperatureWord(-12.3)));
        QVERIFY(r);
        QCOMPARE(r->leading, 16777215u);
        QCOMPARE(r->measured, t);
        QCOMPARE(r->ph, 4.12f);
        QCOMPARE(r->temperature, -12.3f);
        MeterIdentity id;
        QVERIFY(DecodeIdentity(EncodeIdentity("PH000123", "1.07"), &id));
        QCOMPARE(id.serial, QString("PH000123"));
    }
};

QTEST_GUILESS_MAIN(TestProtocol)
#include "tst_protocol.moc"
