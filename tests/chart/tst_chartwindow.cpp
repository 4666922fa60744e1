// The chart window opened through "Chart" on a real database holding the demo meter.

#include "app/ErrorDisplay.h"
#include "app/Forms.h"
#include "app/MainDivIV.h"
#include "chart/UnChart.h"
#include "lang/LangFlagsCombo.h"
#include "lang/LangMan.h"
#include "meter/MeterEmulator.h"
#include "meter/MeterImport.h"
#include "store/MainStore.h"
#include "support/TestDatabase.h"

#include <QDir>
#include <QFileDialog>
#include <QLineEdit>
#include <QMenu>
#include <QPainter>
#include <QPushButton>
#include <QRegularExpression>
#include <QtTest>
#include <ctime>
#include <functional>
#include <memory>

using namespace arvex;

namespace {

// Stores the demo meter into the database file through the import, as a download does.
void importDemoMeter(const QString &databaseFile)
{
    store::MainStore s;
    s.openDatabase(databaseFile);
    const meter::MeterContent demo = meter::demoMeter();
    QList<QByteArray> objects;
    for (const meter::MeterObject &o : demo.objects)
        objects << meter::EncodeObject(o.number, o.name);
    meter::MeterImport import(s.FDConnection1, s.FDSP_AddObiektTemp, s.FDSP_AddWynik);
    const meter::ImportOutcome outcome = import.ImportObjects(objects, [&](const QByteArray &command, int) {
        for (const meter::MeterObject &o : demo.objects)
            if (meter::ResultsCommand(o.number) == command)
                return o.results.join() + "*";
        return QByteArray("*");
    });
    if (!outcome.completed || outcome.stored != demo.resultCount())
        qFatal("the import stored %d results", outcome.stored);
}

void setZone(const QByteArray &zone)
{
    qputenv("TZ", zone);
    tzset();
}

QString screenshot(QWidget *w, const QString &name)
{
    QDir().mkpath(ARVEX_BUILD_DIR "/screenshots");
    const QString path = QStringLiteral(ARVEX_BUILD_DIR "/screenshots/") + name;
    w->grab().save(path);
    return path;
}

const char *const Object13 = "(select IDOB from OBIEKTY where IDO_INDEV = 13)";

} // namespace

class TestChartWindow : public QObject {
    Q_OBJECT

    QStringList errors;
    std::unique_ptr<TestDatabase> db;
    TMainDivIVForm *w = nullptr;

    // The demo meter in a fresh database, some of object 13's results marked, the windows
    // started on it with the Polish language file in the program folder.
    void start()
    {
        db = std::make_unique<TestDatabase>();
        importDemoMeter(db->path());
        db->isql(QStringLiteral("update WYNIKI set REZI1 = 1 where mod(IDWYN, 3) <> 0 and IDOB = %1; commit;")
                     .arg(QLatin1String(Object13)));
        // Two marked results that cannot be placed: one without a pH, one without a time.
        db->isql(QStringLiteral("update WYNIKI set DANE1 = null where IDWYN = (select min(IDWYN) from WYNIKI "
                                "where REZI1 = 1 and IDOB = %1); update WYNIKI set DATACZAS = null where IDWYN = "
                                "(select max(IDWYN) from WYNIKI where REZI1 = 1 and IDOB = %1); commit;")
                     .arg(QLatin1String(Object13)));
        QFile::copy(TestDatabase::appDir() + "/pl.lng", db->folder() + "/pl.lng");
        app::createForms();
        w = MainDivIVForm;
        w->setProgramFolderOverride(db->folder());
        w->show();
        QVERIFY(QTest::qWaitForWindowExposed(w));
        QVERIFY2(w->startupCompleted(), qPrintable(errors.join('\n')));
        QVERIFY(w->store.FDQObiekty.locate(QStringLiteral("IDO_INDEV"), 13));
    }

    // Runs `whileOpen` once the chart window is up (after "Chart"), then closes it with Escape.
    void openChart(const std::function<void()> &whileOpen)
    {
        bool ran = false;
        QTimer::singleShot(0, WykresForm, [&] {
            QVERIFY(WykresForm->isVisible());
            QVERIFY(QTest::qWaitForWindowExposed(WykresForm));
            whileOpen();
            ran = true;
            QTest::keyClick(WykresForm, Qt::Key_Escape);
        });
        w->actChart->trigger();
        QVERIFY(ran);
        QVERIFY(!WykresForm->isVisible());
    }

    // The marked results of object 13 by isql-fb, in time order: "yyyy-MM-dd HH:mm:ss" and pH.
    QList<std::pair<QString, double>> markedResults() const
    {
        const QString out = db->isql(QStringLiteral("select DATACZAS, DANE1 from WYNIKI where REZI1 = 1 and IDOB = %1 "
                                                    "and DANE1 is not null and DATACZAS is not null order by DATACZAS, IDWYN;")
                                         .arg(QLatin1String(Object13)));
        QList<std::pair<QString, double>> rows;
        static const QRegularExpression row(QStringLiteral("(\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d)\\.\\d+\\s+(\\S+)"));
        for (auto it = row.globalMatch(out); it.hasNext();) {
            const auto m = it.next();
            rows.append({m.captured(1), m.captured(2).toDouble()});
        }
        return rows;
    }

private slots:
    void initTestCase()
    {
        TestDatabase::useBuildEngine();
        app::setErrorHandler([this](QWidget *, const QString &text) { errors << text; });
    }
    void init() { errors.clear(); }
    void cleanup()
    {
        app::destroyForms();
        w = nullptr;
        db.reset();
        setZone("UTC");
        QVERIFY2(errors.isEmpty(), qPrintable(errors.join('\n')));
    }

    void windowLayout()
    {
        start();
        TWykresForm *f = WykresForm;
        f->show();
        QVERIFY(QTest::qWaitForWindowExposed(f));
        QCOMPARE(f->size(), QSize(896, 543));
        QCOMPARE(f->Panel1->height(), 104);
        QCOMPARE(f->Chart1->geometry(), QRect(0, 104, 896, 439));
        // Centred over the main window.
        QVERIFY((f->frameGeometry().center() - w->frameGeometry().center()).manhattanLength() <= 4);
        f->hide();
        QCOMPARE(f->palette().color(QPalette::Window), QColor(204, 231, 248));
        QCOMPARE(f->windowTitle(), QString());
        QVERIFY(f->isModal());
        const QList<std::pair<QPushButton *, QRect>> places{
            {f->BitBtn2, {24, 25, 50, 50}},  {f->BitBtn3, {80, 25, 50, 50}},    {f->BitBtn4, {136, 25, 50, 50}},
            {f->BitBtn5, {242, 30, 40, 40}}, {f->BitBtn6, {288, 8, 40, 40}},    {f->BitBtn8, {288, 54, 40, 40}},
            {f->BitBtn7, {334, 30, 40, 40}}, {f->btnPrint, {448, 30, 193, 40}}, {f->BitBtn1, {671, 30, 193, 40}}};
        for (const auto &[button, place] : places) {
            QCOMPARE(button->geometry(), place);
            if (button != f->btnPrint && button != f->BitBtn1) {
                QVERIFY2(button->text().isEmpty() && !button->icon().isNull(), qPrintable(button->objectName()));
            }
        }
        QCOMPARE(f->btnPrint->text(), QString("Print chart"));
        QCOMPARE(f->BitBtn1->text(), QString("Export to picture"));
        QCOMPARE(f->SavePictureDialog1->nameFilters(), QStringList{"JPEG Image File (*.jpg)"});
        QVERIFY(w->PopABobjectT->actions().contains(w->actChart));
        QCOMPARE(w->actChart->text(), QString("Chart"));
    }

    // "Chart" shows exactly the marked results of the current object, in time order, whatever
    // the order of the results view, and leaves that view on its last row.
    void chartShowsTheMarkedResultsOfTheCurrentObject_data()
    {
        QTest::addColumn<QByteArray>("zone");
        QTest::newRow("UTC") << QByteArray("UTC");
        QTest::newRow("Europe/Warsaw") << QByteArray("Europe/Warsaw");
    }
    void chartShowsTheMarkedResultsOfTheCurrentObject()
    {
        QFETCH(QByteArray, zone);
        setZone(zone);
        start();
        w->RefreshResults(QStringLiteral("DANE1 desc "));
        const QList<std::pair<QString, double>> expected = markedResults();
        QVERIFY(expected.size() > 10);
        QVERIFY(expected.size() < w->store.FDQWyniki.rowCount()); // some are unmarked
        openChart([&] {
            const chart::ChartState &s = WykresForm->chartState();
            QCOMPARE(s.title, QString("Buffer pH 7.00, "));
            QVERIFY(!s.rightAxis.visible);
            QCOMPARE(s.leftAxis.labelFormat, QString("0.00 pH"));
            QCOMPARE(s.series.Count(), int(expected.size()));
            for (int i = 0; i < s.series.Count(); ++i) {
                const chart::PointT &p = s.series.points()[size_t(i)];
                QCOMPARE(chart::fromChartTime(p.x).toString("yyyy-MM-dd HH:mm:ss"), expected[i].first);
                QVERIFY(qAbs(p.y - expected[i].second) < 1e-4);
            }
            QCOMPARE(s.bottomAxis.maximum, s.series.MaxXValue());
            QCOMPARE(s.bottomAxis.span(), 30.0);
            QCOMPARE(s.leftAxis.minimum, s.series.MinYValue() - 2);
            QCOMPARE(s.leftAxis.maximum, s.series.MaxYValue() + 2);
            QCOMPARE(w->store.FDQWyniki.currentRow(), w->store.FDQWyniki.rowCount() - 1);
        });
        QCOMPARE(w->store.FDQWyniki.currentRow(), w->store.FDQWyniki.rowCount() - 1);
    }

    // The screenshots: after opening, after two zoom-ins, after three left-arrow clicks (from a
    // fresh opening), and in Polish; what is on screen is what the paint routine paints.
    void buttonsZoomScrollAndScreenshots()
    {
        start();
        openChart([&] {
            TWykresForm *f = WykresForm;
            screenshot(f, "chart_open.png");
            QImage painted(f->Chart1->size(), QImage::Format_RGB32);
            {
                QPainter p(&painted);
                chart::PaintChart(p, QRectF(painted.rect()), f->chartState(), f->labelLocale());
            }
            QCOMPARE(f->Chart1->grab().toImage().convertToFormat(QImage::Format_RGB32), painted);

            const chart::ChartState opened = f->chartState();
            QTest::mouseClick(f->BitBtn2, Qt::LeftButton);
            QTest::mouseClick(f->BitBtn2, Qt::LeftButton);
            QVERIFY(qAbs(f->chartState().bottomAxis.span() - 30 * 0.64) < 1e-9);
            screenshot(f, "chart_zoom2.png");
            QTest::mouseClick(f->BitBtn3, Qt::LeftButton);
            QVERIFY(qAbs(f->chartState().bottomAxis.span() - 30 * 0.64 * 1.2) < 1e-9);
            QTest::mouseClick(f->BitBtn4, Qt::LeftButton);
            QCOMPARE(f->chartState().bottomAxis.minimum, opened.bottomAxis.minimum);
            QCOMPARE(f->chartState().leftAxis.maximum, opened.leftAxis.maximum);
            for (int i = 0; i < 3; ++i)
                QTest::mouseClick(f->BitBtn5, Qt::LeftButton);
            QVERIFY(qAbs(f->chartState().bottomAxis.maximum - (opened.bottomAxis.maximum + 3 * 3)) < 1e-6);
            screenshot(f, "chart_left3.png");
            QTest::mouseClick(f->BitBtn7, Qt::LeftButton);
            QTest::mouseClick(f->BitBtn6, Qt::LeftButton);
            QVERIFY(qAbs(f->chartState().leftAxis.maximum - (opened.leftAxis.maximum - opened.leftAxis.span() / 10)) < 1e-9);
            QTest::mouseClick(f->BitBtn8, Qt::LeftButton);
            QVERIFY(qAbs(f->chartState().leftAxis.maximum - opened.leftAxis.maximum) < 1e-9);
            QVERIFY(qAbs(f->chartState().bottomAxis.maximum - (opened.bottomAxis.maximum + 6)) < 1e-6);
        });
        // The chart keeps its last state after closing, for the report.
        QVERIFY(qAbs(WykresForm->chartState().bottomAxis.maximum - WykresForm->chartState().series.MaxXValue() - 6) < 1e-6);

        const int polish = [&] {
            for (int i = 0; i < w->LangManEngine1->languageCount(); ++i)
                if (w->LangManEngine1->GetISOCode(i) == "pl")
                    return i;
            return -1;
        }();
        QVERIFY(polish > 0);
        w->LangFlagsCombo1->setCurrentIndex(polish);
        emit w->LangFlagsCombo1->activated(polish);
        openChart([&] {
            TWykresForm *f = WykresForm;
            QCOMPARE(f->btnPrint->text(), QString("Drukuj wykres"));
            QCOMPARE(f->BitBtn1->text(), QString("Eksport do obrazu"));
            const QString labels = f->Chart1->layout().bottomLabels.join(' ');
            QVERIFY2(labels.contains("lip"), qPrintable(labels)); // July
            QVERIFY2(f->Chart1->layout().leftLabels.contains("7,00 pH"), qPrintable(f->Chart1->layout().leftLabels.join(' ')));
            screenshot(f, "chart_polish.png");
        });
    }

    void keysAndMouse()
    {
        start();
        openChart([&] {
            TWykresForm *f = WykresForm;
            const chart::ChartState opened = f->chartState();
            auto &s = f->chartState();
            QTest::keyClick(f, Qt::Key_Left);
            QVERIFY(qAbs(s.bottomAxis.maximum - (opened.bottomAxis.maximum + 3)) < 1e-6);
            QTest::keyClick(f, Qt::Key_Right);
            QVERIFY(qAbs(s.bottomAxis.maximum - opened.bottomAxis.maximum) < 1e-6);
            QTest::keyClick(f, Qt::Key_Up);
            QVERIFY(s.leftAxis.maximum < opened.leftAxis.maximum);
            QTest::keyClick(f, Qt::Key_Down);
            QVERIFY(qAbs(s.leftAxis.maximum - opened.leftAxis.maximum) < 1e-9);
            QTest::keyClick(f, Qt::Key_Plus);
            QVERIFY(qAbs(s.bottomAxis.span() - 24) < 1e-9);
            QTest::keyClick(f, Qt::Key_Minus);
            QVERIFY(qAbs(s.bottomAxis.span() - 24 * 1.2) < 1e-9);
            f->RescaleAxis();

            // Left button down and to the right: zoom into the rectangle.
            QWidget *c = f->Chart1;
            const chart::ChartLayout L = f->Chart1->layout();
            const QPoint a = L.inner.topLeft().toPoint() + QPoint(100, 50);
            const QPoint b = a + QPoint(200, 100);
            const double x0 = L.xValue(s, a.x()), x1 = L.xValue(s, b.x());
            QTest::mousePress(c, Qt::LeftButton, {}, a);
            QTest::mouseMove(c, b);
            QTest::mouseRelease(c, Qt::LeftButton, {}, b);
            QVERIFY(qAbs(s.bottomAxis.minimum - x0) < 1e-6);
            QVERIFY(qAbs(s.bottomAxis.maximum - x1) < 1e-6);
            QVERIFY(s.leftAxis.span() < opened.leftAxis.span());
            // Up and to the left: back to the data.
            QTest::mousePress(c, Qt::LeftButton, {}, b);
            QTest::mouseRelease(c, Qt::LeftButton, {}, a);
            QCOMPARE(s.bottomAxis.minimum, opened.bottomAxis.minimum);
            QCOMPARE(s.leftAxis.minimum, opened.leftAxis.minimum);
            // A short drag does nothing.
            QTest::mousePress(c, Qt::LeftButton, {}, a);
            QTest::mouseRelease(c, Qt::LeftButton, {}, a + QPoint(5, 5));
            QCOMPARE(s.bottomAxis.minimum, opened.bottomAxis.minimum);
            // Right button: the curve follows the mouse.
            const double perPixel = s.bottomAxis.span() / L.inner.width();
            QTest::mousePress(c, Qt::RightButton, {}, a);
            QTest::mouseMove(c, a + QPoint(40, 0));
            QTest::mouseRelease(c, Qt::RightButton, {}, a + QPoint(100, 0));
            QVERIFY(qAbs(s.bottomAxis.minimum - (opened.bottomAxis.minimum - 100 * perPixel)) < 1e-6);
            QCOMPARE(s.leftAxis.minimum, opened.leftAxis.minimum);
        });
    }

    void savePictureNames_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("written");
        QTest::newRow("no extension") << "/tmp/chart" << "/tmp/chart.jpg";
        QTest::newRow("with .jpg") << "/tmp/chart.jpg" << "/tmp/chart.jpg";
        QTest::newRow("other extension kept") << "/tmp/chart.jpeg" << "/tmp/chart.jpeg";
        QTest::newRow("trailing dot") << "/tmp/chart." << "/tmp/chart.jpg";
        QTest::newRow("dotted folder") << "/tmp/v1.2/chart" << "/tmp/v1.2/chart.jpg";
    }
    void savePictureNames()
    {
        QFETCH(QString, typed);
        QFETCH(QString, written);
        QCOMPARE(TWykresForm::withJpgExtension(typed), written);
    }

    // The save dialog: a name typed without extension comes back with ".jpg"; cancel gives none.
    void savePictureDialog()
    {
        start();
        QTemporaryDir dir;
        TWykresForm *f = WykresForm;
        f->SavePictureDialog1->setDirectory(dir.path());
        QTimer::singleShot(0, f, [&] {
            auto *edit = f->SavePictureDialog1->findChild<QLineEdit *>();
            QVERIFY(edit);
            edit->setText("mychart");
            QTest::keyClick(edit, Qt::Key_Return);
        });
        QCOMPARE(f->ExecuteSavePictureDialog(), QDir(dir.path()).filePath("mychart.jpg"));
        QTimer::singleShot(0, f, [&] { f->SavePictureDialog1->reject(); });
        QCOMPARE(f->ExecuteSavePictureDialog(), QString());
    }
};

QTEST_MAIN(TestChartWindow)
#include "tst_chartwindow.moc"
