#include "meter/MeterPty.h"

#include "meter/MeterClock.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <deque>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>
#endif

namespace arvex::meter {

MeterPty::MeterPty(std::shared_ptr<MeterEmulator> meter) : meter_(std::move(meter)) {}

MeterPty::~MeterPty() { stop(); }

#ifdef Q_OS_UNIX

namespace {

QString systemError(const char *what) { return QStringLiteral("%1: %2").arg(QLatin1String(what), QString::fromLocal8Bit(strerror(errno))); }

qint32 rateOf(speed_t s)
{
    switch (s) {
    case B1200: return 1200;
    case B2400: return 2400;
    case B4800: return 4800;
    case B9600: return 9600;
    case B19200: return 19200;
    case B38400: return 38400;
    case B57600: return 57600;
    case B115200: return 115200;
    case B230400: return 230400;
    case B460800: return 460800;
    case B921600: return 921600;
    default: return 0;
    }
}

} // namespace

bool MeterPty::start(QString *error)
{
    auto failed = [&](const char *what) {
        if (error)
            *error = systemError(what);
        stop();
        return false;
    };
    master_ = posix_openpt(O_RDWR | O_NOCTTY);
    if (master_ < 0)
        return failed("posix_openpt");
    if (grantpt(master_) != 0)
        return failed("grantpt");
    if (unlockpt(master_) != 0)
        return failed("unlockpt");
    char name[128] = {};
    if (ptsname_r(master_, name, sizeof name) != 0)
        return failed("ptsname_r");
    path_ = QString::fromLocal8Bit(name);
    slave_ = ::open(name, O_RDWR | O_NOCTTY);
    if (slave_ < 0)
        return failed("open");
    termios t{};
    if (tcgetattr(slave_, &t) == 0) {
        cfmakeraw(&t);
        tcsetattr(slave_, TCSANOW, &t);
    }
    fcntl(master_, F_SETFL, fcntl(master_, F_GETFL) | O_NONBLOCK);
    stopping_ = false;
    thread_ = std::thread([this] { serve(); });
    return true;
}

void MeterPty::stop()
{
    stopping_ = true;
    if (thread_.joinable())
        thread_.join();
    if (slave_ >= 0)
        ::close(slave_);
    if (master_ >= 0)
        ::close(master_);
    slave_ = master_ = -1;
}

void MeterPty::serve()
{
    RealClock clock;
    std::deque<std::pair<qint64, char>> out; // the meter's bytes, each with the time it is due
    qint64 busyUntil = 0;
    const qint32 rate = meter_->content().lineRate;
    char buffer[512];
    while (!stopping_) {
        const qint64 now = clock.nowNs();
        QByteArray due;
        while (!out.empty() && out.front().first <= now) {
            due += out.front().second;
            out.pop_front();
        }
        qsizetype sent = 0;
        while (sent < due.size()) {
            const ssize_t n = ::write(master_, due.constData() + sent, size_t(due.size() - sent));
            if (n <= 0)
                break; // the terminal is full: the rest goes on the next pass
            sent += n;
        }
        for (qsizetype i = due.size() - 1; i >= sent; --i)
            out.emplace_front(now, due.at(i));

        int waitMs = 20;
        if (!out.empty())
            waitMs = int(std::clamp<qint64>((out.front().first - now + 999999) / 1000000, 0, 1));
        pollfd p{master_, POLLIN, 0};
        if (::poll(&p, 1, waitMs) <= 0 || !(p.revents & POLLIN)) {
            if (p.revents & (POLLHUP | POLLERR))
                clock.sleepMs(1);
            continue;
        }
        const ssize_t got = ::read(master_, buffer, sizeof buffer);
        if (got <= 0)
            continue;
        // The meter hears the bytes only in its own line format.
        termios t{};
        if (tcgetattr(slave_, &t) != 0 || rateOf(cfgetospeed(&t)) != rate || (t.c_cflag & CSIZE) != CS8
            || (t.c_cflag & PARENB))
            continue;
        qint64 cursor = clock.nowNs();
        for (const ReplySegment &segment : meter_->receive(QByteArray(buffer, got))) {
            const qint64 start = std::max(cursor + qint64(std::llround(segment.delaySeconds * 1e9)), busyUntil);
            const qint64 n = segment.bytes.size();
            for (qint64 i = 0; i < n; ++i)
                out.emplace_back(start + ((i + 1) * 10'000'000'000LL) / rate, segment.bytes.at(i));
            cursor = start + (n * 10'000'000'000LL) / rate;
            busyUntil = cursor;
        }
    }
}

#else

bool MeterPty::start(QString *error)
{
    if (error)
        *error = QStringLiteral("pseudo-terminals need a Unix system");
    return false;
}

void MeterPty::stop() {}
void MeterPty::serve() {}

#endif

} // namespace arvex::meter
