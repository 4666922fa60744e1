// Downloads the demo meter and a large meter (200 objects, 20,000 results) through the
// emulator at 115200 baud in real time with `arvex-ph-cli download`, each into a fresh program
// folder, and compares the time taken with the protocol's own minimum: the line time of every
// byte (10 bits a byte), the 0.1 s of silence that ends each reply of unknown length, and the
// sequence's fixed 100 ms pause after configuring the line.
#include "meter/MeterEmulator.h"
#include "support/ProgramFolder.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <cstdio>

using namespace arvex::meter;

namespace {

struct Minimum {
    double line = 0;    // s
    double silence = 0; // s
    double pauses = 0.1;
    int exchanges = 0;
    double total() const { return line + silence + pauses; }
};

Minimum minimumFor(const MeterContent &m)
{
    qint64 bytes = 2 + m.identity.size(); // identity command and reply
    bytes += 2 + 25LL * m.objects.size() + 1;
    Minimum min;
    min.silence = 0.1 * double(1 + m.objects.size()); // object list and each results reply
    for (const MeterObject &o : m.objects)
        bytes += ResultsCommand(o.number).size() + 11LL * o.results.size() + 1;
    min.line = double(bytes) * 10.0 / 115200.0;
    min.exchanges = int(2 + m.objects.size());
    return min;
}

MeterContent largeMeter()
{
    MeterContent m;
    m.converterSerial = "PP900001";
    m.identity = EncodeIdentity("PH900001", "1.07");
    const QDateTime start(QDate(2022, 1, 1), QTime(6, 0, 0));
    for (int i = 0; i < 200; ++i) {
        MeterObject o;
        o.number = i;
        o.name = "Sample " + QByteArray::number(i);
        for (int k = 0; k < 100; ++k)
            o.results << EncodeResult(quint32(i * 100 + k), start.addSecs(qint64(k) * 3600 * 7 + i * 60),
                                      quint16(400 + (i * 7 + k * 3) % 500), temperatureWord(10.0 + (k % 150) / 10.0));
        m.objects << o;
    }
    return m;
}

double run(const QString &name, const QStringList &meterArgs, const MeterContent &content)
{
    ProgramFolder pf;
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    QElapsedTimer t;
    t.start();
    p.start(pf.cli(), QStringList{"download"} + meterArgs);
    p.waitForFinished(600000);
    const double seconds = t.nsecsElapsed() / 1e9;
    const QByteArray output = p.readAll();
    if (p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
        std::fprintf(stderr, "%s: download failed (%d): %s\n", qPrintable(name), p.exitCode(), output.constData());
        std::exit(1);
    }
    // A figure counts only for a download that stored every result it was timed for.
    const long long stored = pf.isqlValue(QStringLiteral("select count(*) from WYNIKI"));
    const QByteArray told = QByteArray::number(content.resultCount()) + " records read.";
    if (stored != content.resultCount() || !output.contains(told)) {
        std::fprintf(stderr, "%s: %lld results stored of %d, output: %s\n", qPrintable(name), stored,
                     content.resultCount(), output.constData());
        std::exit(1);
    }
    const Minimum min = minimumFor(content);
    const double ratio = seconds / min.total();
    std::printf("%s: %d objects, %d results, %d exchanges\n", qPrintable(name), int(content.objects.size()),
                content.resultCount(), min.exchanges);
    std::printf("%s: taken %.3f s, minimum %.3f s (line %.3f s + silence %.3f s + pauses %.3f s)\n",
                qPrintable(name), seconds, min.total(), min.line, min.silence, min.pauses);
    // The exchange itself sleeps 10 ms before its final read and 5 ms between polls; with
    // those counted as fixed waits too, the rest is what the program adds.
    std::printf("%s: ratio counting the exchange's own 15 ms per exchange %.3f\n", qPrintable(name),
                seconds / (min.total() + 0.015 * min.exchanges));
    return ratio;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const double demo = run("demo", {"--emulate-meter"}, demoMeter());

    QTemporaryDir dir;
    const QString large = dir.filePath("large.json");
    const MeterContent big = largeMeter();
    writeMeterFile(big, large);
    const double largeRatio = run("large", {"--emulate-meter=" + large}, big);

    std::printf("demo_ratio %.3f\n", demo);
    std::printf("large_ratio %.3f\n", largeRatio);
    return 0;
}
