#include "app/StopSignals.h"

#include <QObject>
#include <QSocketNotifier>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <pthread.h>
#include <unistd.h>

namespace arvex::app {

namespace {

int wakePipe[2] = {-1, -1};
struct sigaction previousInt = {}, previousTerm = {};
bool installed = false;
volatile std::sig_atomic_t received = 0;

extern "C" void onStopSignal(int signal)
{
    const int saved = errno;
    if (!received)
        received = signal;
    const char byte = char(signal);
    if (wakePipe[1] >= 0) {
        [[maybe_unused]] const ssize_t n = ::write(wakePipe[1], &byte, 1);
    }
    errno = saved;
}

bool ensurePipe()
{
    if (wakePipe[0] >= 0)
        return true;
    return ::pipe2(wakePipe, O_NONBLOCK | O_CLOEXEC) == 0;
}

} // namespace

namespace {
sigset_t stopSet()
{
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    return set;
}
} // namespace

void blockStopSignals()
{
    const sigset_t set = stopSet();
    ::pthread_sigmask(SIG_BLOCK, &set, nullptr);
}

void installStopSignals()
{
    ensurePipe();
    struct sigaction action = {};
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGINT, &action, installed ? nullptr : &previousInt);
    ::sigaction(SIGTERM, &action, installed ? nullptr : &previousTerm);
    installed = true;
    const sigset_t set = stopSet();
    ::pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
}

void restoreStopSignals()
{
    if (!installed)
        return;
    ::sigaction(SIGINT, &previousInt, nullptr);
    ::sigaction(SIGTERM, &previousTerm, nullptr);
    installed = false;
}

int stopSignal() { return int(received); }

bool stopSignalsInForce()
{
    for (const int s : {SIGINT, SIGTERM}) {
        struct sigaction current = {};
        if (::sigaction(s, nullptr, &current) != 0 || current.sa_handler != onStopSignal)
            return false;
    }
    return true;
}

void whenStopSignal(QObject *context, std::function<void(int)> onSignal)
{
    if (!ensurePipe())
        return;
    auto *notifier = new QSocketNotifier(wakePipe[0], QSocketNotifier::Read, context);
    QObject::connect(notifier, &QSocketNotifier::activated, context, [onSignal = std::move(onSignal)] {
        char bytes[16];
        while (::read(wakePipe[0], bytes, sizeof bytes) > 0) {
        }
        if (received)
            onSignal(int(received));
    });
}

int stopExitCode(int signal) { return 128 + signal; }

const char *stopSignalName(int signal) { return signal == SIGINT ? "SIGINT" : signal == SIGTERM ? "SIGTERM" : "a signal"; }

} // namespace arvex::app
