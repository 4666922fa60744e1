// The chart's state and its arithmetic without a window, and the paint routine on images.

#include "app/Fonts.h"
#include "chart/ChartPaint.h"
#include "chart/ChartState.h"

#include <QImage>
#include <QPainter>
#include <QPicture>
#include <QRandomGenerator>
#include <QtTest>
#include <cmath>
#include <ctime>

using namespace chart;

namespace {

const QDateTime Latest(QDate(2023, 7, 31), QTime(16, 40, 0), Qt::UTC);

struct P {
    double daysBeforeLatest;
    double ph;
};
using Points = QList<P>;

ChartState withPoints(const Points &points)
{
    ChartState s;
    for (const P &p : points)
        s.series.AddXY(toChartTime(Latest) - p.daysBeforeLatest, p.ph);
    return s;
}

bool isSeriesBlue(QRgb c) { return qBlue(c) > 200 && qRed(c) < 90 && qGreen(c) < 90; }

void setZone(const QByteArray &zone)
{
    qputenv("TZ", zone);
    tzset();
}

} // namespace

class TestChart : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { arvex::app::registerTahoma(); }
    void cleanupTestCase() { setZone("UTC"); }

    void designValuesStandUntilTheFirstOpening()
    {
        const ChartState s;
        QCOMPARE(s.title, QString("    "));
        QCOMPARE(s.leftAxis.minimum, 245.0);
        QCOMPARE(s.leftAxis.maximum, 827.5);
        QCOMPARE(s.leftAxis.labelFormat, QString("0.## pH"));
        QVERIFY(s.rightAxis.visible);
        QCOMPARE(s.rightAxis.minimum, -100.0);
        QCOMPARE(s.rightAxis.maximum, 100.0);
        QCOMPARE(s.rightAxis.labelFormat, QString("0.#'%'"));
        QCOMPARE(s.series.title, QString("pH"));
        QCOMPARE(s.series.color, QColor(0, 0, 255));
        QCOMPARE(s.series.lineWidth, 3);
        QCOMPARE(s.panelColor, QColor(237, 237, 237));
        QCOMPARE(s.legend.symbolWidth, 50);
        QCOMPARE(s.legend.fontPixels, 19);
        // Labels every unit would not fit 582 units: the step grows, the format holds.
        const ChartLayout L = LayoutChart(QRectF(0, 0, 896, 439), s, QLocale::c());
        QVERIFY(!L.leftLabels.isEmpty());
        QVERIFY(L.leftLabels.size() < 40);
        QVERIFY2(L.leftLabels.first().endsWith(" pH"), qPrintable(L.leftLabels.first()));
        QVERIFY2(L.rightLabels.contains("0%"), qPrintable(L.rightLabels.join(' ')));
        QImage img(1032, 624, QImage::Format_RGB32);
        QPainter p(&img);
        PaintChart(p, QRectF(img.rect()), s, QLocale::c());
        p.end();
        QDir().mkpath(ARVEX_BUILD_DIR "/screenshots");
        QVERIFY(img.save(ARVEX_BUILD_DIR "/screenshots/chart_design.png"));
    }

    void rescaleLeftAxis_data()
    {
        QTest::addColumn<Points>("points");
        QTest::addColumn<double>("minimum");
        QTest::addColumn<double>("maximum");
        QTest::newRow("no marked results") << Points{} << 0.0 << 2.0;
        QTest::newRow("6.0 to 7.5") << Points{{1, 6.0}, {2, 7.5}, {3, 6.8}} << 4.0 << 9.5;
        QTest::newRow("1.0 to 13.0") << Points{{1, 13.0}, {2, 1.0}} << 0.0 << 14.0;
        QTest::newRow("one point") << Points{{0, 7.0}} << 5.0 << 9.0;
        QTest::newRow("14 to 16 keeps the cap") << Points{{1, 14.0}, {2, 16.0}} << 12.0 << 14.0;
        // Above the pH scale the cap would turn the range upside down: two units each side.
        QTest::newRow("all above 14") << Points{{1, 16.5}, {2, 15.2}} << 13.2 << 18.5;
        QTest::newRow("just above 14") << Points{{1, 14.01}} << 12.01 << 16.01;
        QTest::newRow("all below 0") << Points{{1, -3.0}, {2, -1.0}} << -5.0 << 1.0;
    }
    void rescaleLeftAxis()
    {
        QFETCH(Points, points);
        QFETCH(double, minimum);
        QFETCH(double, maximum);
        ChartState s = withPoints(points);
        RescaleAxis(s);
        QVERIFY(qAbs(s.leftAxis.minimum - minimum) < 1e-9);
        QVERIFY(qAbs(s.leftAxis.maximum - maximum) < 1e-9);
        QVERIFY(!s.leftAxis.automatic);
        // Every point in view, except above the cap of a series that reaches into the pH scale.
        for (const PointT &p : s.series.points())
            QVERIFY(p.y >= s.leftAxis.minimum && (p.y <= s.leftAxis.maximum || s.leftAxis.maximum == 14.0));
    }

    void rescaleBottomAxisShowsThirtyDaysToTheLatest_data()
    {
        QTest::addColumn<int>("spreadDays");
        QTest::newRow("one day") << 1;
        QTest::newRow("10 days") << 10;
        QTest::newRow("90 days") << 90;
    }
    void rescaleBottomAxisShowsThirtyDaysToTheLatest()
    {
        QFETCH(int, spreadDays);
        Points pts;
        for (int d = spreadDays; d >= 0; --d)
            pts << P{double(d), 7.0};
        ChartState s = withPoints(pts);
        RescaleAxis(s);
        QCOMPARE(s.bottomAxis.maximum, toChartTime(Latest));
        QVERIFY(qAbs(s.bottomAxis.span() - 30.0) < 1e-9);
        QVERIFY(!s.bottomAxis.automaticMinimum);
        QVERIFY(s.bottomAxis.automaticMaximum);
        // The right arrow brings earlier days: 3 per click.
        ScrollRight(s);
        QVERIFY(qAbs(s.bottomAxis.maximum - (toChartTime(Latest) - 3)) < 1e-9);
        QVERIFY(qAbs(s.bottomAxis.span() - 30.0) < 1e-9);
        QVERIFY(!s.bottomAxis.automatic);
    }

    void emptySeriesShowsTheLastThirtyDays()
    {
        ChartState s;
        RescaleAxis(s);
        const double endOfToday = toChartTime(QDateTime(QDate::currentDate().addDays(1), QTime(0, 0), Qt::UTC));
        QCOMPARE(s.bottomAxis.maximum, endOfToday);
        QCOMPARE(s.bottomAxis.minimum, endOfToday - 30);
    }

    void pointsAddedInAnyOrderAreKeptInTimeOrder()
    {
        QList<P> pts;
        for (int i = 0; i < 200; ++i)
            pts << P{double(QRandomGenerator::global()->bounded(40)) + i / 1000.0, 7 + i / 100.0};
        ChartState one = withPoints(pts);
        SeriesT many;
        std::vector<PointT> batch;
        for (const P &p : pts)
            batch.push_back({toChartTime(Latest) - p.daysBeforeLatest, p.ph});
        many.AddPoints(batch);
        QCOMPARE(one.series.Count(), 200);
        for (int i = 1; i < one.series.Count(); ++i)
            QVERIFY(one.series.points()[size_t(i - 1)].x <= one.series.points()[size_t(i)].x);
        for (int i = 0; i < 200; ++i) {
            QCOMPARE(many.points()[size_t(i)].x, one.series.points()[size_t(i)].x);
            QCOMPARE(many.points()[size_t(i)].y, one.series.points()[size_t(i)].y);
        }
        // Two points of one time stay in the order they came; numbers that are not finite
        // are left out.
        SeriesT same;
        QVERIFY(same.AddXY(5, 1));
        QVERIFY(same.AddXY(5, 2));
        QVERIFY(same.AddXY(4, 3));
        QVERIFY(!same.AddXY(std::nan(""), 4));
        QVERIFY(!same.AddXY(6, INFINITY));
        QCOMPARE(same.Count(), 3);
        QCOMPARE(same.points()[1].y, 1.0);
        QCOMPARE(same.points()[2].y, 2.0);
    }

    void zoomInThenOutLeavesNinetySixHundredths()
    {
        ChartState s = withPoints({{0, 6.0}, {5, 7.5}});
        RescaleAxis(s);
        const ChartState before = s;
        ZoomPercent(s, 110);
        QVERIFY(qAbs(s.leftAxis.span() - 0.8 * before.leftAxis.span()) < 1e-9);
        QVERIFY(qAbs(s.bottomAxis.span() - 0.8 * before.bottomAxis.span()) < 1e-9);
        QVERIFY(!s.bottomAxis.automaticMaximum);
        ZoomPercent(s, 90);
        for (auto [a, b] : {std::pair{&s.leftAxis, &before.leftAxis}, std::pair{&s.rightAxis, &before.rightAxis},
                            std::pair{&s.bottomAxis, &before.bottomAxis}}) {
            QVERIFY(qAbs(a->span() - 0.96 * b->span()) < 1e-9);
            QVERIFY(qAbs((a->minimum + a->maximum) - (b->minimum + b->maximum)) < 1e-9); // same centre
        }
        RescaleAxis(s);
        QCOMPARE(s.leftAxis.minimum, before.leftAxis.minimum);
        QCOMPARE(s.leftAxis.maximum, before.leftAxis.maximum);
        QCOMPARE(s.bottomAxis.minimum, before.bottomAxis.minimum);
        QCOMPARE(s.bottomAxis.maximum, before.bottomAxis.maximum);
    }

    // Each move shifts the axes it concerns by a tenth of their own span, keeps the spans,
    // and leaves the others alone.
    void scrollMoves_data()
    {
        QTest::addColumn<int>("move"); // 0 left, 1 right, 2 up, 3 down
        QTest::addColumn<double>("bottomTenths");
        QTest::addColumn<double>("verticalTenths");
        QTest::newRow("left arrow: later dates") << 0 << 1.0 << 0.0;
        QTest::newRow("right arrow: earlier dates") << 1 << -1.0 << 0.0;
        QTest::newRow("up arrow: the curve rises") << 2 << 0.0 << -1.0;
        QTest::newRow("down arrow: the curve falls") << 3 << 0.0 << 1.0;
    }
    void scrollMoves()
    {
        QFETCH(int, move);
        QFETCH(double, bottomTenths);
        QFETCH(double, verticalTenths);
        ChartState s = withPoints({{0, 6.0}, {5, 7.5}});
        RescaleAxis(s);
        s.rightAxis.visible = false;
        const ChartState b = s;
        void (*moves[])(ChartState &) = {ScrollLeft, ScrollRight, ScrollUp, ScrollDown};
        moves[move](s);
        auto shifted = [](const AxisT &now, const AxisT &was, double tenths) {
            const double d = was.span() / 10 * tenths;
            return qAbs(now.minimum - (was.minimum + d)) < 1e-9 && qAbs(now.maximum - (was.maximum + d)) < 1e-9;
        };
        QVERIFY(shifted(s.bottomAxis, b.bottomAxis, bottomTenths));
        QVERIFY(shifted(s.leftAxis, b.leftAxis, verticalTenths));   // 0.55 pH for 5.5
        QVERIFY(shifted(s.rightAxis, b.rightAxis, verticalTenths)); // 20 % of 200
    }

    void axisRefusesAnUpsideDownRange()
    {
        AxisT a;
        a.minimum = 0;
        a.maximum = 10;
        QVERIFY(!a.setMinimum(11));
        QVERIFY(!a.setMaximum(-1));
        QVERIFY(!a.setMinMax(5, 4));
        QVERIFY(!a.setMinimum(std::nan("")));
        QCOMPARE(a.minimum, 0.0);
        QCOMPARE(a.maximum, 10.0);
        QVERIFY(a.setMinimum(10));
        QCOMPARE(a.span(), 0.0);
    }

    // A time is placed by its wall-clock fields alone, whatever the zone the program runs in
    // and whatever its time spec, also inside the spring-forward gap.
    void timesAreWallClock_data()
    {
        QTest::addColumn<QByteArray>("zone");
        QTest::newRow("UTC") << QByteArray("UTC");
        QTest::newRow("Europe/Warsaw") << QByteArray("Europe/Warsaw");
    }
    void timesAreWallClock()
    {
        QFETCH(QByteArray, zone);
        setZone(zone);
        const QDateTime gap(QDate(2023, 3, 26), QTime(2, 30, 0), Qt::UTC);
        const double x = toChartTime(gap);
        QCOMPARE(x, 45011.0 + 2.5 / 24);
        QCOMPARE(fromChartTime(x).date(), gap.date());
        QCOMPARE(fromChartTime(x).time(), gap.time());
        const QDateTime ordinary(QDate(2023, 7, 1), QTime(12, 0, 0), Qt::LocalTime);
        QCOMPARE(toChartTime(ordinary), toChartTime(QDateTime(ordinary.date(), ordinary.time(), Qt::UTC)));
        QCOMPARE(fromChartTime(toChartTime(Latest)), Latest);
    }

    // The bottom labels take the finest readable step for the span shown, in the locale's language.
    void dateLabels_data()
    {
        QTest::addColumn<double>("spanDays");
        QTest::addColumn<QString>("locale");
        QTest::addColumn<QString>("expectedFirst");
        QTest::addColumn<int>("minLabels");
        // From 31 Jul 2023 16:40 back.
        QTest::newRow("30 days, English") << 30.0 << "en" << "3 Jul\n2023" << 4;
        QTest::newRow("30 days, Polish") << 30.0 << "pl" << "3 lip\n2023" << 4;
        QTest::newRow("2 hours") << 2.0 / 24 << "en" << "14:40\n31 Jul" << 6;
        QTest::newRow("1 year") << 365.0 << "en" << "Aug\n2022" << 4;
        QTest::newRow("30 years") << 30.0 * 365 << "en" << "1994" << 3;
        QTest::newRow("20 seconds") << 20.0 / 86400 << "en" << "16:39:40\n31 Jul" << 3;
    }
    void dateLabels()
    {
        QFETCH(double, spanDays);
        QFETCH(QString, locale);
        QFETCH(QString, expectedFirst);
        QFETCH(int, minLabels);
        ChartState s;
        s.rightAxis.visible = false;
        s.bottomAxis.setMinMax(toChartTime(Latest) - spanDays, toChartTime(Latest));
        const ChartLayout L = LayoutChart(QRectF(0, 0, 896, 439), s, QLocale(locale));
        QVERIFY2(L.bottomLabels.size() >= minLabels, qPrintable(L.bottomLabels.join(" | ")));
        QCOMPARE(L.bottomLabels.first(), expectedFirst);
        // Labels keep apart: the next label never repeats the second line.
        for (int i = 1; i < L.bottomLabels.size(); ++i)
            QVERIFY(L.bottomLabels[i] != L.bottomLabels[i - 1]);
    }

    void paintShowsTheLineWhereAPointLies()
    {
        ChartState s = withPoints({{0, 7.0}, {4, 6.5}, {9, 7.4}, {15, 6.9}});
        RescaleAxis(s);
        s.rightAxis.visible = false;
        s.leftAxis.labelFormat = "0.00 pH";
        QImage img(896, 439, QImage::Format_ARGB32);
        img.fill(Qt::transparent);
        {
            QPainter p(&img);
            PaintChart(p, QRectF(img.rect()), s, QLocale::c());
        }
        const ChartLayout L = LayoutChart(QRectF(img.rect()), s, QLocale::c());
        for (const PointT &pt : s.series.points()) {
            const QPoint at(qRound(L.xPixel(s, pt.x)), qRound(L.yPixel(s, pt.y)));
            QVERIFY2(isSeriesBlue(img.pixel(at)), qPrintable(QString("no blue at %1,%2").arg(at.x()).arg(at.y())));
        }
        // Panel, back wall, and the space between the points on the wall.
        QCOMPARE(QColor(img.pixel(2, 2)), QColor(237, 237, 237));
        const QPoint empty(qRound(L.xPixel(s, toChartTime(Latest) - 24.5)), qRound(L.yPixel(s, 5.5)));
        QCOMPARE(QColor(img.pixel(empty)), QColor(Qt::white));
        QVERIFY(L.wall.contains(L.inner));
        QVERIFY2(L.leftLabels.contains("5.00 pH"), qPrintable(L.leftLabels.join(' ')));
        img.save(QStringLiteral(ARVEX_BUILD_DIR "/screenshots/chart_paint.png"));
    }

    // After zooming in, the points beyond the ranges are cut at the wall: nothing blue left of,
    // right of or below it, and a painter given a smaller rectangle paints nothing outside it.
    void zoomedPaintStaysInsideThePlot()
    {
        QList<P> pts;
        for (int i = 0; i <= 600; ++i)
            pts << P{i * 0.05, 7.0 + 3.0 * std::sin(i / 7.0)};
        ChartState s = withPoints(pts);
        RescaleAxis(s);
        s.rightAxis.visible = false;
        ZoomPercent(s, 110);
        ZoomPercent(s, 110);
        ZoomPercent(s, 110);
        QImage img(1000, 600, QImage::Format_ARGB32);
        img.fill(Qt::red);
        const QRectF target(50, 40, 896, 439);
        {
            QPainter p(&img);
            PaintChart(p, target, s, QLocale::c());
        }
        const ChartLayout L = LayoutChart(target, s, QLocale::c());
        int blueInside = 0;
        for (int y = 0; y < img.height(); ++y)
            for (int x = 0; x < img.width(); ++x) {
                const QRgb c = img.pixel(x, y);
                if (!target.adjusted(0.5, 0.5, -0.5, -0.5).contains(QPointF(x + 0.5, y + 0.5))) {
                    if (!target.contains(QPointF(x + 0.5, y + 0.5)))
                        QVERIFY2(c == qRgb(255, 0, 0), qPrintable(QString("painted outside at %1,%2").arg(x).arg(y)));
                    continue;
                }
                const bool outsideWall = x < L.wall.left() - 1 || x > L.wall.right() + 1 || y > L.wall.bottom() + 1;
                if (isSeriesBlue(c)) {
                    QVERIFY2(!outsideWall, qPrintable(QString("series drawn at %1,%2").arg(x).arg(y)));
                    ++blueInside;
                }
            }
        QVERIFY(blueInside > 1000);
    }

    // A picture of the chart replays to the same pixels as painting directly.
    void pictureReplaysTheSameChart()
    {
        ChartState s = withPoints({{0, 7.0}, {4, 6.5}, {9, 7.4}, {15, 6.9}});
        RescaleAxis(s);
        QImage direct(1032, 624, QImage::Format_ARGB32);
        QImage replayed(1032, 624, QImage::Format_ARGB32);
        direct.fill(Qt::white);
        replayed.fill(Qt::white);
        {
            QPainter p(&direct);
            PaintChart(p, QRectF(0, 0, 1032, 624), s, QLocale::c());
        }
        QPicture picture;
        {
            QPainter p(&picture);
            PaintChart(p, QRectF(0, 0, 1032, 624), s, QLocale::c());
        }
        {
            QPainter p(&replayed);
            picture.play(&p);
        }
        int differing = 0;
        for (int y = 0; y < 624; ++y)
            for (int x = 0; x < 1032; ++x)
                differing += direct.pixel(x, y) != replayed.pixel(x, y);
        QVERIFY2(differing < 1032 * 624 / 200, qPrintable(QString::number(differing)));
    }
};

QTEST_MAIN(TestChart)
#include "tst_chart.moc"
