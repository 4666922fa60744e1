#pragma once

// Finding the meters among the attached converters and exchanging one command with a meter.
// The main window and the headless command both call these; every wait goes through a Clock.

#include "meter/MeterClock.h"
#include "meter/MeterImport.h"

#include <QByteArray>
#include <array>
#include <functional>

class tftdichip;

namespace arvex::meter {

// Serial numbers of the meters found by the last scan, in enumeration order; positions past
// the count keep what earlier scans left.
using MeterList = std::array<QByteArray, 100>;

namespace link {
constexpr qint64 PollMs = 5;             // between two looks at the receive queue
constexpr qint64 SilenceMs = 100;        // no new byte for longer than this ends a reply
constexpr qint64 NothingMs = 1000;       // nothing at all for longer than this ends the wait
constexpr qint64 FinalReadDelayMs = 10;  // before the one read of the reply
constexpr qint64 SecondScanPauseMs = 2000;
} // namespace link

// A meter's converter: a serial number longer than 4 characters beginning with "PP".
bool IsMeterSerial(const QByteArray &serial);

// Enumerates the converters and lists the meters from position 1; when there is none, pauses
// 2 s and enumerates once more. Lets `processMessages` run once per converter listed. Leaves
// the chip closed. More than 100 meters: the first 100 are listed and counted.
int ScanMeters(tftdichip &chip, MeterList &list, Clock &clock, const std::function<void()> &processMessages = {});

// Sends one command to the open chip and collects the reply: it ends once `expectedLength`
// bytes (0: unknown) are waiting, 0.1 s after the last new byte, or 1 s after the write when
// nothing came. The reply holds what the one final read delivered; it may be empty.
// `stop`, when given, is asked at every poll: once it is true the wait ends at once with an
// empty reply.
QByteArray MeterExchange(tftdichip &chip, const QByteArray &command, qint32 expectedLength, Clock &clock,
                         const std::function<bool()> &stop = {});

// Sets up an open chip's line as the meter needs it: 115200 bits per second, 8 data bits, one
// stop bit, no parity, latency 2 ms, USB transfers of 16 bytes, no flow control, read and
// write timeouts of 5 ms. The calls' results are not examined.
void ConfigureMeterLine(tftdichip &chip);

// MeterExchange on the chip as the import's exchange function.
ExchangeFn exchangeWith(tftdichip &chip, Clock &clock);

// The exchanges of one download on one open chip, each reply checked complete. A reply of
// unknown length ends with 0.1 s of silence, so a meter that pauses longer in the middle of
// a reply leaves its rest for later: a reply counts as complete only when the line stays
// quiet after it until the next command is written. Bytes waiting at that point belong to
// the previous reply (cut short by a pause, or longer than its expected length); the
// exchange is then marked incomplete, the next command is not sent and its reply is empty,
// which every reply check refuses. Bytes waiting before the first command are no reply and
// are emptied as usual.
class CheckedExchange {
public:
    CheckedExchange(tftdichip &chip, Clock &clock);

    // MeterExchange, once the line is found quiet after the previous reply.
    QByteArray exchange(const QByteArray &command, qint32 expectedLength);
    // Looks at the line now: false when bytes came after the last reply (or earlier), or
    // when the line cannot be looked at.
    // Called before what was decoded from a reply is kept.
    bool lastReplyComplete();
    bool incomplete() const { return incomplete_; }
    // Asked before every command and at every poll: once true, nothing more is sent, the
    // reply waited for is empty and no reply counts as complete.
    void setStop(std::function<bool()> stop) { stop_ = std::move(stop); }
    bool interrupted() const { return interrupted_; }
    // The command whose reply was found incomplete, and the last command sent.
    QByteArray incompleteCommand() const { return incompleteCommand_; }
    QByteArray lastCommand() const { return lastCommand_; }
    // exchange() as the import's exchange function.
    ExchangeFn function();

private:
    bool lineQuiet();

    tftdichip &chip_;
    Clock &clock_;
    std::function<bool()> stop_;
    bool replied_ = false;
    bool incomplete_ = false;
    bool interrupted_ = false;
    QByteArray lastCommand_, incompleteCommand_;
};

} // namespace arvex::meter
