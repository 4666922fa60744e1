#include "meter/FTDItypes.h"

#include <iterator>

std::optional<quint32> ftdiBaudValue(fBaudRate baudrate)
{
    static constexpr quint32 rates[] = {300,   600,   1200,  2400,   4800,   9600,   14400,
                                        19200, 38400, 57600, 115200, 230400, 460800, 921600};
    if (quint8(baudrate) >= std::size(rates))
        return std::nullopt;
    return rates[quint8(baudrate)];
}

std::optional<quint8> ftdiWordLengthValue(fWordLength length)
{
    switch (length) {
    case fBits8: return quint8(8);
    case fBits7: return quint8(7);
    }
    return std::nullopt;
}

std::optional<quint8> ftdiStopBitsValue(fStopBits stopBits)
{
    switch (stopBits) {
    case fStopBits1: return quint8(0);
    case fStopBits2: return quint8(2);
    }
    return std::nullopt;
}

std::optional<quint8> ftdiParityValue(fParity parity)
{
    if (quint8(parity) > fParitySpace)
        return std::nullopt;
    return quint8(parity);
}

std::optional<quint16> ftdiFlowValue(fFlowControl flow)
{
    switch (flow) {
    case fFlowNone: return quint16(0x0000);
    case fFlowRTSCTS: return quint16(0x0100);
    case fFlowDTRDSR: return quint16(0x0200);
    case fFlowXONXOFF: return quint16(0x0400);
    }
    return std::nullopt;
}

std::optional<quint32> ftdiPurgeMask(fQueue queue)
{
    switch (queue) {
    case fSendQueue: return 2u;
    case fReceiveQueue: return 1u;
    case fAll: return 3u;
    }
    return std::nullopt;
}

fDevice ftdiDeviceOf(quint32 deviceType)
{
    return deviceType <= fDevice232R ? fDevice(deviceType) : fDeviceUnknown;
}

quint32 ftdiEventMask(fEvent event)
{
    switch (event) {
    case fEventRXChar: return 1;
    case fEventModemStatus: return 2;
    default: return 3;
    }
}
