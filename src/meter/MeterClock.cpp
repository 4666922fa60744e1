#include "meter/MeterClock.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>

namespace arvex::meter {

void RealClock::sleepNs(qint64 ns)
{
    if (ns > 0)
        std::this_thread::sleep_for(std::chrono::nanoseconds(ns));
}

void VirtualClock::sleepNs(qint64 ns)
{
    const qint64 until = now_ + std::max<qint64>(ns, 0);
    while (!actions_.empty() && actions_.begin()->first <= until) {
        auto first = actions_.begin();
        now_ = std::max(now_, first->first);
        std::function<void()> action = std::move(first->second);
        actions_.erase(first);
        action();
    }
    now_ = std::max(now_, until); // an action may itself have slept past it
}

void VirtualClock::at(qint64 ns, std::function<void()> action) { actions_.emplace(ns, std::move(action)); }

namespace {
RealClock &realClock()
{
    static RealClock clock;
    return clock;
}
std::atomic<Clock *> installedClock{nullptr};
} // namespace

Clock &linkClock()
{
    Clock *c = installedClock.load(std::memory_order_acquire);
    return c ? *c : realClock();
}

void setLinkClock(Clock *clock) { installedClock.store(clock, std::memory_order_release); }

} // namespace arvex::meter
