#include "meter/MeterRecorder.h"

#include <QJsonDocument>
#include <QJsonObject>

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
        rewriteFile(); // the converter opened goes into the header
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
        appendLast();
    }
    return s;
}

FT_STATUS MeterRecorder::Read(FT_HANDLE handle, void *buffer, quint32 bytesToRead, quint32 *bytesReturned)
{
    const FT_STATUS s = inner_->Read(handle, buffer, bytesToRead, bytesReturned);
    if (s == FT_OK && *bytesReturned > 0) {
        QMutexLocker lock(&mutex_);
        const int i = current_.value(handle, -1);
        if (i >= 0) {
            exchanges_[i].reply += QByteArray(static_cast<const char *>(buffer), qsizetype(*bytesReturned));
            if (i == exchanges_.size() - 1)
                rewriteLast();
            else
                rewriteFile();
        }
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

namespace {

QByteArray exchangeLine(const RecordedExchange &x)
{
    const QJsonObject o{{QStringLiteral("command"), QString::fromLatin1(x.command.toHex())},
                        {QStringLiteral("reply"), QString::fromLatin1(x.reply.toHex())},
                        {QStringLiteral("at"), x.at}};
    return QJsonDocument(o).toJson(QJsonDocument::Compact);
}

const QByteArray Closing = QByteArrayLiteral("\n]}\n");

} // namespace

void MeterRecorder::writeAsItGoes(const QString &path)
{
    QMutexLocker lock(&mutex_);
    auto f = std::make_unique<QFile>(path);
    if (!f->open(QIODevice::ReadWrite | QIODevice::Truncate))
        throw MeterFileError(QStringLiteral("Meter file \"%1\" cannot be written: %2").arg(path, f->errorString()));
    file_ = std::move(f);
    path_ = path;
    writeError_.clear();
    rewriteFile();
    if (!writeError_.isEmpty())
        throw MeterFileError(writeError_);
}

QString MeterRecorder::writeError() const
{
    QMutexLocker lock(&mutex_);
    return writeError_;
}

bool MeterRecorder::writeAt(qint64 at, const QByteArray &bytes)
{
    // Written through to the system at once: a process killed later loses nothing of it.
    if (!file_->seek(at) || file_->write(bytes) != bytes.size() || !file_->flush() || !file_->resize(at + bytes.size())) {
        writeError_ = QStringLiteral("Meter file \"%1\" cannot be written: %2").arg(path_, file_->errorString());
        file_.reset();
        return false;
    }
    return true;
}

// The header is the meter content without its exchanges; the exchanges follow one a line.
void MeterRecorder::rewriteFile()
{
    if (!file_)
        return;
    MeterContent header;
    if (!serial_.isEmpty())
        header.converterSerial = serial_;
    if (!description_.isEmpty())
        header.converterDescription = description_;
    QByteArray json = QJsonDocument::fromJson(meterJson(header)).toJson(QJsonDocument::Compact);
    json.chop(1); // the closing brace
    json += ",\"exchanges\":[";
    lastAt_ = json.size();
    for (int i = 0; i < exchanges_.size(); ++i) {
        json += i > 0 ? ",\n" : "\n";
        lastAt_ = json.size();
        json += exchangeLine(exchanges_.at(i));
    }
    lastEnd_ = json.size();
    writeAt(0, json + Closing);
}

void MeterRecorder::appendLast()
{
    if (!file_)
        return;
    const QByteArray separator = exchanges_.size() > 1 ? QByteArrayLiteral(",\n") : QByteArrayLiteral("\n");
    const QByteArray line = exchangeLine(exchanges_.last());
    if (writeAt(lastEnd_, separator + line + Closing)) {
        lastAt_ = lastEnd_ + separator.size();
        lastEnd_ = lastAt_ + line.size();
    }
}

void MeterRecorder::rewriteLast()
{
    if (!file_)
        return;
    const QByteArray line = exchangeLine(exchanges_.last());
    if (writeAt(lastAt_, line + Closing))
        lastEnd_ = lastAt_ + line.size();
}

} // namespace arvex::meter
