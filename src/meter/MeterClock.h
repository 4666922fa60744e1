#pragma once

// Time as the meter link sees it. Every wait and pause of discovery and exchange goes through
// a Clock, so that tests run them in virtual time and the emulator paces its bytes by it.

#include <QtGlobal>
#include <QElapsedTimer>
#include <functional>
#include <map>

namespace arvex::meter {

class Clock {
public:
    virtual ~Clock() = default;
    // Monotonic time in nanoseconds.
    virtual qint64 nowNs() = 0;
    // Pauses the calling thread (in virtual time: moves the time on).
    virtual void sleepNs(qint64 ns) = 0;

    void sleepMs(qint64 ms) { sleepNs(ms * 1000000); }
    void sleepUntilNs(qint64 t)
    {
        const qint64 wait = t - nowNs();
        if (wait > 0)
            sleepNs(wait);
    }
};

class RealClock final : public Clock {
public:
    RealClock() { timer_.start(); }
    qint64 nowNs() override { return timer_.nsecsElapsed(); }
    void sleepNs(qint64 ns) override;

private:
    QElapsedTimer timer_;
};

// Time moves only when someone sleeps. Actions scheduled with at() run, in time order, when
// the time reaches them (an action may schedule more). One thread at a time.
class VirtualClock final : public Clock {
public:
    qint64 nowNs() override { return now_; }
    void sleepNs(qint64 ns) override;
    void at(qint64 ns, std::function<void()> action);
    void atMs(qint64 ms, std::function<void()> action) { at(ms * 1000000, std::move(action)); }
    double seconds() const { return double(now_) / 1e9; }

private:
    qint64 now_ = 0;
    std::multimap<qint64, std::function<void()>> actions_;
};

// The clock of the program's meter link: a real clock unless one is set (tests).
Clock &linkClock();
void setLinkClock(Clock *clock); // nullptr: the real clock again

} // namespace arvex::meter
