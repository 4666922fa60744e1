#include "report/ExportText.h"

#include "meter/AnsiCodePage.h"

#include <QIODevice>
#include <QRegularExpression>

namespace report {

QString stripHtmlTags(const QString &text)
{
    if (!text.contains(QLatin1Char('<')))
        return text;
    static const QRegularExpression tag(QStringLiteral("</?[A-Za-z][A-Za-z0-9]*(\\s[^<>]*)?/?>"));
    QString out = text;
    out.remove(tag);
    return out;
}

QString semicolonCell(const QString &text)
{
    QString t = text;
    if (t.endsWith(QLatin1String("\r\n")))
        t.chop(2);
    else if (t.endsWith(QLatin1Char('\n')) || t.endsWith(QLatin1Char('\r')))
        t.chop(1);
    t = stripHtmlTags(t);
    QString clean;
    clean.reserve(t.size());
    for (QChar c : std::as_const(t))
        if (c.unicode() >= 32)
            clean += c;
    if (clean.contains(QLatin1Char(';')) || clean.contains(QLatin1Char('"'))) {
        clean.replace(QLatin1Char('"'), QLatin1String("\"\""));
        return QLatin1Char('"') + clean + QLatin1Char('"');
    }
    return clean;
}

QString semicolonText(const DataGrid &grid)
{
    QString out;
    const int cols = grid.columnCount();
    // For each slot of the row being written: 0 free, 1 an object starts here, 2 covered.
    QVector<char> slot(cols);
    QVector<QString> texts(cols);
    QVector<int> coveredUntil(cols, -1); // last row a span from above covers in each column
    int i = 0;
    const auto &cells = grid.cells;
    for (int r = 0; r < grid.rowCount(); ++r) {
        std::fill(slot.begin(), slot.end(), 0);
        for (int c = 0; c < cols; ++c)
            if (coveredUntil[c] >= r)
                slot[c] = 2;
        for (; i < cells.size() && cells[i].row == r; ++i) {
            const DataGridCell &cell = cells[i];
            slot[cell.column] = 1;
            texts[cell.column] = semicolonCell(cell.text);
            for (int c = cell.column; c < cell.column + cell.columnSpan; ++c) {
                if (c != cell.column)
                    slot[c] = 2;
                coveredUntil[c] = std::max(coveredUntil[c], r + cell.rowSpan - 1);
            }
        }
        int last = cols - 1;
        while (last >= 0 && slot[last] != 1)
            --last;
        if (last < 0)
            continue; // a row that only spans from above pass through
        bool first = true;
        for (int c = 0; c <= last; ++c) {
            if (slot[c] == 2)
                continue;
            if (!first)
                out += QLatin1Char(';');
            first = false;
            if (slot[c] == 1)
                out += texts[c];
        }
        out += QLatin1String("\r\n");
    }
    return out;
}

ExportResult exportSemicolonText(const PreparedReport &report, const QString &fileName)
{
    const QByteArray bytes = arvex::meter::toAnsi(semicolonText(buildDataGrid(report.pages)));
    return writeExportFile(fileName, [&](QIODevice &device, QString &) {
        return device.write(bytes) == bytes.size();
    });
}

} // namespace report
