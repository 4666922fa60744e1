#include "report/ExportPlainText.h"

#include "meter/AnsiCodePage.h"
#include "report/DataGrid.h"
#include "report/ExportText.h"

#include <QIODevice>
#include <QRegularExpression>

namespace report {

namespace {

QStringList cellLines(const QString &text)
{
    static const QRegularExpression breaks(QStringLiteral("\r\n|\n|\r|\u2028|\u2029"));
    QStringList lines = stripHtmlTags(text).split(breaks);
    for (QString &line : lines) {
        QString clean;
        for (QChar c : std::as_const(line))
            clean += c.unicode() < 32 ? QChar(QLatin1Char(' ')) : c;
        line = clean.trimmed();
    }
    while (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    return lines;
}

QString pageText(const PreparedPage &page)
{
    DataGridOptions options;
    options.dataOnly = false;
    const DataGrid grid = buildDataGrid(page, options);
    const int cols = grid.columnCount();
    QVector<QStringList> lines(grid.cells.size());
    QVector<int> width(cols, 0);
    for (int i = 0; i < grid.cells.size(); ++i) {
        lines[i] = cellLines(grid.cells[i].text);
        const DataGridCell &c = grid.cells[i];
        if (c.columnSpan == 1)
            for (const QString &l : std::as_const(lines[i]))
                width[c.column] = std::max(width[c.column], int(l.size()));
    }
    // A text over several columns widens the last of them when they are too narrow.
    for (int i = 0; i < grid.cells.size(); ++i) {
        const DataGridCell &c = grid.cells[i];
        if (c.columnSpan == 1)
            continue;
        int need = 0;
        for (const QString &l : std::as_const(lines[i]))
            need = std::max(need, int(l.size()));
        int have = 0;
        for (int k = c.column; k < c.column + c.columnSpan; ++k)
            have += width[k] + (width[k] > 0 && have > 0 ? 1 : 0);
        if (need > have)
            width[c.column + c.columnSpan - 1] += need - have;
    }
    QVector<int> start(cols + 1, 0);
    for (int c = 0, x = 0; c < cols; ++c) {
        start[c] = x;
        if (width[c] > 0)
            x += width[c] + 1; // one blank between columns; empty columns take no room
        start[c + 1] = x;
    }

    QString out;
    int i = 0;
    for (int r = 0; r < grid.rowCount(); ++r) {
        QStringList rowLines;
        for (; i < grid.cells.size() && grid.cells[i].row == r; ++i) {
            const DataGridCell &c = grid.cells[i];
            const int x = start[c.column];
            const int w = std::max(0, start[c.column + c.columnSpan] - x - 1);
            for (int k = 0; k < lines[i].size(); ++k) {
                while (rowLines.size() <= k)
                    rowLines << QString();
                QString &line = rowLines[k];
                QString t = lines[i][k];
                if (t.isEmpty())
                    continue;
                int pad = std::max(0, w - int(t.size()));
                if (c.align & Qt::AlignRight)
                    t = QString(pad, QLatin1Char(' ')) + t;
                else if (c.align & Qt::AlignHCenter)
                    t = QString(pad / 2, QLatin1Char(' ')) + t;
                if (line.size() < x)
                    line += QString(x - line.size(), QLatin1Char(' '));
                else if (line.size() > x)
                    line += QLatin1Char(' ');
                line += t;
            }
        }
        for (QString l : std::as_const(rowLines)) {
            while (l.endsWith(QLatin1Char(' ')))
                l.chop(1);
            if (!l.isEmpty())
                out += l + QLatin1String("\r\n");
        }
    }
    return out;
}

} // namespace

QString plainText(const PreparedReport &report)
{
    QString out;
    for (int p = 0; p < report.pages.size(); ++p) {
        if (p > 0)
            out += QLatin1Char('\f');
        out += pageText(report.pages[p]);
    }
    return out;
}

ExportResult exportPlainText(const PreparedReport &report, const QString &fileName)
{
    const QByteArray bytes = arvex::meter::toAnsi(plainText(report));
    return writeExportFile(fileName, [&](QIODevice &device, QString &) { return device.write(bytes) == bytes.size(); });
}

} // namespace report
