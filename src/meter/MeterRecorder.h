#pragma once

// Records a session with a meter: a D2XX table that passes every call on to another one and
// keeps every command written and every byte read after it, so that the session can be
// written as a meter file and replayed by the emulator (its "exchanges").

#include "meter/FTDIdll.h"
#include "meter/MeterClock.h"
#include "meter/MeterEmulator.h"

#include <QFile>
#include <QHash>
#include <QMutex>
#include <memory>

namespace arvex::meter {

class MeterRecorder final : public tftdidll {
public:
    MeterRecorder(std::shared_ptr<tftdidll> inner, Clock &clock);

    // The session as meter content: the converter opened, the identity reply when the
    // meter gave one, and every exchange in order.
    MeterContent capture() const;
    // Writes capture() as a meter file; raises MeterFileError.
    void save(const QString &path) const;
    // Writes the session into a meter file as it goes: from now on the file holds, after
    // every command and every read, a whole meter file with the exchanges so far, so that a
    // session cut short leaves what was exchanged up to then. Raises MeterFileError when the
    // file cannot be written at all.
    void writeAsItGoes(const QString &path);
    // Empty while every write into that file succeeded; otherwise why it stopped.
    QString writeError() const;

    FT_STATUS CreateDeviceInfoList(quint32 *numDevs) override { return inner_->CreateDeviceInfoList(numDevs); }
    FT_STATUS GetDeviceInfoList(ftdiDeviceNode *list, quint32 *numDevs) override { return inner_->GetDeviceInfoList(list, numDevs); }
    FT_STATUS OpenEx(const char *arg, quint32 flags, FT_HANDLE *handle) override;
    FT_STATUS Close(FT_HANDLE handle) override { return inner_->Close(handle); }
    FT_STATUS ResetDevice(FT_HANDLE handle) override { return inner_->ResetDevice(handle); }
    FT_STATUS SetBaudRate(FT_HANDLE handle, quint32 baudRate) override { return inner_->SetBaudRate(handle, baudRate); }
    FT_STATUS SetDataCharacteristics(FT_HANDLE handle, quint8 wordLength, quint8 stopBits, quint8 parity) override
    {
        return inner_->SetDataCharacteristics(handle, wordLength, stopBits, parity);
    }
    FT_STATUS SetLatencyTimer(FT_HANDLE handle, quint8 millisecs) override { return inner_->SetLatencyTimer(handle, millisecs); }
    FT_STATUS SetUSBParameters(FT_HANDLE handle, quint32 in, quint32 out) override { return inner_->SetUSBParameters(handle, in, out); }
    FT_STATUS SetFlowControl(FT_HANDLE handle, quint16 mode, quint8 xon, quint8 xoff) override
    {
        return inner_->SetFlowControl(handle, mode, xon, xoff);
    }
    FT_STATUS SetTimeouts(FT_HANDLE handle, quint32 readTimeout, quint32 writeTimeout) override
    {
        return inner_->SetTimeouts(handle, readTimeout, writeTimeout);
    }
    FT_STATUS Purge(FT_HANDLE handle, quint32 mask) override { return inner_->Purge(handle, mask); }
    FT_STATUS Write(FT_HANDLE handle, const void *buffer, quint32 bytesToWrite, quint32 *bytesWritten) override;
    FT_STATUS Read(FT_HANDLE handle, void *buffer, quint32 bytesToRead, quint32 *bytesReturned) override;
    FT_STATUS GetQueueStatus(FT_HANDLE handle, quint32 *rxBytes) override { return inner_->GetQueueStatus(handle, rxBytes); }
    FT_STATUS GetStatus(FT_HANDLE handle, quint32 *rx, quint32 *tx, quint32 *events) override
    {
        return inner_->GetStatus(handle, rx, tx, events);
    }
    FT_STATUS GetModemStatus(FT_HANDLE handle, quint32 *modemStatus) override { return inner_->GetModemStatus(handle, modemStatus); }
    FT_STATUS SetDtr(FT_HANDLE handle) override { return inner_->SetDtr(handle); }
    FT_STATUS ClrDtr(FT_HANDLE handle) override { return inner_->ClrDtr(handle); }
    FT_STATUS SetRts(FT_HANDLE handle) override { return inner_->SetRts(handle); }
    FT_STATUS ClrRts(FT_HANDLE handle) override { return inner_->ClrRts(handle); }
    FT_STATUS CyclePort(FT_HANDLE handle) override { return inner_->CyclePort(handle); }
    FT_STATUS GetDeviceInfo(FT_HANDLE handle, quint32 *type, quint32 *id, char *serial, char *description, void *dummy) override
    {
        return inner_->GetDeviceInfo(handle, type, id, serial, description, dummy);
    }
    FT_STATUS SetEventNotification(FT_HANDLE handle, quint32 mask, const FtdiEventHandle &event) override
    {
        return inner_->SetEventNotification(handle, mask, event);
    }
    QString lastErrorText() const override { return inner_->lastErrorText(); }

private:
    std::shared_ptr<tftdidll> inner_;
    Clock &clock_;
    qint64 started_;
    mutable QMutex mutex_;
    QByteArray serial_, description_;
    QList<RecordedExchange> exchanges_;
    QHash<FT_HANDLE, int> current_; // per handle: the exchange that reads add to

    // The file written as it goes: a header, the exchanges one a line, and the closing. The
    // last exchange is rewritten in place as its reply grows.
    void rewriteFile();
    void appendLast();
    void rewriteLast();
    bool writeAt(qint64 at, const QByteArray &bytes);
    std::unique_ptr<QFile> file_;
    QString path_, writeError_;
    qint64 lastAt_ = 0, lastEnd_ = 0; // where the last exchange's line begins and ends
};

} // namespace arvex::meter
