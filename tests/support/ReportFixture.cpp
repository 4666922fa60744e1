#include "support/ReportFixture.h"

namespace fixture {

using namespace report;

namespace {

PreparedObject text(BandKind band, int serial, const QRectF &r, const QString &t, const QVariant &raw = {},
                    int align = Qt::AlignLeft | Qt::AlignVCenter)
{
    PreparedObject o;
    o.kind = PreparedObject::Kind::Text;
    o.band = band;
    o.bandSerial = serial;
    o.rectMm = r;
    o.text = t;
    o.raw = raw;
    o.align = align;
    return o;
}

} // namespace

report::PreparedReport makeReport(const QVector<Object> &objects, int rowsPerPage)
{
    PreparedReport rep;
    rep.title = QStringLiteral("Measurements");
    int serial = 0;
    PreparedPage page;
    double y = 0;
    auto startPage = [&](bool first) {
        page = PreparedPage();
        y = 10;
        if (first) {
            PreparedObject t = text(BandKind::ReportTitle, serial++, QRectF(10, y, 190, 12), QStringLiteral("pH report"));
            t.font.pixelSize = 27;
            t.font.bold = true;
            page.objects << t;
            y += 12;
        }
        page.objects << text(BandKind::PageHeader, serial++, QRectF(10, y, 190, 6), QStringLiteral("Date / pH / °C / Note"));
        y += 8;
    };
    auto endPage = [&](int number) {
        page.objects << text(BandKind::PageFooter, serial++, QRectF(10, 280, 190, 6), QStringLiteral("Page %1").arg(number));
        rep.pages << page;
    };
    startPage(true);
    int rows = 0;
    for (const Object &o : objects) {
        PreparedObject m = text(BandKind::MasterData, serial++, QRectF(10, y, 190, 7), o.name, o.name);
        m.font.bold = true;
        m.fill = QColor(0xCC, 0xFF, 0xCC);
        page.objects << m;
        y += 7;
        for (const Result &r : o.results) {
            if (rows == rowsPerPage) {
                endPage(int(rep.pages.size()) + 1);
                startPage(false);
                rows = 0;
            }
            const int s = serial++;
            auto cell = [&](double x, double w, const QString &t, const QVariant &raw, int align) {
                PreparedObject c = text(BandKind::DetailData, s, QRectF(x, y, w, 6), t, raw, align);
                c.frameSides = FrameAll;
                page.objects << c;
            };
            cell(10, 50, r.when.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")), r.when, Qt::AlignLeft | Qt::AlignVCenter);
            // The engine hands a 32-bit column over as a double, as the database driver does.
            cell(60, 30, QString::number(double(r.ph), 'f', 2), double(r.ph), Qt::AlignRight | Qt::AlignVCenter);
            cell(90, 30, QString::number(double(r.temperature), 'f', 1), double(r.temperature), Qt::AlignRight | Qt::AlignVCenter);
            cell(120, 80, r.note, r.note, Qt::AlignLeft | Qt::AlignVCenter);
            y += 6;
            ++rows;
        }
    }
    PreparedObject summary = text(BandKind::ReportSummary, serial++, QRectF(10, y + 2, 190, 6), QStringLiteral("End of report"));
    page.objects << summary;
    endPage(int(rep.pages.size()) + 1);
    return rep;
}

QVector<Object> tricky()
{
    const QDateTime t0(QDate(2024, 3, 31), QTime(2, 30, 5), Qt::UTC); // a wall-clock time in a DST gap
    return {
        {QStringLiteral("Zbiornik łódź; nr 1"),
         {{t0, 7.05f, 21.3f, QStringLiteral("say \"hi\"")},
          {t0.addSecs(60), 6.5f, 19.75f, QStringLiteral("two\r\nlines")}}},
        {QStringLiteral("Tank 2"), {{t0.addDays(1), 8.0f, 25.0f, QString()}}},
    };
}

} // namespace fixture
