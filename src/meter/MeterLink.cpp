#include "meter/MeterLink.h"

#include "meter/FTDIchip.h"
#include "meter/FTDIdll.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace arvex::meter {

bool IsMeterSerial(const QByteArray &serial) { return serial.size() > 4 && serial.startsWith("PP"); }

int ScanMeters(tftdichip &chip, MeterList &list, Clock &clock, const std::function<void()> &processMessages)
{
    std::vector<pftdiDeviceList> made;
    int count = 0;
    auto enumerate = [&] {
        quint32 devices = 0;
        pftdiDeviceList nodes = nullptr;
        if (!chip.createDeviceInfoList(devices, nodes))
            devices = 0; // a failed enumeration counts as no converters
        if (nodes)
            made.push_back(nodes);
        else
            devices = 0;
        for (quint32 i = 0; i < devices; ++i) {
            const char *text = nodes[i].serialNumber;
            const QByteArray serial(text, qsizetype(strnlen(text, sizeof nodes[i].serialNumber)));
            if (processMessages)
                processMessages();
            if (IsMeterSerial(serial) && count < int(list.size()))
                list[size_t(count++)] = serial;
        }
    };
    enumerate();
    if (count == 0) {
        clock.sleepMs(link::SecondScanPauseMs); // no messages are processed during the pause
        enumerate();
    }
    for (pftdiDeviceList &nodes : made)
        chip.destroyDeviceInfoList(nodes);
    if (chip.fconnected)
        chip.closeDevice();
    return count;
}

void ConfigureMeterLine(tftdichip &chip)
{
    chip.resetDevice();
    chip.setBaudRate(fBaud115200);
    chip.setDataCharacteristics(fBits8, fStopBits1, fParityNone);
    chip.setLatencyTimer(2);
    FT_SetUSBParameters(chip.fhandle, 16, 16);
    chip.setFlowControl(fFlowNone, 0, 0);
    chip.setTimeouts(5, 5);
}

QByteArray MeterExchange(tftdichip &chip, const QByteArray &command, qint32 expectedLength, Clock &clock,
                         const std::function<bool()> &stop)
{
    chip.purgeQueue(fReceiveQueue);
    qint32 written = 0;
    chip.write(command.constData(), qint32(command.size()), written);

    constexpr qint64 Ms = 1000000;
    qint64 lastProgress = clock.nowNs();
    qint32 previous = 0;
    qint32 n = 0;
    for (;;) {
        qint32 waiting = 0;
        if (chip.getReceiveQueueStatus(waiting))
            n = std::max(waiting, 0); // a failed query brings no new bytes
        clock.sleepMs(link::PollMs);
        if (n > previous)
            lastProgress = clock.nowNs();
        previous = n;
        if (expectedLength > 0 && n >= expectedLength) // a negative length counts as unknown
            break;
        const qint64 quiet = clock.nowNs() - lastProgress;
        if (n > 0 && quiet > link::SilenceMs * Ms)
            break;
        if (quiet > link::NothingMs * Ms)
            break;
        if (stop && stop())
            return {};
    }
    QByteArray reply(n, '\0');
    clock.sleepMs(link::FinalReadDelayMs);
    qint32 got = 0;
    if (!chip.read(reply.data(), n, got))
        got = 0;
    // A read that delivered fewer bytes leaves no stale tail behind.
    reply.truncate(std::clamp(got, 0, n));
    return reply;
}

ExchangeFn exchangeWith(tftdichip &chip, Clock &clock)
{
    return [&chip, &clock](const QByteArray &command, int expectedLength) {
        return MeterExchange(chip, command, expectedLength, clock);
    };
}

CheckedExchange::CheckedExchange(tftdichip &chip, Clock &clock) : chip_(chip), clock_(clock) {}

bool CheckedExchange::lineQuiet()
{
    // A line that cannot be looked at cannot be found quiet: what came last is not kept.
    qint32 waiting = 0;
    return chip_.getReceiveQueueStatus(waiting) && waiting <= 0;
}

bool CheckedExchange::lastReplyComplete()
{
    if (!interrupted_ && stop_ && stop_())
        interrupted_ = true;
    if (!incomplete_ && replied_ && !lineQuiet()) {
        incomplete_ = true;
        incompleteCommand_ = lastCommand_;
    }
    return !incomplete_ && !interrupted_;
}

QByteArray CheckedExchange::exchange(const QByteArray &command, qint32 expectedLength)
{
    if (!lastReplyComplete())
        return {};
    replied_ = true;
    lastCommand_ = command;
    QByteArray reply = MeterExchange(chip_, command, expectedLength, clock_, stop_);
    if (stop_ && stop_()) {
        interrupted_ = true;
        return {};
    }
    return reply;
}

ExchangeFn CheckedExchange::function()
{
    return [this](const QByteArray &command, int expectedLength) { return exchange(command, expectedLength); };
}

} // namespace arvex::meter
