// Imports recorded replies of 50 objects x 400 results into a fresh on-disk database through
// ImportObjects and prints the storing rate. The meter's line delivers at most about 1,050
// results per second, so storing must stay far above that.
#include "meter/MeterImport.h"
#include "store/MainStore.h"
#include "support/TestDatabase.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <algorithm>
#include <cstdio>
#include <vector>
#include <map>

using namespace arvex;

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    constexpr int Objects = 50, ResultsPerObject = 400;

    std::map<QByteArray, QByteArray> replies;
    QList<QByteArray> objectRecords;
    const QDateTime start(QDate(2023, 1, 1), QTime(8, 0, 0));
    for (int o = 0; o < Objects; ++o) {
        objectRecords << meter::EncodeObject(o, "Object " + QByteArray::number(o));
        QByteArray reply;
        for (int r = 0; r < ResultsPerObject; ++r)
            reply += meter::EncodeResult(quint32(r), start.addSecs(qint64(r) * 3600 + o * 2), quint16(400 + r % 600),
                                         meter::temperatureWord(15.0 + (r % 200) / 10.0));
        replies[meter::ResultsCommand(o)] = reply + "*";
    }

    // Three rounds, each on a fresh database file; the disk is shared, so the median is printed.
    std::vector<double> rates;
    for (int round = 0; round < 3; ++round) {
        TestDatabase db;
        store::MainStore s;
        s.openDatabase(db.path());
        meter::MeterImport import(s.FDConnection1, s.FDSP_AddObiektTemp, s.FDSP_AddWynik);
        const auto exchange = [&](const QByteArray &command, int) { return replies[command]; };

        QElapsedTimer timer;
        timer.start();
        const meter::ImportOutcome outcome = import.ImportObjects(objectRecords, exchange);
        const double seconds = timer.nsecsElapsed() / 1e9;
        if (!outcome.completed || outcome.stored != Objects * ResultsPerObject) {
            std::fprintf(stderr, "import failed: completed %d, stored %d\n", outcome.completed, outcome.stored);
            return 1;
        }
        rates.push_back(outcome.stored / seconds);
        std::printf("round %d: %d results in %.3f s (%.0f per second)\n", round + 1, outcome.stored, seconds,
                    rates.back());
    }
    std::sort(rates.begin(), rates.end());
    std::printf("results_per_second %.0f\n", rates[1]);
    return 0;
}
