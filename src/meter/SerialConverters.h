#pragma once

// The D2XX table over the converters the operating system shows: every serial port with the
// FTDI vendor id 0x0403, with the USB serial number and description of its descriptor, opened
// through QSerialPort. Each open port is served by a thread of its own that collects what
// arrives into a receive queue, as the vendor's driver does, so that the queue count, the
// read with its timeout and event notification behave as the library's. A call the port
// cannot carry out fails with a status, and lastErrorText() keeps the system's reason (for
// example that the user may not open the device file).

#include "meter/FTDIdll.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QMutex>
#include <QString>
#include <memory>

namespace arvex::meter {

class SerialConverters final : public tftdidll {
public:
    SerialConverters();
    ~SerialConverters() override; // closes every port still open

    // Lists a port as a converter although the system does not show it as one (a
    // pseudo-terminal in tests, a converter behind another driver).
    void addPort(const QString &location, const QByteArray &serial,
                 const QByteArray &description = QByteArrayLiteral("Serial port"));
    // Whether the system's FTDI ports are listed (default true).
    void setSystemPortsListed(bool listed);

    FT_STATUS CreateDeviceInfoList(quint32 *numDevs) override;
    FT_STATUS GetDeviceInfoList(ftdiDeviceNode *list, quint32 *numDevs) override;
    FT_STATUS OpenEx(const char *arg, quint32 flags, FT_HANDLE *handle) override;
    FT_STATUS Close(FT_HANDLE handle) override;
    FT_STATUS ResetDevice(FT_HANDLE handle) override;
    FT_STATUS SetBaudRate(FT_HANDLE handle, quint32 baudRate) override;
    FT_STATUS SetDataCharacteristics(FT_HANDLE handle, quint8 wordLength, quint8 stopBits, quint8 parity) override;
    FT_STATUS SetLatencyTimer(FT_HANDLE handle, quint8 millisecs) override;
    FT_STATUS SetUSBParameters(FT_HANDLE handle, quint32 inTransferSize, quint32 outTransferSize) override;
    FT_STATUS SetFlowControl(FT_HANDLE handle, quint16 mode, quint8 xon, quint8 xoff) override;
    FT_STATUS SetTimeouts(FT_HANDLE handle, quint32 readTimeout, quint32 writeTimeout) override;
    FT_STATUS Purge(FT_HANDLE handle, quint32 mask) override;
    FT_STATUS Write(FT_HANDLE handle, const void *buffer, quint32 bytesToWrite, quint32 *bytesWritten) override;
    FT_STATUS Read(FT_HANDLE handle, void *buffer, quint32 bytesToRead, quint32 *bytesReturned) override;
    FT_STATUS GetQueueStatus(FT_HANDLE handle, quint32 *rxBytes) override;
    FT_STATUS GetStatus(FT_HANDLE handle, quint32 *rxBytes, quint32 *txBytes, quint32 *eventStatus) override;
    FT_STATUS GetModemStatus(FT_HANDLE handle, quint32 *modemStatus) override;
    FT_STATUS SetDtr(FT_HANDLE handle) override;
    FT_STATUS ClrDtr(FT_HANDLE handle) override;
    FT_STATUS SetRts(FT_HANDLE handle) override;
    FT_STATUS ClrRts(FT_HANDLE handle) override;
    FT_STATUS CyclePort(FT_HANDLE handle) override;
    FT_STATUS GetDeviceInfo(FT_HANDLE handle, quint32 *deviceType, quint32 *id, char *serialNumber, char *description,
                            void *dummy) override;
    FT_STATUS SetEventNotification(FT_HANDLE handle, quint32 mask, const FtdiEventHandle &event) override;
    QString lastErrorText() const override;

    struct Listed {
        QString location;   // e.g. /dev/ttyUSB0
        QString portName;   // e.g. ttyUSB0
        QByteArray serial;
        QByteArray description;
        quint16 vendor = 0, product = 0;
    };
    // The ports listed as converters now.
    QList<Listed> converters() const;

private:
    class Port;
    std::shared_ptr<Port> port(FT_HANDLE handle, FT_STATUS *status);
    FT_STATUS fail(FT_STATUS status, const QString &why);

    mutable QMutex mutex_;
    QList<Listed> extra_;
    bool systemListed_ = true;
    QList<Listed> snapshot_;
    QHash<FT_HANDLE, std::shared_ptr<Port>> open_;
    FT_HANDLE nextHandle_ = 1;
    QString lastError_;
};

} // namespace arvex::meter
