#include "meter/EmulatorBus.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>

namespace arvex::meter {

namespace {
constexpr qint64 Ms = 1000000;
constexpr quint32 FtdiId = 0x04036001; // vendor 0x0403, product 0x6001
constexpr quint32 Type232R = 5;

// The payload of one USB IN transfer: two status bytes go with every 64-byte packet.
qint64 chunkPayload(quint32 transferSize)
{
    const qint64 packets = (qint64(transferSize) + 63) / 64;
    return std::max<qint64>(1, qint64(transferSize) - 2 * packets);
}

void copyText(char *to, const QByteArray &text, int room)
{
    const int n = std::min<int>(int(text.size()), room - 1);
    std::memcpy(to, text.constData(), size_t(n));
    to[n] = '\0';
}
} // namespace

struct EmulatorBus::Converter {
    QByteArray serial, description;
    std::shared_ptr<MeterEmulator> meter;
    QString refusal;
    bool present = true;
    FT_HANDLE handle = 0;
    LineSettings line;
    QByteArray ready;                          // the receive queue
    std::deque<std::pair<qint64, char>> coming; // bytes on their way, with the time each reaches the converter
    qint64 meterBusyUntil = 0;                  // the meter's transmitter is busy until then
    qint64 sendingUntil = 0;                    // the converter's transmitter is busy until then
    std::weak_ptr<FtdiEvent> event;
    quint32 eventMask = 0;

    qint64 byteNs() const { return qint64(10'000'000'000LL / std::max<quint32>(line.baudRate, 1)); }
    void reset()
    {
        line = LineSettings();
        ready.clear();
        coming.clear();
        sendingUntil = 0;
        event.reset();
        eventMask = 0;
    }
};

EmulatorBus::EmulatorBus(Clock &clock) : clock_(clock) {}
EmulatorBus::~EmulatorBus() = default;

void EmulatorBus::attach(const QByteArray &serial, std::shared_ptr<MeterEmulator> meter, const QByteArray &description)
{
    QMutexLocker lock(&mutex_);
    auto c = std::make_shared<Converter>();
    c->serial = serial;
    c->description = description;
    c->meter = std::move(meter);
    converters_.push_back(std::move(c));
}

void EmulatorBus::attach(std::shared_ptr<MeterEmulator> meter)
{
    const QByteArray serial = meter->content().converterSerial;
    const QByteArray description = meter->content().converterDescription;
    const QString refusal = meter->content().openRefusal;
    attach(serial, std::move(meter), description);
    if (!refusal.isEmpty())
        refuseOpen(serial, refusal);
}

void EmulatorBus::detach(const QByteArray &serial)
{
    QMutexLocker lock(&mutex_);
    for (auto it = converters_.begin(); it != converters_.end(); ++it) {
        if ((*it)->serial == serial) {
            (*it)->present = false;
            converters_.erase(it);
            return;
        }
    }
}

void EmulatorBus::refuseOpen(const QByteArray &serial, const QString &reason)
{
    QMutexLocker lock(&mutex_);
    for (auto &c : converters_)
        if (c->serial == serial)
            c->refusal = reason;
}

std::shared_ptr<MeterEmulator> EmulatorBus::meter(const QByteArray &serial) const
{
    QMutexLocker lock(&mutex_);
    for (const auto &c : converters_)
        if (c->serial == serial)
            return c->meter;
    return {};
}

int EmulatorBus::enumerations() const
{
    QMutexLocker lock(&mutex_);
    return enumerations_;
}

std::optional<EmulatorBus::LineSettings> EmulatorBus::settings(const QByteArray &serial) const
{
    QMutexLocker lock(&mutex_);
    for (const auto &c : converters_)
        if (c->serial == serial && c->handle)
            return c->line;
    return std::nullopt;
}

void EmulatorBus::failCalls(const QByteArray &call, int count)
{
    QMutexLocker lock(&mutex_);
    failing_[call] += count;
}

bool EmulatorBus::fails(const char *call)
{
    auto it = failing_.find(QByteArray(call));
    if (it == failing_.end() || it.value() <= 0)
        return false;
    --it.value();
    lastError_ = QStringLiteral("%1 failed (as the test asked)").arg(QLatin1String(call));
    return true;
}

FT_STATUS EmulatorBus::fail(FT_STATUS status, const QString &why)
{
    lastError_ = why;
    return status;
}

QString EmulatorBus::lastErrorText() const
{
    QMutexLocker lock(&mutex_);
    return lastError_;
}

EmulatorBus::Converter *EmulatorBus::open(FT_HANDLE handle, FT_STATUS *status)
{
    auto it = handles_.find(handle);
    if (it == handles_.end()) {
        *status = fail(FT_INVALID_HANDLE, QStringLiteral("no open converter has the handle %1").arg(handle));
        return nullptr;
    }
    if (!it.value()->present) {
        *status = fail(FT_IO_ERROR, QStringLiteral("the converter %1 was unplugged").arg(QString::fromLatin1(it.value()->serial)));
        return nullptr;
    }
    *status = FT_OK;
    return it.value().get();
}

// Moves the chunks whose time has come into the receive queue. A chunk closes when it holds
// a transfer's payload (it goes at once) or when the latency timer, started by its first
// byte, runs out.
void EmulatorBus::advance(Converter &c, qint64 now)
{
    const qint64 payload = chunkPayload(c.line.inTransferSize);
    const qint64 latency = qint64(std::max<quint8>(c.line.latency, 1)) * Ms;
    bool arrived = false;
    while (!c.coming.empty()) {
        const qint64 first = c.coming.front().first;
        size_t k = 1;
        while (k < c.coming.size() && qint64(k) < payload && c.coming[k].first <= first + latency)
            ++k;
        const qint64 release = qint64(k) == payload ? c.coming[k - 1].first : first + latency;
        if (release > now)
            break;
        for (size_t i = 0; i < k; ++i)
            c.ready.append(c.coming[i].second);
        c.coming.erase(c.coming.begin(), c.coming.begin() + qint64(k));
        arrived = true;
    }
    if (arrived && (c.eventMask & FT_EVENT_RXCHAR))
        if (FtdiEventHandle e = c.event.lock())
            e->set();
}

std::optional<qint64> EmulatorBus::readyAt(const Converter &c, qint64 count) const
{
    const qint64 payload = chunkPayload(c.line.inTransferSize);
    const qint64 latency = qint64(std::max<quint8>(c.line.latency, 1)) * Ms;
    qint64 have = c.ready.size();
    size_t at = 0;
    while (have < count && at < c.coming.size()) {
        const qint64 first = c.coming[at].first;
        size_t k = 1;
        while (at + k < c.coming.size() && qint64(k) < payload && c.coming[at + k].first <= first + latency)
            ++k;
        const qint64 release = qint64(k) == payload ? c.coming[at + k - 1].first : first + latency;
        have += qint64(k);
        at += k;
        if (have >= count)
            return release;
    }
    if (have >= count)
        return clock_.nowNs();
    return std::nullopt;
}

qint64 EmulatorBus::lastRelease(const Converter &c) const
{
    const std::optional<qint64> t = readyAt(c, qint64(c.ready.size()) + qint64(c.coming.size()));
    return t ? *t : clock_.nowNs();
}

FT_STATUS EmulatorBus::CreateDeviceInfoList(quint32 *numDevs)
{
    QMutexLocker lock(&mutex_);
    ++enumerations_;
    if (fails("CreateDeviceInfoList"))
        return FT_IO_ERROR;
    snapshot_.clear();
    for (const auto &c : converters_)
        snapshot_.append({c->serial, c->description, c->handle});
    *numDevs = quint32(snapshot_.size());
    return FT_OK;
}

FT_STATUS EmulatorBus::GetDeviceInfoList(ftdiDeviceNode *list, quint32 *numDevs)
{
    QMutexLocker lock(&mutex_);
    if (fails("GetDeviceInfoList"))
        return FT_IO_ERROR;
    const quint32 n = std::min<quint32>(*numDevs, quint32(snapshot_.size()));
    for (quint32 i = 0; i < n; ++i) {
        ftdiDeviceNode &node = list[i];
        std::memset(&node, 0, sizeof node);
        node.flags = snapshot_.at(i).handle ? FT_FLAGS_OPENED : 0;
        node.deviceType = Type232R;
        node.id = FtdiId;
        node.locid = 0x1011 + i;
        copyText(node.serialNumber, snapshot_.at(i).serial, sizeof node.serialNumber);
        copyText(node.description, snapshot_.at(i).description, sizeof node.description);
        node.ftHandle = snapshot_.at(i).handle;
    }
    *numDevs = n;
    return FT_OK;
}

FT_STATUS EmulatorBus::OpenEx(const char *arg, quint32 flags, FT_HANDLE *handle)
{
    QMutexLocker lock(&mutex_);
    if (fails("OpenEx"))
        return FT_DEVICE_NOT_OPENED;
    if (!arg || (flags != FT_OPEN_BY_SERIAL_NUMBER && flags != FT_OPEN_BY_DESCRIPTION))
        return fail(FT_INVALID_PARAMETER, QStringLiteral("open by serial number or description only"));
    const QByteArray key(arg);
    for (const auto &c : converters_) {
        if ((flags == FT_OPEN_BY_SERIAL_NUMBER ? c->serial : c->description) != key)
            continue;
        if (!c->refusal.isEmpty())
            return fail(FT_DEVICE_NOT_OPENED, c->refusal);
        if (c->handle)
            return fail(FT_DEVICE_NOT_OPENED, QStringLiteral("the converter %1 is already open").arg(QString::fromLatin1(c->serial)));
        c->reset();
        c->handle = nextHandle_++;
        handles_.insert(c->handle, c);
        *handle = c->handle;
        return FT_OK;
    }
    return fail(FT_DEVICE_NOT_FOUND, QStringLiteral("no converter %1 \"%2\" on the emulated bus")
                                         .arg(flags == FT_OPEN_BY_SERIAL_NUMBER ? QStringLiteral("with the serial number")
                                                                                : QStringLiteral("described as"),
                                              QString::fromLatin1(key)));
}

FT_STATUS EmulatorBus::Close(FT_HANDLE handle)
{
    QMutexLocker lock(&mutex_);
    auto it = handles_.find(handle);
    if (it == handles_.end())
        return fail(FT_INVALID_HANDLE, QStringLiteral("no open converter has the handle %1").arg(handle));
    it.value()->handle = 0;
    it.value()->reset();
    handles_.erase(it);
    return FT_OK;
}

#define EMU_OPEN(name)                                                                                                 \
    QMutexLocker lock(&mutex_);                                                                                        \
    FT_STATUS status = FT_OK;                                                                                          \
    Converter *c = open(handle, &status);                                                                              \
    if (!c)                                                                                                            \
        return status;                                                                                                 \
    if (fails(name))                                                                                                   \
        return FT_IO_ERROR;

FT_STATUS EmulatorBus::ResetDevice(FT_HANDLE handle)
{
    EMU_OPEN("ResetDevice")
    c->ready.clear();
    c->coming.clear();
    return FT_OK;
}

FT_STATUS EmulatorBus::SetBaudRate(FT_HANDLE handle, quint32 baudRate)
{
    EMU_OPEN("SetBaudRate")
    if (baudRate < 183 || baudRate > 3000000)
        return fail(FT_INVALID_BAUD_RATE, QStringLiteral("%1 bits per second is out of reach").arg(baudRate));
    c->line.baudRate = baudRate;
    return FT_OK;
}

FT_STATUS EmulatorBus::SetDataCharacteristics(FT_HANDLE handle, quint8 wordLength, quint8 stopBits, quint8 parity)
{
    EMU_OPEN("SetDataCharacteristics")
    if ((wordLength != 7 && wordLength != 8) || (stopBits != 0 && stopBits != 2) || parity > 4)
        return fail(FT_INVALID_PARAMETER, QStringLiteral("no such data format"));
    c->line.wordLength = wordLength;
    c->line.stopBits = stopBits;
    c->line.parity = parity;
    return FT_OK;
}

FT_STATUS EmulatorBus::SetLatencyTimer(FT_HANDLE handle, quint8 millisecs)
{
    EMU_OPEN("SetLatencyTimer")
    if (millisecs < 2)
        return fail(FT_INVALID_PARAMETER, QStringLiteral("the latency timer takes 2 to 255 ms"));
    c->line.latency = millisecs;
    return FT_OK;
}

FT_STATUS EmulatorBus::SetUSBParameters(FT_HANDLE handle, quint32 inTransferSize, quint32 outTransferSize)
{
    EMU_OPEN("SetUSBParameters")
    if (inTransferSize == 0 || inTransferSize > 65536)
        return fail(FT_INVALID_PARAMETER, QStringLiteral("transfer sizes go up to 64 kB"));
    c->line.inTransferSize = inTransferSize;
    if (outTransferSize > 0 && outTransferSize <= 65536)
        c->line.outTransferSize = outTransferSize;
    return FT_OK;
}

FT_STATUS EmulatorBus::SetFlowControl(FT_HANDLE handle, quint16 mode, quint8, quint8)
{
    EMU_OPEN("SetFlowControl")
    if (mode != 0 && mode != 0x100 && mode != 0x200 && mode != 0x400)
        return fail(FT_INVALID_PARAMETER, QStringLiteral("no such flow control"));
    c->line.flowControl = mode;
    return FT_OK;
}

FT_STATUS EmulatorBus::SetTimeouts(FT_HANDLE handle, quint32 readTimeout, quint32 writeTimeout)
{
    EMU_OPEN("SetTimeouts")
    c->line.readTimeout = readTimeout;
    c->line.writeTimeout = writeTimeout;
    return FT_OK;
}

FT_STATUS EmulatorBus::Purge(FT_HANDLE handle, quint32 mask)
{
    EMU_OPEN("Purge")
    const qint64 now = clock_.nowNs();
    if (mask & FT_PURGE_RX) {
        // The receive queue and whatever the converter holds already go; bytes still on the
        // line keep coming.
        c->ready.clear();
        while (!c->coming.empty() && c->coming.front().first <= now)
            c->coming.pop_front();
    }
    if (mask & FT_PURGE_TX)
        c->sendingUntil = std::min(c->sendingUntil, now);
    return FT_OK;
}

FT_STATUS EmulatorBus::Write(FT_HANDLE handle, const void *buffer, quint32 bytesToWrite, quint32 *bytesWritten)
{
    EMU_OPEN("Write")
    const qint64 now = clock_.nowNs();
    const QByteArray bytes(static_cast<const char *>(buffer), qsizetype(bytesToWrite));
    const qint64 byteNs = c->byteNs();
    c->sendingUntil = std::max(c->sendingUntil, now) + qint64(bytesToWrite) * byteNs;
    *bytesWritten = bytesToWrite;
    // The meter understands only its own line format; anything else reaches it as noise.
    const bool understood = c->meter && c->line.baudRate == quint32(c->meter->content().lineRate)
                            && c->line.wordLength == 8 && c->line.parity == 0;
    if (!understood)
        return FT_OK;
    qint64 cursor = c->sendingUntil; // the command's CR has reached the meter
    for (const ReplySegment &segment : c->meter->receive(bytes)) {
        const qint64 start = std::max(cursor + qint64(std::llround(segment.delaySeconds * 1e9)), c->meterBusyUntil);
        const qint64 n = segment.bytes.size();
        for (qint64 i = 0; i < n; ++i)
            c->coming.emplace_back(start + ((i + 1) * 10'000'000'000LL) / c->line.baudRate, segment.bytes.at(i));
        cursor = start + (n * 10'000'000'000LL) / c->line.baudRate;
        c->meterBusyUntil = cursor;
    }
    return FT_OK;
}

FT_STATUS EmulatorBus::Read(FT_HANDLE handle, void *buffer, quint32 bytesToRead, quint32 *bytesReturned)
{
    *bytesReturned = 0;
    qint64 wake = 0;
    {
        EMU_OPEN("Read")
        const qint64 now = clock_.nowNs();
        advance(*c, now);
        if (qint64(c->ready.size()) >= qint64(bytesToRead))
            wake = now;
        else {
            const qint64 deadline = c->line.readTimeout ? now + qint64(c->line.readTimeout) * Ms : LLONG_MAX;
            const std::optional<qint64> when = readyAt(*c, qint64(bytesToRead));
            wake = when ? std::min(*when, deadline) : (deadline == LLONG_MAX ? lastRelease(*c) : deadline);
        }
    }
    clock_.sleepUntilNs(wake); // without the lock: the clock may run actions that use the bus
    EMU_OPEN("Read")
    advance(*c, clock_.nowNs());
    const qint64 n = std::min<qint64>(bytesToRead, c->ready.size());
    std::memcpy(buffer, c->ready.constData(), size_t(n));
    c->ready.remove(0, n);
    *bytesReturned = quint32(n);
    return FT_OK;
}

FT_STATUS EmulatorBus::GetQueueStatus(FT_HANDLE handle, quint32 *rxBytes)
{
    EMU_OPEN("GetQueueStatus")
    advance(*c, clock_.nowNs());
    *rxBytes = quint32(c->ready.size());
    return FT_OK;
}

FT_STATUS EmulatorBus::GetStatus(FT_HANDLE handle, quint32 *rxBytes, quint32 *txBytes, quint32 *eventStatus)
{
    EMU_OPEN("GetStatus")
    const qint64 now = clock_.nowNs();
    advance(*c, now);
    *rxBytes = quint32(c->ready.size());
    const qint64 byteNs = c->byteNs();
    *txBytes = c->sendingUntil > now ? quint32((c->sendingUntil - now + byteNs - 1) / byteNs) : 0;
    *eventStatus = c->ready.isEmpty() ? 0 : FT_EVENT_RXCHAR;
    return FT_OK;
}

FT_STATUS EmulatorBus::GetModemStatus(FT_HANDLE handle, quint32 *modemStatus)
{
    EMU_OPEN("GetModemStatus")
    *modemStatus = c->meter ? 0x30 : 0; // a meter behind the converter holds CTS and DSR
    return FT_OK;
}

FT_STATUS EmulatorBus::SetDtr(FT_HANDLE handle)
{
    EMU_OPEN("SetDtr")
    Q_UNUSED(c);
    return FT_OK;
}

FT_STATUS EmulatorBus::ClrDtr(FT_HANDLE handle)
{
    EMU_OPEN("ClrDtr")
    Q_UNUSED(c);
    return FT_OK;
}

FT_STATUS EmulatorBus::SetRts(FT_HANDLE handle)
{
    EMU_OPEN("SetRts")
    Q_UNUSED(c);
    return FT_OK;
}

FT_STATUS EmulatorBus::ClrRts(FT_HANDLE handle)
{
    EMU_OPEN("ClrRts")
    Q_UNUSED(c);
    return FT_OK;
}

FT_STATUS EmulatorBus::CyclePort(FT_HANDLE handle)
{
    EMU_OPEN("CyclePort")
    Q_UNUSED(c);
    return FT_OK;
}

FT_STATUS EmulatorBus::GetDeviceInfo(FT_HANDLE handle, quint32 *deviceType, quint32 *id, char *serialNumber,
                                     char *description, void *)
{
    EMU_OPEN("GetDeviceInfo")
    *deviceType = Type232R;
    *id = FtdiId;
    if (serialNumber)
        copyText(serialNumber, c->serial, 17);
    if (description)
        copyText(description, c->description, 65);
    return FT_OK;
}

FT_STATUS EmulatorBus::SetEventNotification(FT_HANDLE handle, quint32 mask, const FtdiEventHandle &event)
{
    EMU_OPEN("SetEventNotification")
    c->event = event;
    c->eventMask = mask;
    return FT_OK;
}

#undef EMU_OPEN

} // namespace arvex::meter
