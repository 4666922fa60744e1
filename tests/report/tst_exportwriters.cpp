// The export writers on hand-built prepared pages: the data grid, the semicolon text, the
// plain text, the Excel workbook and the OpenDocument spreadsheet, each file read back by
// independent readers (python3-xlrd, Python's zipfile, LibreOffice headless).

#include "app/Fonts.h"
#include "meter/AnsiCodePage.h"
#include "report/DataGrid.h"
#include "report/ExportOds.h"
#include "report/ExportPdf.h"
#include "report/ExportPlainText.h"
#include "report/ExportText.h"
#include "report/ExportXls.h"
#include "support/FileReaders.h"
#include "support/ReportFixture.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <sys/resource.h>

using namespace report;

namespace {

PreparedObject textAt(const QRectF &r, const QString &t, BandKind band = BandKind::DetailData, const QVariant &raw = {})
{
    PreparedObject o;
    o.band = band;
    o.rectMm = r;
    o.text = t;
    o.raw = raw;
    return o;
}

QByteArray readAll(const QString &path)
{
    QFile f(path);
    f.open(QIODevice::ReadOnly);
    return f.readAll();
}

// The rows the report shows on its data bands, as texts, in order.
QList<QStringList> expectedRows(const QVector<fixture::Object> &objects)
{
    QList<QStringList> rows;
    for (const auto &o : objects) {
        rows << QStringList{o.name};
        for (const auto &r : o.results)
            rows << QStringList{r.when.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")), QString::number(double(r.ph), 'f', 2),
                                QString::number(double(r.temperature), 'f', 1), r.note};
    }
    return rows;
}

} // namespace

class TestExportWriters : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        arvex::meter::setAnsiCodePage("CP1250");
        arvex::app::registerTahoma();
    }

    void gridLayout_data()
    {
        QTest::addColumn<QVector<PreparedObject>>("objects");
        QTest::addColumn<int>("rows");
        QTest::addColumn<int>("columns");
        QTest::addColumn<QString>("cells"); // row,col,rowSpan,colSpan:text | ...

        QTest::newRow("edges closer than 0.5 mm merge")
            << QVector<PreparedObject>{textAt({10, 10, 20, 5}, "a"), textAt({30.4, 10, 20, 5}, "b"),
                                       textAt({10.3, 15.2, 20, 5}, "c"), textAt({30, 15.2, 20.3, 5}, "d")}
            << 2 << 2 << "0,0,1,1:a|0,1,1,1:b|1,0,1,1:c|1,1,1,1:d";
        QTest::newRow("edges 0.5 mm apart stay apart")
            << QVector<PreparedObject>{textAt({10, 10, 20, 5}, "a"), textAt({30.5, 10, 20, 5}, "b")}
            << 1 << 2 << "0,0,1,1:a|0,1,1,1:b";
        QTest::newRow("a wide object spans the columns below it")
            << QVector<PreparedObject>{textAt({10, 10, 90, 6}, "name", BandKind::MasterData), textAt({10, 16, 30, 6}, "x"),
                                       textAt({40, 16, 30, 6}, "y"), textAt({70, 16, 30, 6}, "z")}
            << 2 << 3 << "0,0,1,3:name|1,0,1,1:x|1,1,1,1:y|1,2,1,1:z";
        QTest::newRow("a tall object spans rows")
            << QVector<PreparedObject>{textAt({10, 10, 30, 12}, "tall"), textAt({40, 10, 30, 6}, "p"),
                                       textAt({40, 16, 30, 6}, "q")}
            << 2 << 2 << "0,0,2,1:tall|0,1,1,1:p|1,1,1,1:q";
        QTest::newRow("only data bands; gaps leave no empty row or column")
            << QVector<PreparedObject>{textAt({10, 5, 190, 6}, "header", BandKind::PageHeader),
                                       textAt({10, 20, 30, 6}, "x"), textAt({60, 40, 30, 6}, "y"),
                                       textAt({10, 280, 190, 6}, "footer", BandKind::PageFooter)}
            << 2 << 2 << "0,0,1,1:x|1,1,1,1:y";
        QTest::newRow("two objects in one place keep both texts")
            << QVector<PreparedObject>{textAt({10, 10, 30, 6}, "one"), textAt({10, 10, 30, 6}, "two")}
            << 1 << 1 << "0,0,1,1:one two";
    }

    void gridLayout()
    {
        QFETCH(QVector<PreparedObject>, objects);
        QFETCH(int, rows);
        QFETCH(int, columns);
        QFETCH(QString, cells);
        PreparedPage page;
        page.objects = objects;
        const DataGrid g = buildDataGrid(page);
        QCOMPARE(g.rowCount(), rows);
        QCOMPARE(g.columnCount(), columns);
        QStringList got;
        for (const DataGridCell &c : g.cells)
            got << QStringLiteral("%1,%2,%3,%4:%5").arg(c.row).arg(c.column).arg(c.rowSpan).arg(c.columnSpan).arg(c.text);
        QCOMPARE(got.join('|'), cells);
    }

    void cellValues_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QVariant>("raw");
        QTest::addColumn<int>("type");
        QTest::addColumn<double>("number");
        QTest::addColumn<int>("decimals");

        using T = DataGridCell::Type;
        QTest::newRow("a float column reads as its decimal") << "7.05" << QVariant(double(7.05f)) << int(T::Number) << 7.05 << 2;
        QTest::newRow("decimal comma") << "21,3" << QVariant(double(21.3f)) << int(T::Number) << 21.3 << 1;
        QTest::newRow("integer") << "17" << QVariant(17) << int(T::Number) << 17.0 << 0;
        QTest::newRow("a double stays as it is") << "0.1" << QVariant(0.1) << int(T::Number) << 0.1 << 1;
        QTest::newRow("number shown otherwise") << "about 7" << QVariant(7.0) << int(T::Number) << 7.0 << -1;
        QTest::newRow("date-time") << "2024-03-31 02:30" << QVariant(QDateTime(QDate(2024, 3, 31), QTime(2, 30), Qt::UTC))
                                   << int(T::DateTime) << 0.0 << -1;
        QTest::newRow("date") << "2024-03-31" << QVariant(QDate(2024, 3, 31)) << int(T::Date) << 0.0 << -1;
        QTest::newRow("mixed text has no raw value") << "7.05 pH" << QVariant() << int(T::Text) << 0.0 << -1;
        QTest::newRow("null value") << "" << QVariant(QMetaType(QMetaType::Double)) << int(T::Text) << 0.0 << -1;
    }

    void cellValues()
    {
        QFETCH(QString, text);
        QFETCH(QVariant, raw);
        QFETCH(int, type);
        QFETCH(double, number);
        QFETCH(int, decimals);
        DataGridCell c;
        setCellValue(c, text, raw);
        QCOMPARE(int(c.type), type);
        QCOMPARE(c.text, text);
        if (c.type == DataGridCell::Type::Number) {
            QCOMPARE(c.number, number); // exact: 7.05, not 7.050000190734863
            QCOMPARE(c.decimals, decimals);
        }
        if (c.type == DataGridCell::Type::DateTime)
            QCOMPARE(c.dateTime.time(), QTime(2, 30)); // the wall clock as stored
    }

    void semicolonCells_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("cell");
        QTest::newRow("bare") << "7.05" << "7.05";
        QTest::newRow("empty") << "" << "";
        QTest::newRow("semicolon quoted") << "a;b" << "\"a;b\"";
        QTest::newRow("quote doubled") << "say \"hi\"" << "\"say \"\"hi\"\"\"";
        QTest::newRow("two lines joined") << "two\r\nlines" << "twolines";
        QTest::newRow("trailing line break dropped") << "end\r\n" << "end";
        QTest::newRow("tags removed") << "<b>bold</b> <font color=\"red\">x</font>" << "bold x";
        QTest::newRow("tags go before the quoting test") << "<a href=\"x\">link</a>" << "link";
        QTest::newRow("a lone < stays") << "pH < 7 and > 5" << "pH < 7 and > 5";
        QTest::newRow("control characters") << "a\tb\x01" "c" << "abc";
        QTest::newRow("comma is no separator") << "1,5" << "1,5";
    }

    void semicolonCells()
    {
        QFETCH(QString, text);
        QFETCH(QString, cell);
        QCOMPARE(semicolonCell(text), cell);
    }

    void semicolonFileBytes()
    {
        QTemporaryDir dir;
        const QString file = dir.filePath("data.txt");
        QVERIFY(exportSemicolonText(fixture::makeReport(fixture::tricky()), file));
        const QByteArray expected = QByteArray("\"Zbiornik \xB3\xF3""d\x9F; nr 1\"\r\n"
                                               "2024-03-31 02:30:05;7.05;21.3;\"say \"\"hi\"\"\"\r\n"
                                               "2024-03-31 02:31:05;6.50;") +
                                    QString::number(double(19.75f), 'f', 1).toLatin1() +
                                    QByteArray(";twolines\r\n"
                                               "Tank 2\r\n"
                                               "2024-04-01 02:30:05;8.00;25.0;\r\n");
        QCOMPARE(readAll(file), expected);
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{"data.txt"}); // nothing left beside it
    }

    void semicolonAcrossPages()
    {
        // Rows of later pages follow on; page headers and footers never appear.
        QVector<fixture::Object> objects{{"A", {}}};
        for (int i = 0; i < 7; ++i)
            objects[0].results << fixture::Result{QDateTime(QDate(2024, 1, 1), QTime(8, i), Qt::UTC), 7.0f + i / 10.0f, 20, QString()};
        const PreparedReport rep = fixture::makeReport(objects, 3);
        QCOMPARE(rep.pages.size(), 3);
        const QStringList lines = semicolonText(buildDataGrid(rep.pages)).split("\r\n", Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), 8);
        QCOMPARE(lines.first(), "A");
        QCOMPARE(lines.last(), "2024-01-01 08:06:00;7.60;20.0;");
    }

    void plainTextLayout()
    {
        QVector<fixture::Object> objects{{"Tank", {}}};
        for (int i = 0; i < 4; ++i)
            objects[0].results << fixture::Result{QDateTime(QDate(2024, 1, 1), QTime(8, i), Qt::UTC), 7.0f, 20, "n"};
        const QString text = plainText(fixture::makeReport(objects, 2));
        const QStringList pages = text.split('\f');
        QCOMPARE(pages.size(), 2);
        QVERIFY(pages[0].startsWith("pH report\r\nDate / pH / °C / Note\r\nTank\r\n"));
        QVERIFY2(pages[0].contains("2024-01-01 08:00:00 7.00 20.0 n\r\n"), qPrintable(pages[0]));
        QVERIFY(pages[1].contains("Page 2\r\n"));
        QVERIFY(!text.contains("\r\n\r\n")); // no empty lines
    }

    void failuresName_data()
    {
        QTest::addColumn<int>("writer");
        QTest::newRow("txt") << 0;
        QTest::newRow("xls") << 1;
        QTest::newRow("ods") << 2;
    }

    void failuresName()
    {
        QFETCH(int, writer);
        auto write = [&](const QString &file) {
            const PreparedReport rep = fixture::makeReport(fixture::tricky());
            return writer == 0 ? exportSemicolonText(rep, file) : writer == 1 ? exportXls(rep, file) : exportOds(rep, file);
        };
        QTemporaryDir dir;
        // A missing folder.
        const QString missing = dir.filePath("no such folder/out.file");
        ExportResult r = write(missing);
        QVERIFY(!r.ok);
        QVERIFY2(r.error.startsWith(QStringLiteral("Cannot create file \"%1\".").arg(missing)), qPrintable(r.error));

        // A full disk: the file size limit stands in for it. The file that was there stays whole.
        const QString file = dir.filePath("out.file");
        QFile old(file);
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write("earlier export");
        old.close();
        std::signal(SIGXFSZ, SIG_IGN);
        rlimit saved{};
        getrlimit(RLIMIT_FSIZE, &saved);
        rlimit small = saved;
        small.rlim_cur = 100;
        setrlimit(RLIMIT_FSIZE, &small);
        r = write(file);
        setrlimit(RLIMIT_FSIZE, &saved);
        QVERIFY(!r.ok);
        QVERIFY2(r.error.contains(file), qPrintable(r.error));
        QCOMPARE(readAll(file), QByteArray("earlier export"));
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{"out.file"});
    }

    void xlsReadByXlrd()
    {
        QTemporaryDir dir;
        const QString file = dir.filePath("data.xls");
        const auto objects = fixture::tricky();
        QVERIFY(exportXls(fixture::makeReport(objects), file));
        QString why;
        const QJsonDocument doc = readers::xlrdRead(file, &why);
        QVERIFY2(!doc.isNull(), qPrintable(why));
        const QJsonArray sheets = doc["sheets"].toArray();
        QCOMPARE(sheets.size(), 1);
        const QJsonObject sheet = sheets[0].toObject();
        QCOMPARE(sheet["name"].toString(), "Measurements");
        QVERIFY(sheet["gridlines"].toBool());
        const QJsonArray cells = sheet["cells"].toArray();
        const QList<QStringList> rows = expectedRows(objects);
        QCOMPARE(cells.size(), rows.size());
        QCOMPARE(sheet["cols"].toInt(), 4);
        int r = 0;
        QJsonArray merged;
        for (const auto &o : objects) {
            const QJsonObject name = cells[r][0].toObject();
            QCOMPARE(name["t"].toString(), "text");
            QCOMPARE(name["v"].toString(), o.name);
            QVERIFY(name["bold"].toBool());
            merged.append(QJsonArray{r, r + 1, 0, 4});
            ++r;
            for (const auto &res : o.results) {
                const QJsonArray row = cells[r].toArray();
                QCOMPARE(row[0]["t"].toString(), "date");
                QCOMPARE(row[0]["v"].toString(), res.when.toString("yyyy-MM-ddTHH:mm:ss"));
                QCOMPARE(row[1]["t"].toString(), "number");
                QCOMPARE(row[1]["v"].toDouble(), QString::number(res.ph).toDouble());
                QCOMPARE(row[2]["t"].toString(), "number");
                QCOMPARE(row[2]["v"].toDouble(), QString::number(res.temperature).toDouble());
                QCOMPARE(row[3]["t"].toString(), "text");
                QCOMPARE(row[3]["v"].toString(), res.note);
                QCOMPARE(row[1]["border"].toArray(), (QJsonArray{1, 1, 1, 1}));
                ++r;
            }
        }
        QCOMPARE(sheet["merged"].toArray(), merged);
    }

    void xlsManyStrings()
    {
        // Enough distinct texts for the string table to go on in CONTINUE records, some of them
        // split inside a text, in one-byte and two-byte form.
        PreparedPage page;
        for (int i = 0; i < 3000; ++i)
            page.objects << textAt(QRectF(10, 10 + i, 30, 1), (i % 3 ? QStringLiteral("text %1 ") : QStringLiteral("łódź %1 ")).arg(i).repeated(3));
        QTemporaryDir dir;
        const QString file = dir.filePath("many.xls");
        QByteArray bytes = xlsFile(buildDataGrid(page));
        QFile f(file);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(bytes);
        f.close();
        QString why;
        const QJsonDocument doc = readers::xlrdRead(file, &why);
        QVERIFY2(!doc.isNull(), qPrintable(why));
        const QJsonArray cells = doc["sheets"][0]["cells"].toArray();
        QCOMPARE(cells.size(), 3000);
        for (int i = 0; i < 3000; i += 7)
            QCOMPARE(cells[i][0]["v"].toString(), (i % 3 ? QStringLiteral("text %1 ") : QStringLiteral("łódź %1 ")).arg(i).repeated(3));
    }

    void xlsAndOdsReadByLibreOffice_data()
    {
        QTest::addColumn<QString>("suffix");
        QTest::newRow("xls") << "xls";
        QTest::newRow("ods") << "ods";
    }

    void xlsAndOdsReadByLibreOffice()
    {
        QFETCH(QString, suffix);
        QTemporaryDir dir;
        const QString file = dir.filePath("data." + suffix);
        QVector<fixture::Object> objects = fixture::tricky();
        // Two pages: the .ods has a sheet for each, the .xls one sheet for all.
        const PreparedReport rep = fixture::makeReport(objects, 2);
        QCOMPARE(rep.pages.size(), 2);
        QVERIFY(suffix == "xls" ? exportXls(rep, file) : exportOds(rep, file));
        QDir(dir.path()).mkdir("csv");
        QString why;
        const QStringList csvs = readers::libreOfficeConvert(file, dir.filePath("csv"), "csv", &why);
        QVERIFY2(!csvs.isEmpty(), qPrintable(why));
        QList<QStringList> rows;
        for (const QString &csv : csvs)
            rows += readers::readCsv(csv).rows;
        QCOMPARE(csvs.size(), suffix == "ods" ? 2 : 1);
        const QList<QStringList> expected = expectedRows(objects);
        QCOMPARE(rows.size(), expected.size());
        int row = 0;
        for (const auto &o : objects) {
            QCOMPARE(rows[row++], (QStringList{o.name, "", "", ""})); // merged over the four columns
            for (const auto &res : o.results) {
                // Values as stored: a pH of 7.05 (not 7.050000190734863), 19.75 °C shown as 19.8.
                const QStringList expect{res.when.toString("yyyy-MM-dd HH:mm:ss"), QString::number(res.ph),
                                         QString::number(res.temperature), QString(res.note).remove('\r').remove('\n')};
                QStringList got = rows[row++];
                while (got.size() < 4)
                    got << QString();
                got[3].remove('\n');
                QCOMPARE(got, expect);
            }
        }

        // The cell types as LibreOffice took them: its own flat OpenDocument of the file.
        QDir(dir.path()).mkdir("fods");
        const QStringList fods = readers::libreOfficeConvert(file, dir.filePath("fods"), "fods", &why);
        QVERIFY2(fods.size() == 1, qPrintable(why));
        static const char *code = R"PY(
import sys, xml.dom.minidom as md
doc = md.parse(sys.argv[1])
for t in doc.getElementsByTagName("table:table"):
    for row in t.getElementsByTagName("table:table-row"):
        out = []
        for c in row.getElementsByTagName("table:table-cell"):
            vt = c.getAttribute("office:value-type")
            if vt:
                out.append(vt + "=" + (c.getAttribute("office:date-value") or c.getAttribute("office:value") or
                                       "".join(n.firstChild.data if n.firstChild else "" for n in c.getElementsByTagName("text:p"))))
        if out:
            print("|".join(out))
)PY";
        const readers::ToolRun types = readers::python(QString::fromUtf8(code), {fods.first()});
        QVERIFY2(types.code == 0, qPrintable(types.err));
        const QStringList lines = types.out.split('\n', Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), expected.size());
        int r = 0;
        for (const auto &o : objects) {
            QCOMPARE(lines[r++], "string=" + o.name);
            for (const auto &res : o.results) {
                QString line = QStringLiteral("date=%1|float=%2|float=%3")
                                   .arg(res.when.toString("yyyy-MM-ddTHH:mm:ss"), QString::number(res.ph),
                                        QString::number(res.temperature));
                if (!res.note.isEmpty())
                    line += "|string=" + QString(res.note).remove("\r\n");
                QCOMPARE(lines[r++], line);
            }
        }
    }

    void pdfReadByPoppler()
    {
        QTemporaryDir dir;
        const QString file = dir.filePath("report.pdf");
        const auto objects = fixture::tricky();
        PreparedReport rep = fixture::makeReport(objects, 2);
        rep.pages[1].sizeMm = QSizeF(297, 210); // a landscape page keeps its own size
        QVERIFY(exportPdf(rep, file));
        const QString info = readers::pdfInfo(file);
        QVERIFY2(info.contains(QRegularExpression("Pages:\\s+2\\n")), qPrintable(info));
        QVERIFY2(info.contains(QRegularExpression("Page size:\\s+595(\\.\\d+)? x (841\\.\\d+|842) pts \\(A4\\)")), qPrintable(info));
        QVERIFY2(info.contains("Creator:         " + exportCreatorName()), qPrintable(info));
        QVERIFY2(info.contains("Title:           Measurements"), qPrintable(info));
        const QString sizes = readers::run("pdfinfo", {"-f", "1", "-l", "2", file}).out;
        QVERIFY2(sizes.contains(QRegularExpression("Page    2 size:\\s+(841\\.\\d+|842) x 595(\\.\\d+)? pts")), qPrintable(sizes));
        const QString meta = readers::run("pdfinfo", {"-meta", file}).out;
        QVERIFY2(meta.contains("<rdf:li>" + exportCreatorName() + "</rdf:li>"), qPrintable(meta));

        // Searchable text, in reading order, the Polish letters included.
        const QString text = readers::pdfText(file);
        QStringList order{"pH report", "Zbiornik łódź; nr 1", "2024-03-31 02:30:05", "7.05", "21.3", "say \"hi\"",
                          "Tank 2", "Page 1", "\f", "2024-04-01 02:30:05", "8.00", "End of report"};
        qsizetype at = 0;
        for (const QString &t : order) {
            const qsizetype next = text.indexOf(t, at);
            QVERIFY2(next >= 0, qPrintable(QStringLiteral("\"%1\" not after %2 in:\n%3").arg(t).arg(at).arg(text)));
            at = next + t.size();
        }
        // The first page as a picture, to look at.
        const QString shots = QStringLiteral(ARVEX_BUILD_DIR "/screenshots");
        QDir().mkpath(shots);
        const readers::ToolRun png = readers::run("pdftoppm", {"-png", "-r", "60", "-f", "1", "-l", "1", "-singlefile", file,
                                                               shots + "/export_writers_pdf_page1"});
        QCOMPARE(png.code, 0);
    }

    void odsPackageLayout()
    {
        QTemporaryDir dir;
        const QString file = dir.filePath("data.ods");
        QVERIFY(exportOds(fixture::makeReport(fixture::tricky()), file));
        static const char *code = R"PY(
import sys, zipfile, xml.dom.minidom as md
z = zipfile.ZipFile(sys.argv[1])
first = z.infolist()[0]
print(first.filename, first.compress_type, z.read("mimetype").decode())
print(z.testzip())
content = md.parseString(z.read("content.xml"))
print(len(content.getElementsByTagName("table:table")))
types = [c.getAttribute("office:value-type") for c in content.getElementsByTagName("table:table-cell") if c.getAttribute("office:value-type")]
print(" ".join(types))
meta = md.parseString(z.read("meta.xml"))
print(meta.getElementsByTagName("dc:language")[0].firstChild.data)
md.parseString(z.read("styles.xml")); md.parseString(z.read("META-INF/manifest.xml"))
)PY";
        const readers::ToolRun r = readers::python(QString::fromUtf8(code), {file});
        QVERIFY2(r.code == 0, qPrintable(r.err));
        const QStringList lines = r.out.split('\n');
        QCOMPARE(lines[0], "mimetype 0 application/vnd.oasis.opendocument.spreadsheet");
        QCOMPARE(lines[1], "None");
        QCOMPARE(lines[2], "1");
        QCOMPARE(lines[3], "string date float float string date float float string string date float float string");
        QCOMPARE(lines[4], "en");
    }
};

QTEST_MAIN(TestExportWriters)
#include "tst_exportwriters.moc"
