#include "report/DataGrid.h"

#include <QPainter>
#include <QRegularExpression>

#include <algorithm>
#include <charconv>
#include <cmath>

namespace report {

namespace {

struct Placed {
    const PreparedObject *object;
    QRectF rect; // mm, pages stacked
};

// Sorted distinct boundaries: a value closer than mergeMm to the first value of the current
// group joins that group.
QVector<double> groupEdges(QVector<double> edges, double mergeMm)
{
    std::sort(edges.begin(), edges.end());
    QVector<double> groups;
    for (double e : edges)
        if (groups.isEmpty() || e - groups.last() >= mergeMm)
            groups.push_back(e);
    return groups;
}

// Index of the group an edge fell into.
int groupOf(const QVector<double> &groups, double edge)
{
    auto it = std::upper_bound(groups.begin(), groups.end(), edge);
    return int(it - groups.begin()) - 1;
}

// A double that is exactly a single-precision value came from a 32-bit column: give it the
// shortest decimal that reads back to that float (7.05f is 7.050000190734863 as a double).
double cleanNumber(double d)
{
    if (!std::isfinite(d) || d == std::floor(d))
        return d;
    const float f = float(d);
    if (double(f) != d)
        return d;
    char buf[64];
    auto res = std::to_chars(buf, buf + sizeof buf, f);
    double out = d;
    std::from_chars(buf, res.ptr, out);
    return out;
}

// Digits after the decimal separator as the text displays the number; -1 when the text does
// not read as that number.
int displayedDecimals(const QString &text, double value)
{
    static const QRegularExpression number(QStringLiteral("^[-+\u2212]?[0-9][0-9 .,'\u00A0\u202F]*$"));
    const QString t = text.trimmed();
    if (!number.match(t).hasMatch())
        return -1;
    const int sep = std::max(t.lastIndexOf(QLatin1Char('.')), t.lastIndexOf(QLatin1Char(',')));
    int decimals = 0;
    QString digits;
    for (int i = 0; i < t.size(); ++i) {
        const QChar c = t.at(i);
        if (c.isDigit())
            digits += c;
        else if (i == sep)
            digits += QLatin1Char('.');
        else if (c == QLatin1Char('-') || c == QChar(0x2212))
            digits += QLatin1Char('-');
    }
    if (sep >= 0)
        decimals = int(t.size() - sep - 1);
    bool ok = false;
    const double shown = digits.toDouble(&ok);
    if (ok && std::abs(shown - value) <= 0.5 * std::pow(10.0, -decimals) + 1e-9 * std::abs(value))
        return decimals;
    // The separator was a thousands separator ("1,234").
    if (sep >= 0) {
        QString whole = digits;
        whole.remove(QLatin1Char('.'));
        if (whole.toDouble(&ok) == value && ok)
            return 0;
    }
    return -1;
}

} // namespace

void setCellValue(DataGridCell &cell, const QString &text, const QVariant &raw)
{
    cell.text = text;
    cell.type = DataGridCell::Type::Text;
    if (!raw.isValid() || raw.isNull())
        return;
    switch (raw.typeId()) {
    case QMetaType::Double:
    case QMetaType::Float:
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Short:
    case QMetaType::UShort: {
        const double d = raw.typeId() == QMetaType::Float ? cleanNumber(double(raw.toFloat())) : cleanNumber(raw.toDouble());
        if (!std::isfinite(d))
            return;
        cell.type = DataGridCell::Type::Number;
        cell.number = d;
        cell.decimals = displayedDecimals(text, d);
        return;
    }
    case QMetaType::QDateTime: {
        const QDateTime dt = raw.toDateTime();
        if (!dt.isValid())
            return;
        // The wall-clock fields as stored, whatever the time spec.
        cell.type = DataGridCell::Type::DateTime;
        cell.dateTime = QDateTime(dt.date(), dt.time(), Qt::UTC);
        // A text that shows only the date or only the time keeps the whole value but shows
        // that part in the spreadsheet as well.
        const bool time = text.contains(QLatin1Char(':'));
        const bool date = text.contains(QString::number(dt.date().year())) ||
                          text.contains(QString::number(dt.date().year() % 100).rightJustified(2, QLatin1Char('0'))) ||
                          !time;
        cell.dateParts = (date ? DataGridCell::ShowsDate : 0) | (time ? DataGridCell::ShowsTime : 0);
        return;
    }
    case QMetaType::QDate: {
        const QDate d = raw.toDate();
        if (!d.isValid())
            return;
        cell.type = DataGridCell::Type::Date;
        cell.dateTime = QDateTime(d, QTime(0, 0), Qt::UTC);
        return;
    }
    default:
        return;
    }
}

DataGrid buildDataGrid(const QVector<PreparedPage> &pages, const DataGridOptions &options)
{
    QVector<Placed> placed;
    double top = 0;
    for (const PreparedPage &page : pages) {
        for (const PreparedObject &o : page.objects) {
            if (options.dataOnly && !isDataBand(o.band))
                continue;
            const bool text = o.kind == PreparedObject::Kind::Text;
            const bool picture = o.kind == PreparedObject::Kind::Picture;
            if (!text && !(picture && options.pictures))
                continue;
            const QRectF r = o.rectMm.normalized();
            placed.push_back({&o, r.translated(0, top)});
        }
        top += page.sizeMm.height();
    }

    DataGrid grid;
    if (placed.isEmpty())
        return grid;

    QVector<double> xs, ys;
    xs.reserve(placed.size() * 2);
    ys.reserve(placed.size() * 2);
    for (const Placed &p : placed) {
        xs << p.rect.left() << p.rect.right();
        ys << p.rect.top() << p.rect.bottom();
    }
    const QVector<double> xg = groupEdges(xs, options.mergeMm);
    const QVector<double> yg = groupEdges(ys, options.mergeMm);
    const int cols = std::max(1, int(xg.size()) - 1);
    const int rows = std::max(1, int(yg.size()) - 1);

    struct Span {
        const Placed *p;
        int r0, c0, r1, c1; // half-open
    };
    QVector<Span> spans;
    spans.reserve(placed.size());
    for (const Placed &p : placed) {
        int c0 = std::min(groupOf(xg, p.rect.left()), cols - 1);
        int c1 = std::min(groupOf(xg, p.rect.right()), cols);
        int r0 = std::min(groupOf(yg, p.rect.top()), rows - 1);
        int r1 = std::min(groupOf(yg, p.rect.bottom()), rows);
        c1 = std::max(c1, c0 + 1);
        r1 = std::max(r1, r0 + 1);
        spans.push_back({&p, r0, c0, r1, c1});
    }
    std::stable_sort(spans.begin(), spans.end(), [](const Span &a, const Span &b) {
        return a.r0 != b.r0 ? a.r0 < b.r0 : a.c0 < b.c0;
    });

    // Occupancy: the span index + 1 of the cell that owns each slot.
    QVector<int> owner(qsizetype(rows) * cols, 0);
    auto at = [&](int r, int c) -> int & { return owner[qsizetype(r) * cols + c]; };
    QVector<DataGridCell> cells;
    cells.reserve(spans.size());
    for (Span s : spans) {
        if (int o = at(s.r0, s.c0)) {
            // Two objects starting in one slot: keep both texts in the one cell.
            DataGridCell &cell = cells[o - 1];
            if (!s.p->object->text.isEmpty()) {
                const QString joined = cell.text.isEmpty() ? s.p->object->text : cell.text + QLatin1Char(' ') + s.p->object->text;
                setCellValue(cell, joined, QVariant());
            }
            continue;
        }
        // Shrink the span so that it covers no slot taken already.
        int c1 = s.c0 + 1;
        while (c1 < s.c1 && !at(s.r0, c1))
            ++c1;
        int r1 = s.r0 + 1;
        for (; r1 < s.r1; ++r1) {
            bool free = true;
            for (int c = s.c0; c < c1 && free; ++c)
                free = !at(r1, c);
            if (!free)
                break;
        }
        DataGridCell cell;
        const PreparedObject &o = *s.p->object;
        cell.row = s.r0;
        cell.column = s.c0;
        cell.rowSpan = r1 - s.r0;
        cell.columnSpan = c1 - s.c0;
        if (o.kind == PreparedObject::Kind::Picture) {
            if (!o.image.isNull()) {
                cell.image = o.image;
            } else {
                // Vector picture: rendered at 96 dpi for formats that hold only images.
                const QSize px(std::max(1, int(std::lround(o.rectMm.width() / 25.4 * 96))),
                               std::max(1, int(std::lround(o.rectMm.height() / 25.4 * 96))));
                QImage img(px, QImage::Format_ARGB32_Premultiplied);
                img.fill(Qt::white);
                QPainter p(&img);
                const QRect br = o.picture.boundingRect();
                if (br.width() > 0 && br.height() > 0) {
                    p.scale(double(px.width()) / br.width(), double(px.height()) / br.height());
                    p.translate(-br.topLeft());
                }
                p.drawPicture(0, 0, o.picture);
                p.end();
                cell.image = img;
            }
        } else {
            setCellValue(cell, o.text, o.raw);
        }
        cell.font = o.font;
        cell.align = o.align;
        cell.wordWrap = o.wordWrap;
        cell.frameSides = o.frameSides;
        cell.frameWidthMm = o.frameWidthMm;
        cell.frameColor = o.frameColor;
        cell.fill = o.fill;
        const int index = int(cells.size()) + 1;
        for (int r = cell.row; r < r1; ++r)
            for (int c = cell.column; c < c1; ++c)
                at(r, c) = index;
        cells.push_back(cell);
    }

    // Drop the rows and columns that no cell touches.
    QVector<int> rowMap(rows, -1), colMap(cols, -1);
    QVector<bool> rowUsed(rows, false), colUsed(cols, false);
    for (const DataGridCell &c : cells) {
        for (int r = c.row; r < c.row + c.rowSpan; ++r)
            rowUsed[r] = true;
        for (int k = c.column; k < c.column + c.columnSpan; ++k)
            colUsed[k] = true;
    }
    for (int r = 0; r < rows; ++r)
        if (rowUsed[r]) {
            rowMap[r] = grid.rowCount();
            grid.rowHeightsMm.push_back(yg.size() > r + 1 ? yg[r + 1] - yg[r] : 5.0);
        }
    for (int c = 0; c < cols; ++c) {
        const double w = xg.size() > c + 1 ? xg[c + 1] - xg[c] : 20.0;
        if (colUsed[c]) {
            colMap[c] = grid.columnCount();
            grid.columnWidthsMm.push_back(w);
        } else if (!grid.columnWidthsMm.isEmpty()) {
            grid.columnWidthsMm.last() += w; // a gap widens the column before it
        }
    }
    for (DataGridCell &c : cells) {
        const int lastRow = rowMap[c.row + c.rowSpan - 1];
        const int lastCol = colMap[c.column + c.columnSpan - 1];
        c.row = rowMap[c.row];
        c.column = colMap[c.column];
        c.rowSpan = lastRow - c.row + 1;
        c.columnSpan = lastCol - c.column + 1;
    }
    std::sort(cells.begin(), cells.end(), [](const DataGridCell &a, const DataGridCell &b) {
        return a.row != b.row ? a.row < b.row : a.column < b.column;
    });
    grid.cells = std::move(cells);
    return grid;
}

DataGrid buildDataGrid(const PreparedPage &page, const DataGridOptions &options)
{
    return buildDataGrid(QVector<PreparedPage>{page}, options);
}

} // namespace report
