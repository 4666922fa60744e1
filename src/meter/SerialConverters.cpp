#include "meter/SerialConverters.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QFileInfo>
#include <QSerialPort>
#include <QSerialPortInfo>
#include <QThread>
#include <QWaitCondition>
#include <algorithm>
#include <cstring>
#include <limits>

namespace arvex::meter {

namespace {
constexpr quint16 FtdiVendor = 0x0403;

void copyText(char *to, const QByteArray &text, int room)
{
    const int n = std::min<int>(int(text.size()), room - 1);
    std::memcpy(to, text.constData(), size_t(n));
    to[n] = '\0';
}

// The D2XX device type of a converter, from its USB product id.
quint32 deviceTypeOf(quint16 vendor, quint16 product)
{
    if (vendor != FtdiVendor)
        return 3; // unknown
    switch (product) {
    case 0x6001: return 5; // FT232R (also the older BM and AM chips)
    case 0x6010: return 6; // FT2232H
    case 0x6011: return 7; // FT4232H
    case 0x6014: return 8; // FT232H
    case 0x6015: return 9; // FT-X series
    default: return 3;
    }
}
} // namespace

// One open port. Its QSerialPort lives in a thread of its own whose event loop moves every
// byte that arrives into `rx` at once; calls that touch the port run in that thread.
class SerialConverters::Port {
public:
    explicit Port(Listed listed) : info(std::move(listed)) {}

    ~Port()
    {
        if (context) {
            run([this] {
                delete serial;
                serial = nullptr;
            });
            thread.quit();
            thread.wait();
            delete context;
        }
    }

    bool open(QString *why, QSerialPort::SerialPortError *code)
    {
        thread.setObjectName(QStringLiteral("serial ") + info.location);
        thread.start();
        context = new QObject;
        context->moveToThread(&thread);
        bool ok = false;
        run([&] {
            serial = new QSerialPort;
            serial->setPortName(info.location);
            QObject::connect(serial, &QSerialPort::readyRead, serial, [this] { collect(); });
            QObject::connect(serial, &QSerialPort::errorOccurred, serial, [this](QSerialPort::SerialPortError e) {
                if (e == QSerialPort::ResourceError) { // unplugged
                    QMutexLocker lock(&m);
                    broken = serial->errorString();
                    arrived.wakeAll();
                }
            });
            ok = serial->open(QIODevice::ReadWrite);
            if (!ok) {
                *why = serial->errorString();
                *code = serial->error();
                delete serial;
                serial = nullptr;
            }
        });
        return ok;
    }

    template <class F> void run(F f)
    {
        if (QThread::currentThread() == &thread)
            f();
        else
            QMetaObject::invokeMethod(context, f, Qt::BlockingQueuedConnection);
    }

    // In the port's thread.
    void collect()
    {
        const QByteArray bytes = serial->readAll();
        if (bytes.isEmpty())
            return;
        FtdiEventHandle e;
        {
            QMutexLocker lock(&m);
            rx += bytes;
            if (eventMask & FT_EVENT_RXCHAR)
                e = event.lock();
        }
        arrived.wakeAll();
        if (e)
            e->set();
    }

    Listed info;
    QThread thread;
    QObject *context = nullptr;  // lives in `thread`
    QSerialPort *serial = nullptr; // lives in `thread`

    QMutex m; // guards what follows
    QWaitCondition arrived;
    QByteArray rx;
    QString broken; // why the port stopped working
    std::weak_ptr<FtdiEvent> event;
    quint32 eventMask = 0;
    quint32 readTimeout = 0, writeTimeout = 0;
};

SerialConverters::SerialConverters() = default;

SerialConverters::~SerialConverters()
{
    QHash<FT_HANDLE, std::shared_ptr<Port>> open;
    {
        QMutexLocker lock(&mutex_);
        open.swap(open_);
    }
    open.clear();
}

void SerialConverters::addPort(const QString &location, const QByteArray &serial, const QByteArray &description)
{
    QMutexLocker lock(&mutex_);
    Listed l;
    l.location = location;
    l.portName = QFileInfo(location).fileName();
    l.serial = serial;
    l.description = description;
    extra_.append(l);
}

void SerialConverters::setSystemPortsListed(bool listed)
{
    QMutexLocker lock(&mutex_);
    systemListed_ = listed;
}

QList<SerialConverters::Listed> SerialConverters::converters() const
{
    QList<Listed> out;
    bool system;
    {
        QMutexLocker lock(&mutex_);
        system = systemListed_;
    }
    if (system) {
        for (const QSerialPortInfo &p : QSerialPortInfo::availablePorts()) {
            if (!p.hasVendorIdentifier() || p.vendorIdentifier() != FtdiVendor)
                continue;
            Listed l;
            l.location = p.systemLocation();
            l.portName = p.portName();
            l.serial = p.serialNumber().toLatin1();
            l.description = p.description().toLatin1();
            l.vendor = p.vendorIdentifier();
            l.product = p.hasProductIdentifier() ? p.productIdentifier() : 0;
            out.append(l);
        }
    }
    QMutexLocker lock(&mutex_);
    out += extra_;
    return out;
}

FT_STATUS SerialConverters::fail(FT_STATUS status, const QString &why)
{
    QMutexLocker lock(&mutex_);
    lastError_ = why;
    return status;
}

QString SerialConverters::lastErrorText() const
{
    QMutexLocker lock(&mutex_);
    return lastError_;
}

std::shared_ptr<SerialConverters::Port> SerialConverters::port(FT_HANDLE handle, FT_STATUS *status)
{
    std::shared_ptr<Port> p;
    {
        QMutexLocker lock(&mutex_);
        p = open_.value(handle);
    }
    if (!p) {
        *status = fail(FT_INVALID_HANDLE, QStringLiteral("no open converter has the handle %1").arg(handle));
        return nullptr;
    }
    QString broken;
    {
        QMutexLocker lock(&p->m);
        broken = p->broken;
    }
    if (!broken.isEmpty()) {
        *status = fail(FT_IO_ERROR, QStringLiteral("%1: %2").arg(p->info.location, broken));
        return nullptr;
    }
    *status = FT_OK;
    return p;
}

#define SERIAL_PORT()                                                                                                  \
    FT_STATUS status = FT_OK;                                                                                          \
    const std::shared_ptr<Port> p = port(handle, &status);                                                             \
    if (!p)                                                                                                            \
        return status;

FT_STATUS SerialConverters::CreateDeviceInfoList(quint32 *numDevs)
{
    const QList<Listed> now = converters();
    QMutexLocker lock(&mutex_);
    snapshot_ = now;
    *numDevs = quint32(snapshot_.size());
    return FT_OK;
}

FT_STATUS SerialConverters::GetDeviceInfoList(ftdiDeviceNode *list, quint32 *numDevs)
{
    QMutexLocker lock(&mutex_);
    const quint32 n = std::min<quint32>(*numDevs, quint32(snapshot_.size()));
    for (quint32 i = 0; i < n; ++i) {
        const Listed &l = snapshot_.at(i);
        ftdiDeviceNode &node = list[i];
        std::memset(&node, 0, sizeof node);
        FT_HANDLE mine = 0;
        for (auto it = open_.cbegin(); it != open_.cend(); ++it)
            if (it.value()->info.location == l.location)
                mine = it.key();
        node.flags = mine ? FT_FLAGS_OPENED : 0;
        node.deviceType = deviceTypeOf(l.vendor, l.product);
        node.id = (quint32(l.vendor) << 16) | l.product;
        node.locid = i + 1;
        copyText(node.serialNumber, l.serial, sizeof node.serialNumber);
        copyText(node.description, l.description, sizeof node.description);
        node.ftHandle = mine;
    }
    *numDevs = n;
    return FT_OK;
}

FT_STATUS SerialConverters::OpenEx(const char *arg, quint32 flags, FT_HANDLE *handle)
{
    if (!arg || (flags != FT_OPEN_BY_SERIAL_NUMBER && flags != FT_OPEN_BY_DESCRIPTION))
        return fail(FT_INVALID_PARAMETER, QStringLiteral("open by serial number or description only"));
    const QByteArray key(arg);
    const QList<Listed> now = converters();
    const auto found = std::find_if(now.begin(), now.end(), [&](const Listed &l) {
        return (flags == FT_OPEN_BY_SERIAL_NUMBER ? l.serial : l.description) == key;
    });
    if (found == now.end())
        return fail(FT_DEVICE_NOT_FOUND, QStringLiteral("no FTDI converter %1 \"%2\" is attached")
                                             .arg(flags == FT_OPEN_BY_SERIAL_NUMBER ? QStringLiteral("with the serial number")
                                                                                    : QStringLiteral("described as"),
                                                  QString::fromLatin1(key)));
    {
        QMutexLocker lock(&mutex_);
        for (const auto &p : std::as_const(open_))
            if (p->info.location == found->location) {
                lastError_ = QStringLiteral("%1 is already open").arg(found->location);
                return FT_DEVICE_NOT_OPENED;
            }
    }
    auto p = std::make_shared<Port>(*found);
    QString why;
    QSerialPort::SerialPortError code = QSerialPort::NoError;
    if (!p->open(&why, &code)) {
        QString text = QStringLiteral("%1: %2").arg(found->location, why);
        if (code == QSerialPort::PermissionError)
            text += QStringLiteral(" (the user may not open the device file: install the udev rule for FTDI "
                                   "converters or join the \"dialout\" group, then log in again)");
        return fail(FT_DEVICE_NOT_OPENED, text);
    }
    QMutexLocker lock(&mutex_);
    const FT_HANDLE h = nextHandle_++;
    open_.insert(h, std::move(p));
    *handle = h;
    return FT_OK;
}

FT_STATUS SerialConverters::Close(FT_HANDLE handle)
{
    std::shared_ptr<Port> p;
    {
        QMutexLocker lock(&mutex_);
        p = open_.take(handle);
    }
    if (!p)
        return fail(FT_INVALID_HANDLE, QStringLiteral("no open converter has the handle %1").arg(handle));
    p.reset(); // closes the port and ends its thread
    return FT_OK;
}

FT_STATUS SerialConverters::ResetDevice(FT_HANDLE handle)
{
    SERIAL_PORT()
    p->run([&] {
        p->serial->clear(QSerialPort::AllDirections);
        QMutexLocker lock(&p->m);
        p->rx.clear();
    });
    return FT_OK;
}

FT_STATUS SerialConverters::SetBaudRate(FT_HANDLE handle, quint32 baudRate)
{
    SERIAL_PORT()
    bool ok = false;
    QString why;
    p->run([&] {
        ok = baudRate > 0 && baudRate <= quint32(std::numeric_limits<qint32>::max()) && p->serial->setBaudRate(qint32(baudRate));
        if (!ok)
            why = p->serial->errorString();
    });
    return ok ? FT_OK : fail(FT_INVALID_BAUD_RATE, QStringLiteral("%1: %2 bits per second: %3").arg(p->info.location).arg(baudRate).arg(why));
}

FT_STATUS SerialConverters::SetDataCharacteristics(FT_HANDLE handle, quint8 wordLength, quint8 stopBits, quint8 parity)
{
    SERIAL_PORT()
    if (wordLength < 5 || wordLength > 8 || (stopBits != 0 && stopBits != 2) || parity > 4)
        return fail(FT_INVALID_PARAMETER, QStringLiteral("no such data format"));
    static const QSerialPort::Parity parities[] = {QSerialPort::NoParity, QSerialPort::OddParity, QSerialPort::EvenParity,
                                                   QSerialPort::MarkParity, QSerialPort::SpaceParity};
    bool ok = false;
    QString why;
    p->run([&] {
        ok = p->serial->setDataBits(QSerialPort::DataBits(wordLength))
             && p->serial->setStopBits(stopBits == 0 ? QSerialPort::OneStop : QSerialPort::TwoStop)
             && p->serial->setParity(parities[parity]);
        if (!ok)
            why = p->serial->errorString();
    });
    return ok ? FT_OK : fail(FT_IO_ERROR, QStringLiteral("%1: %2").arg(p->info.location, why));
}

// The Linux driver offers the latency timer as a sysfs attribute of the port. Where there is
// none (another driver, a pseudo-terminal) the value is accepted and has no effect; where it
// exists but cannot be written, the call fails unless it already holds the value.
FT_STATUS SerialConverters::SetLatencyTimer(FT_HANDLE handle, quint8 millisecs)
{
    SERIAL_PORT()
    if (millisecs < 2)
        return fail(FT_INVALID_PARAMETER, QStringLiteral("the latency timer takes 2 to 255 ms"));
    const QString path = QStringLiteral("/sys/class/tty/%1/device/latency_timer").arg(p->info.portName);
    QFile attribute(path);
    if (p->info.portName.isEmpty() || !attribute.exists())
        return FT_OK;
    if (attribute.open(QIODevice::WriteOnly)) {
        const QByteArray text = QByteArray::number(millisecs) + '\n';
        if (attribute.write(text) == text.size() && attribute.flush())
            return FT_OK;
    }
    const QString why = attribute.errorString();
    attribute.close();
    if (attribute.open(QIODevice::ReadOnly) && attribute.readAll().trimmed().toInt() == millisecs)
        return FT_OK;
    return fail(FT_IO_ERROR, QStringLiteral("%1: %2").arg(path, why));
}

FT_STATUS SerialConverters::SetUSBParameters(FT_HANDLE handle, quint32, quint32)
{
    SERIAL_PORT()
    return FT_OK; // the driver offers no control over transfer sizes
}

FT_STATUS SerialConverters::SetFlowControl(FT_HANDLE handle, quint16 mode, quint8 xon, quint8 xoff)
{
    SERIAL_PORT()
    QSerialPort::FlowControl flow;
    switch (mode) {
    case 0x0000: flow = QSerialPort::NoFlowControl; break;
    case 0x0100: flow = QSerialPort::HardwareControl; break;
    case 0x0400:
        if ((xon != 0x11 || xoff != 0x13) && (xon != 0 || xoff != 0))
            return fail(FT_NOT_SUPPORTED, QStringLiteral("XON/XOFF characters other than 0x11 and 0x13"));
        flow = QSerialPort::SoftwareControl;
        break;
    case 0x0200: return fail(FT_NOT_SUPPORTED, QStringLiteral("DTR/DSR flow control is not offered by the serial driver"));
    default: return fail(FT_INVALID_PARAMETER, QStringLiteral("no such flow control"));
    }
    bool ok = false;
    QString why;
    p->run([&] {
        ok = p->serial->setFlowControl(flow);
        if (!ok)
            why = p->serial->errorString();
    });
    return ok ? FT_OK : fail(FT_IO_ERROR, QStringLiteral("%1: %2").arg(p->info.location, why));
}

FT_STATUS SerialConverters::SetTimeouts(FT_HANDLE handle, quint32 readTimeout, quint32 writeTimeout)
{
    SERIAL_PORT()
    QMutexLocker lock(&p->m);
    p->readTimeout = readTimeout;
    p->writeTimeout = writeTimeout;
    return FT_OK;
}

FT_STATUS SerialConverters::Purge(FT_HANDLE handle, quint32 mask)
{
    SERIAL_PORT()
    if (mask & ~(FT_PURGE_RX | FT_PURGE_TX))
        return fail(FT_INVALID_PARAMETER, QStringLiteral("no such purge mask"));
    p->run([&] {
        if (mask & FT_PURGE_RX) {
            p->serial->clear(QSerialPort::Input);
            QMutexLocker lock(&p->m);
            p->rx.clear();
        }
        if (mask & FT_PURGE_TX)
            p->serial->clear(QSerialPort::Output);
    });
    return FT_OK;
}

FT_STATUS SerialConverters::Write(FT_HANDLE handle, const void *buffer, quint32 bytesToWrite, quint32 *bytesWritten)
{
    *bytesWritten = 0;
    SERIAL_PORT()
    qint64 written = -1;
    QString why;
    p->run([&] {
        written = p->serial->write(static_cast<const char *>(buffer), qint64(bytesToWrite));
        if (written < 0)
            why = p->serial->errorString();
        else
            p->serial->flush();
    });
    if (written < 0)
        return fail(FT_IO_ERROR, QStringLiteral("%1: %2").arg(p->info.location, why));
    *bytesWritten = quint32(written);
    return FT_OK;
}

FT_STATUS SerialConverters::Read(FT_HANDLE handle, void *buffer, quint32 bytesToRead, quint32 *bytesReturned)
{
    *bytesReturned = 0;
    SERIAL_PORT()
    QMutexLocker lock(&p->m);
    const QDeadlineTimer deadline = p->readTimeout ? QDeadlineTimer(qint64(p->readTimeout))
                                                   : QDeadlineTimer(QDeadlineTimer::Forever);
    while (qint64(p->rx.size()) < qint64(bytesToRead) && p->broken.isEmpty())
        if (!p->arrived.wait(&p->m, deadline))
            break;
    const qint64 n = std::min<qint64>(bytesToRead, p->rx.size());
    std::memcpy(buffer, p->rx.constData(), size_t(n));
    p->rx.remove(0, n);
    *bytesReturned = quint32(n);
    return FT_OK;
}

FT_STATUS SerialConverters::GetQueueStatus(FT_HANDLE handle, quint32 *rxBytes)
{
    SERIAL_PORT()
    QMutexLocker lock(&p->m);
    *rxBytes = quint32(p->rx.size());
    return FT_OK;
}

FT_STATUS SerialConverters::GetStatus(FT_HANDLE handle, quint32 *rxBytes, quint32 *txBytes, quint32 *eventStatus)
{
    SERIAL_PORT()
    qint64 sending = 0;
    p->run([&] { sending = p->serial->bytesToWrite(); });
    QMutexLocker lock(&p->m);
    *rxBytes = quint32(p->rx.size());
    *txBytes = quint32(std::max<qint64>(sending, 0));
    *eventStatus = p->rx.isEmpty() ? 0 : FT_EVENT_RXCHAR;
    return FT_OK;
}

FT_STATUS SerialConverters::GetModemStatus(FT_HANDLE handle, quint32 *modemStatus)
{
    SERIAL_PORT()
    bool ok = false;
    QString why;
    quint32 bits = 0;
    p->run([&] {
        p->serial->clearError();
        const QSerialPort::PinoutSignals s = p->serial->pinoutSignals();
        ok = p->serial->error() == QSerialPort::NoError;
        if (!ok)
            why = p->serial->errorString();
        bits = (s & QSerialPort::ClearToSendSignal ? 0x10 : 0) | (s & QSerialPort::DataSetReadySignal ? 0x20 : 0)
               | (s & QSerialPort::RingIndicatorSignal ? 0x40 : 0) | (s & QSerialPort::DataCarrierDetectSignal ? 0x80 : 0);
    });
    if (!ok)
        return fail(FT_IO_ERROR, QStringLiteral("%1: %2").arg(p->info.location, why));
    *modemStatus = bits;
    return FT_OK;
}

namespace {
template <class Port, class Set>
FT_STATUS setLine(const std::shared_ptr<Port> &p, Set set, QString *why)
{
    bool ok = false;
    p->run([&] {
        ok = set(p->serial);
        if (!ok)
            *why = p->serial->errorString();
    });
    return ok ? FT_OK : FT_IO_ERROR;
}
} // namespace

FT_STATUS SerialConverters::SetDtr(FT_HANDLE handle)
{
    SERIAL_PORT()
    QString why;
    const FT_STATUS s = setLine(p, [](QSerialPort *sp) { return sp->setDataTerminalReady(true); }, &why);
    return s == FT_OK ? s : fail(s, QStringLiteral("%1: %2").arg(p->info.location, why));
}

FT_STATUS SerialConverters::ClrDtr(FT_HANDLE handle)
{
    SERIAL_PORT()
    QString why;
    const FT_STATUS s = setLine(p, [](QSerialPort *sp) { return sp->setDataTerminalReady(false); }, &why);
    return s == FT_OK ? s : fail(s, QStringLiteral("%1: %2").arg(p->info.location, why));
}

FT_STATUS SerialConverters::SetRts(FT_HANDLE handle)
{
    SERIAL_PORT()
    QString why;
    const FT_STATUS s = setLine(p, [](QSerialPort *sp) { return sp->setRequestToSend(true); }, &why);
    return s == FT_OK ? s : fail(s, QStringLiteral("%1: %2").arg(p->info.location, why));
}

FT_STATUS SerialConverters::ClrRts(FT_HANDLE handle)
{
    SERIAL_PORT()
    QString why;
    const FT_STATUS s = setLine(p, [](QSerialPort *sp) { return sp->setRequestToSend(false); }, &why);
    return s == FT_OK ? s : fail(s, QStringLiteral("%1: %2").arg(p->info.location, why));
}

FT_STATUS SerialConverters::CyclePort(FT_HANDLE handle)
{
    SERIAL_PORT()
    return fail(FT_NOT_SUPPORTED, QStringLiteral("%1: the serial driver cannot re-enumerate the converter").arg(p->info.location));
}

FT_STATUS SerialConverters::GetDeviceInfo(FT_HANDLE handle, quint32 *deviceType, quint32 *id, char *serialNumber,
                                          char *description, void *)
{
    SERIAL_PORT()
    *deviceType = deviceTypeOf(p->info.vendor, p->info.product);
    *id = (quint32(p->info.vendor) << 16) | p->info.product;
    if (serialNumber)
        copyText(serialNumber, p->info.serial, 17);
    if (description)
        copyText(description, p->info.description, 65);
    return FT_OK;
}

FT_STATUS SerialConverters::SetEventNotification(FT_HANDLE handle, quint32 mask, const FtdiEventHandle &event)
{
    SERIAL_PORT()
    QMutexLocker lock(&p->m);
    p->event = event;
    p->eventMask = mask;
    return FT_OK;
}

#undef SERIAL_PORT

} // namespace arvex::meter
