#pragma once

// The meter emulator: a pH meter's content (identity, objects, result records) and the way
// it answers the identity, object-list and results commands, byte for byte, with optional
// misbehaviour. It knows nothing of time or transport: EmulatorBus paces its replies on a
// virtual converter bus, MeterPty behind a pseudo-terminal.

#include "meter/MeterProtocol.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <optional>
#include <stdexcept>

namespace arvex::meter {

// Which replies a fault applies to: "any", "identity", "objects", "results" or "results:K".
struct ReplySelector {
    enum Which : quint8 { Any, Identity, ObjectList, Results };
    Which which = Any;
    int object = -1; // Results only: this object's reply (-1: every object's)

    bool matches(Which reply, int objectNumber) const;
    static std::optional<ReplySelector> parse(const QString &text);
    QString text() const;
};

struct MeterFault {
    enum Kind : quint8 {
        Silent,         // no reply at all
        WrongIdentity,  // the identity reply with a wrong marker ("PP PX")
        Cut,            // the reply stops after `bytes` bytes
        DropTerminator, // the reply without its final 0x2A
        Pause,          // `seconds` of silence after `bytes` bytes of the reply
        Garbage,        // `bytes` bytes of noise in place of the reply
    };
    Kind kind = Silent;
    ReplySelector reply;
    int bytes = 0;
    double seconds = 0;

    static MeterFault silent(ReplySelector on = {}) { return {Silent, on, 0, 0}; }
    static MeterFault wrongIdentity() { return {WrongIdentity, {ReplySelector::Identity, -1}, 0, 0}; }
    static MeterFault cut(ReplySelector on, int after) { return {Cut, on, after, 0}; }
    static MeterFault dropTerminatorOf(int object) { return {DropTerminator, {ReplySelector::Results, object}, 0, 0}; }
    static MeterFault pause(ReplySelector on, int after, double seconds) { return {Pause, on, after, seconds}; }
    static MeterFault garbage(ReplySelector on, int count = 40) { return {Garbage, on, count, 0}; }
};

struct MeterObject {
    int number = 0;            // 0 to 255
    QByteArray name;           // up to 20 bytes of the meter's code page
    QList<QByteArray> results; // 11-byte records, as the meter sends them
};

// One command and every byte read after it until the next command.
struct RecordedExchange {
    QByteArray command; // as written, CR included
    QByteArray reply;
    double at = 0; // seconds from the start of the recording
};

struct MeterContent {
    QByteArray converterSerial = QByteArrayLiteral("PP000001");
    QByteArray converterDescription = QByteArrayLiteral("FT232R USB UART");
    // Not empty: the converter is listed but cannot be opened, for this reason (as when the
    // system refuses access to the device file).
    QString openRefusal;
    // The whole identity reply, normally 17 bytes.
    QByteArray identity = EncodeIdentity(QByteArrayLiteral("PH000001"), QByteArrayLiteral("1.00"));
    QList<MeterObject> objects;
    QList<MeterFault> faults;
    // Recorded replies come first: a command met here gets the recorded reply (the next one
    // each time it is repeated, the last one once they are used up).
    QList<RecordedExchange> exchanges;
    qint32 lineRate = 115200;     // the meter's own line rate
    double responseDelay = 0.0005; // seconds from the command's CR to the reply's first byte

    int resultCount() const;
    const MeterObject *object(int number) const;
};

// A meter holding six objects (one of them number 13) and a few hundred results over half a
// year, with pH and temperatures typical of each place. Always the same.
MeterContent demoMeter();

// Meter files: JSON, see writeMeterFile. A file that cannot be used raises MeterFileError
// whose message names the file and the place in it.
class MeterFileError : public std::runtime_error {
public:
    explicit MeterFileError(const QString &text) : std::runtime_error(text.toStdString()), text_(text) {}
    QString text() const { return text_; }

private:
    QString text_;
};
// The largest meter file read: far above a full meter's content written out as hex.
constexpr qint64 MeterFileMaxBytes = 64LL * 1024 * 1024;
MeterContent readMeterFile(const QString &path);
MeterContent parseMeterJson(const QByteArray &json, const QString &origin);
QByteArray meterJson(const MeterContent &content);
// Results are written as fields (time, ph, temperature, flag, leading) when those give the
// record's bytes back exactly, otherwise as "hex".
void writeMeterFile(const MeterContent &content, const QString &path);

// Part of a reply: `bytes` follow `delaySeconds` of silence after the previous segment (for
// the first segment of a reply: after the command's CR).
struct ReplySegment {
    double delaySeconds = 0;
    QByteArray bytes;
};

class MeterEmulator {
public:
    explicit MeterEmulator(MeterContent content = {});

    MeterContent &content() { return content_; }
    const MeterContent &content() const { return content_; }

    // Bytes the meter receives. Gives what it sends for every command they complete, in order.
    QList<ReplySegment> receive(const QByteArray &bytes);
    // The reply to one command (its final CR may be left out), faults applied; empty when
    // the meter does not answer it.
    QList<ReplySegment> answer(const QByteArray &command);
    // The reply as the content alone gives it, without faults or recordings (nullopt: none).
    std::optional<QByteArray> contentReply(const QByteArray &command) const;

    // Every command received, without its CR.
    const QList<QByteArray> &commands() const { return commands_; }

private:
    std::optional<QByteArray> recordedReply(const QByteArray &command);

    MeterContent content_;
    QByteArray input_;
    QList<QByteArray> commands_;
    QList<int> replayed_; // per recorded exchange: 1 once replayed
};

} // namespace arvex::meter
