#include "meter/FTDIchip.h"

#include "meter/FTDIthread.h"
#include "meter/bsearchtree.h"

#include <QThread>
#include <cstring>
#include <stdexcept>

namespace {

[[noreturn]] void misuse(const char *method, const char *problem)
{
    throw std::runtime_error(std::string("tftdichip.") + method + ": " + problem);
}

} // namespace

tftdichip::tftdichip() = default;

tftdichip::~tftdichip() { stopCommEvents(); }

QString tftdichip::registryKey(const tftdichip *chip) { return QString::number(quintptr(chip)); }

bool tftdichip::createDeviceInfoList(quint32 &devicecount, pftdiDeviceList &devicelist)
{
    devicecount = 0;
    if (FT_CreateDeviceInfoList(&devicecount) != FT_OK) {
        devicecount = 0; // a failed enumeration shows no device
        return false;
    }
    if (devicecount == 0) {
        devicelist = nullptr;
        return true;
    }
    devicelist = new ftdiDeviceNode[devicecount];
    std::memset(static_cast<void *>(devicelist), 0, sizeof(ftdiDeviceNode) * devicecount);
    quint32 filled = devicecount;
    if (FT_GetDeviceInfoList(devicelist, &filled) != FT_OK) {
        destroyDeviceInfoList(devicelist);
        devicecount = 0;
        return false;
    }
    return true;
}

void tftdichip::destroyDeviceInfoList(pftdiDeviceList &devicelist)
{
    delete[] devicelist;
    devicelist = nullptr;
}

bool tftdichip::openBy(const QByteArray &text, quint32 flag, const char *method)
{
    if (fconnected)
        misuse(method, "Already open");
    FT_HANDLE handle = 0;
    if (FT_OpenEx(text.constData(), flag, &handle) != FT_OK)
        return false;
    fhandle = handle;
    fconnected = true;
    return true;
}

bool tftdichip::openDeviceBySerial(const QByteArray &deviceSerial)
{
    return openBy(deviceSerial, FT_OPEN_BY_SERIAL_NUMBER, "openDeviceBySerial");
}

bool tftdichip::openDeviceByDescription(const QByteArray &deviceDescription)
{
    return openBy(deviceDescription, FT_OPEN_BY_DESCRIPTION, "openDeviceByDescription");
}

bool tftdichip::isPresentBy(const QByteArray &text, quint32 flag)
{
    FT_HANDLE handle = 0;
    if (FT_OpenEx(text.constData(), flag, &handle) != FT_OK)
        return false;
    FT_Close(handle);
    return true;
}

bool tftdichip::isPresentByDescription(const QByteArray &deviceDescription)
{
    return isPresentBy(deviceDescription, FT_OPEN_BY_DESCRIPTION);
}

bool tftdichip::isPresentBySerial(const QByteArray &deviceSerial)
{
    return isPresentBy(deviceSerial, FT_OPEN_BY_SERIAL_NUMBER);
}

void tftdichip::closeDevice()
{
    if (!fconnected)
        misuse("closeDevice", "Not open");
    stopCommEvents();
    FT_Close(fhandle);
    fconnected = false;
}

bool tftdichip::resetDevice() { return FT_ResetDevice(fhandle) == FT_OK; }

bool tftdichip::setBaudRate(fBaudRate baudrate)
{
    const std::optional<quint32> rate = ftdiBaudValue(baudrate);
    if (!rate)
        misuse("setBaudRate", "Invalid baud rate");
    return FT_SetBaudRate(fhandle, *rate) == FT_OK;
}

bool tftdichip::setBaudRateEx(quint32 baudrate) { return FT_SetBaudRate(fhandle, baudrate) == FT_OK; }

bool tftdichip::setDataCharacteristics(fWordLength wordLength, fStopBits stopBits, fParity parity)
{
    const std::optional<quint8> bits = ftdiWordLengthValue(wordLength);
    if (!bits)
        misuse("setDataCharacteristics", "Invalid wordLength");
    const std::optional<quint8> stops = ftdiStopBitsValue(stopBits);
    if (!stops)
        misuse("setDataCharacteristics", "Invalid stopBits");
    const std::optional<quint8> par = ftdiParityValue(parity);
    if (!par)
        misuse("setDataCharacteristics", "Invalid parity");
    return FT_SetDataCharacteristics(fhandle, *bits, *stops, *par) == FT_OK;
}

bool tftdichip::setLatencyTimer(quint8 millisecs) { return FT_SetLatencyTimer(fhandle, millisecs) == FT_OK; }

bool tftdichip::setFlowControl(fFlowControl flowcontrol, quint8 xonChar, quint8 xoffChar)
{
    const std::optional<quint16> mode = ftdiFlowValue(flowcontrol);
    if (!mode)
        misuse("setFlowControl", "Invalid flowcontrol");
    return FT_SetFlowControl(fhandle, *mode, xonChar, xoffChar) == FT_OK;
}

bool tftdichip::setTimeouts(quint32 readTimeout, quint32 writeTimeout)
{
    return FT_SetTimeouts(fhandle, readTimeout, writeTimeout) == FT_OK;
}

bool tftdichip::purgeQueue(fQueue queue)
{
    const std::optional<quint32> mask = ftdiPurgeMask(queue);
    if (!mask)
        misuse("purgeQueue", "Invalid queue");
    return FT_Purge(fhandle, *mask) == FT_OK;
}

bool tftdichip::write(const void *buffer, qint32 bytesToWrite, qint32 &bytesWritten)
{
    bytesWritten = 0;
    if (bytesToWrite < 0)
        return false;
    quint32 written = 0;
    if (FT_Write(fhandle, buffer, quint32(bytesToWrite), &written) != FT_OK)
        return false;
    bytesWritten = qint32(written);
    dataHasBeenSent = true;
    return true;
}

bool tftdichip::read(void *buffer, qint32 bytesToRead, qint32 &bytesRead)
{
    bytesRead = 0;
    if (bytesToRead < 0)
        return false;
    quint32 got = 0;
    if (FT_Read(fhandle, buffer, quint32(bytesToRead), &got) != FT_OK)
        return false;
    bytesRead = qint32(got);
    return true;
}

bool tftdichip::getReceiveQueueStatus(qint32 &bytesWaiting)
{
    quint32 waiting = 0;
    if (FT_GetQueueStatus(fhandle, &waiting) != FT_OK)
        return false;
    bytesWaiting = qint32(waiting);
    return true;
}

bool tftdichip::cycleDevice() { return FT_CyclePort(fhandle) == FT_OK; }

bool tftdichip::getSendQueueStatus(qint32 &bytesWaiting)
{
    quint32 rx = 0, tx = 0, events = 0;
    if (FT_GetStatus(fhandle, &rx, &tx, &events) != FT_OK)
        return false;
    bytesWaiting = qint32(tx);
    return true;
}

bool tftdichip::modemBit(quint32 bit, const char *method)
{
    quint32 status = 0;
    if (FT_GetModemStatus(fhandle, &status) != FT_OK)
        misuse(method, "Error");
    return (status & bit) != 0;
}

bool tftdichip::getCTS() { return modemBit(0x10, "getCTS"); }
bool tftdichip::getDSR() { return modemBit(0x20, "getDSR"); }
bool tftdichip::getRI() { return modemBit(0x40, "getRI"); }
bool tftdichip::getDCD() { return modemBit(0x80, "getDCD"); }
bool tftdichip::setDTR() { return FT_SetDtr(fhandle) == FT_OK; }
bool tftdichip::clearDTR() { return FT_ClrDtr(fhandle) == FT_OK; }
bool tftdichip::setRTS() { return FT_SetRts(fhandle) == FT_OK; }
bool tftdichip::clearRTS() { return FT_ClrRts(fhandle) == FT_OK; }

bool tftdichip::getDeviceInfo(fDevice &device, quint16 &pid, quint16 &vid, QByteArray &serialnumber,
                              QByteArray &description)
{
    quint32 type = 0, id = 0;
    char serial[17] = {};
    char text[65] = {};
    if (FT_GetDeviceInfo(fhandle, &type, &id, serial, text, nullptr) != FT_OK)
        return false;
    serial[16] = '\0';
    text[64] = '\0';
    device = ftdiDeviceOf(type);
    vid = quint16(id >> 16);
    pid = quint16(id & 0xFFFF);
    serialnumber = QByteArray(serial);
    description = QByteArray(text);
    return true;
}

bool tftdichip::createEventObject(fEvent event, FtdiEventHandle &eventHandle)
{
    eventHandle = std::make_shared<FtdiEvent>();
    if (FT_SetEventNotification(fhandle, ftdiEventMask(event), eventHandle) != FT_OK) {
        eventHandle.reset();
        return false;
    }
    return true;
}

fEvent tftdichip::waitForEventObject(const FtdiEventHandle &eventhandle, quint32 timeout)
{
    if (eventhandle)
        eventhandle->wait(timeout);
    else
        QThread::msleep(timeout); // no event to wait on: wait out the time instead of spinning
    quint32 rx = 0, tx = 0, events = 0;
    if (FT_GetStatus(fhandle, &rx, &tx, &events) != FT_OK)
        return fEventError;
    if (events & FT_EVENT_MODEM_STATUS)
        return fEventModemStatus;
    if (rx > 0)
        return fEventRXChar;
    return fEventTimedOut;
}

void tftdichip::closeEventObject(FtdiEventHandle &eventhandle) { eventhandle.reset(); }

bool tftdichip::setupCommEvents(tftdievent_onReceiveData onReceiveData, tftdievent_onSendQueueEmpty onSendQueueEmpty,
                                tftdievent_onError onError)
{
    e_onReceiveData = std::move(onReceiveData);
    e_onSendQueueEmpty = std::move(onSendQueueEmpty);
    e_onError = std::move(onError);
    return true;
}

bool tftdichip::startCommEvents()
{
    if (thread)
        return false;
    auto *t = new tftdithread(true);
    t->e_onReceiveData = e_onReceiveData;
    t->e_onSendQueueEmpty = e_onSendQueueEmpty;
    t->e_onError = e_onError;
    t->ftdiclass = this;
    thread = t;
    if (tbsearchtree *registry = ftdiRegistry())
        registry->add(registryKey(this), this);
    t->start();
    return true;
}

bool tftdichip::stopCommEvents()
{
    if (!thread)
        return false;
    if (tbsearchtree *registry = ftdiRegistry())
        registry->remove(registryKey(this));
    thread->requestInterruption();
    thread->wait();
    delete thread;
    thread = nullptr;
    return true;
}
