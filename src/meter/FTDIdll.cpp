#include "meter/FTDIdll.h"

#include "meter/SerialConverters.h"

#include <QMutex>
#include <atomic>
#include <chrono>

void FtdiEvent::set()
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        signalled_ = true;
    }
    cv_.notify_one();
}

bool FtdiEvent::wait(quint32 timeoutMs)
{
    std::unique_lock<std::mutex> lock(mutex_);
    const bool set = cv_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [this] { return signalled_; });
    signalled_ = false;
    return set;
}

namespace {
QMutex tableMutex;
std::shared_ptr<tftdidll> installedTable;
std::atomic<tftdidll *> currentTable{nullptr};
} // namespace

tftdidll &ftdidll()
{
    if (tftdidll *t = currentTable.load(std::memory_order_acquire))
        return *t;
    QMutexLocker lock(&tableMutex);
    if (!installedTable)
        installedTable = std::make_shared<arvex::meter::SerialConverters>();
    currentTable.store(installedTable.get(), std::memory_order_release);
    return *installedTable;
}

std::shared_ptr<tftdidll> installedftdidll()
{
    ftdidll(); // makes the default table when none is installed
    QMutexLocker lock(&tableMutex);
    return installedTable;
}

std::shared_ptr<tftdidll> setftdidll(std::shared_ptr<tftdidll> table)
{
    QMutexLocker lock(&tableMutex);
    std::shared_ptr<tftdidll> previous = std::move(installedTable);
    installedTable = std::move(table);
    currentTable.store(installedTable.get(), std::memory_order_release);
    return previous;
}

QString FT_LastErrorText() { return ftdidll().lastErrorText(); }

FT_STATUS FT_CreateDeviceInfoList(quint32 *numDevs) { return ftdidll().CreateDeviceInfoList(numDevs); }
FT_STATUS FT_GetDeviceInfoList(ftdiDeviceNode *list, quint32 *numDevs) { return ftdidll().GetDeviceInfoList(list, numDevs); }
FT_STATUS FT_OpenEx(const char *arg, quint32 flags, FT_HANDLE *handle) { return ftdidll().OpenEx(arg, flags, handle); }
FT_STATUS FT_Close(FT_HANDLE handle) { return ftdidll().Close(handle); }
FT_STATUS FT_ResetDevice(FT_HANDLE handle) { return ftdidll().ResetDevice(handle); }
FT_STATUS FT_SetBaudRate(FT_HANDLE handle, quint32 baudRate) { return ftdidll().SetBaudRate(handle, baudRate); }
FT_STATUS FT_SetDataCharacteristics(FT_HANDLE handle, quint8 wordLength, quint8 stopBits, quint8 parity)
{
    return ftdidll().SetDataCharacteristics(handle, wordLength, stopBits, parity);
}
FT_STATUS FT_SetLatencyTimer(FT_HANDLE handle, quint8 millisecs) { return ftdidll().SetLatencyTimer(handle, millisecs); }
FT_STATUS FT_SetUSBParameters(FT_HANDLE handle, quint32 inTransferSize, quint32 outTransferSize)
{
    return ftdidll().SetUSBParameters(handle, inTransferSize, outTransferSize);
}
FT_STATUS FT_SetFlowControl(FT_HANDLE handle, quint16 mode, quint8 xon, quint8 xoff)
{
    return ftdidll().SetFlowControl(handle, mode, xon, xoff);
}
FT_STATUS FT_SetTimeouts(FT_HANDLE handle, quint32 readTimeout, quint32 writeTimeout)
{
    return ftdidll().SetTimeouts(handle, readTimeout, writeTimeout);
}
FT_STATUS FT_Purge(FT_HANDLE handle, quint32 mask) { return ftdidll().Purge(handle, mask); }
FT_STATUS FT_Write(FT_HANDLE handle, const void *buffer, quint32 bytesToWrite, quint32 *bytesWritten)
{
    return ftdidll().Write(handle, buffer, bytesToWrite, bytesWritten);
}
FT_STATUS FT_Read(FT_HANDLE handle, void *buffer, quint32 bytesToRead, quint32 *bytesReturned)
{
    return ftdidll().Read(handle, buffer, bytesToRead, bytesReturned);
}
FT_STATUS FT_GetQueueStatus(FT_HANDLE handle, quint32 *rxBytes) { return ftdidll().GetQueueStatus(handle, rxBytes); }
FT_STATUS FT_GetStatus(FT_HANDLE handle, quint32 *rxBytes, quint32 *txBytes, quint32 *eventStatus)
{
    return ftdidll().GetStatus(handle, rxBytes, txBytes, eventStatus);
}
FT_STATUS FT_GetModemStatus(FT_HANDLE handle, quint32 *modemStatus) { return ftdidll().GetModemStatus(handle, modemStatus); }
FT_STATUS FT_SetDtr(FT_HANDLE handle) { return ftdidll().SetDtr(handle); }
FT_STATUS FT_ClrDtr(FT_HANDLE handle) { return ftdidll().ClrDtr(handle); }
FT_STATUS FT_SetRts(FT_HANDLE handle) { return ftdidll().SetRts(handle); }
FT_STATUS FT_ClrRts(FT_HANDLE handle) { return ftdidll().ClrRts(handle); }
FT_STATUS FT_CyclePort(FT_HANDLE handle) { return ftdidll().CyclePort(handle); }
FT_STATUS FT_GetDeviceInfo(FT_HANDLE handle, quint32 *deviceType, quint32 *id, char *serialNumber, char *description,
                           void *dummy)
{
    return ftdidll().GetDeviceInfo(handle, deviceType, id, serialNumber, description, dummy);
}
FT_STATUS FT_SetEventNotification(FT_HANDLE handle, quint32 mask, const FtdiEventHandle &event)
{
    return ftdidll().SetEventNotification(handle, mask, event);
}
