#include "meter/MeterEmulator.h"

#include "meter/AnsiCodePage.h"
#include "meter/MeterProtocol.h"

#include <QDateTime>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRandomGenerator>
#include <QSaveFile>
#include <QSet>
#include <algorithm>
#include <cmath>
#include <numbers>

namespace arvex::meter {

// ---- replies ------------------------------------------------------------------------------

bool ReplySelector::matches(Which reply, int objectNumber) const
{
    if (which == Any)
        return true;
    if (reply != which)
        return false;
    return which != Results || object < 0 || object == objectNumber;
}

std::optional<ReplySelector> ReplySelector::parse(const QString &text)
{
    const QString t = text.trimmed().toLower();
    if (t == QLatin1String("any"))
        return ReplySelector{Any, -1};
    if (t == QLatin1String("identity"))
        return ReplySelector{Identity, -1};
    if (t == QLatin1String("objects"))
        return ReplySelector{ObjectList, -1};
    if (t == QLatin1String("results"))
        return ReplySelector{Results, -1};
    if (t.startsWith(QLatin1String("results:"))) {
        bool ok = false;
        const int n = t.mid(8).toInt(&ok);
        if (ok && n >= 0 && n <= 255)
            return ReplySelector{Results, n};
    }
    return std::nullopt;
}

QString ReplySelector::text() const
{
    switch (which) {
    case Any: return QStringLiteral("any");
    case Identity: return QStringLiteral("identity");
    case ObjectList: return QStringLiteral("objects");
    case Results: return object < 0 ? QStringLiteral("results") : QStringLiteral("results:%1").arg(object);
    }
    return QStringLiteral("any");
}

int MeterContent::resultCount() const
{
    int n = 0;
    for (const MeterObject &o : objects)
        n += int(o.results.size());
    return n;
}

const MeterObject *MeterContent::object(int number) const
{
    for (const MeterObject &o : objects)
        if (o.number == number)
            return &o;
    return nullptr;
}

namespace {

struct CommandKind {
    ReplySelector::Which which;
    int object;
};

// "I", "L", "M" followed at once by CR (object 13), "M" and the object's byte.
std::optional<CommandKind> classify(const QByteArray &command)
{
    if (command == "I")
        return CommandKind{ReplySelector::Identity, -1};
    if (command == "L")
        return CommandKind{ReplySelector::ObjectList, -1};
    if (command == "M")
        return CommandKind{ReplySelector::Results, 13};
    if (command.size() == 2 && command.at(0) == 'M')
        return CommandKind{ReplySelector::Results, int(quint8(command.at(1)))};
    return std::nullopt;
}

QByteArray withoutCr(const QByteArray &command) { return command.endsWith('\r') ? command.chopped(1) : command; }

QByteArray noise(int count, quint32 seed)
{
    QRandomGenerator gen(seed);
    // Any byte may come, the terminator and the identity's "P" included: the reply checks,
    // not the noise, must refuse it.
    QByteArray b(std::max(count, 0), '\0');
    for (char &c : b)
        c = char(gen.bounded(256));
    return b;
}

} // namespace

MeterEmulator::MeterEmulator(MeterContent content)
    : content_(std::move(content)), replayed_(content_.exchanges.size(), 0)
{
}

std::optional<QByteArray> MeterEmulator::contentReply(const QByteArray &command) const
{
    const std::optional<CommandKind> kind = classify(withoutCr(command));
    if (!kind)
        return std::nullopt;
    switch (kind->which) {
    case ReplySelector::Identity: return content_.identity;
    case ReplySelector::ObjectList: {
        QByteArray r;
        r.reserve(int(content_.objects.size()) * ObjectRecordSize + 1);
        for (const MeterObject &o : content_.objects)
            r += EncodeObject(o.number, o.name);
        r += ReplyTerminator;
        return r;
    }
    case ReplySelector::Results: {
        QByteArray r;
        if (const MeterObject *o = content_.object(kind->object)) {
            r.reserve(int(o->results.size()) * ResultRecordSize + 1);
            for (const QByteArray &rec : o->results)
                r += rec;
        }
        r += ReplyTerminator; // an object the meter does not hold: the terminator alone
        return r;
    }
    case ReplySelector::Any: break;
    }
    return std::nullopt;
}

std::optional<QByteArray> MeterEmulator::recordedReply(const QByteArray &command)
{
    if (replayed_.size() != content_.exchanges.size())
        replayed_ = QList<int>(content_.exchanges.size(), 0);
    int last = -1;
    for (int i = 0; i < content_.exchanges.size(); ++i) {
        QByteArray recorded = content_.exchanges.at(i).command;
        if (recorded.endsWith('\r'))
            recorded.chop(1);
        if (recorded != command)
            continue;
        last = i;
        if (!replayed_.at(i)) {
            replayed_[i] = 1;
            return content_.exchanges.at(i).reply;
        }
    }
    if (last >= 0)
        return content_.exchanges.at(last).reply;
    return std::nullopt;
}

QList<ReplySegment> MeterEmulator::answer(const QByteArray &commandBytes)
{
    const QByteArray command = withoutCr(commandBytes);
    const std::optional<CommandKind> kind = classify(command);
    std::optional<QByteArray> plain = recordedReply(command);
    if (!plain)
        plain = contentReply(command);
    if (!plain)
        return {}; // a command the meter does not know
    QByteArray reply = *plain;
    const ReplySelector::Which which = kind ? kind->which : ReplySelector::Any;
    const int object = kind ? kind->object : -1;

    QList<MeterFault> faults;
    for (const MeterFault &f : content_.faults)
        if (f.reply.matches(which, object))
            faults.append(f);
    auto each = [&faults](MeterFault::Kind k, const auto &apply) {
        for (const MeterFault &f : faults)
            if (f.kind == k)
                apply(f);
    };
    bool silent = false;
    each(MeterFault::Silent, [&](const MeterFault &) { silent = true; });
    if (silent)
        return {};
    each(MeterFault::Garbage,
         [&](const MeterFault &f) { reply = noise(f.bytes, 0x5EED0000u + quint32(commands_.size())); });
    each(MeterFault::WrongIdentity, [&](const MeterFault &) {
        if (which != ReplySelector::Identity)
            return;
        if (reply.size() < 5)
            reply = QByteArrayLiteral("PP PX") + reply;
        else
            reply[4] = 'X';
    });
    each(MeterFault::DropTerminator, [&](const MeterFault &) {
        if (reply.endsWith(ReplyTerminator))
            reply.chop(1);
    });
    each(MeterFault::Cut, [&](const MeterFault &f) { reply = reply.left(std::max(f.bytes, 0)); });
    if (reply.isEmpty())
        return {};

    QList<std::pair<int, double>> pauses;
    each(MeterFault::Pause, [&](const MeterFault &f) {
        if (f.bytes < reply.size())
            pauses.append({std::max(f.bytes, 0), f.seconds});
    });
    std::stable_sort(pauses.begin(), pauses.end(), [](const auto &a, const auto &b) { return a.first < b.first; });

    QList<ReplySegment> segments;
    ReplySegment current{content_.responseDelay, {}};
    int from = 0;
    for (const auto &[at, seconds] : pauses) {
        current.bytes = reply.mid(from, at - from);
        if (current.bytes.isEmpty()) {
            current.delaySeconds += seconds;
            continue;
        }
        segments.append(current);
        current = ReplySegment{seconds, {}};
        from = at;
    }
    current.bytes = reply.mid(from);
    segments.append(current);
    return segments;
}

QList<ReplySegment> MeterEmulator::receive(const QByteArray &bytes)
{
    QList<ReplySegment> out;
    for (const char c : bytes) {
        if (c != '\r') {
            input_ += c;
            if (input_.size() > 256) // never a command: keep the tail only
                input_.remove(0, input_.size() - 256);
            continue;
        }
        const QByteArray command = input_;
        input_.clear();
        commands_.append(command);
        out += answer(command);
    }
    return out;
}

// ---- the demo meter -----------------------------------------------------------------------

MeterContent demoMeter()
{
    struct Place {
        int number;
        const char *name;
        double ph, phSpread;     // typical pH and its day-to-day spread
        double temp, tempSwing;  // mean °C and its seasonal swing
        int count;
    };
    static const Place places[] = {
        {1, "Well north", 7.35, 0.08, 10.5, 1.5, 64},   {2, "Tap water lab", 7.60, 0.10, 14.0, 3.0, 82},
        {3, "Pool A", 7.25, 0.15, 26.0, 1.5, 71},       {4, "Aquarium 2", 6.90, 0.12, 25.0, 0.8, 58},
        {5, "Soil extract", 6.20, 0.35, 21.0, 1.0, 45}, {13, "Buffer pH 7.00", 7.00, 0.02, 22.0, 2.0, 40},
    };
    MeterContent m;
    m.converterSerial = QByteArrayLiteral("PP230118");
    m.identity = EncodeIdentity(QByteArrayLiteral("PH230118"), QByteArrayLiteral("2.14"));
    QRandomGenerator gen(20230201);
    auto gauss = [&gen] { // sum of uniforms: close enough to a normal spread, always the same
        double s = 0;
        for (int i = 0; i < 6; ++i)
            s += gen.generateDouble();
        return (s - 3.0) / std::sqrt(0.5);
    };
    const QDate first(2023, 2, 1);
    const int spanDays = int(first.daysTo(QDate(2023, 7, 31)));
    quint32 leading = 1;
    for (const Place &p : places) {
        MeterObject o;
        o.number = p.number;
        o.name = QByteArray(p.name);
        for (int i = 0; i < p.count; ++i) {
            const int day = (i * spanDays) / p.count + int(gen.bounded(std::max(1, spanDays / p.count)));
            const QDate date = first.addDays(std::min(day, spanDays));
            const QTime time(7 + int(gen.bounded(11)), int(gen.bounded(60)), 2 * int(gen.bounded(30)));
            const double season = std::sin(std::numbers::pi * double(first.daysTo(date)) / double(spanDays));
            const double ph = std::clamp(p.ph + 0.05 * season + p.phSpread * gauss(), 0.0, 14.0);
            const double temp = p.temp + p.tempSwing * season + 0.3 * gauss();
            const int flag = (leading % 17 == 0) ? 1 : 0;
            o.results.append(EncodeResult(leading++, QDateTime(date, time, Qt::UTC), quint16(std::lround(ph * 100.0)),
                                          temperatureWord(temp, flag)));
        }
        m.objects.append(o);
    }
    return m;
}

// ---- meter files --------------------------------------------------------------------------

namespace {

const QString FormatName = QStringLiteral("arvex-meter-1");

bool isAsciiHexDigit(char16_t c)
{
    return (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F');
}

class FileReader {
public:
    explicit FileReader(QString origin) : origin_(std::move(origin)) {}

    [[noreturn]] void fail(const QString &where, const QString &what) const
    {
        throw MeterFileError(where.isEmpty() ? QStringLiteral("Meter file \"%1\": %2").arg(origin_, what)
                                             : QStringLiteral("Meter file \"%1\", %2: %3").arg(origin_, where, what));
    }

    void onlyKeys(const QJsonObject &o, const QString &where, const QStringList &allowed) const
    {
        for (auto it = o.begin(); it != o.end(); ++it)
            if (!allowed.contains(it.key()))
                fail(where, QStringLiteral("unknown field \"%1\" (known: %2)").arg(it.key(), allowed.join(QStringLiteral(", "))));
    }

    QJsonObject object(const QJsonValue &v, const QString &where) const
    {
        if (!v.isObject())
            fail(where, QStringLiteral("must be an object"));
        return v.toObject();
    }

    QJsonArray array(const QJsonValue &v, const QString &where) const
    {
        if (!v.isArray())
            fail(where, QStringLiteral("must be a list"));
        return v.toArray();
    }

    QString string(const QJsonValue &v, const QString &where) const
    {
        if (!v.isString())
            fail(where, QStringLiteral("must be a text"));
        return v.toString();
    }

    double number(const QJsonValue &v, const QString &where, double low, double high) const
    {
        if (!v.isDouble())
            fail(where, QStringLiteral("must be a number"));
        const double d = v.toDouble();
        if (!(d >= low && d <= high))
            fail(where, QStringLiteral("%1 is outside %2 to %3").arg(d).arg(low).arg(high));
        return d;
    }

    qint64 integer(const QJsonValue &v, const QString &where, qint64 low, qint64 high) const
    {
        const double d = number(v, where, double(low), double(high));
        if (d != std::floor(d))
            fail(where, QStringLiteral("must be a whole number"));
        return qint64(d);
    }

    QByteArray hex(const QJsonValue &v, const QString &where) const
    {
        // One pass over the characters: a pattern engine backtracks, and gives up, on the long
        // replies of a large object.
        const QString t = string(v, where);
        QByteArray digits;
        digits.reserve(t.size());
        for (const QChar c : t) {
            if (c.isSpace())
                continue;
            if (!isAsciiHexDigit(c.unicode()))
                fail(where, QStringLiteral("must be pairs of hexadecimal digits"));
            digits.append(char(c.unicode()));
        }
        if (digits.size() % 2 != 0)
            fail(where, QStringLiteral("must be pairs of hexadecimal digits"));
        return QByteArray::fromHex(digits);
    }

    // 8-bit text: "name" in the meter's code page, or "nameHex".
    QByteArray text8(const QJsonObject &o, const QString &key, const QString &where, int maxBytes) const
    {
        QByteArray b;
        if (o.contains(key + QStringLiteral("Hex")))
            b = hex(o.value(key + QStringLiteral("Hex")), where + QLatin1Char('.') + key + QStringLiteral("Hex"));
        else if (o.contains(key))
            b = toAnsi(string(o.value(key), where + QLatin1Char('.') + key));
        else
            fail(where, QStringLiteral("\"%1\" is missing").arg(key));
        if (b.size() > maxBytes)
            fail(where + QLatin1Char('.') + key, QStringLiteral("is %1 bytes long; at most %2 fit").arg(b.size()).arg(maxBytes));
        return b;
    }

    QByteArray result(const QJsonValue &v, const QString &where) const
    {
        const QJsonObject r = object(v, where);
        if (r.contains(QStringLiteral("hex"))) {
            onlyKeys(r, where, {QStringLiteral("hex")});
            const QByteArray b = hex(r.value(QStringLiteral("hex")), where + QStringLiteral(".hex"));
            if (b.size() != ResultRecordSize)
                fail(where + QStringLiteral(".hex"), QStringLiteral("a result record is %1 bytes, not %2").arg(ResultRecordSize).arg(b.size()));
            return b;
        }
        onlyKeys(r, where, {QStringLiteral("time"), QStringLiteral("ph"), QStringLiteral("temperature"),
                            QStringLiteral("flag"), QStringLiteral("leading")});
        for (const char *key : {"time", "ph", "temperature"})
            if (!r.contains(QLatin1String(key)))
                fail(where, QStringLiteral("\"%1\" is missing").arg(QLatin1String(key)));
        const QString timeText = string(r.value(QStringLiteral("time")), where + QStringLiteral(".time"));
        // The meter's times carry no zone: the fields are read as written, never through the
        // local zone, where a time in a daylight-saving gap would not exist.
        // A trailing "Z" (as written for these zone-less values) is allowed.
        const QString fields = timeText.endsWith(QLatin1Char('Z')) ? timeText.chopped(1) : timeText;
        const qsizetype split = fields.indexOf(QLatin1Char('T'));
        const QDate whenDate = QDate::fromString(fields.left(split), Qt::ISODate);
        const QTime whenTime = QTime::fromString(fields.mid(split + 1), Qt::ISODate);
        const QDateTime when = split > 0 && whenDate.isValid() && whenTime.isValid()
                                   ? QDateTime(whenDate, whenTime, Qt::UTC)
                                   : QDateTime();
        if (!when.isValid())
            fail(where + QStringLiteral(".time"), QStringLiteral("\"%1\" is not a date and time like 2023-06-01T10:30:00").arg(timeText));
        if (when.date().year() < 1999 || when.date().year() > 2126)
            fail(where + QStringLiteral(".time"), QStringLiteral("the meter stores years 1999 to 2126 only"));
        if (when.time().second() % 2 != 0 || when.time().msec() != 0)
            fail(where + QStringLiteral(".time"), QStringLiteral("the meter stores times in steps of 2 seconds"));
        const double ph = number(r.value(QStringLiteral("ph")), where + QStringLiteral(".ph"), 0.0, 655.35);
        const double temp = number(r.value(QStringLiteral("temperature")), where + QStringLiteral(".temperature"), -3276.8, 1638.3);
        const int flag = r.contains(QStringLiteral("flag"))
                             ? int(integer(r.value(QStringLiteral("flag")), where + QStringLiteral(".flag"), 0, 1))
                             : 0;
        if (flag && std::lround(temp * 10) < 0)
            fail(where + QStringLiteral(".flag"), QStringLiteral("a temperature below 0 °C carries no flag"));
        const quint32 leading = r.contains(QStringLiteral("leading"))
                                    ? quint32(integer(r.value(QStringLiteral("leading")), where + QStringLiteral(".leading"), 0, 16777215))
                                    : 0;
        return EncodeResult(leading, when, quint16(std::lround(ph * 100.0)), temperatureWord(temp, flag));
    }

    MeterFault fault(const QJsonValue &v, const QString &where) const
    {
        const QJsonObject f = object(v, where);
        onlyKeys(f, where, {QStringLiteral("kind"), QStringLiteral("reply"), QStringLiteral("bytes"), QStringLiteral("seconds")});
        static const QStringList kinds = {QStringLiteral("silent"), QStringLiteral("wrongIdentity"), QStringLiteral("cut"),
                                          QStringLiteral("dropTerminator"), QStringLiteral("pause"), QStringLiteral("garbage")};
        const QString kind = string(f.value(QStringLiteral("kind")), where + QStringLiteral(".kind"));
        const int k = int(kinds.indexOf(kind));
        if (k < 0)
            fail(where + QStringLiteral(".kind"), QStringLiteral("\"%1\" is none of %2").arg(kind, kinds.join(QStringLiteral(", "))));
        MeterFault out;
        out.kind = MeterFault::Kind(k);
        ReplySelector::Which dflt = ReplySelector::Any;
        if (out.kind == MeterFault::WrongIdentity)
            dflt = ReplySelector::Identity;
        else if (out.kind == MeterFault::DropTerminator)
            dflt = ReplySelector::Results;
        out.reply = ReplySelector{dflt, -1};
        if (f.contains(QStringLiteral("reply"))) {
            const QString sel = string(f.value(QStringLiteral("reply")), where + QStringLiteral(".reply"));
            const std::optional<ReplySelector> s = ReplySelector::parse(sel);
            if (!s)
                fail(where + QStringLiteral(".reply"), QStringLiteral("\"%1\" is none of any, identity, objects, results, results:K").arg(sel));
            out.reply = *s;
        }
        const bool needsBytes = out.kind == MeterFault::Cut || out.kind == MeterFault::Pause;
        if (f.contains(QStringLiteral("bytes")))
            out.bytes = int(integer(f.value(QStringLiteral("bytes")), where + QStringLiteral(".bytes"), 0, 100000000));
        else if (needsBytes)
            fail(where, QStringLiteral("\"bytes\" is missing"));
        else if (out.kind == MeterFault::Garbage)
            out.bytes = 40;
        out.seconds = out.kind == MeterFault::Pause ? 0.15 : 0.0;
        if (f.contains(QStringLiteral("seconds")))
            out.seconds = number(f.value(QStringLiteral("seconds")), where + QStringLiteral(".seconds"), 0.0, 3600.0);
        return out;
    }

private:
    QString origin_;
};

QString hexText(const QByteArray &b) { return QString::fromLatin1(b.toHex()); }

bool printableAscii(const QByteArray &b)
{
    return std::all_of(b.begin(), b.end(), [](char c) { return c >= 0x20 && c < 0x7F; });
}

} // namespace

MeterContent parseMeterJson(const QByteArray &json, const QString &origin)
{
    const FileReader in(origin);
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(json, &error);
    if (error.error != QJsonParseError::NoError)
        in.fail(QString(), QStringLiteral("not valid JSON at byte %1: %2").arg(error.offset).arg(error.errorString()));
    if (!doc.isObject())
        in.fail(QString(), QStringLiteral("must hold one JSON object"));
    const QJsonObject root = doc.object();
    in.onlyKeys(root, QStringLiteral("top level"),
                {QStringLiteral("format"), QStringLiteral("converter"), QStringLiteral("lineRate"),
                 QStringLiteral("responseDelay"), QStringLiteral("identity"), QStringLiteral("objects"),
                 QStringLiteral("faults"), QStringLiteral("exchanges")});
    if (root.contains(QStringLiteral("format")) && root.value(QStringLiteral("format")).toString() != FormatName)
        in.fail(QStringLiteral("format"), QStringLiteral("\"%1\" expected").arg(FormatName));

    MeterContent m;
    if (root.contains(QStringLiteral("converter"))) {
        const QJsonObject c = in.object(root.value(QStringLiteral("converter")), QStringLiteral("converter"));
        in.onlyKeys(c, QStringLiteral("converter"),
                    {QStringLiteral("serial"), QStringLiteral("description"), QStringLiteral("openRefusal")});
        if (c.contains(QStringLiteral("openRefusal")))
            m.openRefusal = in.string(c.value(QStringLiteral("openRefusal")), QStringLiteral("converter.openRefusal"));
        if (c.contains(QStringLiteral("serial")))
            m.converterSerial = in.string(c.value(QStringLiteral("serial")), QStringLiteral("converter.serial")).toLatin1();
        if (c.contains(QStringLiteral("description")))
            m.converterDescription = in.string(c.value(QStringLiteral("description")), QStringLiteral("converter.description")).toLatin1();
        if (m.converterSerial.size() > 15)
            in.fail(QStringLiteral("converter.serial"), QStringLiteral("at most 15 characters"));
        if (m.converterDescription.size() > 63)
            in.fail(QStringLiteral("converter.description"), QStringLiteral("at most 63 characters"));
    }
    if (root.contains(QStringLiteral("lineRate")))
        m.lineRate = qint32(in.integer(root.value(QStringLiteral("lineRate")), QStringLiteral("lineRate"), 300, 3000000));
    if (root.contains(QStringLiteral("responseDelay")))
        m.responseDelay = in.number(root.value(QStringLiteral("responseDelay")), QStringLiteral("responseDelay"), 0.0, 60.0);

    if (root.contains(QStringLiteral("identity"))) {
        const QJsonObject id = in.object(root.value(QStringLiteral("identity")), QStringLiteral("identity"));
        if (id.contains(QStringLiteral("hex"))) {
            in.onlyKeys(id, QStringLiteral("identity"), {QStringLiteral("hex")});
            m.identity = in.hex(id.value(QStringLiteral("hex")), QStringLiteral("identity.hex"));
        } else {
            in.onlyKeys(id, QStringLiteral("identity"), {QStringLiteral("serial"), QStringLiteral("firmware")});
            const QByteArray serial = toAnsi(in.string(id.value(QStringLiteral("serial")), QStringLiteral("identity.serial")));
            const QByteArray firmware = toAnsi(in.string(id.value(QStringLiteral("firmware")), QStringLiteral("identity.firmware")));
            if (serial.size() != 8)
                in.fail(QStringLiteral("identity.serial"), QStringLiteral("must be 8 characters (it begins with \"PH\")"));
            if (!serial.startsWith("PH"))
                in.fail(QStringLiteral("identity.serial"), QStringLiteral("must begin with \"PH\""));
            if (firmware.size() != 4)
                in.fail(QStringLiteral("identity.firmware"), QStringLiteral("must be 4 characters"));
            m.identity = EncodeIdentity(serial, firmware);
        }
    }

    if (root.contains(QStringLiteral("objects"))) {
        QSet<int> numbers;
        const QJsonArray objects = in.array(root.value(QStringLiteral("objects")), QStringLiteral("objects"));
        for (int i = 0; i < objects.size(); ++i) {
            const QString where = QStringLiteral("objects[%1]").arg(i);
            const QJsonObject o = in.object(objects.at(i), where);
            in.onlyKeys(o, where, {QStringLiteral("number"), QStringLiteral("name"), QStringLiteral("nameHex"), QStringLiteral("results")});
            MeterObject obj;
            if (!o.contains(QStringLiteral("number")))
                in.fail(where, QStringLiteral("\"number\" is missing"));
            obj.number = int(in.integer(o.value(QStringLiteral("number")), where + QStringLiteral(".number"), 0, 255));
            if (numbers.contains(obj.number))
                in.fail(where + QStringLiteral(".number"), QStringLiteral("object %1 is listed twice").arg(obj.number));
            numbers.insert(obj.number);
            obj.name = in.text8(o, QStringLiteral("name"), where, 20);
            if (o.contains(QStringLiteral("results"))) {
                const QJsonArray results = in.array(o.value(QStringLiteral("results")), where + QStringLiteral(".results"));
                obj.results.reserve(results.size());
                for (int j = 0; j < results.size(); ++j)
                    obj.results.append(in.result(results.at(j), where + QStringLiteral(".results[%1]").arg(j)));
            }
            m.objects.append(obj);
        }
    }

    if (root.contains(QStringLiteral("faults"))) {
        const QJsonArray faults = in.array(root.value(QStringLiteral("faults")), QStringLiteral("faults"));
        for (int i = 0; i < faults.size(); ++i)
            m.faults.append(in.fault(faults.at(i), QStringLiteral("faults[%1]").arg(i)));
    }

    if (root.contains(QStringLiteral("exchanges"))) {
        const QJsonArray exchanges = in.array(root.value(QStringLiteral("exchanges")), QStringLiteral("exchanges"));
        for (int i = 0; i < exchanges.size(); ++i) {
            const QString where = QStringLiteral("exchanges[%1]").arg(i);
            const QJsonObject e = in.object(exchanges.at(i), where);
            in.onlyKeys(e, where, {QStringLiteral("command"), QStringLiteral("reply"), QStringLiteral("at")});
            RecordedExchange x;
            x.command = in.hex(e.value(QStringLiteral("command")), where + QStringLiteral(".command"));
            x.reply = e.contains(QStringLiteral("reply")) ? in.hex(e.value(QStringLiteral("reply")), where + QStringLiteral(".reply"))
                                                          : QByteArray();
            if (e.contains(QStringLiteral("at")))
                x.at = in.number(e.value(QStringLiteral("at")), where + QStringLiteral(".at"), 0.0, 1e9);
            m.exchanges.append(x);
        }
    }
    return m;
}

MeterContent readMeterFile(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        throw MeterFileError(QStringLiteral("Meter file \"%1\" cannot be read: %2").arg(path, f.errorString()));
    // Read by size, not to the end: a device or a runaway file would never end.
    const QByteArray json = f.read(MeterFileMaxBytes + 1);
    if (json.size() > MeterFileMaxBytes)
        throw MeterFileError(QStringLiteral("Meter file \"%1\" is larger than %2 MiB, the most a meter file may hold.")
                                 .arg(path)
                                 .arg(MeterFileMaxBytes / (1024 * 1024)));
    if (f.error() != QFileDevice::NoError)
        throw MeterFileError(QStringLiteral("Meter file \"%1\" cannot be read: %2").arg(path, f.errorString()));
    return parseMeterJson(json, path);
}

QByteArray meterJson(const MeterContent &m)
{
    QJsonObject root;
    root.insert(QStringLiteral("format"), FormatName);
    QJsonObject converter{{QStringLiteral("serial"), QString::fromLatin1(m.converterSerial)},
                          {QStringLiteral("description"), QString::fromLatin1(m.converterDescription)}};
    if (!m.openRefusal.isEmpty())
        converter.insert(QStringLiteral("openRefusal"), m.openRefusal);
    root.insert(QStringLiteral("converter"), converter);
    root.insert(QStringLiteral("lineRate"), m.lineRate);
    root.insert(QStringLiteral("responseDelay"), m.responseDelay);

    MeterIdentity id;
    if (m.identity.size() == IdentityReplyLength && DecodeIdentity(m.identity, &id) && printableAscii(m.identity.left(16))
        && EncodeIdentity(m.identity.mid(3, 8), m.identity.mid(12, 4)) == m.identity)
        root.insert(QStringLiteral("identity"), QJsonObject{{QStringLiteral("serial"), QString::fromLatin1(m.identity.mid(3, 8))},
                                                            {QStringLiteral("firmware"), QString::fromLatin1(m.identity.mid(12, 4))}});
    else
        root.insert(QStringLiteral("identity"), QJsonObject{{QStringLiteral("hex"), hexText(m.identity)}});

    QJsonArray objects;
    for (const MeterObject &o : m.objects) {
        QJsonObject jo;
        jo.insert(QStringLiteral("number"), o.number);
        if (printableAscii(o.name))
            jo.insert(QStringLiteral("name"), QString::fromLatin1(o.name));
        else
            jo.insert(QStringLiteral("nameHex"), hexText(o.name));
        QJsonArray results;
        for (const QByteArray &rec : o.results) {
            const std::optional<ResultRecord> r = DecodeResult(rec);
            const quint16 phWord = quint16(quint8(rec.at(7)) | (quint8(rec.at(8)) << 8));
            const quint16 tWord = quint16(quint8(rec.at(9)) | (quint8(rec.at(10)) << 8));
            const double celsius = qint16(tWord) < 0 ? double(qint16(tWord)) / 10.0 : double(tWord & 0x3FFF) / 10.0;
            if (r && EncodeResult(r->leading, r->measured, phWord, temperatureWord(celsius, r->flag)) == rec) {
                QJsonObject jr{{QStringLiteral("time"), r->measured.toString(Qt::ISODate)},
                               {QStringLiteral("ph"), double(phWord) / 100.0},
                               {QStringLiteral("temperature"), celsius}};
                if (r->flag)
                    jr.insert(QStringLiteral("flag"), r->flag);
                if (r->leading)
                    jr.insert(QStringLiteral("leading"), qint64(r->leading));
                results.append(jr);
            } else {
                results.append(QJsonObject{{QStringLiteral("hex"), hexText(rec)}});
            }
        }
        jo.insert(QStringLiteral("results"), results);
        objects.append(jo);
    }
    root.insert(QStringLiteral("objects"), objects);

    if (!m.faults.isEmpty()) {
        static const char *kinds[] = {"silent", "wrongIdentity", "cut", "dropTerminator", "pause", "garbage"};
        QJsonArray faults;
        for (const MeterFault &f : m.faults) {
            QJsonObject jf{{QStringLiteral("kind"), QLatin1String(kinds[f.kind])}, {QStringLiteral("reply"), f.reply.text()}};
            if (f.kind == MeterFault::Cut || f.kind == MeterFault::Pause || f.kind == MeterFault::Garbage)
                jf.insert(QStringLiteral("bytes"), f.bytes);
            if (f.kind == MeterFault::Pause)
                jf.insert(QStringLiteral("seconds"), f.seconds);
            faults.append(jf);
        }
        root.insert(QStringLiteral("faults"), faults);
    }
    if (!m.exchanges.isEmpty()) {
        QJsonArray exchanges;
        for (const RecordedExchange &x : m.exchanges)
            exchanges.append(QJsonObject{{QStringLiteral("command"), hexText(x.command)},
                                         {QStringLiteral("reply"), hexText(x.reply)},
                                         {QStringLiteral("at"), x.at}});
        root.insert(QStringLiteral("exchanges"), exchanges);
    }
    return QJsonDocument(root).toJson(QJsonDocument::Indented);
}

void writeMeterFile(const MeterContent &content, const QString &path)
{
    QSaveFile f(path);
    if (!f.open(QIODevice::WriteOnly))
        throw MeterFileError(QStringLiteral("Meter file \"%1\" cannot be written: %2").arg(path, f.errorString()));
    const QByteArray json = meterJson(content);
    if (f.write(json) != json.size() || !f.commit())
        throw MeterFileError(QStringLiteral("Meter file \"%1\" cannot be written: %2").arg(path, f.errorString()));
}

} // namespace arvex::meter
