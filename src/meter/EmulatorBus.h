#pragma once

// A virtual bus of FTDI converters, each with a serial number and, behind it, an emulated
// meter or nothing: the D2XX table the program uses with --emulate-meter, and the tests'
// bus. Time comes from a Clock: a meter's bytes reach the converter one by one at the line
// rate (10 bits a byte) and enter the receive queue in the chunks a converter delivers (a
// USB transfer's payload, or what has come when the latency timer runs out).

#include "meter/FTDIdll.h"
#include "meter/MeterClock.h"
#include "meter/MeterEmulator.h"

#include <QHash>
#include <QMutex>
#include <deque>
#include <memory>
#include <optional>
#include <vector>

namespace arvex::meter {

class EmulatorBus final : public tftdidll {
public:
    explicit EmulatorBus(Clock &clock);
    ~EmulatorBus() override;

    // Converters appear in the order they are attached.
    void attach(const QByteArray &serial, std::shared_ptr<MeterEmulator> meter = {},
                const QByteArray &description = QByteArrayLiteral("FT232R USB UART"));
    // A meter's converter, with the serial number and description of its content.
    void attach(std::shared_ptr<MeterEmulator> meter);
    // Unplugs a converter; an open handle to it then fails with FT_IO_ERROR.
    void detach(const QByteArray &serial);
    // A converter that is listed but cannot be opened, for the given reason.
    void refuseOpen(const QByteArray &serial, const QString &reason);
    std::shared_ptr<MeterEmulator> meter(const QByteArray &serial) const;

    // How often the converters were enumerated (FT_CreateDeviceInfoList).
    int enumerations() const;

    struct LineSettings {
        quint32 baudRate = 9600;
        quint8 wordLength = 8, stopBits = 0, parity = 0;
        quint16 flowControl = 0;
        quint8 latency = 16; // ms
        quint32 inTransferSize = 4096, outTransferSize = 4096;
        quint32 readTimeout = 0, writeTimeout = 0; // ms; a read timeout of 0 waits as long as bytes are coming
    };
    // The line settings of an open converter.
    std::optional<LineSettings> settings(const QByteArray &serial) const;

    // The next `count` calls of the given name (e.g. "GetQueueStatus") fail with FT_IO_ERROR.
    void failCalls(const QByteArray &call, int count = 1);

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

private:
    struct Converter;
    struct Listed {
        QByteArray serial, description;
        FT_HANDLE handle;
    };

    Converter *open(FT_HANDLE handle, FT_STATUS *status);
    bool fails(const char *call);
    void advance(Converter &c, qint64 now);
    // When the receive queue will hold `count` bytes; nullopt when it never will.
    std::optional<qint64> readyAt(const Converter &c, qint64 count) const;
    qint64 lastRelease(const Converter &c) const;
    FT_STATUS fail(FT_STATUS status, const QString &why);

    Clock &clock_;
    mutable QMutex mutex_;
    std::vector<std::shared_ptr<Converter>> converters_; // attached, in order
    QHash<FT_HANDLE, std::shared_ptr<Converter>> handles_;
    QList<Listed> snapshot_;
    QHash<QByteArray, int> failing_;
    FT_HANDLE nextHandle_ = 1;
    int enumerations_ = 0;
    QString lastError_;
};

} // namespace arvex::meter
