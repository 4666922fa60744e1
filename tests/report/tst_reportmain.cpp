// The main window's report: the datasets it offers, the template of the language, the chart
// picture, the missing-template error, the chart printout as JPEG and on paper, and the
// preview window, on a real database filled through the import.

#include "ReportFixture.h"

#include "chart/ChartPaint.h"
#include "chart/ChartReportHooks.h"
#include "chart/UnChart.h"
#include "report/Paint.h"
#include "report/Report.h"
#include "report/ReportData.h"
#include "report/ReportEngine.h"
#include "report/ReportPreview.h"
#include "report/ReportPrint.h"

#include <QButtonGroup>
#include <QComboBox>
#include <QFileDialog>
#include <QPainter>
#include <QPrinter>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QToolButton>

using namespace reporttest;

namespace {

QDateTime at(int month, int day, int hour, int minute = 0)
{
    return QDateTime(QDate(2023, month, day), QTime(hour, minute), Qt::UTC);
}

// RIVER's results are sent out of date order; WELL has none marked; POND is not marked.
const MeterContent &smallMeter()
{
    static const MeterContent content{
        {"RIVER", {{at(6, 3, 10), 7.00, 20.0}, {at(6, 1, 8), 6.50, 18.2}, {at(6, 2, 9), 6.80, -2.5}, {at(6, 4, 11), 7.10, 25.0}}},
        {"LAKE", {{at(5, 1, 12), 8.10, 15.0}, {at(5, 2, 12), 8.20, 16.0}}},
        {"POND", {{at(4, 1, 12), 6.00, 10.0}}},
        {"WELL", {{at(3, 26, 2, 30), 7.50, 12.0}}},
    };
    return content;
}

const char *const MarkSmallMeter =
    "update OBIEKTY set REZI2 = 1, REZI1 = 0, NAZWA_LONG = 'Beta river' where NAZWA_DEV = 'RIVER';"
    "update OBIEKTY set REZI2 = 1, REZI1 = 0, NAZWA_LONG = 'Alpha lake', OPIS = 'Shore' where NAZWA_DEV = 'LAKE';"
    "update OBIEKTY set REZI2 = 0, NAZWA_LONG = 'Aaa pond' where NAZWA_DEV = 'POND';"
    "update OBIEKTY set REZI2 = 1, REZI1 = 1, NAZWA_LONG = 'Aardvark well' where NAZWA_DEV = 'WELL';"
    "update WYNIKI set REZI1 = 1 where IDOB in (select IDOB from OBIEKTY where NAZWA_DEV in ('RIVER', 'LAKE', 'POND'));"
    "update WYNIKI set REZI1 = 0 where DATACZAS = '2023-06-02 09:00:00';"
    "insert into ARVEXDEVICES (IDDEV, DEV_TYPE, NUMER_SER) values (18, 'PHX', 2);"
    "insert into OBIEKTY (IDDEV, IDO_INDEV, NAZWA_DEV, NAZWA_LONG, REZI1, REZI2) values (18, 0, 'OTHER', 'Aaaa other', 0, 1)";

// Three objects of 50 results each, all marked: several pages.
const MeterContent &bigMeter()
{
    static const MeterContent content = [] {
        MeterContent c;
        for (int o = 0; o < 3; ++o) {
            QList<Measurement> results;
            for (int r = 0; r < 50; ++r)
                results << Measurement{at(5 + o, 1 + r % 28, r % 24, (r * 7) % 60), 4.0 + 0.05 * r + o, 15.0 + 0.3 * r};
            c << std::pair{QByteArray("SAMPLE ") + QByteArray::number(o + 1), results};
        }
        return c;
    }();
    return content;
}
const char *const MarkBigMeter = "update OBIEKTY set REZI2 = 1, NAZWA_LONG = 'Sample from tank ' || IDO_INDEV, "
                                 "OPIS = 'Taken at the outlet, morning shift'; update WYNIKI set REZI1 = 1";

// What the report shows of its data: own names of the objects, and "date time pH temp" of
// the results, in page order.
QStringList reportRows(const report::PreparedReport &r)
{
    QStringList rows;
    for (const report::PreparedPage &p : r.pages)
        for (const report::PreparedObject &o : p.objects) {
            if (o.name == "ObjectOwnName")
                rows << o.text;
            else if (o.name == "ResultDate")
                rows << o.text;
            else if (o.name == "ResultTime" || o.name == "ResultPH" || o.name == "ResultTemp")
                rows.last() += " " + o.text;
        }
    return rows;
}

// The chart window showing some results, zoomed in once.
void chartSomething(bool zoomed)
{
    chart::ChartState &s = WykresForm->chartState();
    s.series.Clear();
    for (int i = 0; i < 20; ++i)
        s.series.AddXY(chart::toChartTime(at(6, 1 + i, 12)), 6.0 + (i % 5) * 0.4);
    chart::RescaleAxis(s);
    if (zoomed)
        chart::ZoomPercent(s, 110);
}

QImage chartImage(QSize size)
{
    QImage img(size, QImage::Format_RGB32);
    img.fill(Qt::white);
    QPainter p(&img);
    chart::PaintChart(p, QRectF(QPointF(0, 0), QSizeF(size)), WykresForm->chartState(), WykresForm->labelLocale());
    return img;
}

// Mean difference per channel of two pictures of the same size (0 alike, 255 opposite).
double difference(const QImage &a, const QImage &b)
{
    const QImage x = a.convertToFormat(QImage::Format_RGB32), y = b.convertToFormat(QImage::Format_RGB32);
    double sum = 0;
    for (int r = 0; r < x.height(); ++r)
        for (int c = 0; c < x.width(); ++c) {
            const QRgb p = x.pixel(c, r), q = y.pixel(c, r);
            sum += qAbs(qRed(p) - qRed(q)) + qAbs(qGreen(p) - qGreen(q)) + qAbs(qBlue(p) - qBlue(q));
        }
    return sum / (3.0 * x.width() * x.height());
}

// Prints to a PDF file and turns its pages into PNG pictures with pdftoppm; gives their paths.
QStringList pdfPages(const QString &pdf, const QString &pngPrefix)
{
    run("pdftoppm", {"-png", "-r", "60", pdf, pngPrefix});
    QStringList out;
    const QFileInfo prefix(pngPrefix);
    for (const QString &f : QDir(prefix.absolutePath()).entryList({prefix.fileName() + "*.png"}, QDir::Files, QDir::Name))
        out << prefix.absolutePath() + "/" + f;
    return out;
}

} // namespace

class TestReportMain : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { TestDatabase::useBuildEngine(); }

    void datasetsOfferMarkedObjectsAndTheirMarkedResults()
    {
        Program prog(smallMeter());
        QCOMPARE(prog.stored, 8);
        prog.sql(MarkSmallMeter);
        prog.start();
        TMainDivIVForm *w = prog.w;
        w->LoadReportTemplate();
        QCOMPARE(w->store.FDQfrxObiekty.sql(), QStringList({"select * from OBIEKTY ", "where IDDEV = :IDdev and REZI2 = 1",
                                                            "order by REZI1, NAZWA_LONG"}));
        QCOMPARE(w->store.FDQfrxWyniki.sql(), QStringList({"select * from WYNIKI ", "where IDOB = :IDobj and REZI1 = 1",
                                                           "order by DATACZAS"}));
        QCOMPARE(w->store.FDQfrxObiekty.param(0).toInt(), 17);
        QCOMPARE(w->frxReport1->fileName(), w->ProgramPath + "ArvexPHrep_enT.fr3");
        // Loading stood the results on the first object.
        QCOMPARE(w->store.FDQfrxWyniki.rowCount(), 2);

        const QStringList expected{"Alpha lake",
                                   "2023-05-01 12:00:00 8.10 15.0 °C",
                                   "2023-05-02 12:00:00 8.20 16.0 °C",
                                   "Beta river",
                                   "2023-06-01 08:00:00 6.50 18.2 °C",
                                   "2023-06-03 10:00:00 7.00 20.0 °C",
                                   "2023-06-04 11:00:00 7.10 25.0 °C",
                                   "Aardvark well"};
        w->frxReport1->prepareReport();
        QCOMPARE(reportRows(w->frxReport1->preparedReport()), expected);
        // Prepared again without loading (as after a page setup): the first object gets its
        // own results again, not those of the last object reached.
        QCOMPARE(w->store.FDQfrxObiekty.eof(), true);
        w->frxReport1->prepareReport();
        QCOMPARE(reportRows(w->frxReport1->preparedReport()), expected);
        // The queries stay open: the objects past the last, the results of the last object.
        QVERIFY(w->store.FDQfrxWyniki.isActive());
        QVERIFY(w->store.FDQfrxWyniki.isEmpty());

        // °F, read when the engine asks.
        w->RGjednostkaTButtons->button(1)->click();
        QVariant v;
        w->frxUserDataSet1GetValue("TempFF", v);
        QCOMPARE(v, QVariant(1));
        QCOMPARE(w->frxUserDataSet1->value("TempFF"), QVariant(1));
        w->LoadReportTemplate();
        w->frxReport1->prepareReport();
        QCOMPARE(reportRows(w->frxReport1->preparedReport()).value(1), QString("2023-05-01 12:00:00 8.10 59.0 °F"));
        w->RGjednostkaTButtons->button(0)->click();
        QCOMPARE(w->frxUserDataSet1->value("TempFF"), QVariant(0));
        v = "kept";
        w->frxUserDataSet1GetValue("TempF", v);
        QCOMPARE(v, QVariant("kept"));
        QVERIFY2(prog.errors.isEmpty(), qPrintable(prog.errors.join('\n')));
    }

    void templateFollowsTheLanguage()
    {
        Program prog(smallMeter());
        prog.sql(MarkSmallMeter);
        // A language the reports do not know.
        QFile cs(prog.db.folder() + "/zz.lng");
        QVERIFY(cs.open(QIODevice::WriteOnly));
        cs.write("[LANGUAGE_FILE]\nName=Cestina\nISOCode=cs - Czech\nFlag=\n[Texts]\n[Lexicon]\n");
        cs.close();
        prog.start();
        TMainDivIVForm *w = prog.w;
        prog.chooseLanguage("ru");
        w->LoadReportTemplate();
        QCOMPARE(w->frxReport1->fileName(), w->ProgramPath + "ArvexPHrep_ruT.fr3");
        w->frxReport1->prepareReport();
        const report::PreparedReport &r = w->frxReport1->preparedReport();
        QCOMPARE(r.pages[0].objects[0].text, QString("Отчёт об измерениях pH"));
        QCOMPARE(reportRows(r).value(1), QString("01.05.2023 12:00:00 8,10 15,0 °C"));

        prog.chooseLanguage("cs");
        QCOMPARE(w->GetActLangNbr(), 0);
        w->LoadReportTemplate();
        QCOMPARE(w->frxReport1->fileName(), w->ProgramPath + "ArvexPHrep_enT.fr3");
        QVERIFY2(prog.errors.isEmpty(), qPrintable(prog.errors.join('\n')));
    }

    void everyTemplateIsWorded()
    {
        Program prog(smallMeter());
        prog.sql(MarkSmallMeter);
        prog.start();
        // Each language's template prepares, with its own title and the page count filled in.
        const QStringList codes{"en", "pl", "de", "fr", "es", "ru", "it"};
        QSet<QString> titles;
        for (const QString &code : codes) {
            if (code != "en")
                prog.chooseLanguage(code);
            prog.w->LoadReportTemplate();
            QCOMPARE(prog.w->frxReport1->reportTemplate().language, code);
            prog.w->frxReport1->prepareReport();
            const report::PreparedReport &r = prog.w->frxReport1->preparedReport();
            titles << r.pages[0].objects[0].text;
            QCOMPARE(reportRows(r).size(), 8);
            bool footer = false;
            for (const report::PreparedObject &o : r.pages.last().objects)
                if (o.name == "FooterPage") {
                    footer = true;
                    QVERIFY2(o.text.contains(" 1 ") && o.text.endsWith(" 1"), qPrintable(o.text));
                }
            QVERIFY(footer);
        }
        QCOMPARE(titles.size(), 7);
        QVERIFY2(prog.errors.isEmpty(), qPrintable(prog.errors.join('\n')));
    }

    void pictureChartSizes_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("picture");
        QTest::addColumn<double>("width");
        QTest::addColumn<double>("height");
        QTest::addColumn<QSize>("expected");
        QTest::newRow("chart template's") << "PictureChart" << true << 1031.81169 << 623.62245 << QSize(1032, 624);
        QTest::newRow("half down to even") << "PictureChart" << true << 100.5 << 101.5 << QSize(100, 102);
        QTest::newRow("below one") << "PictureChart" << true << 0.2 << 0.0 << QSize(1, 1);
        QTest::newRow("other case") << "picturechart" << true << 100.0 << 100.0 << QSize();
        QTest::newRow("longer name") << "PictureChart1" << true << 100.0 << 100.0 << QSize();
        QTest::newRow("not a picture") << "PictureChart" << false << 100.0 << 100.0 << QSize();
    }
    void pictureChartSizes()
    {
        QFETCH(QString, name);
        QFETCH(bool, picture);
        QFETCH(double, width);
        QFETCH(double, height);
        QFETCH(QSize, expected);
        Program prog({});
        prog.start();
        report::PrintObject sender;
        sender.name = name;
        sender.kind = picture ? report::PreparedObject::Kind::Picture : report::PreparedObject::Kind::Text;
        sender.widthPx = width;
        sender.heightPx = height;
        prog.w->frxReport1BeforePrint(sender);
        QCOMPARE(sender.hasPicture(), expected.isValid());
        if (expected.isValid())
            QCOMPARE(sender.picture->boundingRect(), QRect(QPoint(0, 0), expected));
    }

    void missingTemplateIsReportedAndNothingShown()
    {
        Program prog(smallMeter());
        prog.sql(MarkSmallMeter);
        prog.start();
        TMainDivIVForm *w = prog.w;
        const QString path = w->ProgramPath + "ArvexPHrep_enT.fr3";
        QVERIFY(QFile::remove(path));
        bool previewShown = false;
        QTimer *watch = onNextDialog([&](QDialog *d) {
            previewShown = true;
            d->reject();
        });
        w->btnRaport->click();
        QTest::qWait(100);
        delete watch;
        QVERIFY(!previewShown);
        QCOMPARE(prog.errors, QStringList({"Cannot open file \"" + path + "\". No such file or directory"}));
        QVERIFY(w->frxReport1->reportTemplate().isEmpty());
        QVERIFY(w->frxReport1->preparedReport().pages.isEmpty());
        QVERIFY(w->store.FDQfrxObiekty.isActive());
        QCOMPARE(w->store.FDQfrxObiekty.rowCount(), 3);

        // Likewise for the chart template.
        prog.errors.clear();
        QVERIFY(QFile::remove(w->ProgramPath + "ArvexPHchart.fr3"));
        WykresForm->btnPrintClick();
        QCOMPARE(prog.errors, QStringList({"Cannot open file \"" + w->ProgramPath + "ArvexPHchart.fr3\". No such file or directory"}));
    }

    void chartAsJpegShowsTheChartAsHeld()
    {
        Program prog(smallMeter());
        prog.sql(MarkSmallMeter);
        prog.start();
        TMainDivIVForm *w = prog.w;
        // A report made before: the chart printout leaves its queries where they were.
        w->LoadReportTemplate();
        w->frxReport1->prepareReport();
        const int objectsRow = w->store.FDQfrxObiekty.currentRow();
        const QVariant resultsKey = w->store.FDQfrxWyniki.param(0);
        QVERIFY(w->store.FDQfrxObiekty.eof());

        chartSomething(true);
        QTemporaryDir dir;
        const QString chosen = dir.filePath("chart.jpg");
        const QString written = dir.filePath("chart.1.jpg");
        {
            QFile old(written);
            QVERIFY(old.open(QIODevice::WriteOnly));
            old.write("an older file");
        }
        // "Export to picture" once its save dialog gave the name (the dialog is the chart
        // window's): the JPEG of the chart template's page.
        chart::chartReportHooks().setJpegFileName(chosen);
        chart::chartReportHooks().printChart(true);
        QVERIFY2(prog.errors.isEmpty(), qPrintable(prog.errors.join('\n')));
        QCOMPARE(w->frxJPEGExport1->FileName, chosen);
        QVERIFY(!QFile::exists(chosen));
        // Read back by ImageMagick: a JPEG of A4 landscape at 96 dpi, quality 90.
        const QString info = QString::fromUtf8(run("identify", {"-format", "%m %w %h %x %y %U %Q", written}));
        QCOMPARE(info, QString("JPEG 1123 794 96 96 PixelsPerInch 90"));
        QFile::copy(written, screenshotPath("chart_printout.jpg"));

        // The picture at "PictureChart" (3 mm and 2 mm into the band, past 10 mm margins)
        // is the chart as the window holds it: zoomed, not the chart at its reset.
        const QImage page(written);
        const QImage area = page.copy(qRound(report::mmToPx(13)), qRound(report::mmToPx(12)), 1032, 624);
        const double zoomed = difference(area, chartImage(QSize(1032, 624)));
        chartSomething(false);
        const double reset = difference(area, chartImage(QSize(1032, 624)));
        QVERIFY2(zoomed < 3 && reset > 2 * zoomed, qPrintable(QString("%1 %2").arg(zoomed).arg(reset)));

        QCOMPARE(w->store.FDQfrxObiekty.currentRow(), objectsRow);
        QCOMPARE(w->store.FDQfrxWyniki.param(0), resultsKey);

        // Cancelling the dialog writes nothing.
        QVERIFY(QFile::remove(written));
        QTimer cancel;
        connect(&cancel, &QTimer::timeout, this, [&] {
            if (WykresForm->SavePictureDialog1->isVisible()) {
                cancel.stop();
                static_cast<QDialog *>(WykresForm->SavePictureDialog1)->done(QDialog::Rejected);
            }
        });
        cancel.start(20);
        WykresForm->BitBtn1Click();
        QVERIFY(!QFile::exists(written));
    }

    void chartPrintedOnPaper()
    {
        Program prog({});
        prog.start();
        chartSomething(true);
        QTemporaryDir dir;
        QPrinter printer(QPrinter::HighResolution);
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(dir.filePath("chart.pdf"));
        prog.w->frxReport1->fixedPrinter = &printer;
        WykresForm->btnPrintClick(); // no report made before
        QVERIFY2(prog.errors.isEmpty(), qPrintable(prog.errors.join('\n')));
        const QString info = QString::fromUtf8(run("pdfinfo", {dir.filePath("chart.pdf")}));
        QVERIFY2(info.contains(QRegularExpression("Pages:\\s+1\\n")), qPrintable(info));
        QVERIFY2(info.contains(QRegularExpression("Page size:\\s+84[12](\\.[0-9]+)? x 595(\\.[0-9]+)? pts \\(A4\\)")), qPrintable(info));
        const QStringList pngs = pdfPages(dir.filePath("chart.pdf"), dir.filePath("chart"));
        QCOMPARE(pngs.size(), 1);
        const QImage png(pngs[0]);
        QCOMPARE(png.size(), QSize(702, 496));
        QFile::remove(screenshotPath("chart_printout_paper.png"));
        QVERIFY(QFile::copy(pngs[0], screenshotPath("chart_printout_paper.png")));
        // Not blank: the chart's panel covers a large part of the sheet.
        int grey = 0;
        for (int y = 0; y < png.height(); y += 4)
            for (int x = 0; x < png.width(); x += 4)
                grey += png.pixel(x, y) != qRgb(255, 255, 255);
        QVERIFY2(grey > (png.width() / 4) * (png.height() / 4) / 2, qPrintable(QString::number(grey)));
    }

    void preview_data()
    {
        QTest::addColumn<QString>("language");
        QTest::newRow("English") << "en";
        QTest::newRow("Russian") << "ru";
    }
    void preview()
    {
        QFETCH(QString, language);
        Program prog(bigMeter());
        prog.sql(MarkBigMeter);
        prog.start();
        if (language != "en")
            prog.chooseLanguage(language);
        TMainDivIVForm *w = prog.w;
        QTemporaryDir dir;
        QPrinter printer(QPrinter::HighResolution);
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(dir.filePath("report.pdf"));
        w->frxReport1->fixedPrinter = &printer;

        int pages = 0;
        onNextDialog([&](QDialog *d) {
            auto *preview = qobject_cast<report::TReportPreviewForm *>(d);
            QVERIFY(preview);
            QVERIFY(preview->isModal());
            QVERIFY(preview->windowState() & Qt::WindowMaximized);
            QCOMPARE(preview->pages()->zoom(), 1.0);
            QStringList names;
            for (QToolButton *b : preview->buttons())
                if (b->objectName() != "qt_toolbar_ext_button")
                    names << b->objectName();
            names.sort();
            QCOMPARE(names, QStringList({"pbExport", "pbExportQuick", "pbLoad", "pbNavFirst", "pbNavLast", "pbNavNext",
                                         "pbNavPrior", "pbPageSetup", "pbPrint", "pbSave", "pbZoom"}));
            pages = preview->pages()->pageCount();
            preview->resize(1200, 900);
            QTest::qWait(50);
            preview->grab().save(screenshotPath("report_preview_" + language + "_first.png"));
            preview->findChild<QToolButton *>("pbNavNext")->click();
            QTest::qWait(50);
            QCOMPARE(preview->pages()->currentPage(), 1);
            preview->grab().save(screenshotPath("report_preview_" + language + "_page2.png"));
            preview->setZoomText("200%");
            QCOMPARE(preview->pages()->zoom(), 2.0);
            QCOMPARE(preview->pages()->currentPage(), 1);
            QTest::qWait(50);
            preview->grab().save(screenshotPath("report_preview_" + language + "_zoom200.png"));
            preview->findChild<QToolButton *>("pbNavLast")->click();
            QCOMPARE(preview->pages()->currentPage(), pages - 1);
            preview->printClick();
            d->accept();
        });
        w->btnRaport->click();
        QVERIFY2(prog.errors.isEmpty(), qPrintable(prog.errors.join('\n')));
        QVERIFY2(pages >= 3, qPrintable(QString::number(pages)));
        QCOMPARE(w->frxReport1->preparedReport().pages.size(), pages);

        // Every page printed, each read back by poppler.
        const QStringList pngs = pdfPages(dir.filePath("report.pdf"), dir.filePath("page"));
        QCOMPARE(pngs.size(), pages);
        QFile::remove(screenshotPath("report_printed_" + language + "_p1.png"));
        QVERIFY(QFile::copy(pngs[0], screenshotPath("report_printed_" + language + "_p1.png")));
        const QString text = QString::fromUtf8(run("pdftotext", {"-layout", dir.filePath("report.pdf"), "-"}));
        QVERIFY2(text.contains(language == "en" ? "Sample from tank 0" : "Sample from tank 0"), qPrintable(text.left(400)));
        QVERIFY2(text.contains(language == "en" ? "Page 1 of " + QString::number(pages)
                                                : "Страница 1 из " + QString::number(pages)),
                 qPrintable(text.left(2000)));
    }
};

QTEST_MAIN(TestReportMain)
#include "tst_reportmain.moc"
