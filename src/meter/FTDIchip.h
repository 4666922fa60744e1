#pragma once

// One FTDI USB-serial converter, reached through the D2XX calls of the installed table.
// Library failures come back as false; misuse (opening an open chip, closing a closed one, a
// value outside an enumeration) raises std::runtime_error with a message of the form
// "tftdichip.<method>: <problem>".

#include "meter/FTDIdll.h"
#include "meter/FTDItypes.h"

#include <QByteArray>
#include <QString>
#include <atomic>

class tftdithread;

class tftdichip {
public:
    tftdichip();  // create: closed, no handlers, no thread
    ~tftdichip(); // Destroy: stops event delivery; an open device stays open
    tftdichip(const tftdichip &) = delete;
    tftdichip &operator=(const tftdichip &) = delete;

    // Fields, in their order.
    FT_HANDLE fhandle = 0;   // valid while open
    bool fconnected = false; // between a successful open and closeDevice
    tftdievent_onReceiveData e_onReceiveData;
    tftdievent_onSendQueueEmpty e_onSendQueueEmpty;
    tftdievent_onError e_onError;
    tftdithread *thread = nullptr; // the running event thread, owned
    // Set by every successful write; cleared by the event thread once the transmit queue is
    // empty. Both threads touch it, hence atomic.
    std::atomic<bool> dataHasBeenSent{false};

    // Used by the program.
    bool createDeviceInfoList(quint32 &devicecount, pftdiDeviceList &devicelist);
    void destroyDeviceInfoList(pftdiDeviceList &devicelist);
    bool openDeviceBySerial(const QByteArray &deviceSerial);
    void closeDevice();
    bool resetDevice();
    bool setBaudRate(fBaudRate baudrate);
    bool setDataCharacteristics(fWordLength wordLength, fStopBits stopBits, fParity parity);
    bool setLatencyTimer(quint8 millisecs);
    bool setFlowControl(fFlowControl flowcontrol, quint8 xonChar, quint8 xoffChar);
    bool setTimeouts(quint32 readTimeout, quint32 writeTimeout);
    bool purgeQueue(fQueue queue);
    bool write(const void *buffer, qint32 bytesToWrite, qint32 &bytesWritten);
    bool read(void *buffer, qint32 bytesToRead, qint32 &bytesRead);
    bool getReceiveQueueStatus(qint32 &bytesWaiting);

    // The rest of the layer.
    bool isPresentByDescription(const QByteArray &deviceDescription);
    bool openDeviceByDescription(const QByteArray &deviceDescription);
    bool isPresentBySerial(const QByteArray &deviceSerial);
    bool cycleDevice();
    bool setBaudRateEx(quint32 baudrate);
    bool getSendQueueStatus(qint32 &bytesWaiting);
    bool getCTS();
    bool getDSR();
    bool getRI();
    bool getDCD();
    bool setDTR();
    bool clearDTR();
    bool setRTS();
    bool clearRTS();
    bool getDeviceInfo(fDevice &device, quint16 &pid, quint16 &vid, QByteArray &serialnumber, QByteArray &description);
    bool createEventObject(fEvent event, FtdiEventHandle &eventHandle);
    fEvent waitForEventObject(const FtdiEventHandle &eventhandle, quint32 timeout);
    void closeEventObject(FtdiEventHandle &eventhandle);
    bool setupCommEvents(tftdievent_onReceiveData onReceiveData, tftdievent_onSendQueueEmpty onSendQueueEmpty,
                         tftdievent_onError onError);
    bool startCommEvents();
    bool stopCommEvents();

    // The chip's key in the event registry: the decimal text of its address.
    static QString registryKey(const tftdichip *chip);

private:
    bool openBy(const QByteArray &text, quint32 flag, const char *method);
    bool isPresentBy(const QByteArray &text, quint32 flag);
    bool modemBit(quint32 bit, const char *method);
};
