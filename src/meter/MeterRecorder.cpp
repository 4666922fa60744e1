#include "meter/MeterRecorder.h"

namespace arvex::meter {

MeterRecorder::MeterRecorder(std::shared_ptr<tftdidll> inner, Clock &clock)
    : inner_(std::move(inner)), clock_(clock), started_(clock.nowNs())
{
}

FT_STATUS MeterRecorder::OpenEx(const char *arg, quint32 flags, FT_HANDLE *handle)
{
    const FT_STATUS s = inner_->OpenEx(arg, flags, handle);
    if (s == FT_OK) {
        QMutexLocker lock(&mutex_);
        (flags == FT_OPEN_BY_SERIAL_NUMBER ? serial_ : description_) = QByteArray(arg);
        current_.remove(*handle);
    }
    return s;
}

FT_STATUS MeterRecorder::Write(FT_HANDLE handle, const void *buffer, quint32 bytesToWrite, quint32 *bytesWritten)
{
    const qint64 at = clock_.nowNs();
    const FT_STATUS s = inner_->Write(handle, buffer, bytesToWrite, bytesWritten);
    if (s == FT_OK) {
        QMutexLocker lock(&mutex_);
        RecordedExchange x;
        x.command = QByteArray(static_cast<const char *>(buffer), qsizetype(*bytesWritten));
        x.at = double(at - started_) / 1e9;
        exchanges_.append(x);
        current_[handle] = int(exchanges_.size()) - 1;
    }
    return s;
}

FT_STATUS MeterRecorder::Read(FT_HANDLE handle, void *buffer, quint32 bytesToRead, quint32 *bytesReturned)
{
    const FT_STATUS s = inner_->Read(handle, buffer, bytesToRead, bytesReturned);
    if (s == FT_OK && *bytesReturned > 0) {
        QMutexLocker lock(&mutex_);
        const int i = current_.value(handle, -1);
        if (i >= 0)
            exchanges_[i].reply += QByteArray(static_cast<const char *>(buffer), qsizetype(*bytesReturned));
    }
    return s;
}

MeterContent MeterRecorder::capture() const
{
    QMutexLocker lock(&mutex_);
    MeterContent m;
    if (!serial_.isEmpty())
        m.converterSerial = serial_;
    if (!description_.isEmpty())
        m.converterDescription = description_;
    m.exchanges = exchanges_;
    for (const RecordedExchange &x : exchanges_)
        if (x.command == IdentityCommand && !x.reply.isEmpty())
            m.identity = x.reply;
    return m;
}

void MeterRecorder::save(const QString &path) const { writeMeterFile(capture(), path); }

} // namespace arvex::meter
