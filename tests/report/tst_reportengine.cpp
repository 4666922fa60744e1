// The band engine and the expressions without a database: pagination read back from text
// dumps of the prepared pages, and expressions with their display formats per language.

#include "report/Paint.h"
#include "report/Report.h"
#include "report/ReportData.h"
#include "report/ReportEngine.h"
#include "report/ReportExpr.h"
#include "report/ReportTemplate.h"

#include <QtTest>
#include <ctime>
#include <functional>

using namespace report;

namespace {

// Rows in memory; `rows` is asked again at every first(), so that a detail dataset follows
// its master the way the program keeps the results on the current object.
class RowsDataset : public ReportDataset {
public:
    RowsDataset(const QString &name, QStringList fields, std::function<QList<QVariantList>()> rows)
        : ReportDataset(name), fields_(fields), source_(rows)
    {
    }
    QStringList fieldNames() const override { return fields_; }
    void first() override
    {
        rows_ = source_();
        row_ = 0;
        ++firsts;
    }
    void next() override { ++row_; }
    bool eof() const override { return row_ >= rows_.size(); }
    int recordCount() const override { return int(rows_.size()); }
    QVariant value(const QString &field) const override
    {
        const int i = fields_.indexOf(field);
        return eof() || i < 0 ? QVariant() : rows_[row_].value(i);
    }
    int row() const { return row_; }
    int firsts = 0;

private:
    QStringList fields_;
    std::function<QList<QVariantList>()> source_;
    QList<QVariantList> rows_;
    int row_ = 0;
};

// A page 100 x 100 mm with top and bottom margins of 10: with a page header of 10 and a
// footer of 10, data bands have y 20 to 80.
QByteArray pageTemplate(const QString &bands)
{
    return QStringLiteral("<report language=\"en\"><page width=\"100\" height=\"100\" margins=\"10\"/>"
                          "<band kind=\"PageHeader\" height=\"10\"><text name=\"H\" width=\"80\" height=\"10\">H</text></band>"
                          "%1"
                          "<band kind=\"PageFooter\" height=\"10\"><text name=\"F\" width=\"80\" height=\"10\">"
                          "F[Page#]/[TotalPages#]</text></band></report>")
        .arg(bands)
        .toUtf8();
}

QString band(const char *kind, double height, const QString &text, const char *dataset = nullptr)
{
    return QStringLiteral("<band kind=\"%1\" height=\"%2\"%3><text name=\"T\" width=\"80\" height=\"%2\">%4</text></band>")
        .arg(QLatin1String(kind))
        .arg(height)
        .arg(dataset ? QStringLiteral(" dataset=\"%1\"").arg(QLatin1String(dataset)) : QString())
        .arg(text.toHtmlEscaped());
}

// One token per placed band: "<page>:<first text>@<top>", joined by blanks.
QString layoutOf(const PreparedReport &r)
{
    QStringList out;
    for (int p = 0; p < r.pages.size(); ++p) {
        int serial = -1;
        for (const PreparedObject &o : r.pages[p].objects)
            if (o.bandSerial != serial) {
                serial = o.bandSerial;
                out << QStringLiteral("%1:%2@%3").arg(p + 1).arg(o.text).arg(o.rectMm.top());
            }
    }
    return out.join(QLatin1Char(' '));
}

// Masters named A, B, … with the given numbers of details each.
struct Data {
    QList<int> details;
    RowsDataset master{QStringLiteral("M"), {QStringLiteral("NAME")}, [this] {
                           QList<QVariantList> rows;
                           for (int i = 0; i < details.size(); ++i)
                               rows << QVariantList{QString(QChar('A' + i))};
                           return rows;
                       }};
    RowsDataset detail{QStringLiteral("D"), {QStringLiteral("N")}, [this] {
                           QList<QVariantList> rows;
                           for (int i = 0; i < details.value(master.row()); ++i)
                               rows << QVariantList{i + 1};
                           return rows;
                       }};
};

void setZone(const QByteArray &tz)
{
    qputenv("TZ", tz);
    tzset();
}

} // namespace

class TestReportEngine : public QObject {
    Q_OBJECT

private slots:
    void pagination_data()
    {
        QTest::addColumn<QList<int>>("details");
        QTest::addColumn<QString>("bands");
        QTest::addColumn<QString>("expected");

        const QString md = band("MasterData", 10, "[<M.\"NAME\">]", "M");
        const QString dd = band("DetailData", 10, "[<D.\"N\">]", "D");
        QTest::newRow("exact fit") << QList<int>{5} << md + dd
                                   << "1:H@10 1:A@20 1:1@30 1:2@40 1:3@50 1:4@60 1:5@70 1:F1/1@80";
        QTest::newRow("one row too many")
            << QList<int>{6} << md + dd
            << "1:H@10 1:A@20 1:1@30 1:2@40 1:3@50 1:4@60 1:5@70 1:F1/2@80 2:H@10 2:6@20 2:F2/2@80";
        QTest::newRow("band taller than a page")
            << QList<int>{0, 0} << band("MasterData", 75, "[<M.\"NAME\">]", "M")
            << "1:H@10 1:A@20 1:F1/2@80 2:H@10 2:B@20 2:F2/2@80";
        QTest::newRow("object header kept with its first row")
            << QList<int>{3, 2} << md + band("DetailHeader", 5, "DH") + dd
            << "1:H@10 1:A@20 1:DH@30 1:1@35 1:2@45 1:3@55 1:F1/2@80 2:H@10 2:B@20 2:DH@30 2:1@35 2:2@45 2:F2/2@80";
        QTest::newRow("master header and footer once")
            << QList<int>{1, 1} << band("MasterHeader", 5, "MH") + md + dd + band("MasterFooter", 5, "MF")
            << "1:H@10 1:MH@20 1:A@25 1:1@35 1:B@45 1:1@55 1:MF@65 1:F1/1@80";
        QTest::newRow("summary against the footer")
            << QList<int>{5} << md + dd + band("ReportSummary", 10, "S")
            << "1:H@10 1:A@20 1:1@30 1:2@40 1:3@50 1:4@60 1:5@70 1:F1/2@80 2:H@10 2:S@20 2:F2/2@80";
        QTest::newRow("empty master")
            << QList<int>{} << band("ReportTitle", 10, "T") + band("MasterHeader", 5, "MH") + md + dd
                   + band("MasterFooter", 5, "MF") + band("ReportSummary", 10, "S")
            << "1:T@10 1:H@20 1:S@30 1:F1/1@80";
        QTest::newRow("empty detail")
            << QList<int>{0, 1} << md + band("DetailHeader", 5, "DH") + dd + band("DetailFooter", 5, "DF")
            << "1:H@10 1:A@20 1:B@30 1:DH@40 1:1@45 1:DF@55 1:F1/1@80";
        QTest::newRow("growing detail rows never split")
            << QList<int>{3}
            << md
                   + "<band kind=\"DetailData\" dataset=\"D\" height=\"10\"><text name=\"T\" width=\"80\" height=\"10\" "
                     "stretch=\"true\">[IIF(&lt;D.\"N\"&gt; = 2, '" + QString("x ").repeated(400) + "', "
                     "&lt;D.\"N\"&gt;)]</text></band>"
            << "";
    }
    void pagination()
    {
        QFETCH(QList<int>, details);
        QFETCH(QString, bands);
        QFETCH(QString, expected);
        Data data;
        data.details = details;
        const ReportTemplate t = parseTemplate(pageTemplate(bands));
        const PreparedReport r = prepareReport(t, {&data.master, &data.detail});
        if (!expected.isEmpty()) {
            QCOMPARE(layoutOf(r), expected);
            return;
        }
        // A stretched row: every row lies wholly above the footer, in order.
        QStringList rows;
        for (const PreparedPage &p : r.pages)
            for (const PreparedObject &o : p.objects)
                if (o.band == BandKind::DetailData) {
                    QVERIFY2(o.rectMm.bottom() <= 80.0001, qPrintable(dumpPreparedReport(r)));
                    rows << o.text.left(1);
                }
        QCOMPARE(rows, QStringList({"1", "x", "3"}));
        QCOMPARE(r.pages.size(), 3); // the tall row and the row after it each begin a page
    }

    void secondRunStartsAgainFromTheFirstRecord()
    {
        Data data;
        data.details = {2, 1};
        const ReportTemplate t = parseTemplate(pageTemplate(band("MasterData", 10, "[<M.\"NAME\">]", "M")
                                                            + band("DetailData", 10, "[<D.\"N\">]", "D")));
        const QString first = layoutOf(prepareReport(t, {&data.master, &data.detail}));
        QCOMPARE(layoutOf(prepareReport(t, {&data.master, &data.detail})), first);
        QCOMPARE(first, QString("1:H@10 1:A@20 1:1@30 1:2@40 1:B@50 1:1@60 1:F1/1@80"));
    }

    void expressions_data()
    {
        QTest::addColumn<QString>("language");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("format");
        QTest::addColumn<QString>("expected");

        QTest::newRow("field as stored") << "en" << "[<R.\"DANE1\">]" << "" << "7.12";
        QTest::newRow("bracket field") << "en" << "pH [R.\"DANE1\"]!" << "" << "pH 7.12!";
        QTest::newRow("number format en") << "en" << "[<R.\"DANE1\">]" << "number:#0.000' pH'" << "7.120 pH";
        QTest::newRow("number format de") << "de" << "[<R.\"DANE1\">]" << "number:#0.00" << "7,12";
        QTest::newRow("number format ru") << "ru" << "[<R.\"DANE2\">]" << "number:#0.0" << "-17,5";
        QTest::newRow("float rounds as written") << "en" << "[<R.\"DANE3\">]" << "number:#0.00" << "0.13";
        QTest::newRow("IIF celsius") << "en" << "[IIF(<U.\"TempFF\"> = 1, <R.\"TempF\">, <R.\"DANE2\">)]" << "" << "-17.5";
        QTest::newRow("IIF text") << "en" << "[IIF(<U.\"TempFF\"> <> 0, 'F', 'C')]" << "" << "C";
        QTest::newRow("arithmetic") << "en" << "[(<R.\"DANE1\"> + 1) * 2 - 10 / 4]" << "" << "13.74";
        QTest::newRow("integer arithmetic") << "en" << "[<R.\"N\"> * 2 + 1]" << "" << "85";
        QTest::newRow("comparison and not") << "en" << "[not (<R.\"N\"> >= 42) or 1 < 2]" << "" << "True";
        QTest::newRow("text joined") << "en" << "['No. ' + <R.\"NAME\">]" << "" << "No. It's";
        QTest::newRow("null field") << "en" << "[<R.\"EMPTY\">]" << "number:#0.00" << "";
        QTest::newRow("date fields") << "de" << "[<R.\"WHEN\">]" << "date:dd.MM.yyyy HH:mm:ss" << "26.03.2023 02:30:00";
        QTest::newRow("default date has four-digit year en") << "en" << "[<R.\"WHEN\">]" << "" << "3/26/2023 2:30:00 AM";
        QTest::newRow("default date has four-digit year pl") << "pl" << "[<R.\"WHEN\">]" << "" << "26.03.2023 02:30:00";
        QTest::newRow("month names") << "pl" << "[<R.\"WHEN\">]" << "date:d MMMM yyyy" << "26 marca 2023";
        QTest::newRow("system values") << "en" << "[Date] [Time] [Page#]" << "date:yyyy-MM-dd|HH:mm"
                                       << "2024-02-29 13:05 1";
        QTest::newRow("brackets in quotes") << "en" << "[IIF(1 = 1, '[x]', 'y')]" << "" << "[x]";
    }
    void expressions()
    {
        QFETCH(QString, language);
        QFETCH(QString, text);
        QFETCH(QString, format);
        QFETCH(QString, expected);
        // A time that does not exist in Central Europe (the spring gap) shows as recorded,
        // whatever the zone the program runs in.
        for (const QByteArray &zone : {QByteArray("UTC"), QByteArray("Europe/Warsaw")}) {
            setZone(zone);
            RowsDataset r(QStringLiteral("R"),
                          {"DANE1", "DANE2", "DANE3", "TempF", "N", "NAME", "EMPTY", "WHEN"}, [] {
                              return QList<QVariantList>{{QVariant(7.12f), QVariant(-17.5f), QVariant(0.125f), 0.5, 42,
                                                          QString("It's"), QVariant(),
                                                          QDateTime(QDate(2023, 3, 26), QTime(2, 30), Qt::UTC)}};
                          });
            UserReportDataset u(QStringLiteral("U"), {QStringLiteral("TempFF")});
            u.onGetValue = [](const QString &, QVariant &v) { v = 0; };
            r.first();
            ExprContext ctx;
            ctx.dataset = [&](const QString &n) -> const ReportDataset * {
                return n == "R" ? static_cast<ReportDataset *>(&r) : n == "U" ? &u : nullptr;
            };
            ctx.now = QDateTime(QDate(2024, 2, 29), QTime(13, 5, 7));
            const CompiledText ct = CompiledText::compile(text);
            QString out;
            for (const CompiledText::Part &p : ct.parts()) {
                if (p.expr < 0) {
                    out += p.literal;
                    continue;
                }
                const QString f = format.section('|', 0, 0);
                const QVariant v = ct.expressions()[p.expr].evaluate(ctx);
                out += formatValue(v, v.typeId() == QMetaType::QTime ? "date:" + format.section('|', 1) : f,
                                   QLocale(language));
            }
            QCOMPARE(out, expected);
        }
        setZone("UTC");
    }

    void badExpressionsAreNamed_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("message");
        QTest::newRow("missing field") << "[<R.\"DANE9\">]" << "Expression [<R.\"DANE9\">]: the dataset \"R\" has no field \"DANE9\"";
        QTest::newRow("missing dataset") << "[<Q.\"A\">]" << "Expression [<Q.\"A\">]: unknown dataset \"Q\"";
        QTest::newRow("unclosed bracket") << "pH [<R.\"DANE1\">" << "Text \"pH [<R.\"DANE1\">\": a \"[\" is not closed by \"]\"";
        QTest::newRow("IIF of two") << "[IIF(1, 2)]" << "Expression [IIF(1, 2)]: IIF takes three arguments";
        QTest::newRow("text minus") << "[-'a']" << "Expression [-'a']: minus before a value that is no number";
    }
    void badExpressionsAreNamed()
    {
        QFETCH(QString, text);
        QFETCH(QString, message);
        RowsDataset r(QStringLiteral("R"), {"DANE1"}, [] { return QList<QVariantList>{{1.0}}; });
        const QByteArray xml = pageTemplate(band("MasterData", 10, text, "R"));
        try {
            prepareReport(parseTemplate(xml), {&r});
            QFAIL("no error");
        } catch (const ReportError &e) {
            QCOMPARE(e.text(), message);
        }
    }

    void badTemplatesAreNamed_data()
    {
        QTest::addColumn<QByteArray>("xml");
        QTest::addColumn<QString>("message");
        QTest::newRow("not xml") << QByteArray("hello") << "Template \"t.fr3\", line 1: the file is no report template (its root element must be <report>)";
        QTest::newRow("comma number") << QByteArray("<report><page width=\"2,5\"/></report>")
                                      << "Template \"t.fr3\", line 1: attribute width=\"2,5\" is no number (write numbers with a dot)";
        QTest::newRow("unknown band") << QByteArray("<report>\n<band kind=\"Footer\"/></report>")
                                      << "Template \"t.fr3\", line 2: unknown band kind \"Footer\"";
        QTest::newRow("data band without dataset") << QByteArray("<report><band kind=\"MasterData\"/></report>")
                                                   << "Template \"t.fr3\", line 1: the MasterData band names no dataset";
        QTest::newRow("unknown style") << QByteArray("<report><band kind=\"PageHeader\"><text name=\"a\" style=\"x\"/></band></report>")
                                       << "Template \"t.fr3\", line 1: object \"a\" names the unknown style \"x\"";
    }
    void badTemplatesAreNamed()
    {
        QFETCH(QByteArray, xml);
        QFETCH(QString, message);
        try {
            parseTemplate(xml, "t.fr3");
            QFAIL("no error");
        } catch (const ReportError &e) {
            QCOMPARE(e.text(), message);
        }
    }

    void preparedReportSurvivesSaveAndOpen()
    {
        Data data;
        data.details = {30};
        ReportTemplate t = parseTemplate(pageTemplate(band("MasterData", 10, "[<M.\"NAME\">]", "M")
                                                      + band("DetailData", 10, "[<D.\"N\">]", "D")));
        PreparedReport r = prepareReport(t, {&data.master, &data.detail});
        QPicture pic;
        QPainter p(&pic);
        p.drawLine(0, 0, 10, 10);
        p.end();
        r.pages[0].objects[0].picture = pic;
        QTemporaryDir dir;
        const QString file = dir.filePath("r.arvexrep");
        savePreparedReport(r, file);
        const PreparedReport back = loadPreparedReport(file);
        QCOMPARE(dumpPreparedReport(back), dumpPreparedReport(r));
        QCOMPARE(back.pages[0].objects[0].picture.size(), pic.size());
        QCOMPARE(back.pages[0].objects[1].raw, QVariant(QString("A")));

        // A cut file is refused with a message, not read as a shorter report.
        QFile f(file);
        QVERIFY(f.open(QIODevice::ReadWrite));
        f.resize(f.size() / 2);
        f.close();
        QVERIFY_THROWS_EXCEPTION(ReportError, loadPreparedReport(file));
    }
};

QTEST_MAIN(TestReportEngine)
#include "tst_reportengine.moc"
