#include "meter/MeterProtocol.h"

#include "meter/AnsiCodePage.h"

#include <algorithm>
#include <cmath>

namespace arvex::meter {

namespace {
inline unsigned byteAt(const QByteArray &b, int i) { return static_cast<unsigned char>(b.at(i)); }

// Single-byte text up to the first zero byte.
QString textUpToZero(const QByteArray &bytes)
{
    const int zero = bytes.indexOf('\0');
    return fromAnsi(zero < 0 ? bytes : bytes.left(zero));
}
} // namespace

bool DecodeIdentity(const QByteArray &reply, MeterIdentity *identity)
{
    if (reply.size() < IdentityReplyLength)
        return false;
    if (!reply.startsWith("PP PH"))
        return false;
    if (identity) {
        identity->serial = fromAnsi(reply.mid(3, 8));
        identity->firmware = fromAnsi(reply.mid(12, 4));
    }
    return true;
}

bool SplitRecords(const QByteArray &reply, int recordSize, QList<QByteArray> *records)
{
    if (records)
        records->clear();
    if (reply.isEmpty() || reply.back() != ReplyTerminator || recordSize <= 0)
        return false;
    if ((reply.size() - 1) % recordSize != 0)
        return false;
    if (records) {
        const int count = int(reply.size() / recordSize);
        records->reserve(count);
        for (int i = 0; i < count; ++i)
            records->append(reply.mid(i * recordSize, recordSize));
    }
    return true;
}

ObjectRecord DecodeObject(const QByteArray &record)
{
    ObjectRecord o;
    if (record.isEmpty())
        return o;
    o.number = int(byteAt(record, 0));
    o.name = textUpToZero(record.mid(1, 20));
    return o;
}

float negativeTemperature(qint16 word) { return float(word) / 10.0f; }

std::optional<ResultRecord> DecodeResult(const QByteArray &b)
{
    if (b.size() < ResultRecordSize)
        return std::nullopt;
    ResultRecord r;
    r.leading = byteAt(b, 0) + 256u * byteAt(b, 1) + 65536u * byteAt(b, 2);

    const unsigned d = byteAt(b, 3) + 256u * byteAt(b, 4);
    const int day = int(d & 0x1F);
    const int month = int((d & 0x1E0) >> 5);
    const int year = int((d & 0xFE00) >> 9) + 1999;
    const QDate date(year, month, day);
    if (!date.isValid())
        return std::nullopt;

    const unsigned t = byteAt(b, 5) + 256u * byteAt(b, 6);
    const int seconds = int(t & 0x1F) * 2;
    const int minutes = int((t & 0x7E0) >> 5);
    const int hours = int((t & 0xF800) >> 11);
    if (hours > 23 || minutes > 59 || seconds > 59)
        return std::nullopt;
    // The meter's clock knows no zone: its fields are kept as they are (see store::wallClock).
    r.measured = QDateTime(date, QTime(hours, minutes, seconds, 0), Qt::UTC);

    r.ph = float(byteAt(b, 7) + 256u * byteAt(b, 8)) / 100.0f;

    const qint16 w = qint16(quint16(byteAt(b, 9) + 256u * byteAt(b, 10)));
    if (w >= 0) {
        r.temperature = float(w & 0x3FFF) / 10.0f;
        r.flag = (w & 0x4000) ? 1 : 0;
    } else {
        r.temperature = negativeTemperature(w);
        r.flag = 0;
    }
    return r;
}

QByteArray ResultsCommand(int objectNumber)
{
    if (objectNumber == 13)
        return QByteArrayLiteral("M\r");
    QByteArray c("M");
    c.append(char(quint8(objectNumber)));
    c.append('\r');
    return c;
}

} // namespace arvex::meter

namespace arvex::meter {

QByteArray EncodeIdentity(const QByteArray &serial8, const QByteArray &firmware4)
{
    QByteArray r("PP ");
    r += serial8.leftJustified(8, ' ', true);
    r += ' ';
    r += firmware4.leftJustified(4, ' ', true);
    r += '\r';
    return r;
}

QByteArray EncodeObject(int number, const QByteArray &name)
{
    QByteArray r(ObjectRecordSize, '\0');
    r[0] = char(quint8(number));
    const QByteArray n = name.left(20);
    for (int i = 0; i < n.size(); ++i)
        r[1 + i] = n.at(i);
    return r;
}

QByteArray EncodeResult(quint32 leading, const QDateTime &measured, quint16 phWord, quint16 temperatureWord)
{
    const QDate d = measured.date();
    const QTime t = measured.time();
    const quint16 dw = quint16((d.day() & 0x1F) | ((d.month() & 0x0F) << 5) | (((d.year() - 1999) & 0x7F) << 9));
    const quint16 tw = quint16(((t.second() / 2) & 0x1F) | ((t.minute() & 0x3F) << 5) | ((t.hour() & 0x1F) << 11));
    QByteArray r(ResultRecordSize, '\0');
    r[0] = char(leading & 0xFF);
    r[1] = char((leading >> 8) & 0xFF);
    r[2] = char((leading >> 16) & 0xFF);
    r[3] = char(dw & 0xFF);
    r[4] = char(dw >> 8);
    r[5] = char(tw & 0xFF);
    r[6] = char(tw >> 8);
    r[7] = char(phWord & 0xFF);
    r[8] = char(phWord >> 8);
    r[9] = char(temperatureWord & 0xFF);
    r[10] = char(temperatureWord >> 8);
    return r;
}

quint16 temperatureWord(double celsius, int flag)
{
    const long tenths = std::lround(celsius * 10.0);
    if (tenths < 0)
        return quint16(qint16(std::max(tenths, -32768L)));
    return quint16((std::min(tenths, 0x3FFFL) & 0x3FFF) | (flag ? 0x4000 : 0));
}

} // namespace arvex::meter
