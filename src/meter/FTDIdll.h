#pragma once

// The D2XX calls the USB layer makes, as a table behind an interface. The program installs
// one table at start: the converters the operating system shows (SerialConverters) or the
// meter emulator's bus (EmulatorBus); tests install recording fakes. The free FT_* functions
// call the installed table, so the layer above reads as calls into the vendor library.

#include "meter/FTDItypes.h"

#include <QString>
#include <condition_variable>
#include <memory>
#include <mutex>

using FT_STATUS = quint32;
using FT_HANDLE = quint32; // 0 is never a valid handle

// Status values as the library documents them.
enum : FT_STATUS {
    FT_OK = 0,
    FT_INVALID_HANDLE = 1,
    FT_DEVICE_NOT_FOUND = 2,
    FT_DEVICE_NOT_OPENED = 3,
    FT_IO_ERROR = 4,
    FT_INSUFFICIENT_RESOURCES = 5,
    FT_INVALID_PARAMETER = 6,
    FT_INVALID_BAUD_RATE = 7,
    FT_NOT_SUPPORTED = 17,
    FT_OTHER_ERROR = 18,
};

constexpr quint32 FT_OPEN_BY_SERIAL_NUMBER = 1;
constexpr quint32 FT_OPEN_BY_DESCRIPTION = 2;
constexpr quint32 FT_PURGE_RX = 1;
constexpr quint32 FT_PURGE_TX = 2;
constexpr quint32 FT_EVENT_RXCHAR = 1;
constexpr quint32 FT_EVENT_MODEM_STATUS = 2;
constexpr quint32 FT_FLAGS_OPENED = 1;

// An auto-reset event: set() wakes one wait, which clears it again.
class FtdiEvent {
public:
    void set();
    bool wait(quint32 timeoutMs); // true when set before the timeout
private:
    std::mutex mutex_;
    std::condition_variable cv_;
    bool signalled_ = false;
};
using FtdiEventHandle = std::shared_ptr<FtdiEvent>;

class tftdidll {
public:
    virtual ~tftdidll() = default;

    virtual FT_STATUS CreateDeviceInfoList(quint32 *numDevs) = 0;
    // Fills at most *numDevs nodes of the list taken by the last CreateDeviceInfoList.
    virtual FT_STATUS GetDeviceInfoList(ftdiDeviceNode *list, quint32 *numDevs) = 0;
    virtual FT_STATUS OpenEx(const char *arg, quint32 flags, FT_HANDLE *handle) = 0;
    virtual FT_STATUS Close(FT_HANDLE handle) = 0;
    virtual FT_STATUS ResetDevice(FT_HANDLE handle) = 0;
    virtual FT_STATUS SetBaudRate(FT_HANDLE handle, quint32 baudRate) = 0;
    virtual FT_STATUS SetDataCharacteristics(FT_HANDLE handle, quint8 wordLength, quint8 stopBits, quint8 parity) = 0;
    virtual FT_STATUS SetLatencyTimer(FT_HANDLE handle, quint8 millisecs) = 0;
    virtual FT_STATUS SetUSBParameters(FT_HANDLE handle, quint32 inTransferSize, quint32 outTransferSize) = 0;
    virtual FT_STATUS SetFlowControl(FT_HANDLE handle, quint16 mode, quint8 xon, quint8 xoff) = 0;
    virtual FT_STATUS SetTimeouts(FT_HANDLE handle, quint32 readTimeout, quint32 writeTimeout) = 0;
    virtual FT_STATUS Purge(FT_HANDLE handle, quint32 mask) = 0;
    virtual FT_STATUS Write(FT_HANDLE handle, const void *buffer, quint32 bytesToWrite, quint32 *bytesWritten) = 0;
    // Returns once bytesToRead bytes have arrived or the read timeout has passed.
    virtual FT_STATUS Read(FT_HANDLE handle, void *buffer, quint32 bytesToRead, quint32 *bytesReturned) = 0;
    virtual FT_STATUS GetQueueStatus(FT_HANDLE handle, quint32 *rxBytes) = 0;
    virtual FT_STATUS GetStatus(FT_HANDLE handle, quint32 *rxBytes, quint32 *txBytes, quint32 *eventStatus) = 0;
    virtual FT_STATUS GetModemStatus(FT_HANDLE handle, quint32 *modemStatus) = 0;
    virtual FT_STATUS SetDtr(FT_HANDLE handle) = 0;
    virtual FT_STATUS ClrDtr(FT_HANDLE handle) = 0;
    virtual FT_STATUS SetRts(FT_HANDLE handle) = 0;
    virtual FT_STATUS ClrRts(FT_HANDLE handle) = 0;
    virtual FT_STATUS CyclePort(FT_HANDLE handle) = 0;
    // serialNumber: 16 characters and a zero; description: 64 characters and a zero.
    virtual FT_STATUS GetDeviceInfo(FT_HANDLE handle, quint32 *deviceType, quint32 *id, char *serialNumber,
                                    char *description, void *dummy) = 0;
    virtual FT_STATUS SetEventNotification(FT_HANDLE handle, quint32 mask, const FtdiEventHandle &event) = 0;

    // Why the last call that failed failed, in the operating system's words (for example that
    // access to the device file was refused); empty when the table has nothing to add.
    virtual QString lastErrorText() const { return {}; }
};

// The table in use. Until one is installed, the converters of the operating system.
tftdidll &ftdidll();
// Installs a table (empty: back to the default) and gives the one it replaces. Install it
// before any chip is opened; handles of one table mean nothing to another.
std::shared_ptr<tftdidll> setftdidll(std::shared_ptr<tftdidll> table);
// The table in use, shared (for wrapping it, e.g. in a MeterRecorder).
std::shared_ptr<tftdidll> installedftdidll();
// lastErrorText() of the table in use.
QString FT_LastErrorText();

FT_STATUS FT_CreateDeviceInfoList(quint32 *numDevs);
FT_STATUS FT_GetDeviceInfoList(ftdiDeviceNode *list, quint32 *numDevs);
FT_STATUS FT_OpenEx(const char *arg, quint32 flags, FT_HANDLE *handle);
FT_STATUS FT_Close(FT_HANDLE handle);
FT_STATUS FT_ResetDevice(FT_HANDLE handle);
FT_STATUS FT_SetBaudRate(FT_HANDLE handle, quint32 baudRate);
FT_STATUS FT_SetDataCharacteristics(FT_HANDLE handle, quint8 wordLength, quint8 stopBits, quint8 parity);
FT_STATUS FT_SetLatencyTimer(FT_HANDLE handle, quint8 millisecs);
FT_STATUS FT_SetUSBParameters(FT_HANDLE handle, quint32 inTransferSize, quint32 outTransferSize);
FT_STATUS FT_SetFlowControl(FT_HANDLE handle, quint16 mode, quint8 xon, quint8 xoff);
FT_STATUS FT_SetTimeouts(FT_HANDLE handle, quint32 readTimeout, quint32 writeTimeout);
FT_STATUS FT_Purge(FT_HANDLE handle, quint32 mask);
FT_STATUS FT_Write(FT_HANDLE handle, const void *buffer, quint32 bytesToWrite, quint32 *bytesWritten);
FT_STATUS FT_Read(FT_HANDLE handle, void *buffer, quint32 bytesToRead, quint32 *bytesReturned);
FT_STATUS FT_GetQueueStatus(FT_HANDLE handle, quint32 *rxBytes);
FT_STATUS FT_GetStatus(FT_HANDLE handle, quint32 *rxBytes, quint32 *txBytes, quint32 *eventStatus);
FT_STATUS FT_GetModemStatus(FT_HANDLE handle, quint32 *modemStatus);
FT_STATUS FT_SetDtr(FT_HANDLE handle);
FT_STATUS FT_ClrDtr(FT_HANDLE handle);
FT_STATUS FT_SetRts(FT_HANDLE handle);
FT_STATUS FT_ClrRts(FT_HANDLE handle);
FT_STATUS FT_CyclePort(FT_HANDLE handle);
FT_STATUS FT_GetDeviceInfo(FT_HANDLE handle, quint32 *deviceType, quint32 *id, char *serialNumber, char *description,
                           void *dummy);
FT_STATUS FT_SetEventNotification(FT_HANDLE handle, quint32 mask, const FtdiEventHandle &event);
