// The chart of an object holding 100,000 marked results, one every 30 seconds (about 35
// days, so that nearly all of them lie in the 30 days shown), read from the results view in
// pH order so that the series has to sort them.
//
// Prints:
//   open_s      filling the chart from the results view: the walk, the sort, the axis reset
//   paint_ms    one repaint of the chart at 896 x 439 (the window's chart area), raster
//   picture_ms  painting the chart into a picture of 1032 x 624 (the report's picture)
// Each figure is the median of several runs.

#include "app/Fonts.h"
#include "support/BenchFigures.h"
#include "chart/ChartData.h"
#include "chart/ChartPaint.h"
#include "store/MainStore.h"
#include "store/ObjectResultViews.h"
#include "support/TestDatabase.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QPainter>
#include <QPicture>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

using namespace arvex::store;

using arvex::bench::median;
using arvex::bench::peakRssMb;

namespace {

constexpr int Results = 100000;

void fill(MainStore &s)
{
    int key = 0;
    {
        Connection::Transaction t(s.FDConnection1);
        s.FDSP_AddObiektTemp.setParam(0, PhMeterDeviceKey);
        s.FDSP_AddObiektTemp.setParam(1, 1);
        s.FDSP_AddObiektTemp.setParam(2, QStringLiteral("LOGGER"));
        s.FDSP_AddObiektTemp.setParam(3, QString(QLatin1String("")));
        s.FDSP_AddObiektTemp.setParam(4, QString(QLatin1String("")));
        s.FDSP_AddObiektTemp.setParam(5, 0);
        s.FDSP_AddObiektTemp.execute();
        key = s.FDSP_AddObiektTemp.output().toInt();
        t.commit();
    }
    const QDateTime start(QDate(2023, 6, 1), QTime(0, 0, 0), Qt::UTC);
    Connection::Transaction t(s.FDConnection1);
    for (int r = 0; r < Results; ++r) {
        s.FDSP_AddWynik.setParam(0, key);
        s.FDSP_AddWynik.setParam(1, start.addSecs(qint64(r) * 30));
        s.FDSP_AddWynik.setParam(2, 7.0 + 1.5 * std::sin(r / 500.0) + 0.2 * std::sin(r * 1.7));
        s.FDSP_AddWynik.setParam(3, 20.0);
        s.FDSP_AddWynik.setParam(4, r % 16777216);
        s.FDSP_AddWynik.setParam(5, 0);
        s.FDSP_AddWynik.setParam(6, 1);
        s.FDSP_AddWynik.setParam(7, QString(QLatin1String("")));
        s.FDSP_AddWynik.execute();
    }
    t.commit();
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    arvex::app::registerTahoma();
    TestDatabase::useBuildEngine();
    TestDatabase db;
    MainStore s;
    s.openDatabase(db.path());
    fill(s);
    s.openTables();
    s.locateDevice();
    ObjectResultViews views(s);
    views.refreshObjects();
    views.refreshResults(QStringLiteral("DANE1 asc "));
    if (s.FDQWyniki.rowCount() != Results) {
        std::fprintf(stderr, "the results view holds %d rows\n", s.FDQWyniki.rowCount());
        return 1;
    }

    chart::ChartState state;
    std::vector<double> open, paint, picture;
    for (int i = 0; i < 7; ++i) {
        QElapsedTimer t;
        t.start();
        chart::FillChart(state, s.FDQObiekty, s.FDQWyniki);
        open.push_back(t.nsecsElapsed() / 1e9);
    }
    if (state.series.Count() != Results) {
        std::fprintf(stderr, "the chart holds %d points\n", state.series.Count());
        return 1;
    }
    QImage screen(896, 439, QImage::Format_ARGB32_Premultiplied);
    for (int i = 0; i < 11; ++i) {
        QElapsedTimer t;
        t.start();
        QPainter p(&screen);
        chart::PaintChart(p, QRectF(screen.rect()), state, QLocale(QStringLiteral("en")));
        p.end();
        paint.push_back(t.nsecsElapsed() / 1e6);
    }
    for (int i = 0; i < 11; ++i) {
        QElapsedTimer t;
        t.start();
        QPicture pic;
        QPainter p(&pic);
        chart::PaintChart(p, QRectF(0, 0, 1032, 624), state, QLocale(QStringLiteral("en")));
        p.end();
        picture.push_back(t.nsecsElapsed() / 1e6);
    }
    std::printf("open_s %.4f\n", median(open));
    std::printf("paint_ms %.2f\n", median(paint));
    std::printf("picture_ms %.2f\n", median(picture));
    return 0;
}
