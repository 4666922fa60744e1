#pragma once

// Enumerations, the device-list record and the handler types of the USB layer.

#include <QtGlobal>
#include <cstddef>
#include <functional>
#include <optional>

class tftdichip;

// Each enumeration is stored in one byte; the functions below give the value handed to the
// D2XX library, or nothing for a value outside the enumeration.
enum fBaudRate : quint8 {
    fBaud300,
    fBaud600,
    fBaud1200,
    fBaud2400,
    fBaud4800,
    fBaud9600,
    fBaud14400,
    fBaud19200,
    fBaud38400,
    fBaud57600,
    fBaud115200,
    fBaud230400,
    fBaud460800,
    fBaud921600
};
enum fWordLength : quint8 { fBits8, fBits7 };
enum fStopBits : quint8 { fStopBits1, fStopBits2 };
enum fParity : quint8 { fParityNone, fParityOdd, fParityEven, fParityMark, fParitySpace };
enum fFlowControl : quint8 { fFlowNone, fFlowRTSCTS, fFlowDTRDSR, fFlowXONXOFF };
enum fQueue : quint8 { fSendQueue, fReceiveQueue, fAll };
enum fDevice : quint8 { fDevice232BM, fDevice232AM, fDevice100AX, fDeviceUnknown, fDevice2232C, fDevice232R };
// The last two occur only as results of waiting for an event.
enum fEvent : quint8 { fEventRXChar, fEventModemStatus, fEventAny, fEventTimedOut, fEventError };

std::optional<quint32> ftdiBaudValue(fBaudRate baudrate);      // 300 .. 921600
std::optional<quint8> ftdiWordLengthValue(fWordLength length); // 8, 7
std::optional<quint8> ftdiStopBitsValue(fStopBits stopBits);   // 0 (one), 2 (two)
std::optional<quint8> ftdiParityValue(fParity parity);         // 0 .. 4
std::optional<quint16> ftdiFlowValue(fFlowControl flow);       // 0x0000, 0x0100, 0x0200, 0x0400
std::optional<quint32> ftdiPurgeMask(fQueue queue);            // 2 (transmit), 1 (receive), 3 (both)
fDevice ftdiDeviceOf(quint32 deviceType);                      // 0 .. 5; anything else fDeviceUnknown
quint32 ftdiEventMask(fEvent event);                           // 1, 2, 3 for any other value

// One node of the D2XX device list: 100 bytes, laid out as the library fills it.
struct ftdiDeviceNode {
    quint32 flags;
    quint32 deviceType;
    quint32 id;
    quint32 locid;
    char serialNumber[16]; // zero-ended
    char description[64];  // zero-ended
    quint32 ftHandle;
};
static_assert(sizeof(ftdiDeviceNode) == 100, "the D2XX device-list node is 100 bytes");
static_assert(offsetof(ftdiDeviceNode, serialNumber) == 16, "serial number at node offset 16");
static_assert(offsetof(ftdiDeviceNode, description) == 32, "description at node offset 32");
static_assert(offsetof(ftdiDeviceNode, ftHandle) == 96, "handle at node offset 96");

using ftdiDeviceList = ftdiDeviceNode[];
using pftdiDeviceList = ftdiDeviceNode *; // the first node of a block of nodes

// Handlers bound to some receiver; the chip is passed as the sender.
using tftdievent_onReceiveData = std::function<void(tftdichip *ftdichip, qint32 datalength)>;
using tftdievent_onSendQueueEmpty = std::function<void(tftdichip *ftdichip)>;
using tftdievent_onError = std::function<void(tftdichip *ftdichip)>;
