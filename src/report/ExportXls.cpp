#include "report/ExportXls.h"

#include "report/ExportCompoundFile.h"

#include <QHash>
#include <QIODevice>
#include <QtEndian>

#include <cmath>
#include <map>
#include <tuple>

namespace report {

namespace {

constexpr int MaxRecordData = 8224;
constexpr int RowsPerSheet = 65536;
constexpr int MaxColumns = 256;
constexpr int MaxCellChars = 32767;
constexpr int FirstCustomFormat = 164;
constexpr int FirstCellXf = 16; // 15 style XFs and the default cell XF come first

class Bytes {
public:
    QByteArray data;
    void u8(quint8 v) { data.append(char(v)); }
    void u16(quint16 v)
    {
        char b[2];
        qToLittleEndian(v, b);
        data.append(b, 2);
    }
    void u32(quint32 v)
    {
        char b[4];
        qToLittleEndian(v, b);
        data.append(b, 4);
    }
    void f64(double v)
    {
        char b[8];
        qToLittleEndian(v, b);
        data.append(b, 8);
    }
    // Characters of a string, one byte each when all fit (the "compressed" form), else UTF-16.
    static bool fitsLatin1(const QString &s)
    {
        for (QChar c : s)
            if (c.unicode() > 0xFF)
                return false;
        return true;
    }
    void chars(const QString &s, bool wide)
    {
        if (wide)
            for (QChar c : s)
                u16(c.unicode());
        else
            for (QChar c : s)
                u8(quint8(c.unicode()));
    }
    // ShortXLUnicodeString (count in one byte) and XLUnicodeString (two bytes).
    void shortString(const QString &s)
    {
        const bool wide = !fitsLatin1(s);
        u8(quint8(s.size()));
        u8(wide ? 1 : 0);
        chars(s, wide);
    }
    void longString(const QString &s)
    {
        const bool wide = !fitsLatin1(s);
        u16(quint16(s.size()));
        u8(wide ? 1 : 0);
        chars(s, wide);
    }
};

void record(QByteArray &stream, quint16 type, const QByteArray &body)
{
    // Bodies longer than a record holds go on in CONTINUE records.
    qsizetype pos = 0;
    quint16 t = type;
    do {
        const qsizetype n = std::min<qsizetype>(MaxRecordData, body.size() - pos);
        char h[4];
        qToLittleEndian(t, h);
        qToLittleEndian(quint16(n), h + 2);
        stream.append(h, 4);
        stream.append(body.constData() + pos, n);
        pos += n;
        t = 0x003C;
    } while (pos < body.size());
}

const quint32 DefaultPalette[56] = {
    0x000000, 0xFFFFFF, 0xFF0000, 0x00FF00, 0x0000FF, 0xFFFF00, 0xFF00FF, 0x00FFFF, 0x800000, 0x008000,
    0x000080, 0x808000, 0x800080, 0x008080, 0xC0C0C0, 0x808080, 0x9999FF, 0x993366, 0xFFFFCC, 0xCCFFFF,
    0x660066, 0xFF8080, 0x0066CC, 0xCCCCFF, 0x000080, 0xFF00FF, 0xFFFF00, 0x00FFFF, 0x800080, 0x800000,
    0x008080, 0x0000FF, 0x00CCFF, 0xCCFFFF, 0xCCFFCC, 0xFFFF99, 0x99CCFF, 0xFF99CC, 0xCC99FF, 0xFFCC99,
    0x3366FF, 0x33CCCC, 0x99CC00, 0xFFCC00, 0xFF9900, 0xFF6600, 0x666699, 0x969696, 0x003366, 0x339966,
    0x003300, 0x333300, 0x993300, 0x993366, 0x333399, 0x333333};

// The workbook's 56 colours (indexes 8 to 63): the default palette, with entries from the end
// replaced by colours the grid uses that it lacks.
class Palette {
public:
    Palette() { std::copy(std::begin(DefaultPalette), std::end(DefaultPalette), colours_); }
    quint16 index(const QColor &c)
    {
        const quint32 rgb = c.rgb() & 0xFFFFFF;
        for (int i = 0; i < 56; ++i)
            if (colours_[i] == rgb)
                return quint16(8 + i);
        if (nextFree_ >= 10) {
            colours_[nextFree_] = rgb;
            return quint16(8 + nextFree_--);
        }
        int best = 0;
        long bestD = -1;
        for (int i = 0; i < 56; ++i) {
            const long dr = long((colours_[i] >> 16) & 0xFF) - c.red(), dg = long((colours_[i] >> 8) & 0xFF) - c.green(),
                       db = long(colours_[i] & 0xFF) - c.blue();
            const long d = dr * dr + dg * dg + db * db;
            if (bestD < 0 || d < bestD)
                bestD = d, best = i;
        }
        return quint16(8 + best);
    }
    QByteArray record() const
    {
        Bytes b;
        b.u16(56);
        for (quint32 c : colours_) {
            b.u8(quint8(c >> 16));
            b.u8(quint8(c >> 8));
            b.u8(quint8(c));
            b.u8(0);
        }
        return b.data;
    }

private:
    quint32 colours_[56];
    int nextFree_ = 55;
};

struct FontKey {
    QString family;
    int twips;
    bool bold, italic, underline;
    quint16 colour;
    bool operator<(const FontKey &o) const
    {
        return std::tie(family, twips, bold, italic, underline, colour) <
               std::tie(o.family, o.twips, o.bold, o.italic, o.underline, o.colour);
    }
};

struct XfKey {
    int font, format;
    int hAlign, vAlign;
    bool wrap;
    unsigned sides;
    int borderStyle;
    quint16 borderColour;
    int fill; // palette index, or -1
    bool operator<(const XfKey &o) const
    {
        return std::tie(font, format, hAlign, vAlign, wrap, sides, borderStyle, borderColour, fill) <
               std::tie(o.font, o.format, o.hAlign, o.vAlign, o.wrap, o.sides, o.borderStyle, o.borderColour, o.fill);
    }
};

QByteArray fontRecord(const FontKey &f)
{
    Bytes b;
    b.u16(quint16(f.twips));
    b.u16(quint16((f.bold ? 0x0001 : 0) | (f.italic ? 0x0002 : 0)));
    b.u16(f.colour);
    b.u16(f.bold ? 700 : 400);
    b.u16(0);                  // no super- or subscript
    b.u8(f.underline ? 1 : 0); // single underline
    b.u8(0);                   // family
    b.u8(1);                   // default character set
    b.u8(0);
    b.shortString(f.family.left(255));
    return b.data;
}

QByteArray xfRecord(quint16 font, quint16 format, bool style, const XfKey *k)
{
    Bytes b;
    b.u16(font);
    b.u16(format);
    b.u16(style ? 0xFFF5 : 0x0001); // locked; a style XF has no parent, a cell XF the Normal style
    quint8 align = 0x20;             // bottom, general
    if (k)
        align = quint8(k->hAlign | (k->wrap ? 0x08 : 0) | (k->vAlign << 4));
    b.u8(align);
    b.u8(0);
    b.u8(0);
    b.u8(style ? 0x00 : 0xFC);
    quint32 borders1 = 0, borders2 = 0;
    quint16 colours = 0x40 | (0x41 << 7);
    if (k) {
        const quint32 s = quint32(k->borderStyle), c = k->borderColour;
        if (k->sides & FrameLeft)
            borders1 |= s | (c << 16);
        if (k->sides & FrameRight)
            borders1 |= (s << 4) | (c << 23);
        if (k->sides & FrameTop)
            borders1 |= (s << 8), borders2 |= c;
        if (k->sides & FrameBottom)
            borders1 |= (s << 12), borders2 |= (c << 7);
        if (k->fill >= 0) {
            borders2 |= quint32(1) << 26; // solid
            colours = quint16(k->fill) | (0x41 << 7);
        }
    }
    b.u32(borders1);
    b.u32(borders2);
    b.u16(colours);
    return b.data;
}

int horizontal(int align)
{
    if (align & Qt::AlignRight)
        return 3;
    if (align & Qt::AlignHCenter)
        return 2;
    if (align & Qt::AlignJustify)
        return 5;
    if (align & Qt::AlignLeft)
        return 1;
    return 0;
}

int vertical(int align)
{
    if (align & Qt::AlignBottom)
        return 2;
    if (align & Qt::AlignVCenter)
        return 1;
    return 0;
}

double excelSerial(const QDateTime &dt)
{
    static const QDate epoch(1899, 12, 30);
    return double(epoch.daysTo(dt.date())) + dt.time().msecsSinceStartOfDay() / 86400000.0;
}

QString sheetNameOf(QString name, int index)
{
    static const QString bad = QStringLiteral(":\\/?*[]");
    for (QChar &c : name)
        if (bad.contains(c) || c.unicode() < 32)
            c = QLatin1Char('_');
    name = name.trimmed().left(25);
    if (name.isEmpty())
        return QStringLiteral("Sheet%1").arg(index + 1);
    return index == 0 ? name : name + QStringLiteral(" %1").arg(index + 1);
}

} // namespace

QByteArray xlsWorkbookStream(const DataGrid &grid, const QString &sheetName)
{
    Palette palette;
    std::map<FontKey, int> fonts;        // -> record position from 4 on
    std::map<QString, int> formats;      // custom code -> index
    std::map<XfKey, int> xfs;            // -> XF index
    QVector<FontKey> fontList;
    QVector<XfKey> xfList;
    QVector<int> cellXf(grid.cells.size());

    // Shared strings.
    QHash<QString, int> sstIndex;
    QVector<QString> sst;
    QVector<int> cellString(grid.cells.size(), -1);
    int sstTotal = 0;

    for (int i = 0; i < grid.cells.size(); ++i) {
        const DataGridCell &c = grid.cells[i];
        FontKey fk{c.font.family.isEmpty() ? QStringLiteral("Arial") : c.font.family,
                   std::clamp(int(std::lround(c.font.pixelSize * 15)), 20, 8191), c.font.bold, c.font.italic,
                   c.font.underline, palette.index(c.font.color.isValid() ? c.font.color : QColor(Qt::black))};
        auto f = fonts.find(fk);
        if (f == fonts.end()) {
            f = fonts.emplace(fk, int(fontList.size())).first;
            fontList.push_back(fk);
        }
        int format = 0;
        QString code;
        if (c.type == DataGridCell::Type::Number && c.decimals >= 0)
            code = c.decimals == 0 ? QStringLiteral("0") : QStringLiteral("0.") + QString(c.decimals, QLatin1Char('0'));
        else if (c.type == DataGridCell::Type::DateTime && c.dateParts == DataGridCell::ShowsDate)
            code = QStringLiteral("yyyy-mm-dd");
        else if (c.type == DataGridCell::Type::DateTime && c.dateParts == DataGridCell::ShowsTime)
            code = QStringLiteral("hh:mm:ss");
        else if (c.type == DataGridCell::Type::DateTime)
            code = c.dateTime.time().msec() ? QStringLiteral("yyyy-mm-dd hh:mm:ss.000") : QStringLiteral("yyyy-mm-dd hh:mm:ss");
        else if (c.type == DataGridCell::Type::Date)
            code = QStringLiteral("yyyy-mm-dd");
        if (code == QLatin1String("0"))
            format = 1;
        else if (code == QLatin1String("0.00"))
            format = 2;
        else if (!code.isEmpty()) {
            auto it = formats.find(code);
            if (it == formats.end())
                it = formats.emplace(code, FirstCustomFormat + int(formats.size())).first;
            format = it->second;
        }
        int borderStyle = 0;
        if (c.frameSides)
            borderStyle = c.frameWidthMm <= 0.4 ? 1 : c.frameWidthMm <= 0.8 ? 2 : 5;
        XfKey xk{f->second,
                 format,
                 horizontal(c.align),
                 vertical(c.align),
                 c.wordWrap,
                 c.frameSides & FrameAll,
                 borderStyle,
                 c.frameSides ? palette.index(c.frameColor) : quint16(0x40),
                 c.fill.isValid() && c.fill.alpha() > 0 ? palette.index(c.fill) : -1};
        auto x = xfs.find(xk);
        if (x == xfs.end()) {
            x = xfs.emplace(xk, FirstCellXf + int(xfList.size())).first;
            xfList.push_back(xk);
        }
        cellXf[i] = x->second;
        if (c.type == DataGridCell::Type::Text) {
            const QString text = c.text.left(MaxCellChars);
            auto s = sstIndex.find(text);
            if (s == sstIndex.end()) {
                s = sstIndex.insert(text, int(sst.size()));
                sst.push_back(text);
            }
            cellString[i] = s.value();
            ++sstTotal;
        }
    }

    const int sheetCount = std::max(1, (grid.rowCount() + RowsPerSheet - 1) / RowsPerSheet);
    const int cols = std::min(grid.columnCount(), MaxColumns);

    // Workbook globals.
    QByteArray s;
    {
        Bytes b;
        b.u16(0x0600);
        b.u16(0x0005);
        b.u16(0x0DBB);
        b.u16(0x07CC);
        b.u32(0x00000041);
        b.u32(0x00000006);
        record(s, 0x0809, b.data); // BOF, workbook globals
    }
    auto u16rec = [&](quint16 type, quint16 v) {
        Bytes b;
        b.u16(v);
        record(s, type, b.data);
    };
    u16rec(0x00E1, 0x04B0); // INTERFACEHDR
    u16rec(0x00C1, 0);      // MMS
    record(s, 0x00E2, {});  // INTERFACEEND
    u16rec(0x0042, 0x04B0); // CODEPAGE: UTF-16
    u16rec(0x0161, 0);      // DSF
    {
        Bytes b; // WINDOW1
        b.u16(0);
        b.u16(0);
        b.u16(0x4000);
        b.u16(0x2000);
        b.u16(0x0038);
        b.u16(0);
        b.u16(0);
        b.u16(1);
        b.u16(0x0258);
        record(s, 0x003D, b.data);
    }
    u16rec(0x0022, 0); // DATEMODE: 1900
    u16rec(0x000E, 1); // PRECISION: as stored
    const FontKey defaultFont{QStringLiteral("Arial"), 200, false, false, false, 0x7FFF};
    for (int i = 0; i < 4; ++i)
        record(s, 0x0031, fontRecord(defaultFont));
    for (const FontKey &f : std::as_const(fontList))
        record(s, 0x0031, fontRecord(f));
    for (const auto &[code, index] : formats) {
        Bytes b;
        b.u16(quint16(index));
        b.longString(code);
        record(s, 0x041E, b.data);
    }
    for (int i = 0; i < 15; ++i)
        record(s, 0x00E0, xfRecord(0, 0, true, nullptr));
    record(s, 0x00E0, xfRecord(0, 0, false, nullptr));
    for (const XfKey &k : std::as_const(xfList)) {
        const int fontIndex = k.font + 5; // font index 4 does not exist
        record(s, 0x00E0, xfRecord(quint16(fontIndex), quint16(k.format), false, &k));
    }
    {
        Bytes b; // STYLE: Normal
        b.u16(0x8000);
        b.u8(0);
        b.u8(0xFF);
        record(s, 0x0293, b.data);
    }
    record(s, 0x0092, palette.record());
    QVector<qsizetype> boundSheetPos;
    for (int k = 0; k < sheetCount; ++k) {
        Bytes b;
        b.u32(0); // patched below
        b.u8(0);
        b.u8(0);
        b.shortString(sheetNameOf(sheetName, k));
        boundSheetPos.push_back(s.size() + 4);
        record(s, 0x0085, b.data);
    }

    // SST with its CONTINUE records; a string's header never splits, its characters may, and
    // the continued part starts with its own flags byte. EXTSST points at every dsst-th string.
    const int dsst = std::max(8, int(sst.size()) / 128 + 1);
    QVector<QPair<quint32, quint16>> buckets;
    {
        QByteArray body;
        qsizetype recordStart = s.size();
        quint16 type = 0x00FC;
        auto flush = [&]() {
            record(s, type, body);
            type = 0x003C;
            body.clear();
            recordStart = s.size();
        };
        Bytes head;
        head.u32(quint32(sstTotal));
        head.u32(quint32(sst.size()));
        body = head.data;
        for (int i = 0; i < sst.size(); ++i) {
            const QString &str = sst[i];
            const bool wide = !Bytes::fitsLatin1(str);
            const int charBytes = wide ? 2 : 1;
            if (body.size() + 3 + charBytes > MaxRecordData)
                flush();
            if (i % dsst == 0)
                buckets.push_back({quint32(recordStart + 4 + body.size()), quint16(4 + body.size())});
            Bytes h;
            h.u16(quint16(str.size()));
            h.u8(wide ? 1 : 0);
            body.append(h.data);
            int done = 0;
            while (done < str.size()) {
                const int room = int(MaxRecordData - body.size()) / charBytes;
                if (room <= 0) {
                    flush();
                    body.append(char(wide ? 1 : 0));
                    continue;
                }
                const int n = std::min(room, int(str.size()) - done);
                Bytes part;
                part.chars(str.mid(done, n), wide);
                body.append(part.data);
                done += n;
            }
        }
        flush();
        Bytes e;
        e.u16(quint16(dsst));
        for (const auto &[ib, cb] : std::as_const(buckets)) {
            e.u32(ib);
            e.u16(cb);
            e.u16(0);
        }
        record(s, 0x00FF, e.data);
    }
    record(s, 0x000A, {}); // EOF

    // Worksheets.
    int cellIndex = 0;
    for (int k = 0; k < sheetCount; ++k) {
        const int rowFirst = k * RowsPerSheet;
        const int rowEnd = std::min(grid.rowCount(), rowFirst + RowsPerSheet);
        const quint32 sheetPos = quint32(s.size());
        qToLittleEndian(sheetPos, s.data() + boundSheetPos[k]);
        {
            Bytes b;
            b.u16(0x0600);
            b.u16(0x0010);
            b.u16(0x0DBB);
            b.u16(0x07CC);
            b.u32(0x00000041);
            b.u32(0x00000006);
            record(s, 0x0809, b.data);
        }
        for (int c = 0; c < cols; ++c) {
            Bytes b; // COLINFO: a character of the default font is about 1.85 mm wide
            b.u16(quint16(c));
            b.u16(quint16(c));
            b.u16(quint16(std::clamp(std::lround(grid.columnWidthsMm[c] / 1.85 * 256), 256L, 65280L)));
            b.u16(15);
            b.u16(0);
            b.u16(0);
            record(s, 0x007D, b.data);
        }
        {
            Bytes b; // DIMENSIONS
            b.u32(0);
            b.u32(quint32(rowEnd - rowFirst));
            b.u16(0);
            b.u16(quint16(cols));
            b.u16(0);
            record(s, 0x0200, b.data);
        }
        QVector<QPair<int, int>> mergeFirst;   // (row, col) in sheet
        QVector<QPair<int, int>> mergeLast;
        for (int r0 = rowFirst; r0 < rowEnd; r0 += 32) {
            const int r1 = std::min(rowEnd, r0 + 32);
            for (int r = r0; r < r1; ++r) {
                Bytes b; // ROW with its height from the layout
                b.u16(quint16(r - rowFirst));
                b.u16(0);
                b.u16(quint16(cols));
                b.u16(quint16(std::clamp(std::lround(grid.rowHeightsMm[r] / 25.4 * 1440), 20L, 8180L)));
                b.u16(0);
                b.u16(0);
                b.u32(0x000F0140);
                record(s, 0x0208, b.data);
            }
            for (; cellIndex < grid.cells.size() && grid.cells[cellIndex].row < r1; ++cellIndex) {
                const DataGridCell &c = grid.cells[cellIndex];
                if (c.column >= cols)
                    continue;
                const quint16 r = quint16(c.row - rowFirst), col = quint16(c.column), xf = quint16(cellXf[cellIndex]);
                Bytes b;
                b.u16(r);
                b.u16(col);
                b.u16(xf);
                if (c.type == DataGridCell::Type::Number) {
                    b.f64(c.number);
                    record(s, 0x0203, b.data);
                } else if (c.type == DataGridCell::Type::DateTime || c.type == DataGridCell::Type::Date) {
                    b.f64(excelSerial(c.dateTime));
                    record(s, 0x0203, b.data);
                } else {
                    b.u32(quint32(cellString[cellIndex]));
                    record(s, 0x00FD, b.data);
                }
                const int lastRow = std::min(c.row + c.rowSpan, rowEnd) - 1 - rowFirst;
                const int lastCol = std::min(c.column + c.columnSpan, cols) - 1;
                if (lastRow > r || lastCol > col) {
                    mergeFirst.push_back({r, col});
                    mergeLast.push_back({lastRow, lastCol});
                    // The covered cells of the first row carry the same format, so that the
                    // frame shows along the merged area.
                    for (int cc = col + 1; cc <= lastCol; ++cc) {
                        Bytes blank;
                        blank.u16(r);
                        blank.u16(quint16(cc));
                        blank.u16(xf);
                        record(s, 0x0201, blank.data);
                    }
                }
            }
        }
        {
            Bytes b; // WINDOW2: grid lines, headers, zeros, default grid colour, outline; first selected
            b.u16(quint16(0x00B6 | (k == 0 ? 0x0600 : 0)));
            b.u16(0);
            b.u16(0);
            b.u16(0x40);
            b.u16(0);
            b.u16(0);
            b.u16(0);
            b.u32(0);
            record(s, 0x023E, b.data);
        }
        for (int m = 0; m < mergeFirst.size(); m += 1026) {
            Bytes b; // MERGECELLS
            const int n = std::min<int>(1026, int(mergeFirst.size()) - m);
            b.u16(quint16(n));
            for (int j = m; j < m + n; ++j) {
                b.u16(quint16(mergeFirst[j].first));
                b.u16(quint16(mergeLast[j].first));
                b.u16(quint16(mergeFirst[j].second));
                b.u16(quint16(mergeLast[j].second));
            }
            record(s, 0x00E5, b.data);
        }
        record(s, 0x000A, {});
    }
    return s;
}

QByteArray xlsFile(const DataGrid &grid, const QString &sheetName)
{
    return compoundFileWithStream(QStringLiteral("Workbook"), xlsWorkbookStream(grid, sheetName));
}

ExportResult exportXls(const PreparedReport &report, const QString &fileName)
{
    const DataGrid grid = buildDataGrid(report.pages);
    if (grid.columnCount() > MaxColumns)
        return ExportResult::failure(cannotCreateFileMessage(
            fileName, QStringLiteral("The data has %1 columns; an Excel workbook holds at most %2.")
                          .arg(grid.columnCount())
                          .arg(MaxColumns)));
    const QByteArray bytes = xlsFile(grid, report.title);
    return writeExportFile(fileName, [&](QIODevice &device, QString &) { return device.write(bytes) == bytes.size(); });
}

} // namespace report
