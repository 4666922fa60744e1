// Exchanges the demo meter's whole content (identity, object list, every object's results)
// through the emulator at 115200 baud in real time, as the download does (each reply checked
// complete), and sets the time
// taken beside the line's own minimum: every byte's 10 bits at 115200 bits per second plus the
// 0.1 s of silence that ends each reply of unknown length. The last line is
// "ratio_to_line_minimum R", the median run's time over that minimum.

#include "meter/EmulatorBus.h"
#include "meter/FTDIchip.h"
#include "meter/MeterClock.h"
#include "meter/MeterLink.h"
#include "meter/MeterProtocol.h"

#include <QCoreApplication>
#include <QFile>
#include <QThread>
#include <algorithm>
#include <cstdio>

using namespace arvex::meter;

namespace {

struct Run {
    double seconds = 0;
    qint64 bytes = 0; // commands and replies
    int exchanges = 0;
    int unknownLength = 0;
    bool correct = true;
};

Run downloadOnce(tftdichip &chip, MeterEmulator &reference, RealClock &clock)
{
    Run run;
    const qint64 start = clock.nowNs();
    CheckedExchange line(chip, clock); // as the download: every reply checked complete
    auto exchange = [&](const QByteArray &command, int expected) {
        const QByteArray reply = line.exchange(command, expected);
        run.bytes += command.size() + reply.size();
        ++run.exchanges;
        if (expected == 0)
            ++run.unknownLength;
        if (reply != reference.contentReply(command))
            run.correct = false;
        return reply;
    };
    exchange(IdentityCommand, IdentityReplyLength);
    QList<QByteArray> objects;
    if (!SplitRecords(exchange(ObjectListCommand, 0), ObjectRecordSize, &objects))
        run.correct = false;
    for (const QByteArray &record : objects)
        exchange(ResultsCommand(DecodeObject(record).number), 0);
    if (!line.lastReplyComplete())
        run.correct = false;
    run.seconds = double(clock.nowNs() - start) / 1e9;
    return run;
}

double lineMinimum(const Run &r) { return double(r.bytes) * 10.0 / 115200.0 + 0.1 * r.unknownLength; }

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    RealClock clock;
    const MeterContent demo = demoMeter();
    MeterEmulator reference(demo);
    auto bus = std::make_shared<EmulatorBus>(clock);
    bus->attach(std::make_shared<MeterEmulator>(demo));
    setftdidll(bus);

    tftdichip chip;
    if (!chip.openDeviceBySerial(demo.converterSerial)) {
        std::fprintf(stderr, "cannot open the emulated converter: %s\n", qPrintable(FT_LastErrorText()));
        return 1;
    }
    ConfigureMeterLine(chip);

    QFile load(QStringLiteral("/proc/loadavg"));
    const QByteArray loadavg = load.open(QIODevice::ReadOnly) ? load.readAll().trimmed() : QByteArray("unknown");
    std::printf("machine: %d cores, load average %s\n", QThread::idealThreadCount(), loadavg.constData());
    std::printf("demo meter: %d objects, %d results\n", int(demo.objects.size()), demo.resultCount());

    constexpr int Runs = 5;
    QList<Run> runs;
    for (int i = 0; i < Runs; ++i) {
        const Run r = downloadOnce(chip, reference, clock);
        if (!r.correct) {
            std::fprintf(stderr, "run %d: a reply differed from the meter's content\n", i + 1);
            return 1;
        }
        std::printf("run %d: %.4f s for %d exchanges, %lld bytes, line minimum %.4f s, ratio %.4f\n", i + 1, r.seconds,
                    r.exchanges, static_cast<long long>(r.bytes), lineMinimum(r), r.seconds / lineMinimum(r));
        runs.append(r);
    }
    std::sort(runs.begin(), runs.end(), [](const Run &a, const Run &b) { return a.seconds < b.seconds; });
    const Run &median = runs.at(Runs / 2);
    const double minimum = lineMinimum(median);
    // What the exchange's own fixed steps add to each command: the 10 ms before the final read
    // and the 5 ms poll that first sees the last bytes before the quiet time starts counting.
    const double fixedSteps = median.exchanges * 0.015;
    std::printf("time_taken_s %.4f\n", median.seconds);
    std::printf("line_minimum_s %.4f\n", minimum);
    std::printf("overhead_per_exchange_ms %.2f\n", 1000.0 * (median.seconds - minimum) / median.exchanges);
    std::printf("ratio_to_minimum_with_fixed_steps %.4f\n", median.seconds / (minimum + fixedSteps));
    std::printf("ratio_to_line_minimum %.4f\n", median.seconds / minimum);
    chip.closeDevice();
    return 0;
}
