#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>
#include <optional>

namespace arvex::meter {

// The meter's commands: ASCII bytes ended by a carriage return.
inline const QByteArray IdentityCommand = QByteArrayLiteral("I\r");
inline const QByteArray ObjectListCommand = QByteArrayLiteral("L\r");
constexpr int IdentityReplyLength = 17;
constexpr int ObjectRecordSize = 25;
constexpr int ResultRecordSize = 11;
constexpr char ReplyTerminator = 0x2A; // '*'

struct MeterIdentity {
    QString serial;   // 8 characters, beginning with "PH"
    QString firmware; // 4 characters
};

struct ObjectRecord {
    int number = 0; // 0 to 255
    QString name;   // 0 to 20 characters
};

struct ResultRecord {
    quint32 leading = 0;  // 0 to 16777215 (DANE3)
    QDateTime measured;   // the meter's wall-clock fields under Qt::UTC, whole even seconds
    float ph = 0;
    float temperature = 0; // °C
    int flag = 0;          // DANE4: 0 or 1
};

// Accepted exactly when the reply has at least 17 bytes and begins with "PP PH".
bool DecodeIdentity(const QByteArray &reply, MeterIdentity *identity);

// Well-formed exactly when the reply is whole records of the given size followed by the
// terminator 0x2A as its last byte; the records are the slices from the start. A reply with
// bytes to spare was cut or joined to something else (a data byte 0x2A passes for the
// terminator when a reply stops right after it), so it is refused rather than read.
bool SplitRecords(const QByteArray &reply, int recordSize, QList<QByteArray> *records);

ObjectRecord DecodeObject(const QByteArray &record);

// Empty when the record's date or time is not a valid calendar date or clock time.
std::optional<ResultRecord> DecodeResult(const QByteArray &record);

// Temperature in °C for a temperature word with bit 15 set: the low 15 bits are read as a
// negative number of tenths of a degree in two's complement of the signed word, i.e. the
// word taken as signed 16-bit, divided by 10.
float negativeTemperature(qint16 word);

// "M", the object number as one byte, CR; for object 13 only "M" CR.
QByteArray ResultsCommand(int objectNumber);

} // namespace arvex::meter

namespace arvex::meter {

// The meter's side of the formats, for the emulator and for recorded replies.
QByteArray EncodeIdentity(const QByteArray &serial8, const QByteArray &firmware4);
QByteArray EncodeObject(int number, const QByteArray &name); // name: up to 20 bytes
// Raw fields of a result record: date and time are packed as the meter packs them.
QByteArray EncodeResult(quint32 leading, const QDateTime &measured, quint16 phWord, quint16 temperatureWord);
// Temperature word for a °C value (tenths, bit 14 the flag; negative values as signed word).
quint16 temperatureWord(double celsius, int flag = 0);

} // namespace arvex::meter
